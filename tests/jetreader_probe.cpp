// A stand-in for the reader of older data files, built for the tests alone: it fences itself in
// with the reader's own fence (built to name the calls its filter refuses) and then tries one
// thing a reader taken over by a crafted file might try. Its status says how that went: 0 when it
// worked, the error number when it was refused, 128 + SIGSYS when the call filter ended it (its
// standard error then names the call).
// Usage: jetreader_probe <attempt> [argument], with a Jet 4.0 file on its standard input.
#include "jetreader/framewriter.h"
#include "jetreader/jetfile.h"
#include "jetreader/readerfence.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int outcome(long result) { return result >= 0 ? 0 : errno; }

// What the reader does: both tables, read and sent.
int readTables(int out)
{
    FrameWriter frames(out);
    try {
        JetFile jet(STDIN_FILENO);
        jet.send(JetProtocol::TableId::Accounts, frames);
        jet.send(JetProtocol::TableId::Login, frames);
        return frames.flush() ? 0 : 1;
    } catch (const Refused&) {
        return 2;
    }
}

int connectTo(const char* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return errno;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(std::atoi(port)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return outcome(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address));
}

int startProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    return outcome(child);
}

int startProgram()
{
    char* const argv[] = {const_cast<char*>("/bin/true"), nullptr};
    return outcome(::execve(argv[0], argv, nullptr));
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string_view attempt = argc > 1 ? argv[1] : "";
    const char* argument = argc > 2 ? argv[2] : "";
    const int out = fenceReader(STDIN_FILENO, ::getppid());
    if (attempt == "read")
        return readTables(out);
    if (attempt == "open")
        return outcome(::open(argument, O_RDONLY | O_CLOEXEC));
    if (attempt == "connect")
        return connectTo(argument);
    if (attempt == "local socket")
        return outcome(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (attempt == "fork")
        return startProcess();
    if (attempt == "exec")
        return startProgram();
    return 100;
}
