// The layout of a new database file (see schema.h).
#include "data/schema.h"

#include "data/quoted.h"

// The engine's key functions are declared only for builds that encrypt.
#define SQLITE_HAS_CODEC 1
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace schema {

namespace {

// The registration date holds "yyyy-mm-dd"; the sizes are those the account editor accepts.
std::string tables()
{
    const std::string text = "TEXT(" + std::to_string(kTextLength) + ")";
    return "CREATE TABLE S_U(ID INTEGER PRIMARY KEY, F1 TEXT, F2 TEXT, F3 INTEGER);"
           "CREATE TABLE U_P(ID INTEGER PRIMARY KEY AUTOINCREMENT, F1 TEXT(10), F2 "
           + text + ", F3 " + text + ", F4 " + text + ", F5 TEXT(" + std::to_string(kDescriptionLength) + "));";
}

void createNewFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error(path + ": " + std::strerror(errno));
    ::close(fd);
}

void syncFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        throw std::runtime_error(path + ": " + std::strerror(error));
}

void fillNewFile(const std::string& path, std::string_view key, const std::function<void(sqlite3*)>& fill)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw std::runtime_error(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        applyKey(db, key);
        // A new file needs no journal and no sync at each step: a creation that fails removes the
        // file whole, and one that succeeds syncs it once at its end.
        exec(db, "PRAGMA journal_mode = OFF;PRAGMA synchronous = OFF;BEGIN;" + tables());
        fill(db);
        exec(db, "COMMIT;");
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    syncFile(path);
}

}  // namespace

void exec(sqlite3* db, const std::string& sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : sqlite3_errmsg(db);
        sqlite3_free(error);
        throw std::runtime_error(message);
    }
}

void applyKey(sqlite3* db, std::string_view key)
{
    // Given directly rather than inside a statement's text, which would leave copies of it in freed memory.
    if (sqlite3_key_v2(db, "main", key.data(), int(key.size())) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    exec(db, "PRAGMA cipher_page_size = 4096;");
}

void createDatabase(const std::string& path, const std::string& key, const std::string& loginPassword)
{
    createDatabase(path, key, [&](sqlite3* db) {
        exec(db, "INSERT INTO S_U(F1, F2, F3) VALUES(" + quoted(loginPassword, '\'') + ", '', 0);");
    });
}

void createDatabase(const std::string& path, std::string_view key, const std::function<void(sqlite3*)>& fill)
{
    createNewFile(path);
    try {
        fillNewFile(path, key, fill);
    } catch (...) {
        ::unlink(path.c_str());
        ::unlink((path + "-journal").c_str());
        throw;
    }
}

}  // namespace schema
