// The single-instance lock (see singleinstance.h).
#include "platform/singleinstance.h"

#include <QDir>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString SingleInstanceLock::lockFilePath(const QString& name)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return folder + QLatin1Char('/') + name + u".lock"_s;
}

SingleInstanceLock::SingleInstanceLock(const QString& name) : file_(std::make_unique<QLockFile>(lockFilePath(name)))
{
    // Never stale by age: only a dead owner makes the lock stale, however long a copy runs.
    file_->setStaleLockTime(0);
}

bool SingleInstanceLock::tryAcquire() { return file_->tryLock(0); }
