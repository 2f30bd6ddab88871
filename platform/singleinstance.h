// A per-user named lock that tells whether another copy of the program is running. A lock
// left behind by a copy that crashed is recognised by its dead process and taken over.
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

class SingleInstanceLock {
public:
    explicit SingleInstanceLock(const QString& name);

    // True when this process now holds the lock; false when a running copy holds it.
    bool tryAcquire();

    static QString lockFilePath(const QString& name);

private:
    std::unique_ptr<QLockFile> file_;
};
