// The system calls a fenced helper may make, in named sets that each helper picks from for its
// allow list, and the argument rules some of them are allowed under.
#pragma once

#include <span>

namespace Fence {

class Filter;

// Lets a call through the filter only with the arguments it names; any other is refused by the
// filter's default. Arguments the kernel reads as an int (options, commands, families,
// requests) are compared on their low 32 bits, the bits the kernel reads.
using ArgumentRule = bool (*)(Filter& filter, int call);

struct Call {
    const char* name;             // as libseccomp names it
    const char* why;              // what the helpers make it for
    ArgumentRule rule = nullptr;  // none: any arguments
};

struct CallSet {
    const char* name;
    std::span<const Call> calls;
};

// One line of a helper's allow list: a set and why the helper needs it.
struct Allowed {
    const CallSet& set;
    const char* why;
};

// Memory: the heap, mappings of files and of anonymous memory, and advice on them.
extern const CallSet kMemory;
// The same memory, never executable: no mapping or page made executable, for a helper that loads
// no library once it is fenced.
extern const CallSet kDataMemory;
// Clocks, sleeps, and the interval timer of the processor watch.
extern const CallSet kTime;
// Reading, writing and closing descriptors already open, their flags (not their owner or
// signal: fcntl refuses F_SETOWN, F_SETOWN_EX and F_SETSIG), and how many bytes wait on one.
extern const CallSet kDescriptors;
// Opening files by path for reading only, and looking at them; Landlock decides which.
extern const CallSet kReadingByPath;
// Threads of the helper's own process (never a process), their futexes and their ends;
// glibc's clone3 is refused so that it falls back to clone, whose flags the filter reads.
extern const CallSet kThreads;
// Signal handlers and masks, and signals to the helper's own process only.
extern const CallSet kSignals;
// Waiting for descriptors: poll and the event loop's eventfd.
extern const CallSet kWaiting;
// Internet sockets (TCP and UDP over IPv4 and IPv6) and their use; a local socket is refused
// with EPERM (glibc asks nscd through one, and falls back).
extern const CallSet kInternet;
// Naming its own threads (prctl PR_SET_NAME); no other prctl option.
extern const CallSet kThreadNames;
// Who the helper is: its process and user ids.
extern const CallSet kIdentity;

}  // namespace Fence
