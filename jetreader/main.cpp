// mzjetreader: the password book's reader of older data files (Jet 4.0, "Access 2000"). It gets
// the file as an open descriptor on its standard input and the pipe to the password book on its
// standard output, fences itself in before it maps the file's first byte, and sends the rows of
// the two tables as frames (protocol/jet.h). It is started by the password book, never by hand.
// Usage: mzjetreader <process id of the password book>
#include "framewriter.h"
#include "jetfile.h"
#include "readerfence.h"

#include <cstdlib>
#include <unistd.h>

using namespace JetProtocol;

int main(int argc, char** argv)
{
    FrameWriter out(fenceReader(STDIN_FILENO, argc == 2 ? pid_t(std::atol(argv[1])) : 0));
    try {
        JetFile jet(STDIN_FILENO);
        jet.send(TableId::Accounts, out);
        jet.send(TableId::Login, out);
        return out.flush() ? 0 : 1;
    } catch (const Refused& refused) {
        out.refusal(refused.table, refused.reason, refused.row);
        out.flush();
        return 2;
    }
}
