// What the password book and its reader of older data files say to each other over one pipe: the
// reader sends the rows of the two tables, each field tagged with its kind, and the password book
// checks every count, length and kind before it keeps a byte. Each header is a row of 32-bit
// numbers in the machine's own byte order (both ends run on one machine).
//
// The stream is: a Table frame for the accounts, a Row frame for each of its rows, an End frame;
// the same for the login record; then the reader ends with status 0. A reader that cannot go on
// sends a Refusal frame instead and ends.
#pragma once

#include "protocol/bytes.h"

#include <array>
#include <cstdint>

namespace JetProtocol {

inline constexpr std::uint32_t kMagic = 0x4a4a5a4d;  // "MZJJ"

enum class FrameKind : std::uint32_t { Table = 1, Row = 2, End = 3, Refusal = 4 };

// The two tables, in the order they are sent.
enum class TableId : std::uint32_t { Accounts = 1, Login = 2 };

// The columns of each table, in the order a row's fields are sent.
inline constexpr std::array<const char*, 6> kAccountColumns = {"ID", "F1", "F2", "F3", "F4", "F5"};
inline constexpr std::array<const char*, 4> kLoginColumns = {"ID", "F1", "F2", "F3"};

constexpr std::uint32_t columnCount(TableId table)
{
    return table == TableId::Accounts ? std::uint32_t(kAccountColumns.size()) : std::uint32_t(kLoginColumns.size());
}

// Why a reader gives up.
enum class Refusal : std::uint32_t {
    NotJet4 = 1,        // not a Jet 4.0 file
    Unreadable = 2,     // its catalogue or a table's definition cannot be read
    NoTables = 3,       // no table U_P or S_U: the file of another program
    MissingColumn = 4,  // a table lacks one of its columns
    ColumnType = 5,     // a column holds a kind of value the password book does not keep
    DamagedRow = 6,     // a row's value lies outside its page, or its text is not text
    RowCount = 7,       // the rows read are not as many as the table says it holds
    TooLarge = 8,       // the file, a table or a value is over its bound
};

// A field: Null carries nothing; Text carries UTF-8; Integer eight bytes, a signed number; Date
// twelve bytes, three 32-bit numbers: year, month, day.
enum class FieldKind : std::uint32_t { Null = 0, Text = 1, Integer = 2, Date = 3 };

struct Frame {
    std::uint32_t magic = kMagic;
    FrameKind kind = FrameKind::Table;
    TableId table = TableId::Accounts;
    // Table: the rows the table says it holds. Row: its fields. End: the rows sent.
    // Refusal: the reason.
    std::uint32_t count = 0;
    // Row: the bytes of its fields, which follow. Refusal: the row at fault (from 1), or 0.
    std::uint32_t bytes = 0;
};

struct FieldHeader {
    FieldKind kind = FieldKind::Null;
    std::uint32_t length = 0;  // bytes that follow
};

struct Date {
    std::uint32_t year = 0;
    std::uint32_t month = 0;
    std::uint32_t day = 0;
};

static_assert(sizeof(Frame) == 20 && sizeof(FieldHeader) == 8 && sizeof(Date) == 12);

// The bounds the password book holds a reader to.
inline constexpr std::uint32_t kRowLimit = 1000000;         // rows of one table
inline constexpr std::uint32_t kFieldLimit = 1 << 20;       // bytes of one field
inline constexpr std::uint64_t kReplyLimit = 256ull << 20;  // bytes of the whole reply
inline constexpr std::uint64_t kFileLimit = 256ull << 20;   // bytes of the file read
inline constexpr int kTimeLimitSeconds = 60;                // the whole reading, start to end

using Protocol::load;
using Protocol::store;

}  // namespace JetProtocol
