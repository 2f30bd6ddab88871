// The data file's lock (see datafilelock.h).
#include "platform/datafilelock.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// Close-on-exec: a browser or viewer the program starts must not inherit the lock and keep
// it after the program has ended.
int openCompanion(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    // A companion left by an earlier run in a folder that has become read-only still locks.
    return fd >= 0 ? fd : ::open(path.constData(), O_RDONLY | O_CLOEXEC);
}

}  // namespace

QString DataFileLock::lockFilePath(const QString& dataFile)
{
    const QString target = QFileInfo(dataFile).canonicalFilePath();
    return (target.isEmpty() ? dataFile : target) + QStringLiteral(".lock");
}

DataFileLock::DataFileLock(const QString& dataFile) : path_(lockFilePath(dataFile)) {}

DataFileLock::~DataFileLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool DataFileLock::tryAcquire()
{
    if (fd_ >= 0)
        return true;
    const int fd = openCompanion(QFile::encodeName(path_));
    if (fd < 0)
        return true;
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc == 0) {
        fd_ = fd;
        return true;
    }
    const bool held = errno == EWOULDBLOCK;
    ::close(fd);
    return !held;
}
