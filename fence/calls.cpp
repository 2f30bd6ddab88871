// The named call sets, their argument rules, and the allow list built of them (see calls.h).
#include "fence/calls.h"

#include "fence/fence.h"
#include "fence/reporter.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <linux/prctl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Fence {

// The filter being built: anything not allowed ends the helper (in test builds, it is named
// first, see reporter.h); a few calls that glibc tries and falls back from get an error instead.
class Filter {
public:
    Filter() : context_(::seccomp_init(Reporter::kRefusal)) {}
    ~Filter() { ::seccomp_release(context_); }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    bool allow(int call, std::initializer_list<scmp_arg_cmp> when = {}) { return add(SCMP_ACT_ALLOW, call, when); }
    bool refuse(int call, int error, std::initializer_list<scmp_arg_cmp> when = {})
    {
        return add(SCMP_ACT_ERRNO(unsigned(error)), call, when);
    }
    // The filter for every thread of the helper, those Qt has started included.
    bool load()
    {
        return context_ && ::seccomp_attr_set(context_, SCMP_FLTATR_CTL_TSYNC, 1) == 0 && ::seccomp_load(context_) == 0;
    }

private:
    bool add(std::uint32_t action, int call, std::initializer_list<scmp_arg_cmp> when)
    {
        return context_ && ::seccomp_rule_add_array(context_, action, call, unsigned(when.size()), when.begin()) == 0;
    }

    scmp_filter_ctx context_;
};

namespace {

constexpr scmp_datum_t kLow32 = 0xffffffff;

// The argument, read as the int the kernel reads, is one of the values.
bool allowWhere(Filter& filter, int call, unsigned argument, std::initializer_list<scmp_datum_t> values)
{
    bool added = true;
    for (const scmp_datum_t value : values)
        added = added && filter.allow(call, {scmp_arg_cmp{argument, SCMP_CMP_MASKED_EQ, kLow32, value}});
    return added;
}

bool fcntlCommands(Filter& filter, int call)
{
    return allowWhere(filter, call, 1, {F_GETFD, F_SETFD, F_GETFL, F_SETFL, F_DUPFD_CLOEXEC});
}

bool ioctlRequests(Filter& filter, int call) { return allowWhere(filter, call, 1, {FIONREAD}); }

// Neither made, emptied nor written: opened to read, or as a path (O_PATH).
bool openForReading(Filter& filter, int call, unsigned flags)
{
    constexpr scmp_datum_t kWriting = O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND | (O_TMPFILE & ~O_DIRECTORY);
    return filter.allow(call, {scmp_arg_cmp{flags, SCMP_CMP_MASKED_EQ, kWriting, O_RDONLY}});
}

bool openatForReading(Filter& filter, int call) { return openForReading(filter, call, 2); }

bool openByPathForReading(Filter& filter, int call) { return openForReading(filter, call, 1); }

// A thread shares everything with the helper: a call with other flags would make a process.
bool threadsOnly(Filter& filter, int call)
{
    constexpr scmp_datum_t kThread = CLONE_VM | CLONE_FS | CLONE_FILES | CLONE_SYSVSEM | CLONE_SIGHAND | CLONE_THREAD
                                     | CLONE_SETTLS | CLONE_PARENT_SETTID | CLONE_CHILD_CLEARTID;
    return filter.allow(call, {SCMP_A0(SCMP_CMP_EQ, kThread)});
}

// Its flags live in memory the filter cannot read: glibc then uses clone.
bool refusedAsMissing(Filter& filter, int call) { return filter.refuse(call, ENOSYS); }

bool toOwnProcess(Filter& filter, int call) { return allowWhere(filter, call, 0, {scmp_datum_t(::getpid())}); }

bool internetFamilies(Filter& filter, int call)
{
    return allowWhere(filter, call, 0, {AF_INET, AF_INET6})
           && filter.refuse(call, EPERM, {SCMP_A0(SCMP_CMP_MASKED_EQ, kLow32, AF_UNIX)})
           && filter.refuse(call, EPERM, {SCMP_A0(SCMP_CMP_MASKED_EQ, kLow32, AF_NETLINK)});
}

// A mapping or a change of protection that makes nothing executable (prot is the third argument).
bool notExecutable(Filter& filter, int call) { return filter.allow(call, {SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, 0)}); }

bool threadNames(Filter& filter, int call) { return allowWhere(filter, call, 0, {PR_SET_NAME, PR_GET_NAME}); }

