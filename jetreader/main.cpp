// mzjetreader: the password book's reader of older data files (Jet 4.0, "Access 2000"). It gets
// the file as an open descriptor on its standard input and the pipe to the password book on its
// standard output, fences itself in before it maps the file's first byte, and sends the rows of
// the two tables as frames (protocol/jet.h). It is started by the password book, never by hand.
// Usage: mzjetreader <process id of the password book>
// Its test build, mzjetreader_probe, also takes --probe NAME [ARGUMENT] after the process id: once
// the fence is up, it tries the probe (fence/probes.h) instead of reading.
#include "framewriter.h"
#include "jetfile.h"
#include "readerfence.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#ifdef MZ_FENCE_TESTING
#include "fence/probes.h"
#endif

using namespace JetProtocol;

namespace {

// In test builds, the probe asked for, once the fence is up: true when one was asked for.
bool probed([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
{
#ifdef MZ_FENCE_TESTING
    if (argc >= 4 && std::strcmp(argv[2], "--probe") == 0) {
        if (!Fence::Probes::run(argv[3], argc > 4 ? argv[4] : nullptr))
            ::_exit(3);
        return true;
    }
#endif
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    FrameWriter out(fenceReader(argc >= 2 ? pid_t(std::atol(argv[1])) : 0));
    if (probed(argc, argv))
        return 0;
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
