// The helpers' fence (see fence.h).
#include "fence/fence.h"

#include "fence/landlock.h"

#include <algorithm>
#include <climits>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace Fence {

namespace {

// Every descriptor from 3 on is closed, but the single files the profile reads.
void closeAllBut(std::vector<int> kept)
{
    std::sort(kept.begin(), kept.end());
    unsigned from = 3;
    for (const int file : kept) {
        if (file < int(from))
            continue;
        if (unsigned(file) > from)
            ::close_range(from, unsigned(file) - 1, 0);
        from = unsigned(file) + 1;
    }
    ::close_range(from, UINT_MAX, 0);
}

void dropCapabilities()
{
    for (int capability = 0; capability <= CAP_LAST_CAP; ++capability)
        ::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3] = {};
    ::syscall(SYS_capset, &header, none);
}

}  // namespace

bool enclose(const Profile& profile)
{
    // The working folder it was started in is a path of the program's.
    if (::chdir("/") != 0)
        ::_exit(1);
    closeAllBut(profile.readableFiles);
    for (const Limit& limit : profile.limits) {
        const rlimit value{limit.value, limit.value};
        ::setrlimit(limit.resource, &value);
    }
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    dropCapabilities();
    return Landlock::restrict(profile);
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
