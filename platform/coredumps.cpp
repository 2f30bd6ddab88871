// Keeping the memory out of crash dumps (see coredumps.h).
#include "platform/coredumps.h"

#include <sys/prctl.h>
#include <sys/resource.h>

void disableCoreDumps()
{
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
}
