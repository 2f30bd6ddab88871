// The two tables of a Jet 4.0 file (see jetfile.h).
#include "jetfile.h"

#include "jettext.h"

#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace JetProtocol;

namespace {

// The first four bytes of a long value's header: its length, and in the two high bits where its
// bytes are: inline after the header, in one row of a long value page, or in a chain of rows.
constexpr std::uint32_t kInline = 0x80000000;
constexpr std::uint32_t kOneRow = 0x40000000;
constexpr std::uint32_t kLengthBits = 0x3fffffff;
// A long value's stored bytes: UTF-16 (or less) for the largest field the password book takes.
constexpr std::uint32_t kLongValueLimit = 2 * kFieldLimit;
// Where a row starts on its page, without the flags of its entry in the page's row table.
constexpr int kOffsetBits = 0x1fff;

std::uint32_t littleEndian32(const char* bytes)
{
    std::uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// libmdb copes with more kinds of column than the password book keeps: numbers of other sizes,
// money, yes/no, binary data. Those are not the password book's.
bool isKept(int type)
{
    return type == MDB_BYTE || type == MDB_INT || type == MDB_LONGINT || type == MDB_TEXT || type == MDB_MEMO
           || type == MDB_DATETIME;
}

struct TableFree {
    void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TableHandle = std::unique_ptr<MdbTableDef, TableFree>;

// One table, read row by row; each row's fields are those of the password book's columns, in
// their order.
class TableReader {
public:
    TableReader(MdbHandle* mdb, TableId id) : mdb_(mdb), id_(id) {}

    void send(FrameWriter& out)
    {
        open();
        if (table_->num_rows > kRowLimit)
            refuse(Refusal::TooLarge);
        out.table(id_, table_->num_rows);
        mdb_rewind_table(table_.get());
        fields_.resize(columns_.size());
        while (mdb_fetch_row(table_.get())) {
            if (++row_ > table_->num_rows)
                refuse(Refusal::RowCount);
            readFields();
            out.row(id_, fields_);
        }
        // A file cut short reads partly, and libmdb calls that the end of the table.
        if (row_ != table_->num_rows)
            refuse(Refusal::RowCount);
        out.end(id_, row_);
    }

private:
    [[noreturn]] void refuse(Refusal reason) const { throw Refused{reason, id_, row_}; }

    void open()
    {
        MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb_, id_ == TableId::Accounts ? "U_P" : "S_U");
        if (!entry || entry->object_type != MDB_TABLE)
            refuse(Refusal::NoTables);
        table_.reset(mdb_read_table(entry));
        if (!table_ || !mdb_read_columns(table_.get()))
            refuse(Refusal::Unreadable);
        for (std::uint32_t i = 0; i < columnCount(id_); ++i)
            columns_.push_back(column(id_ == TableId::Accounts ? kAccountColumns[i] : kLoginColumns[i]));
    }

    MdbColumn* column(const char* name) const
    {
        for (unsigned i = 0; i < table_->num_cols && i < table_->columns->len; ++i) {
            auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
            if (g_ascii_strcasecmp(column->name, name) != 0)
                continue;
            if (!isKept(column->col_type))
                refuse(Refusal::ColumnType);
            return column;
        }
        refuse(Refusal::MissingColumn);
    }

    // The row's fields, into fields_ (whose texts keep their room from row to row). The first is
    // the row's ID, which every row has.
    void readFields()
    {
        for (std::size_t i = 0; i < columns_.size(); ++i)
            read(*columns_[i], fields_[i]);
        if (fields_.front().kind != FieldKind::Integer)
            refuse(Refusal::DamagedRow);
    }

    // NULL and an empty value look the same here, and are the same to the password book.
    void read(const MdbColumn& column, Field& field) const
    {
        const int start = column.cur_value_start;
        const int length = column.cur_value_len;
        field.bytes.clear();
        field.kind = FieldKind::Null;
        if (length == 0)
            return;
        if (start < 0 || length < 0 || start > MDB_PGSIZE - length)
            refuse(Refusal::DamagedRow);
        const std::string_view stored(reinterpret_cast<const char*>(mdb_->pg_buf) + start, std::size_t(length));
        switch (column.col_type) {
        case MDB_TEXT:
            return text(stored, field);
        case MDB_MEMO:
            return text(longValue(stored), field);
        case MDB_DATETIME:
            return date(stored, field);
        default:
            return integer(stored, column.col_type, field);
        }
    }

    void text(std::string_view stored, Field& field) const
    {
        if (!JetText::utf8(stored, field.bytes))
            refuse(Refusal::DamagedRow);
        if (field.bytes.size() > kFieldLimit)
            refuse(Refusal::TooLarge);
        field.kind = FieldKind::Text;
    }

    void date(std::string_view stored, Field& field) const
    {
        if (stored.size() != sizeof(double))
            refuse(Refusal::DamagedRow);
        std::uint64_t bits;
        std::memcpy(&bits, stored.data(), sizeof bits);
        const std::optional<Date> day = JetText::day(std::bit_cast<double>(bits));
        if (!day)
            refuse(Refusal::DamagedRow);
        field.kind = FieldKind::Date;
        field.bytes.resize(sizeof(Date));
        store(*day, field.bytes.data());
    }

    void integer(std::string_view stored, int type, Field& field) const
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(stored.data());
        const std::size_t size = type == MDB_BYTE ? 1 : type == MDB_INT ? 2 : 4;
        if (stored.size() != size)
            refuse(Refusal::DamagedRow);
        const std::int64_t value = type == MDB_BYTE  ? bytes[0]
                                   : type == MDB_INT ? std::int16_t(bytes[0] | bytes[1] << 8)
                                                     : std::int32_t(littleEndian32(stored.data()));
        field.kind = FieldKind::Integer;
        field.bytes.resize(sizeof value);
        std::memcpy(field.bytes.data(), &value, sizeof value);
    }

    // A Memo value's stored bytes, after the header that the row holds.
    std::string longValue(std::string_view header) const
    {
        if (header.size() < MDB_MEMO_OVERHEAD)
            refuse(Refusal::DamagedRow);
        const std::uint32_t stored = littleEndian32(header.data());
        const std::uint32_t length = stored & kLengthBits;
        if (length > kLongValueLimit)
            refuse(Refusal::TooLarge);
        if (stored & kInline) {
            if (header.size() - MDB_MEMO_OVERHEAD != length)
                refuse(Refusal::DamagedRow);
            return std::string(header.substr(MDB_MEMO_OVERHEAD));
        }
        const std::uint32_t first = littleEndian32(header.data() + 4);
        std::string bytes = stored & kOneRow ? std::string(longValueRow(first)) : chained(first, length);
        if (bytes.size() != length)
            refuse(Refusal::DamagedRow);
        return bytes;
    }

    // A chain of rows, each beginning with where the next one is (0 after the last).
    std::string chained(std::uint32_t pageRow, std::uint32_t length) const
    {
        std::string bytes;
        while (pageRow != 0) {
            const std::string_view row = longValueRow(pageRow);
            if (row.size() < 4 || bytes.size() + row.size() - 4 > length)
                refuse(Refusal::DamagedRow);
            pageRow = littleEndian32(row.data());
            bytes += row.substr(4);
        }
        return bytes;
    }

    // One row of a long value page (a data page marked "LVAL"), by its page and row number.
    std::string_view longValueRow(std::uint32_t pageRow) const
    {
        void* page = nullptr;
        int offset = 0;
        std::size_t size = 0;
        if (mdb_find_pg_row(mdb_, int(pageRow), &page, &offset, &size) != 0)
            refuse(Refusal::DamagedRow);
        const char* bytes = static_cast<const char*>(page);
        offset &= kOffsetBits;
        if (bytes[0] != MDB_PAGE_DATA || std::memcmp(bytes + 4, "LVAL", 4) != 0 || size > MDB_PGSIZE
            || std::size_t(offset) > MDB_PGSIZE - size)
            refuse(Refusal::DamagedRow);
        return {bytes + offset, size};
    }

    MdbHandle* mdb_;
    TableId id_;
    TableHandle table_;
    std::vector<MdbColumn*> columns_;
    std::vector<Field> fields_;
    std::uint32_t row_ = 0;
};

}  // namespace

JetFile::JetFile(int fd) : size_(sizeOf(fd)), bytes_(::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0))
{
    if (bytes_ == MAP_FAILED)
        throw Refused{Refusal::Unreadable};
    mdb_ = mdb_open_buffer(bytes_, size_, MDB_NOFLAGS);
    const bool jet4 = mdb_ && mdb_->f->jet_version == MDB_VER_JET4;
    if (jet4 && mdb_read_catalog(mdb_, MDB_TABLE))
        return;
    release();
    throw Refused{jet4 ? Refusal::Unreadable : Refusal::NotJet4};
}

JetFile::~JetFile() { release(); }

void JetFile::release()
{
    if (mdb_)
        mdb_close(mdb_);
    ::munmap(bytes_, size_);
}

std::size_t JetFile::sizeOf(int fd)
{
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end <= 0)
        throw Refused{Refusal::NotJet4};
    if (std::uint64_t(end) > kFileLimit)
        throw Refused{Refusal::TooLarge};
    return std::size_t(end);
}

void JetFile::send(TableId table, FrameWriter& out) { TableReader(mdb_, table).send(out); }
