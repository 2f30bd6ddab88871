// The layout of a new database file, shared by the build tool that makes the initial file
// and by the tests that make their own temporary ones.
#pragma once

#include <functional>
#include <string>
#include <string_view>

struct sqlite3;

namespace schema {

// The key the program opens its database file with.
inline constexpr const char* kDatabasePassword = "qzk482";

// The longest texts the account editor accepts: the account name, the user name and the password
// each, and the description.
inline constexpr int kTextLength = 50;
inline constexpr int kDescriptionLength = 200;

// The login password a new database file starts with.
inline constexpr const char* kInitialLoginPassword = "admin";

// Applies the key and the settings that decide the file's format; must run on a fresh handle
// before any other statement, the same way when the file is made and when it is opened. The key
// is a passphrase, or a key derived from it in the engine's raw form x'<64 hex digits>'.
void applyKey(sqlite3* db, std::string_view key);

// Creates a new encrypted database file with both tables and the one login row.
// Refuses (throws std::runtime_error) when anything already exists at path; the new file is
// readable and writable by its owner only, and synced to the disk. A failed creation leaves no
// file behind.
void createDatabase(const std::string& path, const std::string& key, const std::string& loginPassword);

// The same with the rows fill puts into both tables, in the transaction that makes them: the file
// holds every row or, when fill throws, is not there at all.
// The key may be the engine's raw form with a salt, x'<64 hex digits><32 hex digits>'.
void createDatabase(const std::string& path, std::string_view key, const std::function<void(sqlite3*)>& fill);

// Runs one or more statements that return no rows; throws std::runtime_error with the engine's message.
void exec(sqlite3* db, const std::string& sql);

}  // namespace schema
