// The one database connection (see connection.h).
#include "data/connection.h"

#include "data/backgroundfetch.h"
#include "data/earlykey.h"
#include "data/exception.h"
#include "data/filename.h"
#include "data/quoted.h"
#include "data/schema.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// How long a background fetch waits for another connection's write to the file to end: no one
// waits for the fetch meanwhile.
constexpr std::chrono::milliseconds kFetchBusyWait(5000);

struct Pair {
    const char* key;
    QString value;
};

QString emptyQuoted() { return u"\"\""_s; }

// A value with a ";" in it is written in double quotes, with its own double quotes doubled.
QString pairValue(const QString& value)
{
    if (!value.contains(QLatin1Char(';')))
        return value;
    return quoted(value, QChar(u'"'));
}

struct ParsedPair {
    QString key;
    QString value;
};

// Splits "key=value;key=value" where a value may be double-quoted; the quotes are removed.
QList<ParsedPair> parsePairs(const QString& text)
{
    QList<ParsedPair> pairs;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype equals = text.indexOf(QLatin1Char('='), i);
        if (equals < 0)
            break;
        ParsedPair pair{text.mid(i, equals - i).trimmed(), QString()};
        i = equals + 1;
        if (i < text.size() && text[i] == QLatin1Char('"')) {
            for (++i; i < text.size(); ++i) {
                if (text[i] == QLatin1Char('"') && (i + 1 >= text.size() || text[i + 1] != QLatin1Char('"')))
                    break;
                if (text[i] == QLatin1Char('"'))
                    ++i;
                pair.value += text[i];
            }
            i = text.indexOf(QLatin1Char(';'), i);
        } else {
            const qsizetype end = text.indexOf(QLatin1Char(';'), i);
            pair.value = text.mid(i, end < 0 ? -1 : end - i);
            i = end;
        }
        pairs << pair;
        if (i < 0)
            break;
        ++i;
    }
    return pairs;
}

}  // namespace

QString dataFilePath(const QString& exeFolder) { return exeFolder + u"Data/db.mzx"_s; }

QString buildConnectionString(const QString& exeFolder)
{
    const Pair pairs[] = {
        {"provider", u"Microsoft.Jet.OLEDB.4.0"_s},
        {"user ID", u"Admin"_s},
        {"Data Source", pairValue(dataFilePath(exeFolder))},
        {"Mode", u"Share Deny None"_s},
        {"Extended Properties", emptyQuoted()},
        {"Jet OLEDB:System database", emptyQuoted()},
        {"Jet OLEDB:Registry Path", emptyQuoted()},
        {"Jet OLEDB:Database Password", QLatin1Char('"') + QLatin1String(schema::kDatabasePassword) + QLatin1Char('"')},
        {"Jet OLEDB:Engine Type", u"5"_s},
        {"Jet OLEDB:Database Locking Mode", u"1"_s},
        {"Jet OLEDB:Global Partial Bulk Ops", u"2"_s},
        {"Jet OLEDB:Global Bulk Transactions", u"1"_s},
        {"Jet OLEDB:New Database Password", emptyQuoted()},
        {"Jet OLEDB:Create System Database", u"False"_s},
        {"Jet OLEDB:Encrypt Database", u"False"_s},
        {"Jet OLEDB:Don't Copy Locale on Compact", u"False"_s},
        {"Jet OLEDB:Compact Without Replica Repair", u"False"_s},
        {"Jet OLEDB:SFP", u"False"_s},
    };
    QStringList parts;
    for (const Pair& pair : pairs)
        parts << QLatin1String(pair.key) + QLatin1Char('=') + pair.value;
    return parts.join(QLatin1Char(';'));
}

QString connectionStringValue(const QString& connectionString, const QString& key)
{
    for (const ParsedPair& pair : parsePairs(connectionString))
        if (pair.key.compare(key, Qt::CaseInsensitive) == 0)
            return pair.value;
    return QString();
}

TADOConnection::TADOConnection(QObject* parent) : QObject(parent) {}

