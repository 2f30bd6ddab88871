// The rows of an open query (see resultset.h).
#include "data/resultset.h"

#include "data/exception.h"

#include <sqlite3.h>

namespace {

QString utf8(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

}  // namespace

void ResultSet::clear()
{
    fields_.clear();
    bytes_.clear();
    bytes_.shrink_to_fit();
    cells_.clear();
    cells_.shrink_to_fit();
}

void ResultSet::fetch(sqlite3_stmt* stmt)
{
    clear();
    bytes_.reserve(expectedBytes_ + expectedBytes_ / 8);
    cells_.reserve(expectedCells_ + expectedCells_ / 8);
    const int columns = sqlite3_column_count(stmt);
    for (int c = 0; c < columns; ++c)
        fields_.push_back({utf8(sqlite3_column_name(stmt, c)), utf8(sqlite3_column_decltype(stmt, c)),
                           utf8(sqlite3_column_table_name(stmt, c)), utf8(sqlite3_column_origin_name(stmt, c))});
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            const auto length = std::uint32_t(sqlite3_column_bytes(stmt, c));
            cells_.push_back({std::uint32_t(bytes_.size()), length});
            bytes_.insert(bytes_.end(), text, text + length);
        }
    }
    expectedBytes_ = bytes_.size();
    expectedCells_ = cells_.size();
    if (rc != SQLITE_DONE) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(stmt)));
        clear();
        throw EDatabaseError(message);
    }
}

QString ResultSet::text(int row, int column) const
{
    const Cell& cell = cells_[std::size_t(row) * fields_.size() + std::size_t(column)];
    return QString::fromUtf8(bytes_.data() + cell.offset, cell.length);
}

void ResultSet::removeRow(int row)
{
    const auto first = cells_.begin() + std::ptrdiff_t(std::size_t(row) * fields_.size());
    cells_.erase(first, first + std::ptrdiff_t(fields_.size()));
}
