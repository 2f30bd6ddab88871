// The reader's fence (see readerfence.h).
#include "readerfence.h"

#include "fence/fence.h"
#include "protocol/jet.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <iconv.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Where the reader stands once fenced: what it may spend, what it may reach.
namespace Policy {

constexpr rlim_t kMiB = 1024 * 1024;

struct Limit {
    int resource;
    rlim_t value;
};

// The mapped file and libmdb's pages and tables; the whole reading's processor time; its three
// descriptors, its pipe and a few more.
constexpr Limit kLimits[] = {
    {RLIMIT_AS, JetProtocol::kFileLimit + 128 * kMiB},
    {RLIMIT_CPU, JetProtocol::kTimeLimitSeconds},
    {RLIMIT_NOFILE, 8},
};

// Every right over files and folders the kernel's Landlock knows, none of them granted; no TCP,
// bound or connected; no abstract local socket and no signal outside the reader.
std::uint64_t fileSystemRights(long abi)
{
    const int known = abi >= 5 ? 16 : abi >= 3 ? 15 : abi == 2 ? 14 : 13;
    return (std::uint64_t(1) << known) - 1;
}
constexpr std::uint64_t kNetworkRights = 0x3;  // bind and connect TCP, from Landlock ABI 4
constexpr std::uint64_t kScopes = 0x3;         // abstract local sockets and signals, from ABI 6

// What reading takes: the file's size and a mapping of it, memory that is never executable,
// writing to the pipe and to standard output and error, the process's end. No file opened, no
// socket, no process, no signal.
void allowReading(scmp_filter_ctx filter, int file, int out, bool& complete)
{
    const auto allow = [&](const char* call, std::initializer_list<scmp_arg_cmp> when = {}) {
        const int number = ::seccomp_syscall_resolve_name(call);
        complete =
            complete && number != __NR_SCMP_ERROR
            && ::seccomp_rule_add_array(filter, SCMP_ACT_ALLOW, number, unsigned(when.size()), when.begin()) == 0;
    };
    for (const char* call : {"brk", "munmap", "mremap", "madvise", "futex", "rt_sigreturn", "exit", "exit_group"})
        allow(call);
    const scmp_arg_cmp notExecutable = SCMP_A2_64(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0);
    allow("mprotect", {notExecutable});
    allow("mmap", {notExecutable, SCMP_A4_32(SCMP_CMP_EQ, std::uint32_t(-1))});
    allow("mmap", {notExecutable, SCMP_A4_32(SCMP_CMP_EQ, std::uint32_t(file))});
    allow("lseek", {SCMP_A0_32(SCMP_CMP_EQ, std::uint32_t(file))});
    for (const int fd : {out, STDOUT_FILENO, STDERR_FILENO})
        allow("write", {SCMP_A0_32(SCMP_CMP_EQ, std::uint32_t(fd))});
}

}  // namespace Policy

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

void limit()
{
    for (const Policy::Limit& limit : Policy::kLimits) {
        const rlimit value{limit.value, limit.value};
        if (::setrlimit(limit.resource, &value) != 0)
            refused();
    }
    ::alarm(JetProtocol::kTimeLimitSeconds);
}

struct LandlockRuleset {
    std::uint64_t fileSystem;
    std::uint64_t network;
    std::uint64_t scopes;
};

// On a kernel without Landlock the call filter alone keeps every path shut.
void shutPaths()
{
    const long abi = ::syscall(__NR_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi <= 0)
        return;
    const LandlockRuleset rules{Policy::fileSystemRights(abi), abi >= 4 ? Policy::kNetworkRights : 0,
                                abi >= 6 ? Policy::kScopes : 0};
    const std::size_t size = abi >= 6 ? sizeof rules : abi >= 4 ? 2 * sizeof(std::uint64_t) : sizeof(std::uint64_t);
    const long ruleset = ::syscall(__NR_landlock_create_ruleset, &rules, size, 0);
    if (ruleset < 0 || ::syscall(__NR_landlock_restrict_self, ruleset, 0) != 0)
        refused();
    ::close(int(ruleset));
}

#ifdef MZ_READER_PROBES
// Test builds name the call the filter refused, so that a new library's new call shows at once.
constexpr std::uint32_t kRefusedAction = SCMP_ACT_TRAP;

void nameRefusedCall(int, siginfo_t* info, void*)
{
    char* name = ::seccomp_syscall_resolve_num_arch(SCMP_ARCH_NATIVE, info->si_syscall);
    char line[128];
    const int length = std::snprintf(line, sizeof line, "mzjetreader: refused system call %d (%s)\n", info->si_syscall,
                                     name ? name : "?");
    // Written whole by one call: stdio's printing would ask the system about the stream first.
    [[maybe_unused]] const ssize_t written =
        ::write(STDERR_FILENO, line, std::min(std::size_t(length), sizeof line - 1));
    ::_exit(128 + SIGSYS);
}

void watchRefusals()
{
    struct sigaction action = {};
    action.sa_sigaction = nameRefusedCall;
    action.sa_flags = SA_SIGINFO;
    ::sigaction(SIGSYS, &action, nullptr);
}
#else
constexpr std::uint32_t kRefusedAction = SCMP_ACT_KILL_PROCESS;

void watchRefusals() {}
#endif

void allowOnlyReading(int file, int out)
{
    watchRefusals();
    scmp_filter_ctx filter = ::seccomp_init(kRefusedAction);
    bool complete = filter != nullptr;
    if (complete)
        Policy::allowReading(filter, file, out, complete);
    complete = complete && ::seccomp_load(filter) == 0;
    ::seccomp_release(filter);
    if (!complete)
        refused();
}

}  // namespace

int fenceReader(int file, pid_t program)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() != program)
        refused();
    Fence::enclose();
    prepareConversions();
    const int out = ::dup(STDOUT_FILENO);
    if (out < 0 || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        refused();
    limit();
    shutPaths();
    if (!Fence::installSyscallFilter())
        refused();
    allowOnlyReading(file, out);
    return out;
}