TADOConnection::~TADOConnection() { Close(); }

void TADOConnection::setConnectionString(const QString& text)
{
    Close();
    connectionString_ = text;
}

void TADOConnection::Close()
{
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    openedKey_.reset();
}

std::optional<TADOConnection::FileIdentity> TADOConnection::identify(const QByteArray& path)
{
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino, ::access(path.constData(), W_OK) == 0};
}

sqlite3* TADOConnection::handle()
{
    // A removed file would otherwise take every later save with it when the program ends.
    if (db_ && identify(path_) != opened_)
        Close();
    if (!db_)
        open();
    return db_;
}

std::shared_ptr<BackgroundFetch> TADOConnection::fetchInBackground(const QString& sql,
                                                                   std::function<void(bool)> finished)
{
    auto fetch = std::make_shared<BackgroundFetch>(
        [path = filePath(), key = openedKey_, passphrase = passphrase().toStdString()](const BusyWait& wait) mutable {
            return openKeyed(path, key, passphrase, &wait);
        },
        sql.toUtf8(), kFetchBusyWait, std::move(finished));
    fetches_.push_back(fetch);
    return fetch;
}

void TADOConnection::waitForBackgroundFetches()
{
    for (const std::weak_ptr<BackgroundFetch>& running : fetches_)
        if (const std::shared_ptr<BackgroundFetch> fetch = running.lock())
            fetch->wait();
    fetches_.clear();
}

QByteArray TADOConnection::filePath() const
{
    return encodeFileName(connectionStringValue(connectionString_, u"Data Source"_s));
}

QByteArray TADOConnection::passphrase() const
{
    return connectionStringValue(connectionString_, u"Jet OLEDB:Database Password"_s).toUtf8();
}

void TADOConnection::open()
{
    const QByteArray path = filePath();
    const std::optional<FileIdentity> identity = identify(path);
    const QByteArray key = passphrase();
    std::shared_ptr<const RawKey> early;
    if (earlyKey_)
        early = std::make_shared<const RawKey>(std::exchange(earlyKey_, nullptr)->take(path, key));
    db_ = openKeyed(path, early, key.toStdString(), nullptr);
    openedKey_ = std::move(early);
    path_ = path;
    opened_ = identity.value_or(FileIdentity());
}

sqlite3* TADOConnection::openKeyed(const QByteArray& path, std::shared_ptr<const RawKey>& key,
                                   std::string_view passphrase, const BusyWait* busyWait)
{
    if (key && !key->empty()) {
        try {
            return openWithKey(path, key->text(), busyWait);
        } catch (const EDatabaseError&) {
            // A file replaced since the key was derived for it, or an engine that derives its
            // keys otherwise: the passphrase gets its own try, and any error the user sees is
            // the one it gives.
        }
    }
    key.reset();
    return openWithKey(path, passphrase, busyWait);
}

sqlite3* TADOConnection::openWithKey(const QByteArray& path, std::string_view key, const BusyWait* busyWait)
{
    sqlite3* db = nullptr;
    // Each connection serves one thread only (the user-interface thread, or a background fetch's
    // own), so it needs no mutex.
    const int rc = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw EDatabaseError(QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)) + u": "_s
                                 + QString::fromUtf8(path));
        if (busyWait)
            sqlite3_busy_handler(db, busyWait->handler, busyWait->context);
        schema::applyKey(db, key);
        // Reading the schema is the first access that needs the key: a wrong key or a file
        // that is no database fails here, not later in the middle of a statement. EXTRA also
        // syncs the folder once the commit has removed the rollback journal, so that a power
        // cut right after a save's success notice cannot bring the journal back and with it
        // roll the save back.
        schema::exec(db, "SELECT count(*) FROM sqlite_master;PRAGMA cache_size = -32000;PRAGMA synchronous = EXTRA;");
    } catch (const std::runtime_error& e) {
        sqlite3_close_v2(db);
        throw EDatabaseError(QString::fromUtf8(e.what()));
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
    return db;
}
