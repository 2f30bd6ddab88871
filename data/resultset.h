// The rows of an open query, fetched whole: every value kept as its UTF-8 text in one block
// of memory, so that fetching a hundred thousand rows costs little more than stepping them.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

struct sqlite3_stmt;

struct FieldDef {
    QString name;      // the column name or its alias
    QString declType;  // the declared type of the column it comes from ("TEXT(50)"), or empty
    QString table;     // the table it comes from, or empty for an expression
    QString origin;    // the column of that table, or empty
};

class ResultSet {
public:
    // Steps stmt to its end and keeps every row; throws EDatabaseError on an engine error.
    void fetch(sqlite3_stmt* stmt);
    void clear();

    int rowCount() const { return int(cells_.size() / (fields_.empty() ? 1 : fields_.size())); }
    int columnCount() const { return int(fields_.size()); }
    const std::vector<FieldDef>& fields() const { return fields_; }

    QString text(int row, int column) const;
    void removeRow(int row);

private:
    struct Cell {
        std::uint32_t offset;
        std::uint32_t length;
    };

    std::vector<FieldDef> fields_;
    // The sizes of the last result, so that the next fetch of a list about as long allocates
    // its memory once instead of growing it step by step.
    std::size_t expectedBytes_ = 0;
    std::size_t expectedCells_ = 0;
    std::vector<char> bytes_;
    std::vector<Cell> cells_;
};
