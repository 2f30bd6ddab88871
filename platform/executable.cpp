// Where the running executable lives (see executable.h).
#include "platform/executable.h"

#include <climits>
#include <unistd.h>

QByteArray executableFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || length == ssize_t(sizeof path))
        return QByteArray();
    const QByteArray file(path, length);
    return file.left(file.lastIndexOf('/') + 1);
}
