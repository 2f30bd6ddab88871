// The data grid as screen readers see it (see gridaccessible.h).
#include "widgets/gridaccessible.h"

#include "widgets/dbgrid.h"
#include "widgets/gridmodel.h"

#include <QHeaderView>

namespace {

// A column title (row -1) or a data cell of the grid, by its row and its column of the result.
// It always stands for that place, so what it says follows the grid's contents.
class GridCellAccessible : public QAccessibleInterface, public QAccessibleTableCellInterface {
public:
    GridCellAccessible(GridAccessible* table, int row, int column) : table_(table), row_(row), column_(column) {}

    int row() const { return row_; }
    int column() const { return column_; }

    bool isValid() const override
    {
        return table_->isValid() && row_ < table_->rowCount() && table_->shownColumns().contains(column_);
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return table_->window(); }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* parent() const override { return table_; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }

    QString text(QAccessible::Text type) const override
    {
        if (type != QAccessible::Name || !isValid())
            return QString();
        const GridModel* model = grid()->gridModel();
        return isTitle() ? model->columnName(column_) : model->text(row_, column_);
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        if (!isValid() || !grid()->isVisible())
            return QRect();
        if (isTitle()) {
            const QHeaderView* titles = grid()->horizontalHeader();
            const QPoint at = titles->viewport()->mapToGlobal(QPoint(titles->sectionViewportPosition(column_), 0));
            return QRect(at, QSize(titles->sectionSize(column_), titles->height()));
        }
        const QRect cell = grid()->visualRect(index());
        return QRect(grid()->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }

    QAccessible::Role role() const override { return isTitle() ? QAccessible::ColumnHeader : QAccessible::Cell; }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        if (!isValid()) {
            state.invalid = true;
            return state;
        }
        if (isTitle())
            return state;
        state.focusable = true;
        state.selectable = true;
        state.selected = isSelected();
        state.focused = state.selected && grid()->hasFocus();
        state.offscreen = !grid()->viewport()->rect().intersects(grid()->visualRect(index()));
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TableCellInterface && !isTitle())
            return static_cast<QAccessibleTableCellInterface*>(this);
        return nullptr;
    }

    bool isSelected() const override { return isValid() && index() == grid()->currentIndex(); }
    QList<QAccessibleInterface*> columnHeaderCells() const override
    {
        QAccessibleInterface* title = table_->cell(-1, column_);
        return title ? QList<QAccessibleInterface*>{title} : QList<QAccessibleInterface*>();
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return int(table_->shownColumns().indexOf(column_)); }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return table_; }

private:
    bool isTitle() const { return row_ < 0; }
    TDBGrid* grid() const { return table_->grid(); }
    QModelIndex index() const { return grid()->gridModel()->index(row_, column_); }

    GridAccessible* table_;
    int row_;
    int column_;
};

}  // namespace

GridAccessible::GridAccessible(TDBGrid* grid) : QAccessibleWidget(grid, QAccessible::Table) {}

GridAccessible::~GridAccessible() { forgetCells(); }

namespace {

// An event of the grid's accessible table about one of its cells; nothing for a cell it does not show.
void tellOfCell(TDBGrid* grid, const QModelIndex& cell, QAccessible::Event type)
{
    const auto* table = dynamic_cast<GridAccessible*>(QAccessible::queryAccessibleInterface(grid));
    const int index = table && cell.isValid() ? table->childIndex(cell.row(), cell.column()) : -1;
    if (index < 0)
        return;
    QAccessibleEvent event(grid, type);
    event.setChild(index);
    QAccessible::updateAccessibility(&event);
}

}  // namespace

void GridAccessible::announceCurrentCell(TDBGrid* grid, const QModelIndex& current, const QModelIndex& previous)
{
    if (!QAccessible::isActive())
        return;
    tellOfCell(grid, previous, QAccessible::SelectionRemove);
    tellOfCell(grid, current, QAccessible::SelectionAdd);
    announceFocusedCell(grid, current);
}

void GridAccessible::announceFocusedCell(TDBGrid* grid, const QModelIndex& current)
{
    if (QAccessible::isActive() && grid->hasFocus())
        tellOfCell(grid, current, QAccessible::Focus);
}

