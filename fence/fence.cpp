// The helpers' fence (see fence.h).
#include "fence/fence.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <linux/capability.h>
#include <linux/netlink.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace Fence {

namespace {

constexpr rlim_t kMiB = 1024 * 1024;

struct Limit {
    int resource;
    rlim_t value;
};

// Address space enough for Qt, the fonts, a page's pictures (4096 x 4096 at most) and its
// layout; processor time for hours of use; no core file; files and sockets enough for the
// fonts, the pipes and a few connections.
constexpr Limit kLimits[] = {
    {RLIMIT_AS, 512 * kMiB},
    {RLIMIT_CPU, 600},
    {RLIMIT_CORE, 0},
    {RLIMIT_NOFILE, 64},
};

void dropCapabilities()
{
    for (int capability = 0; capability <= CAP_LAST_CAP; ++capability)
        ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    ::syscall(SYS_capset, &header, none);
}

// One rule of the filter: the call, the error it gets, and the arguments it is refused with
// (all of them must hold; none means always).
struct Rule {
    const char* call;
    std::vector<scmp_arg_cmp> when = {};
    int error = EPERM;
};

std::vector<Rule> rules()
{
    const auto self = scmp_datum_t(::getpid());
    std::vector<Rule> refused;
    const auto always = [&](std::initializer_list<const char*> calls) {
        for (const char* call : calls)
            refused.push_back({call});
    };
    // No process of its own: threads only. glibc tries clone3 first and falls back to clone,
    // whose flags the filter can read.
    always({"fork", "vfork", "execve", "execveat"});
    refused.push_back({"clone", {SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0)}});
    refused.push_back({"clone3", {}, ENOSYS});
    // No reach into another process: its memory, its descriptors, its signals, its limits and
    // its scheduling (the password book above all). Signals go to the helper's own process
    // id, the rest to "this process" (0) only.
    always({"ptrace", "process_vm_readv", "process_vm_writev", "kcmp", "pidfd_open", "pidfd_getfd", "pidfd_send_signal",
            "migrate_pages", "move_pages", "tkill"});
    for (const char* call : {"kill", "tgkill", "rt_sigqueueinfo", "rt_tgsigqueueinfo"})
        refused.push_back({call, {SCMP_A0(SCMP_CMP_NE, self)}});
    for (const char* call : {"prlimit64", "sched_setaffinity", "sched_setscheduler", "sched_setparam", "sched_setattr"})
        refused.push_back({call, {SCMP_A0(SCMP_CMP_NE, 0)}});
    constexpr scmp_datum_t kIoPriorityOfProcess = 1;  // IOPRIO_WHO_PROCESS
    for (const auto& [call, ofProcess] :
         {std::pair{"setpriority", scmp_datum_t(PRIO_PROCESS)}, std::pair{"ioprio_set", kIoPriorityOfProcess}}) {
        refused.push_back({call, {SCMP_A0(SCMP_CMP_NE, ofProcess)}});
        refused.push_back({call, {SCMP_A1(SCMP_CMP_NE, 0)}});
    }
    refused.push_back({"prctl", {SCMP_A0(SCMP_CMP_EQ, PR_SET_PDEATHSIG)}});
    refused.push_back({"prctl", {SCMP_A0(SCMP_CMP_EQ, PR_SET_DUMPABLE)}});
    // Files are read, never written, made, renamed, removed or changed.
    for (const auto& [call, flags] : {std::pair{"open", 1}, std::pair{"openat", 2}}) {
        for (scmp_datum_t access : {O_WRONLY, O_RDWR, O_ACCMODE})
            refused.push_back({call, {scmp_arg_cmp{unsigned(flags), SCMP_CMP_MASKED_EQ, O_ACCMODE, access}}});
        for (scmp_datum_t flag : {O_CREAT, O_TRUNC})
            refused.push_back({call, {scmp_arg_cmp{unsigned(flags), SCMP_CMP_MASKED_EQ, flag, flag}}});
    }
    refused.push_back({"openat2", {}, ENOSYS});
    always({"creat",
            "open_by_handle_at",
            "name_to_handle_at",
            "unlink",
            "unlinkat",
            "rename",
            "renameat",
            "renameat2",
            "mkdir",
            "mkdirat",
            "rmdir",
            "link",
            "linkat",
            "symlink",
            "symlinkat",
            "chmod",
            "fchmod",
            "fchmodat",
            "chown",
            "fchown",
            "fchownat",
            "lchown",
            "truncate",
            "utime",
            "utimes",
            "utimensat",
            "futimesat",
            "setxattr",
            "lsetxattr",
            "fsetxattr",
            "removexattr",
            "lremovexattr",
            "fremovexattr",
            "mknod",
            "mknodat"});
    // No sockets but the internet's (and the routing table's, which name lookups read): no
    // local socket to the display, the session bus or any other program.
    for (scmp_datum_t family = 0; family < AF_MAX; ++family)
        if (family != AF_INET && family != AF_INET6 && family != AF_NETLINK)
            refused.push_back({"socket", {SCMP_A0(SCMP_CMP_EQ, family)}});
    refused.push_back({"socket", {SCMP_A0(SCMP_CMP_GE, AF_MAX)}});
    refused.push_back({"socket", {SCMP_A0(SCMP_CMP_EQ, AF_NETLINK), SCMP_A2(SCMP_CMP_NE, NETLINK_ROUTE)}});
    // No keys typed into a terminal; the kernel reads an ioctl's request as 32 bits.
    for (scmp_datum_t request : {TIOCSTI, TIOCLINUX})
        refused.push_back({"ioctl", {SCMP_A1(SCMP_CMP_MASKED_EQ, 0xffffffff, request)}});
    // None of the kernel's rarer doors.
    always(
        {"bpf",           "perf_event_open", "userfaultfd",   "io_uring_setup", "io_uring_enter", "io_uring_register",
         "keyctl",        "add_key",         "request_key",   "init_module",    "finit_module",   "delete_module",
         "kexec_load",    "kexec_file_load", "reboot",        "setns",          "unshare",        "mount",
         "umount2",       "pivot_root",      "chroot",        "swapon",         "swapoff",        "acct",
         "quotactl",      "syslog",          "vhangup",       "iopl",           "ioperm",         "modify_ldt",
         "settimeofday",  "clock_settime",   "clock_adjtime", "adjtimex",       "sethostname",    "setdomainname",
         "fanotify_init", "open_tree",       "move_mount",    "fsopen",         "fsconfig",       "fsmount",
         "fspick",        "mount_setattr",   "lookup_dcookie"});
    return refused;
}

}  // namespace

