// No session bus of the program's own (see sessionbus.h).
#include "platform/sessionbus.h"

#include <QByteArray>
#include <QtGlobal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The user's own bus at $XDG_RUNTIME_DIR/bus, as the library looks for it.
bool userBusRuns()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info;
    return !runtime.isEmpty() && ::stat((runtime + "/bus").constData(), &info) == 0 && S_ISSOCK(info.st_mode)
           && info.st_uid == ::geteuid();
}

}  // namespace

void keepSessionBusFromBeingLaunched()
{
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") || userBusRuns())
        return;
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
}
