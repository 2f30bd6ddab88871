// The query component (see query.h).
#include "data/query.h"

#include "data/backgroundfetch.h"
#include "data/connection.h"
#include "data/exception.h"
#include "data/quoted.h"
#include "data/statements.h"

#include <QCollator>
#include <algorithm>
#include <numeric>
#include <sqlite3.h>

using namespace Qt::StringLiterals;

// What a column's rows are sorted by: whole numbers for integer columns, collation keys of
// the system's locale for everything else. Made on the first sort by that column.
struct TADOQuery::SortKeys {
    bool numeric = false;
    std::vector<qint64> numbers;
    std::vector<QCollatorSortKey> texts;

    bool less(int a, int b) const
    {
        return numeric ? numbers[std::size_t(a)] < numbers[std::size_t(b)]
                       : texts[std::size_t(a)].compare(texts[std::size_t(b)]) < 0;
    }
};

namespace {

class Statement {
public:
    Statement(sqlite3* db, const QString& sql)
    {
        const QByteArray text = sql.toUtf8();
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt_, &tail) != SQLITE_OK)
            throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
        if (!stmt_)
            throw EDatabaseError(u"Command text was not set for the command object"_s);
        const QByteArray rest = QByteArray(tail).trimmed();
        if (!rest.isEmpty() && rest != ";") {
            sqlite3_finalize(stmt_);
            throw EDatabaseError(u"Characters found after end of SQL statement"_s);
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const { return stmt_; }

    // Returns the number of rows the statement itself inserted, changed or deleted.
    int runToEnd()
    {
        sqlite3* db = sqlite3_db_handle(stmt_);
        // sqlite3_changes() keeps the count of the last such statement, so a statement of
        // another kind, or one that touched no row, is told by the total not moving.
        const int before = sqlite3_total_changes(db);
        int rc;
        while ((rc = sqlite3_step(stmt_)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE)
            throw EDatabaseError(QString::fromUtf8(sqlite3_errmsg(db)));
        return sqlite3_total_changes(db) == before ? 0 : sqlite3_changes(db);
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
};

sqlite3* handleOf(TADOConnection* connection)
{
    if (!connection)
        throw EDatabaseError(u"Missing Connection or ConnectionString"_s);
    return connection->handle();
}

bool isIntegerType(const QString& declType) { return declType.contains(QLatin1String("INT"), Qt::CaseInsensitive); }

// Where each row of the order before a reorder stands in the order after it; both orders hold
// the same fetched rows.
std::vector<int> positionsAfterReorder(const std::vector<int>& before, const std::vector<int>& after)
{
    std::vector<int> positionOfFetched(after.size());
    for (std::size_t position = 0; position < after.size(); ++position)
        positionOfFetched[std::size_t(after[position])] = int(position);
    std::vector<int> newPositions(before.size());
    for (std::size_t position = 0; position < before.size(); ++position)
        newPositions[position] = positionOfFetched[std::size_t(before[position])];
    return newPositions;
}

}  // namespace

TADOQuery::TADOQuery(QObject* parent) : QObject(parent) {}

TADOQuery::~TADOQuery() = default;

void TADOQuery::Open()
{
    if (Fetching())
        return FinishFetch();
    if (active_)
        return;
    // Fetched while the query is still closed, so that a statement that fails changes
    // nothing anyone can see.
    Statement statement(handleOf(Connection), SQL.join(QLatin1Char('\n')));
    result_.fetch(statement.get());
    showResult();
}

void TADOQuery::OpenInBackground()
{
    if (active_ || Fetching())
        return;
    const QString sql = SQL.join(QLatin1Char('\n'));
    // Prepared here as well, so that what Open would refuse at once is refused at once.
    Statement statement(handleOf(Connection), sql);
    const quint64 fetch = ++fetchNumber_;
    fetch_ = Connection->fetchInBackground(sql, [this, fetch](bool succeeded) {
        QMetaObject::invokeMethod(
            this, [this, fetch, succeeded] { fetchEnded(fetch, succeeded); }, Qt::QueuedConnection);
    });
}

// A completion that comes after its fetch was closed, or taken, or replaced by another is dropped:
// FinishFetch would wait for another fetch's rows.
void TADOQuery::fetchEnded(quint64 fetch, bool succeeded)
{
    if (Fetching() && fetch == fetchNumber_)
        Q_EMIT FetchComplete(succeeded);
}

void TADOQuery::FinishFetch()
{
    if (!Fetching())
        return;
    const std::shared_ptr<BackgroundFetch> fetch = std::exchange(fetch_, nullptr);
    result_ = fetch->take();
    showResult();
}

// A new result is in: the views hear of it, and its first row becomes current.
void TADOQuery::showResult()
{
    Q_EMIT resultAboutToChange();
    order_.resize(std::size_t(result_.rowCount()));
    std::iota(order_.begin(), order_.end(), 0);
    keys_.clear();
    keys_.resize(std::size_t(result_.columnCount()));
    active_ = true;
    Q_EMIT resultChanged();
    First();
}

void TADOQuery::ExecSQL()
{
    rowsAffected_ = 0;
    sqlite3* db = handleOf(Connection);
    Connection->waitForBackgroundFetches();
    Statement statement(db, SQL.join(QLatin1Char('\n')));
    rowsAffected_ = statement.runToEnd();
}

void TADOQuery::Close()
{
    fetch_.reset();
    if (!active_)
        return;
    setCurrent(-1);
    Q_EMIT resultAboutToChange();
    active_ = false;
    result_.clear();
    order_.clear();
    keys_.clear();
    sort_.clear();
    bof_ = eof_ = true;
    Q_EMIT resultChanged();
}

void TADOQuery::setCurrent(int row)
{
    if (row == current_)
        return;
    current_ = row;
    Q_EMIT currentChanged(current_);
}

void TADOQuery::First()
{
    setCurrent(order_.empty() ? -1 : 0);
    bof_ = true;
    eof_ = order_.empty();
}

void TADOQuery::Last()
{
    setCurrent(RecordCount() - 1);
    bof_ = order_.empty();
    eof_ = true;
}

void TADOQuery::Next()
{
    if (current_ + 1 < RecordCount()) {
        setCurrent(current_ + 1);
        bof_ = eof_ = false;
    } else {
        eof_ = true;
    }
}

void TADOQuery::Prior()
{
    if (current_ > 0) {
        setCurrent(current_ - 1);
        bof_ = eof_ = false;
    } else {
        bof_ = true;
    }
}

void TADOQuery::moveTo(int row)
{
    if (row < 0 || row >= RecordCount() || row == current_)
        return;
    setCurrent(row);
    bof_ = eof_ = false;
}

int TADOQuery::fieldIndex(const QString& name) const
{
    const auto& fields = result_.fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

QString TADOQuery::FieldByName(const QString& name) const
{
    const int column = fieldIndex(name);
    if (column < 0 || current_ < 0)
        return QString();
    return text(current_, column);
}

const TADOQuery::SortKeys& TADOQuery::sortKeys(int column)
{
    auto& keys = keys_[std::size_t(column)];
    if (keys)
        return *keys;
    keys = std::make_unique<SortKeys>();
    const int rows = result_.rowCount();
    keys->numeric = isIntegerType(field(column).declType);
    if (keys->numeric) {
        keys->numbers.reserve(std::size_t(rows));
        for (int row = 0; row < rows; ++row)
            keys->numbers.push_back(result_.text(row, column).toLongLong());
    } else {
        QCollator collator;
        keys->texts.reserve(std::size_t(rows));
        for (int row = 0; row < rows; ++row)
            keys->texts.push_back(collator.sortKey(result_.text(row, column)));
    }
    return *keys;
}

void TADOQuery::setSort(const QString& sort)
{
    const QString text = sort.trimmed();
    if (!active_) {
        sort_ = text;
        return;
    }
    QString name = text;
    bool descending = false;
    const qsizetype space = text.lastIndexOf(QLatin1Char(' '));
    const QString direction = text.mid(space + 1);
    if (space > 0
        && (direction.compare(QLatin1String("ASC"), Qt::CaseInsensitive) == 0
            || direction.compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0)) {
        descending = direction.compare(QLatin1String("DESC"), Qt::CaseInsensitive) == 0;
        name = text.left(space).trimmed();
    }
    const int column = text.isEmpty() ? -1 : fieldIndex(name);
    if (!text.isEmpty() && column < 0)
        throw EDatabaseError(
            u"Item cannot be found in the collection corresponding to the requested name or ordinal"_s);

    const SortKeys* keys = column >= 0 ? &sortKeys(column) : nullptr;
    Q_EMIT orderAboutToChange();
    const std::vector<int> before = order_;
    std::iota(order_.begin(), order_.end(), 0);
    if (keys && descending)
        std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return keys->less(b, a); });
    else if (keys)
        std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return keys->less(a, b); });
    sort_ = text;
    const std::vector<int> newPositions = positionsAfterReorder(before, order_);
    if (current_ >= 0)
        current_ = newPositions[std::size_t(current_)];
    Q_EMIT orderChanged(newPositions);
    if (current_ >= 0)
        Q_EMIT currentChanged(current_);
}