constexpr Call kMemoryCalls[] = {
    {"brk", "the heap"},
    {"mmap", "larger blocks of the heap, and files mapped to read (fonts, libraries)"},
    {"munmap", "giving them back"},
    {"mprotect", "guard pages of thread stacks, libraries loaded late (picture plugins)"},
    {"mremap", "a large block grown in place"},
    {"madvise", "memory the heap and ended threads give back"},
};
constexpr Call kDataMemoryCalls[] = {
    {"brk", "the heap"},
    {"mmap", "larger blocks of the heap, and the file mapped to read; never executable", notExecutable},
    {"munmap", "giving them back"},
    {"mprotect", "never making a page executable", notExecutable},
    {"mremap", "a large block grown in place"},
    {"madvise", "memory the heap gives back"},
};
constexpr Call kTimeCalls[] = {
    {"clock_gettime", "the time, where the vDSO does not answer"},
    {"clock_getres", "the clock's resolution"},
    {"gettimeofday", "the time, older callers"},
    {"clock_nanosleep", "a thread waiting"},
    {"nanosleep", "a thread waiting, older callers"},
    {"setitimer", "the processor watch"},
};
constexpr Call kDescriptorCalls[] = {
    {"read", "pipes, sockets, files"},
    {"write", "pipes, sockets, standard error"},
    {"readv", "reading into several buffers"},
    {"writev", "writing from several buffers"},
    {"pread64", "reading a file at a place (fonts)"},
    {"close", "closing"},
    {"fstat", "the size of a file opened"},
    {"lseek", "moving in a file"},
    {"fcntl", "a descriptor's flags; never its owner or signal", fcntlCommands},
    {"ioctl", "how many bytes wait on a socket (FIONREAD) only", ioctlRequests},
};
constexpr Call kReadingByPathCalls[] = {
    {"openat", "opening to read", openatForReading},
    {"open", "opening to read, older callers", openByPathForReading},
    {"newfstatat", "whether a file is there, and its kind"},
    {"statx", "the same, Qt's way"},
    {"readlink", "where a link points"},
    {"access", "whether a file may be read"},
    {"faccessat", "the same, relative to a folder"},
    {"faccessat2", "the same, with flags"},
    {"getdents64", "a folder's names (plugins, fonts)"},
};
constexpr Call kThreadCalls[] = {
    {"clone", "a thread; a process is refused", threadsOnly},
    {"clone3", "refused with ENOSYS", refusedAsMissing},
    {"futex", "threads waiting on each other"},
    {"set_robust_list", "a new thread's locks"},
    {"rseq", "a new thread's restartable sequences"},
    {"sched_yield", "a thread giving way"},
    {"sched_getaffinity", "how many processors there are"},
    {"exit", "a thread ending"},
};
constexpr Call kSignalCalls[] = {
    {"rt_sigaction", "a signal's handler"},
    {"rt_sigprocmask", "signals blocked while a thread starts"},
    {"sigaltstack", "a stack for handlers"},
    {"tgkill", "a signal to its own process (abort)", toOwnProcess},
};
constexpr Call kWaitingCalls[] = {
    {"poll", "the event loop's wait"},
    {"ppoll", "the same, with a signal mask"},
    {"eventfd2", "the event loop's wake-up"},
};
constexpr Call kInternetCalls[] = {
    {"socket", "TCP and UDP over IPv4 and IPv6; EPERM for a local or netlink socket", internetFamilies},
    {"connect", "to the origin, the proxy, the name server"},
    {"getsockopt", "a connection's state"},
    {"setsockopt", "a socket's options"},
    {"getsockname", "a socket's own address"},
    {"getpeername", "the address it is connected to"},
    {"sendto", "name lookups"},
    {"recvfrom", "their answers, and HTTP"},
    {"sendmsg", "sending with a header"},
    {"recvmsg", "receiving with a header"},
    {"sendmmsg", "glibc's two lookups at once (IPv4, IPv6)"},
    {"shutdown", "closing a connection"},
};
constexpr Call kThreadNameCalls[] = {
    {"prctl", "PR_SET_NAME and PR_GET_NAME only", threadNames},
};
constexpr Call kIdentityCalls[] = {
    {"getpid", "its process id"},
    {"gettid", "a thread's id"},
    {"getuid", "its user"},
    {"geteuid", "its user"},
    {"getgid", "its group"},
    {"getegid", "its group"},
    {"uname", "the system's name, for name lookups"},
};

// Every helper may end, and return from a signal handler or an interrupted call.
constexpr Call kEndingCalls[] = {
    {"exit_group", "ending"},
    {"rt_sigreturn", "returning from a signal handler"},
    {"restart_syscall", "a call interrupted by a signal, taken up again"},
};
constexpr CallSet kEnding{"ending", kEndingCalls};

bool addSet(Filter& filter, const CallSet& set)
{
    bool added = true;
    for (const Call& call : set.calls) {
        const int number = ::seccomp_syscall_resolve_name(call.name);
        if (number == __NR_SCMP_ERROR)
            continue;  // not a call of this machine
        added = added && (call.rule ? call.rule(filter, number) : filter.allow(number));
    }
    return added;
}

}  // namespace

const CallSet kMemory{"memory", kMemoryCalls};
const CallSet kDataMemory{"data memory", kDataMemoryCalls};
const CallSet kTime{"time", kTimeCalls};
const CallSet kDescriptors{"descriptors", kDescriptorCalls};
const CallSet kReadingByPath{"reading by path", kReadingByPathCalls};
const CallSet kThreads{"threads", kThreadCalls};
const CallSet kSignals{"signals", kSignalCalls};
const CallSet kWaiting{"waiting", kWaitingCalls};
const CallSet kInternet{"internet", kInternetCalls};
const CallSet kThreadNames{"thread names", kThreadNameCalls};
const CallSet kIdentity{"identity", kIdentityCalls};

bool filterCalls(const Profile& profile)
{
    Filter filter;
    bool complete = addSet(filter, kEnding);
    for (const Allowed& allowed : profile.calls)
        complete = complete && addSet(filter, allowed.set);
    return complete && Reporter::install() && filter.load();
}

}  // namespace Fence
