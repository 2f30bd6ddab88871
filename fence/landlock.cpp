// Landlock for the fence (see landlock.h). The kernel's own header on Debian 12 knows the
// first versions only, so the structures and rights are written out here.
#include "fence/landlock.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace Fence::Landlock {

namespace {

constexpr unsigned kCreateRulesetVersion = 1U << 0;
constexpr int kRulePathBeneath = 1;
constexpr int kRuleNetPort = 2;

struct RulesetAttributes {
    std::uint64_t handledFiles;
    std::uint64_t handledNetwork;  // version 4 on
    std::uint64_t scoped;          // version 6 on
};

struct [[gnu::packed]] PathBeneath {
    std::uint64_t allowed;
    std::int32_t parent;
};

struct NetPort {
    std::uint64_t allowed;
    std::uint64_t port;
};

constexpr std::uint64_t kReadFile = 1ULL << 2;
constexpr std::uint64_t kReadDir = 1ULL << 3;
constexpr std::uint64_t kConnectTcp = 1ULL << 1;

// Which version brought which rights.
struct Rights {
    int since;
    std::uint64_t bits;
};

// Execute, write, read, read a folder, remove a folder or file, make devices, folders, files,
// sockets, pipes and links (1); link or rename across folders (2); truncate (3); ioctl on
// devices (5).
constexpr Rights kFileRights[] = {{1, (1ULL << 13) - 1}, {2, 1ULL << 13}, {3, 1ULL << 14}, {5, 1ULL << 15}};
// Bind and connect a TCP port (4).
constexpr Rights kNetworkRights[] = {{4, (1ULL << 0) | kConnectTcp}};
// Abstract local sockets and signals beyond the helper's own domain (6).
constexpr Rights kScopes[] = {{6, (1ULL << 0) | (1ULL << 1)}};

// The rights a version knows of: those of later versions are left out, as an older kernel
// refuses a rule set that names them.
template <std::size_t n>
std::uint64_t rightsOf(const Rights (&table)[n], int abi)
{
    std::uint64_t bits = 0;
    for (const Rights& rights : table)
        if (abi >= rights.since)
            bits |= rights.bits;
    return bits;
}

// The size of the attributes a version reads: older kernels refuse fields they do not know.
std::size_t attributesSize(int abi)
{
    if (abi >= 6)
        return sizeof(RulesetAttributes);
    return abi >= 4 ? offsetof(RulesetAttributes, scoped) : offsetof(RulesetAttributes, handledNetwork);
}

std::uint64_t fileRights(int abi) { return rightsOf(kFileRights, abi); }
std::uint64_t networkRights(int abi) { return rightsOf(kNetworkRights, abi); }
std::uint64_t scopes(int abi) { return rightsOf(kScopes, abi); }

bool& lastStepSkipped()
{
    static bool skipped = false;
    return skipped;
}

bool addPath(int ruleset, int parent, std::uint64_t rights)
{
    const PathBeneath rule{rights, parent};
    return ::syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &rule, 0) == 0;
}

// A tree the system does not have (no /lib32 here) is simply not there to read.
bool addTree(int ruleset, const char* path, std::uint64_t rights)
{
    const int tree = ::open(path, O_PATH | O_CLOEXEC);
    if (tree < 0)
        return true;
    const bool added = addPath(ruleset, tree, rights);
    ::close(tree);
    return added;
}

// Whether the folder is one of the trees or lies in one, as the system resolves both.
bool liesInTree(const std::string& folder, std::span<const char* const> trees)
{
    char resolved[PATH_MAX];
    if (!::realpath(folder.c_str(), resolved))
        return false;
    const std::string path = std::string(resolved) + '/';
    for (const char* tree : trees) {
        char root[PATH_MAX];
        if (::realpath(tree, root) && path.starts_with(std::string(root) == "/" ? "/" : std::string(root) + '/'))
            return true;
    }
    return false;
}

bool addRules(int ruleset, const Profile& profile, int abi)
{
    const std::uint64_t read = (kReadFile | kReadDir) & fileRights(abi);
    for (const char* tree : profile.readableTrees)
        if (!addTree(ruleset, tree, read))
            return false;
    for (const int file : profile.readableFiles)
        if (!addPath(ruleset, file, kReadFile))
            return false;
    if (abi < 4)
        return true;
    for (const std::uint16_t port : profile.tcpPorts) {
        const NetPort rule{kConnectTcp, port};
        if (::syscall(SYS_landlock_add_rule, ruleset, kRuleNetPort, &rule, 0) != 0)
            return false;
    }
    return true;
}

}  // namespace

bool restrict(const Profile& profile)
{
    const int abi = landlockAbi();
    if (abi < 1)
        return false;
    for (const std::string& folder : profile.privateFolders)
        if (liesInTree(folder, profile.readableTrees))
            return false;
    const RulesetAttributes attributes{fileRights(abi), networkRights(abi), scopes(abi)};
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, &attributes, attributesSize(abi), 0));
    if (ruleset < 0)
        return false;
    const bool fenced =
        addRules(ruleset, profile, abi) && !lastStepSkipped() && ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(ruleset);
    return fenced;
}

void skipLastStep() { lastStepSkipped() = true; }

}  // namespace Fence::Landlock

namespace Fence {

int landlockAbi()
{
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, Landlock::kCreateRulesetVersion);
    return abi > 0 ? int(abi) : 0;
}

}  // namespace Fence
