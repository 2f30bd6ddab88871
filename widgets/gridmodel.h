// The table model behind the data grid: its rows are the positions of the linked query's
// current order, its columns the grid's columns. A value becomes text only when it is asked
// for, which a view does for the cells it paints.
#pragma once

#include <QAbstractTableModel>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

class TADOQuery;
class TColumn;

class TGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using Columns = std::vector<std::unique_ptr<TColumn>>;

    TGridModel(const Columns& columns, QObject* parent);

    // Shows the rows of query (nothing when it is null), with the columns that
    // rebuildColumns makes while the views are told to forget the old ones.
    void showResult(TADOQuery* query, const std::function<void()>& rebuildColumns);
    // The query put the same rows in another order.
    void rowsReordered();
    // The query no longer has the row at this position.
    void rowRemoved(int row);
    // The title of this column changed its colour or font.
    void titleChanged(int column);

    QString text(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const Columns& columns_;
    QPointer<TADOQuery> query_;
    int rows_ = 0;
};
