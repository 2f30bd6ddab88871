// The reader's fence (see readerfence.h).
#include "readerfence.h"

#include "fence/fence.h"
#include "protocol/jet.h"

#include <csignal>
#include <cstdio>
#include <iconv.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

constexpr rlim_t kMiB = 1024 * 1024;

// The mapped file and libmdb's pages and tables; the whole reading's processor time; no core
// file; its three descriptors, its pipe and a few more.
constexpr Fence::Limit kLimits[] = {
    {RLIMIT_AS, JetProtocol::kFileLimit + 128 * kMiB},
    {RLIMIT_CPU, JetProtocol::kTimeLimitSeconds},
    {RLIMIT_CORE, 0},
    {RLIMIT_NOFILE, 8},
};

constexpr Fence::Call kLockCalls[] = {
    {"futex", "glib's locks, which libmdb takes"},
};
const Fence::CallSet kLocks{"locks", kLockCalls};

// No file opened, no socket, no process, no signal: the file's size and a mapping of it, memory
// that is never executable, the frames written to the pipe.
const Fence::Allowed kCalls[] = {
    {Fence::kDataMemory, "libmdb's pages and tables, and the file mapped to read"},
    {Fence::kDescriptors, "the file's size, the frames written to the pipe, standard error"},
    {kLocks, "libmdb takes glib's locks"},
};

[[noreturn]] void refused() { ::_exit(126); }

// libmdb converts names between UTF-16 and UTF-8 with iconv, whose first use reads the system's
// table of conversions: read now, while paths are still open.
void prepareConversions()
{
    const iconv_t conversion = ::iconv_open("UTF-8", "UCS-2LE");
    if (conversion != iconv_t(-1))
        ::iconv_close(conversion);
    // Standard output is a stream that never asks the system how to buffer.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

}  // namespace

int fenceReader(pid_t program)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() != program)
        refused();
    prepareConversions();
    // The file stays open as standard input, and no path is readable. Where the kernel has no
    // Landlock, the call filter opens nothing by path either.
    const Fence::Profile profile{{}, {}, {}, {}, kCalls, kLimits};
    Fence::enclose(profile);
    const int out = ::dup(STDOUT_FILENO);
    if (out < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        refused();
    ::alarm(JetProtocol::kTimeLimitSeconds);
    if (!Fence::filterCalls(profile))
        refused();
    return out;
}
