// The fence's Landlock part: what a helper may read and which TCP ports it may reach, as the
// kernel's Landlock enforces it, at whatever version the kernel offers.
#pragma once

#include "fence/fence.h"

#include <cstdint>

namespace Fence::Landlock {

// The rights a version knows of, for files, TCP ports and scopes: those of later versions
// are left out, as an older kernel refuses a rule set that names them.
std::uint64_t fileRights(int abi);
std::uint64_t networkRights(int abi);
std::uint64_t scopes(int abi);

// Restricts the calling thread (the helper's only one) to the profile; false when the kernel
// has no Landlock or refuses it.
bool restrict(const Profile& profile);

// For test builds: everything but the last step, which is left out, so that the helper runs
// as it would on a kernel without Landlock.
void skipLastStep();

}  // namespace Fence::Landlock
