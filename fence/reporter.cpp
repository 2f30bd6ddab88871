// Naming a refused call in test builds (see reporter.h).
#include "fence/reporter.h"

#ifdef MZ_FENCE_TESTING
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>
#endif

namespace Fence::Reporter {

#ifdef MZ_FENCE_TESTING

namespace {

// The calls' names, looked up before the filter is loaded: the handler may not allocate.
constexpr int kNamed = 512;
const char* names[kNamed];

void append(char*& at, const char* end, const char* text)
{
    while (*text && at < end)
        *at++ = *text++;
}

void appendNumber(char*& at, const char* end, long number)
{
    char digits[24];
    int count = 0;
    do {
        digits[count++] = char('0' + number % 10);
        number /= 10;
    } while (number > 0 && count < 24);
    while (count > 0 && at < end)
        *at++ = digits[--count];
}

// "mzbanner_probe: the fence refused system call 57 (fork)", then the helper ends as the
// filter would have ended it.
void report(int, siginfo_t* info, void*)
{
    char line[192];
    char* at = line;
    const char* end = line + sizeof line - 1;
    append(at, end, program_invocation_short_name);
    append(at, end, ": the fence refused system call ");
    appendNumber(at, end, info->si_syscall);
    if (info->si_syscall >= 0 && info->si_syscall < kNamed && names[info->si_syscall]) {
        append(at, end, " (");
        append(at, end, names[info->si_syscall]);
        append(at, end, ")");
    }
    *at++ = '\n';
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, std::size_t(at - line));
    ::_exit(128 + SIGSYS);
}

}  // namespace

bool install()
{
    for (int call = 0; call < kNamed; ++call)
        names[call] = ::seccomp_syscall_resolve_num_arch(SCMP_ARCH_NATIVE, call);
    struct sigaction action {};
    action.sa_sigaction = report;
    action.sa_flags = SA_SIGINFO;
    return ::sigaction(SIGSYS, &action, nullptr) == 0;
}

#else

bool install() { return true; }

#endif

}  // namespace Fence::Reporter
