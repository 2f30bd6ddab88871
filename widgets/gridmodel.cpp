// The data grid's table model (see gridmodel.h).
#include "widgets/gridmodel.h"

#include "data/query.h"

#include <QBrush>

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::setQuery(TADOQuery* query)
{
    if (query_)
        disconnect(query_, nullptr, this, nullptr);
    beginResetModel();
    query_ = query;
    takeColumns();
    endResetModel();
    if (!query)
        return;
    connect(query, &TADOQuery::resultAboutToChange, this, &GridModel::beginResetModel);
    connect(query, &TADOQuery::resultChanged, this, [this] {
        takeColumns();
        endResetModel();
    });
    connect(query, &TADOQuery::orderAboutToChange, this,
            [this] { Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint); });
    connect(query, &TADOQuery::orderChanged, this, &GridModel::followNewOrder);
    connect(query, &TADOQuery::rowAboutToBeRemoved, this,
            [this](int row) { beginRemoveRows(QModelIndex(), row, row); });
    connect(query, &TADOQuery::rowRemoved, this, &GridModel::endRemoveRows);
    // By then the query is gone and its signals with it.
    connect(query, &QObject::destroyed, this, [this] { setQuery(nullptr); });
}

bool GridModel::showsRows() const { return query_ && query_->Active(); }

void GridModel::takeColumns()
{
    columns_.clear();
    for (int i = 0; showsRows() && i < query_->FieldCount(); ++i)
        columns_.push_back({query_->field(i).name, query_->field(i).declType, QColor(), false});
}

// Every index a view keeps goes with its row to the row's new position.
void GridModel::followNewOrder(const std::vector<int>& newPositions)
{
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& kept : before)
        after << index(newPositions[std::size_t(kept.row())], kept.column());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString GridModel::columnName(int column) const { return columns_[std::size_t(column)].name; }

QString GridModel::columnType(int column) const { return columns_[std::size_t(column)].declType; }

QColor GridModel::titleColor(int column) const { return columns_[std::size_t(column)].titleColor; }

void GridModel::setTitleColor(int column, const QColor& color)
{
    columns_[std::size_t(column)].titleColor = color;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

bool GridModel::titleBold(int column) const { return columns_[std::size_t(column)].titleBold; }

void GridModel::setTitleBold(int column, bool bold)
{
    columns_[std::size_t(column)].titleBold = bold;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

QFont GridModel::titleFont(int column) const
{
    QFont font = titleFont_;
    font.setBold(titleBold(column));
    return font;
}

void GridModel::setTitleFont(const QFont& font)
{
    titleFont_ = font;
    if (!columns_.empty())
        Q_EMIT headerDataChanged(Qt::Horizontal, 0, int(columns_.size()) - 1);
}

QString GridModel::text(int row, int column) const
{
    if (!showsRows() || row < 0 || row >= query_->RecordCount() || column < 0 || column >= query_->FieldCount())
        return QString();
    return query_->text(row, column);
}

int GridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !showsRows() ? 0 : query_->RecordCount();
}

int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(columns_.size()); }

QVariant GridModel::data(const QModelIndex& index, int role) const
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

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= int(columns_.size()))
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return columnName(section);
    case Qt::ForegroundRole:
        return titleColor(section).isValid() ? QVariant(QBrush(titleColor(section))) : QVariant();
    case Qt::FontRole:
        return titleFont(section);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
