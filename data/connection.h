// The one database connection: described by an OLE DB style connection string, opened on
// the first statement that needs it, and kept open until it is destroyed.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/types.h>
#include <vector>

class BackgroundFetch;
struct BusyWait;
class EarlyKey;
class RawKey;
struct sqlite3;

// The program's database file: Data/db.mzx in the executable's folder (which ends with a
// path separator).
QString dataFilePath(const QString& exeFolder);

// The connection string of the program's database file, kept exactly in its historic form;
// exeFolder ends with a path separator. A folder with a ";" in it is written in double quotes.
QString buildConnectionString(const QString& exeFolder);

// The value of one key of a connection string ("Data Source", ...), without the double
// quotes around it; empty when the key is absent.
QString connectionStringValue(const QString& connectionString, const QString& key);

class TADOConnection : public QObject {
    Q_OBJECT
public:
    explicit TADOConnection(QObject* parent = nullptr);
    ~TADOConnection() override;

    QString ConnectionString() const { return connectionString_; }
    // Closes an open connection; the next statement opens it with the new string.
    void setConnectionString(const QString& text);

    // The first opening asks this for a key derived ahead for its file and passphrase, and keys
    // the file with the passphrase when it has none or when that key does not open the file.
    void setEarlyKey(EarlyKey* key) { earlyKey_ = key; }

    bool Connected() const { return db_ != nullptr; }
    void Close();

    // The open engine handle, opening the file first when needed. The file must exist: it is
    // opened read-write and never created. Throws EDatabaseError with the engine's message.
    // A file removed, replaced or made read-only since it was opened is opened again, so that
    // no statement goes on writing to a file the user no longer has.
    sqlite3* handle();

    // Fetches the rows of sql on a thread of its own, over a connection of its own to the file
    // this one has open (see BackgroundFetch); finished runs on that thread when they are in or
    // the fetch failed, with whether it succeeded.
    std::shared_ptr<BackgroundFetch> fetchInBackground(const QString& sql, std::function<void(bool)> finished);
    // Waits for the fetches still running. A statement that writes calls this first: the read
    // of a fetch would keep its commit from happening.
    void waitForBackgroundFetches();

private:
    // What identifies the opened file on disk.
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        bool writable = false;
        bool operator==(const FileIdentity&) const = default;
    };
    static std::optional<FileIdentity> identify(const QByteArray& path);

    // The file and the passphrase the connection string names.
    QByteArray filePath() const;
    QByteArray passphrase() const;
    void open();
    // The file keyed with the raw key when there is one and it opens the file (else the key is
    // dropped), or with the passphrase. busyWait: how a statement waits for another
    // connection's write to the file to end; without one, it does not wait.
    static sqlite3* openKeyed(const QByteArray& path, std::shared_ptr<const RawKey>& key, std::string_view passphrase,
                              const BusyWait* busyWait);
    static sqlite3* openWithKey(const QByteArray& path, std::string_view key, const BusyWait* busyWait);

    QString connectionString_;
    sqlite3* db_ = nullptr;
    QByteArray path_;
    FileIdentity opened_;
    EarlyKey* earlyKey_ = nullptr;
    // The raw key the open file was opened with, for the fetches' connections to the same file:
    // derived once, not again for each of them.
    std::shared_ptr<const RawKey> openedKey_;
    std::vector<std::weak_ptr<BackgroundFetch>> fetches_;
};
