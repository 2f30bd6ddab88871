// Bringing an older data file across, at start, before the login window and under the data
// file's lock. A Data/db.mzx in the Jet 4.0 format ("Access 2000", as older builds of this kind of
// program kept it) is read by the reader process, its rows written into a new encrypted file
// beside it, and the new file put in its place, the older one kept beside it under a backup name;
// the user is told how many accounts came across and where the older file is, and logs in with
// the old password. When anything fails, the user is told that nothing was changed, and nothing
// was: the older file stays as it was and no new file is left. A kill at any moment leaves
// either the older file in place, which the next start brings across again, or the new one with
// the backup beside it.
#pragma once

#include "data/earlykey.h"
#include "platform/datafilelock.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

struct JetTables;

class OlderFileMove {
public:
    // The steps of the move, in order.
    enum class Step {
        Reading,       // the reader runs
        Writing,       // every row is in the new file, not yet committed
        Written,       // the new file is committed and synced
        Checked,       // the new file is read back and its rows counted
        BackupKept,    // the older file has its backup name too
        BackupSynced,  // the folder is synced with that name in it
        Replaced,      // the new file has the data file's name
        FolderSynced,  // the folder is synced again
    };

    struct Outcome {
        enum class Kind { NotOlder, Moved, Refused } kind = Kind::NotOlder;
        qsizetype accounts = 0;  // Moved: the accounts that came across
        QByteArray backup;       // Moved: where the older file is kept
        QString message;         // Refused: why, for the user
    };

    explicit OlderFileMove(const QByteArray& dataFile);

    // Brings the data file across when it is an older one, and tells the user how that went.
    void run();
    // The move alone, without telling anyone.
    Outcome bringAcross();
    // The notice or the error box for what came of it; nothing when the file was not an older one.
    static void tell(const Outcome& outcome);
    // The key the new file was made with, once the move is done; null before, or when there was none.
    NewFileKey* keyOfNewFile() { return moved_ ? &*key_ : nullptr; }

    // Runs at each step of every move from now on; tests end the process there.
    static void setStepHookForTesting(std::function<void(Step)> hook);

private:
    Outcome refused(const QString& why) const;
    Outcome moveRows(const JetTables& tables);
    void undo();

    QByteArray dataFile_;
    QByteArray newFile_;
    QByteArray backup_;
    std::optional<NewFileKey> key_;
    bool moved_ = false;
    // Taken on the new file before it takes the data file's name, and held for the whole run:
    // the lock on the older file would no longer keep a second copy of the program out.
    DataFileLock newFileLock_;
};
