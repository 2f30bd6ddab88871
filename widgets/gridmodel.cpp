// The data grid's table model (see gridmodel.h).
#include "widgets/gridmodel.h"

#include "data/query.h"
#include "widgets/dbgrid.h"

TGridModel::TGridModel(const Columns& columns, QObject* parent) : QAbstractTableModel(parent), columns_(columns) {}

void TGridModel::showResult(TADOQuery* query, const std::function<void()>& rebuildColumns)
{
    beginResetModel();
    query_ = query;
    rows_ = query ? query->RecordCount() : 0;
    rebuildColumns();
    endResetModel();
}

void TGridModel::rowsReordered()
{
    if (rows_ > 0 && !columns_.empty())
        emit dataChanged(index(0, 0), index(rows_ - 1, int(columns_.size()) - 1), {Qt::DisplayRole});
}

// The query has already dropped the row when it says so; until endRemoveRows the views still
// count it, and data() answers nothing for positions the query no longer has.
void TGridModel::rowRemoved(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    --rows_;
    endRemoveRows();
}

void TGridModel::titleChanged(int column) { emit headerDataChanged(Qt::Horizontal, column, column); }

QString TGridModel::text(int row, int column) const
{
    if (!query_ || row < 0 || row >= query_->RecordCount() || column < 0 || column >= query_->FieldCount())
        return QString();
    return query_->Text(row, column);
}

int TGridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int TGridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(columns_.size()); }

QVariant TGridModel::data(const QModelIndex& index, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return text(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= int(columns_.size()))
        return QVariant();
    const TColumn& column = *columns_[std::size_t(section)];
    switch (role) {
    case Qt::DisplayRole:
        return column.fieldName();
    case Qt::ForegroundRole:
        return QBrush(column.titleColor());
    case Qt::FontRole:
        return column.titleFont();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
