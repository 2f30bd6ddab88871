// Probes for the fence's tests, in helpers' test builds only: after the fence is up, the helper
// tries one thing the fence must refuse, as code that had taken it over would, and says on
// standard error what came of it ("probe read: refused EACCES", "probe read: allowed"). A call
// the filter refuses outright ends the helper, named by the reporter (reporter.h).
#pragma once

namespace Fence::Probes {

// Runs the named probe; its argument is a path, a port or a process id where it needs one. False for a name
// it does not know.
bool run(const char* name, const char* argument);

// The helper runs as on a kernel without Landlock: its rules are made, but never enforced.
void withoutLandlock();

}  // namespace Fence::Probes
