// The helpers' fence (see fence.h).
#include "fence/fence.h"

#include "fence/landlock.h"

#include <climits>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

namespace Fence {

namespace {

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
    ::close_range(3, UINT_MAX, 0);
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
