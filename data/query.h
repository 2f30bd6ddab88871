// The query component: a statement, its result fetched whole, a cursor over the rows, and a
// client-side sort of the fetched rows. Windows run every statement through one of these.
#pragma once

#include "data/resultset.h"

#include <QCollatorSortKey>
#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class BackgroundFetch;
class TADOConnection;

class TADOQuery : public QObject {
    Q_OBJECT
public:
    explicit TADOQuery(QObject* parent = nullptr);
    ~TADOQuery() override;

    TADOConnection* Connection = nullptr;
    QStringList SQL;

    // Runs the statement and fetches every row; does nothing when the query is already open,
    // and finishes a fetch OpenInBackground began (FinishFetch).
    void Open();
    // Runs the statement as Open does, but its rows are fetched on another thread, over a
    // connection of their own, while the caller goes on: a file or a statement that cannot be
    // used is an error here, and the rows come later. The query stays closed until
    // FinishFetch opens it with them; FetchComplete tells when they are in.
    void OpenInBackground();
    // From OpenInBackground until FinishFetch or Close.
    bool Fetching() const { return fetch_ != nullptr; }
    // Waits for the rows of OpenInBackground and opens the query with them, as Open would
    // have; throws the engine's error when their fetch failed, and the query stays closed.
    // Does nothing when no rows are coming.
    void FinishFetch();
    // Runs a statement that returns no rows; RowsAffected() then tells how many rows it
    // inserted, changed or deleted (not counting what triggers did).
    void ExecSQL();
    int RowsAffected() const { return rowsAffected_; }
    void Close();
    bool Active() const { return active_; }

    int RecordCount() const { return int(order_.size()); }
    // 1-based number of the current row in the current order; 0 when there is no row.
    int RecNo() const { return current_ + 1; }
    void First();
    void Prior();
    void Next();
    void Last();
    // Makes the row at this 0-based position of the current order current; moving to the
    // current row changes nothing.
    void moveTo(int row);
    bool Bof() const { return bof_; }
    bool Eof() const { return eof_; }

    // The text of the named column (its name or alias, in any case) in the current row;
    // empty when there is no such column or no current row.
    QString FieldByName(const QString& name) const;
    int FieldCount() const { return result_.columnCount(); }
    const FieldDef& field(int column) const { return result_.fields()[std::size_t(column)]; }
    int fieldIndex(const QString& name) const;
    // The text at a 0-based position of the current order.
    QString text(int row, int column) const { return result_.text(order_[std::size_t(row)], column); }

    // "<column> ASC" or "<column> DESC"; empty means the order the statement gave.
    QString Sort() const { return sort_; }
    void setSort(const QString& sort);

    // Deletes the current row from its table and from the result; the next row becomes
    // current (the previous one when the last row went). A row that is no longer in its table
    // is an error, and stays in the result.
    void Delete();

Q_SIGNALS:
    // The rows of OpenInBackground are in, or their fetch failed: FinishFetch waits no more.
    // Only the open fetch's own completion comes, not one of a fetch closed since.
    void FetchComplete(bool succeeded);
    // Each change of the rows is announced before and after it happens, so that a model over
    // the query can tell its views in Qt's pairs. Between the two signals of a pair the query
    // must not be read.
    //
    // A new result with its own columns (Open), or none (Close).
    void resultAboutToChange();
    void resultChanged();
    // The same rows in another order (setSort); newPositions[old position] is the new one.
    void orderAboutToChange();
    void orderChanged(const std::vector<int>& newPositions);
    // The row at this position goes (Delete); the rows after it move up by one.
    void rowAboutToBeRemoved(int row);
    void rowRemoved(int row);
    // The current row is now the one at this 0-based position, -1 when there is no row; after
    // a sort, the same row at its new position. When the current row only moves up because
    // the row before it went, rowRemoved says so and this is not sent.
    void currentChanged(int row);

private:
    struct SortKeys;

    void showResult();
    void fetchEnded(quint64 fetch, bool succeeded);
    void setCurrent(int row);
    void removeFromResult(int row);
    const SortKeys& sortKeys(int column);
    int keyColumn() const;

    std::shared_ptr<BackgroundFetch> fetch_;
    quint64 fetchNumber_ = 0;  // counts the fetches begun, so that each completion names its own
    ResultSet result_;
    std::vector<int> order_;  // position in the current order -> fetched row
    std::vector<std::unique_ptr<SortKeys>> keys_;
    QString sort_;
    bool active_ = false;
    int rowsAffected_ = 0;
    int current_ = -1;
    bool bof_ = true;
    bool eof_ = true;
};

// Links a query to the grid that shows it.
class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr) : QObject(parent) {}
    TADOQuery* DataSet() const { return dataSet_; }
    void setDataSet(TADOQuery* query);

Q_SIGNALS:
    void dataSetChanged();

private:
    TADOQuery* dataSet_ = nullptr;
};
