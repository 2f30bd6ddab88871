// An exclusive lock on one data file, held for the whole run, so that a second copy of the
// program on the same file finds it taken whatever its login session, home or runtime folder.
//
// The lock is an flock() on a companion file beside the data file ("db.mzx.lock"), never a
// lock on the data file itself: the database engine keeps fcntl() locks on that file, and
// those would be dropped as soon as any other descriptor of it were closed. The kernel
// releases the lock when the process ends, however it ends, so a killed copy never blocks the
// next start. The companion file is left in place: removing it would let a copy that has just
// opened it lock a file that no longer has a name.
#pragma once

#include <QString>

class DataFileLock {
public:
    explicit DataFileLock(const QString& dataFile);
    ~DataFileLock();
    DataFileLock(const DataFileLock&) = delete;
    DataFileLock& operator=(const DataFileLock&) = delete;

    // False when another process holds the lock. True when this process now holds it, and
    // also when no companion file can be made (a read-only or missing folder): the engine
    // cannot make its journal there either, so no copy can write to the file and two copies
    // lose nothing; the program then starts and reports the trouble on the first save.
    bool tryAcquire();

    // The companion file of a data file: beside the file a symbolic link leads to, so that
    // every path to one file names one lock.
    static QString lockFilePath(const QString& dataFile);

private:
    QString path_;
    int fd_ = -1;
};