void enclose()
{
    // The working folder it was started in is a path of the program's.
    if (::chdir("/") != 0)
        ::_exit(1);
    ::close_range(3, UINT_MAX, 0);
    for (const Limit& limit : kLimits) {
        const rlimit value{limit.value, limit.value};
        ::setrlimit(limit.resource, &value);
    }
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    dropCapabilities();
}

// Everything else is allowed: the helper runs Qt's fonts, pictures and network access and
// glibc's name lookup, whose calls change with their versions on the user's machine; what a
// taken-over helper could harm the user with is what is refused.
bool installSyscallFilter()
{
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return false;
    bool complete = true;
    for (const Rule& rule : rules()) {
        const int call = ::seccomp_syscall_resolve_name(rule.call);
        if (call == __NR_SCMP_ERROR)
            continue;  // not a call of this machine
        complete = complete
                   && ::seccomp_rule_add_array(filter, SCMP_ACT_ERRNO(rule.error), call, unsigned(rule.when.size()),
                                               rule.when.data())
                          == 0;
    }
    complete = complete && ::seccomp_load(filter) == 0;
    ::seccomp_release(filter);
    return complete;
}

CpuWatch::CpuWatch()
{
    const itimerval budget{{0, 0}, {kSeconds, 0}};
    ::setitimer(ITIMER_PROF, &budget, nullptr);
}

CpuWatch::~CpuWatch()
{
    const itimerval off{};
    ::setitimer(ITIMER_PROF, &off, nullptr);
}

}  // namespace Fence