void TADOQuery::Delete()
{
    if (current_ < 0)
        throw EDatabaseError(u"Cannot perform this operation on a closed or empty dataset"_s);
    sqlite3* db = handleOf(Connection);
    Connection->waitForBackgroundFetches();
    const int column = keyColumn();
    if (column < 0)
        throw EDatabaseError(u"Insufficient key column information for updating or refreshing"_s);
    const FieldDef& key = field(column);
    Statement statement(db, Sql::rowDeleteBy(quoted(key.table, QChar(u'"')), quoted(key.origin, QChar(u'"'))) + u'?');
    sqlite3_bind_int64(statement.get(), 1, text(current_, column).toLongLong());
    if (statement.runToEnd() != 1)
        throw EDatabaseError(
            u"Row cannot be located for updating. Some values may have been changed since it was last read"_s);

    // The row that takes the removed one's place becomes current before it goes (the one
    // before it when the last row goes), so that no view is left with a current row that is
    // being removed.
    const int removed = current_;
    setCurrent(removed + 1 < RecordCount() ? removed + 1 : removed - 1);
    Q_EMIT rowAboutToBeRemoved(removed);
    removeFromResult(removed);
    if (current_ > removed)
        --current_;
    bof_ = eof_ = order_.empty();
    Q_EMIT rowRemoved(removed);
}

