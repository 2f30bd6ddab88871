// The fence's probes (see probes.h).
#include "fence/probes.h"

#include "fence/landlock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Fence::Probes {

namespace {

// Calls newer than the system's headers, and than libseccomp's names.
constexpr long kFchmodat2 = 452;
constexpr long kSetxattrat = 463;
constexpr unsigned long kHighBits = 1UL << 32;

// 0 when it worked, else the error.
int outcome(long result) { return result >= 0 ? 0 : errno; }

int readFile(const char* path)
{
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return errno;
    char byte = 0;
    const int error = outcome(::read(file, &byte, 1));
    ::close(file);
    return error;
}

int connectLocally(const char* port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return errno;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(std::atoi(port)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int error = outcome(::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address));
    ::close(socket);
    return error;
}

int setxattrat(const char* path)
{
    struct {
        std::uint64_t value;
        std::uint32_t size;
        std::uint32_t flags;
    } attribute{reinterpret_cast<std::uintptr_t>("x"), 1, 0};
    return outcome(::syscall(kSetxattrat, AT_FDCWD, path, 0, "user.probe", &attribute, sizeof attribute));
}

int execute()
{
    char* const argv[] = {const_cast<char*>("true"), nullptr};
    return outcome(::execve("/bin/true", argv, nullptr));
}

int attempt(const char* name, const char* argument)
{
    if (std::strcmp(name, "read") == 0)
        return readFile(argument);
    if (std::strcmp(name, "connect") == 0)
        return connectLocally(argument);
    if (std::strcmp(name, "prctl-high-bits") == 0)
        return outcome(::syscall(SYS_prctl, kHighBits | PR_SET_PDEATHSIG, 0, 0, 0, 0));
    if (std::strcmp(name, "setown") == 0)
        return outcome(::fcntl(STDIN_FILENO, F_SETOWN, std::atoi(argument)));
    if (std::strcmp(name, "fchmodat2") == 0)
        return outcome(::syscall(kFchmodat2, AT_FDCWD, argument, 0644, 0));
    if (std::strcmp(name, "setxattrat") == 0)
        return setxattrat(argument);
    if (std::strcmp(name, "fork") == 0)
        return outcome(::fork());
    if (std::strcmp(name, "execve") == 0)
        return execute();
    if (std::strcmp(name, "write") == 0)
        return outcome(::open(argument, O_WRONLY | O_CLOEXEC));
    if (std::strcmp(name, "signal") == 0)
        return outcome(::kill(std::atoi(argument), SIGTERM));
    if (std::strcmp(name, "unix-socket") == 0)
        return outcome(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (std::strcmp(name, "unlisted") == 0)
        return outcome(::syscall(SYS_syslog, 10, nullptr, 0));
    return -1;
}

}  // namespace

bool run(const char* name, const char* argument)
{
    const int error = attempt(name, argument ? argument : "");
    if (error < 0)
        return false;
    if (error == 0)
        std::fprintf(stderr, "probe %s: allowed\n", name);
    else
        std::fprintf(stderr, "probe %s: refused %s\n", name, ::strerrorname_np(error));
    std::fflush(stderr);
    return true;
}

void withoutLandlock() { Landlock::skipLastStep(); }

}  // namespace Fence::Probes
