// A data file made anew from an older one's rows (see movedfile.h).
#include "data/movedfile.h"

#include "data/dateformat.h"
#include "data/exception.h"
#include "data/schema.h"
#include "data/statements.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace MovedFile {

namespace {

// How each column keeps its values.
enum class Column {
    Id,      // a number
    Text,    // text; no value is empty text
    Day,     // text; a date as "yyyy-mm-dd"
    Stamp,   // text; a date as the login stamp writes it
    Number,  // a number, or no value
};
constexpr Column kAccountColumns[] = {Column::Id, Column::Day, Column::Text, Column::Text, Column::Text, Column::Text};
constexpr Column kLoginColumns[] = {Column::Id, Column::Text, Column::Stamp, Column::Number};

// How many backup names of one day are tried.
constexpr int kBackupNames = 99;

[[noreturn]] void failed(const QByteArray& path, const char* what, int error)
{
    throw EDatabaseError(u"%1 %2: %3"_s.arg(QLatin1String(what), QString::fromLocal8Bit(path),
                                            QString::fromLocal8Bit(std::strerror(error))));
}

// A number or a day as a text column keeps it.
QByteArray textOf(const Value& value, Column column)
{
    if (value.kind == Value::Kind::Number)
        return QByteArray::number(value.number);
    return (column == Column::Stamp ? Sql::loginStampDate(value.day) : FormatDate(kDateText, value.day)).toUtf8();
}

void bind(sqlite3_stmt* statement, int index, const Value& value, Column column)
{
    const bool number = column == Column::Id || column == Column::Number;
    if (number && value.kind == Value::Kind::Number) {
        sqlite3_bind_int64(statement, index, value.number);
    } else if (column == Column::Number && value.kind == Value::Kind::None) {
        sqlite3_bind_null(statement, index);
    } else if (value.kind == Value::Kind::Text || value.kind == Value::Kind::None) {
        // The text stays where it is until the row is stepped.
        sqlite3_bind_text(statement, index, value.text.data() ? value.text.data() : "", int(value.text.size()),
                          SQLITE_STATIC);
    } else {
        const QByteArray text = textOf(value, column);
        sqlite3_bind_text(statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }
}

template <std::size_t Columns>
void insert(sqlite3* db, const char* sql, const Rows& rows, const Column (&columns)[Columns])
{
    if (rows.columns != int(Columns))
        throw EDatabaseError(u"rows of %1 columns for a table of %2"_s.arg(rows.columns).arg(Columns));
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    for (qsizetype row = 0; row < rows.count; ++row) {
        for (std::size_t i = 0; i < Columns; ++i)
            bind(statement, int(i) + 1, rows.value(row, int(i)), columns[i]);
        if (sqlite3_step(statement) != SQLITE_DONE) {
            const QString error = QString::fromUtf8(sqlite3_errmsg(db));
            sqlite3_finalize(statement);
            throw EDatabaseError(error);
        }
        sqlite3_reset(statement);
    }
    sqlite3_finalize(statement);
}

void syncFile(const QByteArray& path, int flags)
{
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        failed(path, "cannot sync", error);
    }
    ::close(fd);
}

qint64 countOf(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    qint64 count = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        count = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    if (count < 0)
        throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
    return count;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

QByteArray folderOf(const QByteArray& file) { return file.left(file.lastIndexOf('/') + 1); }

}  // namespace

void write(const QByteArray& path, std::string_view key, const Rows& accounts, const Rows& login,
           const std::function<void()>& beforeCommit)
{
    try {
        schema::createDatabase(path.toStdString(), key, [&](sqlite3* db) {
            insert(db, "INSERT INTO U_P(ID,F1,F2,F3,F4,F5) VALUES(?,?,?,?,?,?)", accounts, kAccountColumns);
            insert(db, "INSERT INTO S_U(ID,F1,F2,F3) VALUES(?,?,?,?)", login, kLoginColumns);
            if (beforeCommit)
                beforeCommit();
        });
    } catch (const std::runtime_error& e) {
        throw EDatabaseError(QString::fromUtf8(e.what()));
    }
}

Counts count(const QByteArray& path, std::string_view key)
{
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw EDatabaseError(QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc)));
        schema::applyKey(db, key);
        const Counts counts{countOf(db, "SELECT count(*) FROM U_P"), countOf(db, "SELECT count(*) FROM S_U")};
        sqlite3_close(db);
        return counts;
    } catch (const std::runtime_error& e) {
        sqlite3_close(db);
        throw EDatabaseError(QString::fromUtf8(e.what()));
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
}

QByteArray keepBackup(const QByteArray& dataFile, const QDate& day)
{
    struct stat original;
    if (::stat(dataFile.constData(), &original) != 0)
        failed(dataFile, "cannot find", errno);
    const QByteArray stem = folderOf(dataFile) + "db-jet-backup-" + day.toString(u"yyyyMMdd"_s).toLatin1();
    for (int i = 1; i <= kBackupNames; ++i) {
        const QByteArray name = stem + (i > 1 ? "-" + QByteArray::number(i) : QByteArray()) + ".mdb";
        if (::link(dataFile.constData(), name.constData()) == 0)
            return name;
        if (errno != EEXIST)
            failed(name, "cannot make", errno);
        struct stat existing;
        if (::stat(name.constData(), &existing) == 0 && sameFile(existing, original))
            return name;
    }
    failed(stem, "no free name beside", EEXIST);
}

void replace(const QByteArray& newFile, const QByteArray& dataFile)
{
    if (::rename(newFile.constData(), dataFile.constData()) != 0)
        failed(dataFile, "cannot replace", errno);
}

void syncFolder(const QByteArray& file) { syncFile(folderOf(file), O_RDONLY | O_DIRECTORY); }

void discard(const QByteArray& path)
{
    ::unlink(path.constData());
    ::unlink((path + "-journal").constData());
}

}  // namespace MovedFile