void TADOQuery::removeFromResult(int row)
{
    const int fetchedRow = order_[std::size_t(row)];
    result_.removeRow(fetchedRow);
    order_.erase(order_.begin() + row);
    for (int& position : order_)
        if (position > fetchedRow)
            --position;
    keys_.clear();
    keys_.resize(std::size_t(result_.columnCount()));
}

// The column that holds the row identity of the table the result comes from: a column taken
// straight from an INTEGER PRIMARY KEY.
int TADOQuery::keyColumn() const
{
    sqlite3* db = Connection ? Connection->handle() : nullptr;
    for (int column = 0; column < FieldCount(); ++column) {
        const FieldDef& described = field(column);
        if (described.table.isEmpty() || described.origin.isEmpty())
            continue;
        const char* type = nullptr;
        int primaryKey = 0;
        if (sqlite3_table_column_metadata(db, nullptr, described.table.toUtf8().constData(),
                                          described.origin.toUtf8().constData(), &type, nullptr, nullptr, &primaryKey,
                                          nullptr)
                == SQLITE_OK
            && primaryKey && type && QByteArray(type).toUpper() == "INTEGER")
            return column;
    }
    return -1;
}

void TDataSource::setDataSet(TADOQuery* query)
{
    if (query == dataSet_)
        return;
    dataSet_ = query;
    Q_EMIT dataSetChanged();
}
