// The data file's lock (see datafilelock.h).
#include "platform/datafilelock.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The engine's lock page starts at 1 GiB; it locks that page's first 512 bytes.
constexpr off_t kLockedByte = 0x40000000 + 512;

}  // namespace

DataFileLock::DataFileLock(const QByteArray& dataFile) : path_(dataFile) {}

DataFileLock::~DataFileLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool DataFileLock::tryAcquire()
{
    if (fd_ >= 0)
        return true;
    // Never waiting at the open, whatever stands at the path (a named pipe waits for its other end).
    int fd = ::open(path_.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    const bool writable = fd >= 0;
    if (!writable)
        fd = ::open(path_.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return true;
    struct flock lock = {};
    lock.l_type = writable ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kLockedByte;
    lock.l_len = 1;
    int rc;
    while ((rc = ::fcntl(fd, F_OFD_SETLK, &lock)) != 0 && errno == EINTR) {
    }
    if (rc == 0) {
        fd_ = fd;
        return true;
    }
    const bool held = errno == EAGAIN || errno == EACCES;
    ::close(fd);
    return !held;
}
