// The fence's Landlock part: what a helper may read and which TCP ports it may reach, as the
// kernel's Landlock enforces it, at whatever version the kernel offers.
#pragma once

#include "fence/fence.h"

namespace Fence::Landlock {

// Restricts the calling thread (the helper's only one) to the profile; false when the kernel
// has no Landlock or refuses it.
bool restrict(const Profile& profile);

// For test builds: everything but the last step, which is left out, so that the helper runs
// as it would on a kernel without Landlock.
void skipLastStep();

}  // namespace Fence::Landlock
