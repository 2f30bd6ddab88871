// An exclusive lock on the data file itself, held for the whole run, so that a second copy of
// the program on the same file finds it taken, whatever its login session, home or runtime
// folder, and by whatever path it reaches the file: another folder, a symbolic link, a hard link.
//
// The lock is an open file description lock (F_OFD_SETLK) on one byte of the file that the
// database engine neither locks nor reads: the byte right after those it locks, on its lock
// page at 1 GiB, a page that never holds data. A lock of that kind belongs to the descriptor
// rather than to the process, so it is not dropped when the engine closes another descriptor
// of the file, as a classic record lock would be, and it meets none of the engine's record
// locks. flock() would not do: on NFS it becomes a record lock over the whole file, which would
// shut the engine itself out. The kernel releases the lock when the process ends, however it
// ends, so a killed copy never blocks the next start; and the descriptor is close-on-exec, so
// no program this one starts (a browser, a PDF viewer) holds the lock on after it.
#pragma once

#include <QByteArray>

class DataFileLock {
public:
    explicit DataFileLock(const QByteArray& dataFile);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // False when another process holds the lock. True when this process now holds it, and
    // also when there is no file to lock: the program then says so on its first statement.
    // A file this user may only read is held with a shared lock, which keeps out every copy
    // that could write to it.
    bool tryAcquire();

private:
    QByteArray path_;
    int fd_ = -1;
};
