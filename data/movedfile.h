// A data file made anew from the rows of an older one, and the moves of files around it. The new
// file is written whole in one transaction with the program's key, synced, and read back; the
// older file gets a second name that says what it is, never one another file has; then the new
// file takes the data file's name in one step and the folder is synced. At no moment is the data
// file's name without a whole file: it names the older file until the one step that makes it
// name the new one.
#pragma once

#include <QByteArray>
#include <QDate>
#include <functional>
#include <string_view>

namespace MovedFile {

// A value as the older file holds it.
struct Value {
    enum class Kind { None, Text, Number, Day } kind = Kind::None;
    QByteArrayView text;  // UTF-8
    qint64 number = 0;
    QDate day;
};

// A table's rows: how many, each of how many columns, and the value in each.
struct Rows {
    qsizetype count = 0;
    int columns = 0;
    std::function<Value(qsizetype row, int column)> value;
};

// Writes a new data file at path, where nothing may be yet, with key (the program's, as a
// passphrase or in the engine's raw form) and these rows of U_P and S_U (the first value of each
// the ID), each value as the program itself stores it: no value in a text column as empty text,
// a day in U_P as "yyyy-mm-dd", in S_U as the login stamp writes it. The file is synced before
// this returns. beforeCommit, when given, runs once every row is in, before the transaction
// commits. Throws EDatabaseError and leaves nothing behind.
void write(const QByteArray& path, std::string_view key, const Rows& accounts, const Rows& login,
           const std::function<void()>& beforeCommit = {});

struct Counts {
    qint64 accounts = 0;
    qint64 login = 0;
    bool operator==(const Counts&) const = default;
};
// The rows of U_P and S_U in the file at path, read with key. Throws EDatabaseError.
Counts count(const QByteArray& path, std::string_view key);

// Gives dataFile a second name beside it, "db-jet-backup-<yyyymmdd>.mdb" for day (then "-2",
// "-3" … while that one is taken), never one another file has, and returns it; a name of that
// kind the file already has is used again. Throws EDatabaseError.
QByteArray keepBackup(const QByteArray& dataFile, const QDate& day);

// newFile takes dataFile's name, in one step. Throws EDatabaseError.
void replace(const QByteArray& newFile, const QByteArray& dataFile);

// Writes the entries of the folder that holds file through to the disk. Throws EDatabaseError.
void syncFolder(const QByteArray& file);

// Removes a file that write left unfinished, with its journal.
void discard(const QByteArray& path);

}  // namespace MovedFile
