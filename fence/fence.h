// The fence a helper program puts itself in before it reads the first foreign byte, so that
// bytes that take it over find nothing of the password book's and can do little of their own.
//
// How a helper uses it: it describes itself in a Profile (the folders it may read, single files
// it is handed as open descriptors, the TCP ports it may connect to, its limits, and its allow
// list of named call sets from fence/calls.h, each with a word on why), and keeps that profile
// in its own folder. Its first act, while it has one thread only, is enclose(profile); it then
// starts what it needs before any foreign byte (Qt, the fonts), and then calls
// filterCalls(profile). A helper whose files enclose() could not fence reads no foreign byte at
// all. Test builds (MZ_FENCE_TESTING, the library mzfence_testing) name a refused call on
// standard error before they end, and can skip Landlock's last step (fence/probes.h).
#pragma once

#include "fence/calls.h"

#include <cstdint>
#include <span>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace Fence {

struct Limit {
    int resource;
    rlim_t value;
};

struct Profile {
    std::span<const char* const> readableTrees;  // read only, with everything beneath
    std::vector<int> readableFiles;              // descriptors of single files, read only
    std::vector<std::string> privateFolders;     // must not lie in a readable tree (the program's)
    std::vector<std::uint16_t> tcpPorts;         // the only ones it may connect to; none: no TCP
    std::span<const Allowed> calls;
    std::span<const Limit> limits;
};

// The Landlock version the kernel offers; 0 when it offers none.
int landlockAbi();

// The helper's first act: out of the folder it was started in; every file but its standard
// ones and the profile's single files closed; its limits; no core file; not dumpable; no new privileges; no capabilities, even
// when started as root; and, through Landlock, nothing readable but the profile's files,
// nothing writable, no TCP port but the profile's (where the kernel has network rules), no
// signal and no abstract socket beyond itself (where it has scopes). True when Landlock holds
// and no private folder lies in a readable tree (a program installed under /usr/share).
bool enclose(const Profile& profile);

// After the helper has started what it needs, before the first foreign byte: the allow list,
// for every thread. Any call it does not list is refused; the dangerous ones end the helper.
// False when the kernel refuses the filter.
bool filterCalls(const Profile& profile);

// While one exists, the processor time the helper may spend is bounded: a document that makes
// litehtml style, lay out or draw for longer, or a picture that takes longer to decode, ends
// the helper.
class CpuWatch {
public:
    static constexpr int kSeconds = 2;

    CpuWatch();
    ~CpuWatch();
    CpuWatch(const CpuWatch&) = delete;
    CpuWatch& operator=(const CpuWatch&) = delete;
};

}  // namespace Fence
