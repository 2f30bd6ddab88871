// The banner helper's fence: what it may read, reach and call once it is up (see
// fence/fence.h for how a helper uses it).
#pragma once

#include "fence/fence.h"

#include <cstdint>

namespace BannerFence {

// Reading the system's folders and the fonts' caches (but never the helper's own folder, the
// program's), connecting to the banners' origin on originPort or to the proxy named in the
// environment, and the calls drawing is seen to make.
Fence::Profile profile(std::uint16_t originPort);

}  // namespace BannerFence
