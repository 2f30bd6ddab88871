// What the filter does with a call its allow list does not name: it ends the helper. In test
// builds it traps the call instead, and a handler names it on standard error before it ends
// the helper, so that a new Qt or glibc version shows at once which call it now needs.
#pragma once

#include <cstdint>
#include <seccomp.h>

namespace Fence::Reporter {

#ifdef MZ_FENCE_TESTING
inline constexpr std::uint32_t kRefusal = SCMP_ACT_TRAP;
#else
inline constexpr std::uint32_t kRefusal = SCMP_ACT_KILL_PROCESS;
#endif

// In test builds, the handler for refused calls; elsewhere nothing to do.
bool install();

}  // namespace Fence::Reporter
