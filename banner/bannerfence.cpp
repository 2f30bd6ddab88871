// The banner helper's fence (see bannerfence.h).
#include "bannerfence.h"

#include "webproxy.h"

#include <algorithm>
#include <climits>
#include <unistd.h>

namespace BannerFence {

namespace {

constexpr rlim_t kMiB = 1024 * 1024;

// The libraries, Qt's plugins, the fonts and their configuration, name lookup's files, the
// fonts' caches. Nothing under a home folder, /usr/local (where the program may be installed),
// the program's folder or its data.
constexpr const char* kReadableTrees[] = {"/usr/lib", "/usr/lib64", "/usr/share", "/usr/local/share/fonts",
                                          "/etc",     "/lib",       "/lib64",     "/var/cache/fontconfig"};

// Address space enough for Qt, the fonts, a page's pictures (4096 x 4096 at most) and its
// layout; processor time for hours of use; no core file; files and sockets enough for the
// fonts, the pipes and a few connections.
constexpr Fence::Limit kLimits[] = {
    {RLIMIT_AS, 512 * kMiB},
    {RLIMIT_CPU, 600},
    {RLIMIT_CORE, 0},
    {RLIMIT_NOFILE, 64},
};

// The calls seen while the helper draws every page of the banner tests' site (strace -f of the
// helper under test_banner, from the filter's loading on, and of name lookups through a proxy
// and straight to a host); test_banner, test_fence and test_program_banners run under it.
const Fence::Allowed kCalls[] = {
    {Fence::kMemory, "the heap, Qt's pictures and layouts, the font files fontconfig maps"},
    {Fence::kTime, "the event loop's timers, the fetches' time limits and the processor watch"},
    {Fence::kDescriptors, "the pipes to the password book, the sockets, font files; bytes waiting on a socket"},
    {Fence::kReadingByPath, "fonts, picture plugins and name lookup's files, in the trees Landlock leaves readable"},
    {Fence::kThreads, "Qt looks host names up in threads of its own"},
    {Fence::kThreadNames, "Qt names each thread it starts"},
    {Fence::kSignals, "glibc's threads block signals while they start; an abort signals the helper itself"},
    {Fence::kWaiting, "the event loop waits on the pipes and sockets and wakes through an eventfd"},
    {Fence::kInternet, "HTTP to the origin or the proxy; name lookups over UDP"},
    {Fence::kIdentity, "glibc and Qt ask for the process's and user's ids"},
};

// The folder the helper was installed in, beside the program and its Data folder.
std::string ownFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    const std::string executable(path, std::size_t(std::max<ssize_t>(length, 0)));
    return executable.substr(0, executable.rfind('/') + 1);
}

}  // namespace

Fence::Profile profile(std::uint16_t originPort)
{
    Fence::Profile fence{kReadableTrees, {}, {ownFolder()}, {originPort}, kCalls, kLimits};
    if (const auto proxy = WebProxy::configured())
        fence.tcpPorts.push_back(proxy->port);
    return fence;
}

}  // namespace BannerFence