TDBGrid* GridAccessible::grid() const { return static_cast<TDBGrid*>(widget()); }

QList<int> GridAccessible::shownColumns() const
{
    QList<int> shown;
    const QHeaderView* titles = grid()->horizontalHeader();
    for (int visual = 0; visual < titles->count(); ++visual) {
        const int column = titles->logicalIndex(visual);
        if (!titles->isSectionHidden(column))
            shown << column;
    }
    return shown;
}

QAccessibleInterface* GridAccessible::cell(int row, int column) const
{
    if (row < -1 || row >= rowCount() || !shownColumns().contains(column))
        return nullptr;
    const std::pair key(row, column);
    if (const auto known = cells_.constFind(key); known != cells_.constEnd())
        return QAccessible::accessibleInterface(*known);
    auto* made = new GridCellAccessible(const_cast<GridAccessible*>(this), row, column);
    cells_.insert(key, QAccessible::registerAccessibleInterface(made));
    return made;
}

int GridAccessible::childIndex(int row, int column) const
{
    const QList<int> shown = shownColumns();
    const qsizetype at = shown.indexOf(column);
    if (at < 0 || row < -1 || row >= rowCount())
        return -1;
    return (row + 1) * int(shown.size()) + int(at);
}

void* GridAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TableInterface)
        return static_cast<QAccessibleTableInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State GridAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    return state;
}

int GridAccessible::childCount() const { return columnCount() * (rowCount() + 1); }

QAccessibleInterface* GridAccessible::child(int index) const
{
    const QList<int> shown = shownColumns();
    if (index < 0 || shown.isEmpty())
        return nullptr;
    const int columns = int(shown.size());
    return cell(index / columns - 1, shown[index % columns]);
}

int GridAccessible::indexOfChild(const QAccessibleInterface* child) const
{
    const auto* cell = dynamic_cast<const GridCellAccessible*>(child);
    if (!cell || cell->table() != this)
        return -1;
    return childIndex(cell->row(), cell->column());
}

QAccessibleInterface* GridAccessible::childAt(int x, int y) const
{
    const QPoint global(x, y);
    const QHeaderView* titles = grid()->horizontalHeader();
    const QPoint onTitles = titles->viewport()->mapFromGlobal(global);
    if (titles->viewport()->rect().contains(onTitles))
        return cell(-1, titles->logicalIndexAt(onTitles));
    const QModelIndex index = grid()->indexAt(grid()->viewport()->mapFromGlobal(global));
    return index.isValid() ? cell(index.row(), index.column()) : nullptr;
}

QAccessibleInterface* GridAccessible::focusChild() const
{
    const QModelIndex current = grid()->currentIndex();
    return grid()->hasFocus() && current.isValid() ? cell(current.row(), current.column()) : nullptr;
}

QAccessibleInterface* GridAccessible::cellAt(int row, int column) const
{
    const QList<int> shown = shownColumns();
    return column >= 0 && column < shown.size() ? cell(row, shown[column]) : nullptr;
}

int GridAccessible::selectedCellCount() const { return int(selectedCells().size()); }

QList<QAccessibleInterface*> GridAccessible::selectedCells() const
{
    const QModelIndex current = grid()->currentIndex();
    QAccessibleInterface* selected = current.isValid() ? cell(current.row(), current.column()) : nullptr;
    return selected ? QList<QAccessibleInterface*>{selected} : QList<QAccessibleInterface*>();
}

QString GridAccessible::columnDescription(int column) const
{
    const QList<int> shown = shownColumns();
    return column >= 0 && column < shown.size() ? grid()->gridModel()->columnName(shown[column]) : QString();
}

int GridAccessible::columnCount() const { return int(shownColumns().size()); }

int GridAccessible::rowCount() const { return grid()->gridModel()->rowCount(); }

// The rows were replaced, reordered, added to or taken from: a cell handed out earlier may now
// stand where nothing is, so all are made afresh when next asked for.
void GridAccessible::modelChange(QAccessibleTableModelChangeEvent*) { forgetCells(); }

void GridAccessible::forgetCells()
{
    for (const QAccessible::Id id : std::as_const(cells_))
        QAccessible::deleteAccessibleInterface(id);
    cells_.clear();
}
