// How the data grid appears to screen readers: a table of the columns it shows, in their order on
// screen, headed by their titles. A hidden column (the accounts' ID) is no part of it, so a screen
// reader reads what the eye sees. Its children are the column titles, then the cells row by row.
#pragma once

#include <QAccessibleWidget>
#include <QHash>

class QModelIndex;
class TDBGrid;

class GridAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridAccessible(TDBGrid* grid);

    // Tells screen readers that the grid's current cell went from previous to current: the one
    // selected now, wherever the focus is (the keys of the main window move it from outside the
    // grid), and, while the grid has the focus, the focused one.
    static void announceCurrentCell(TDBGrid* grid, const QModelIndex& current, const QModelIndex& previous);
    // Tells screen readers that this cell has the focus, while the grid has it.
    static void announceFocusedCell(TDBGrid* grid, const QModelIndex& current);

    TDBGrid* grid() const;
    // The columns shown, as columns of the result, in their order on screen.
    QList<int> shownColumns() const;
    // The cell at a row and a column of the result, or with row -1 the column's title; null
    // when the column is hidden or either is out of range.
    QAccessibleInterface* cell(int row, int column) const;
    // Where that cell is among the children, or -1.
    int childIndex(int row, int column) const;

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override;
    int selectedCellCount() const override;
    QList<QAccessibleInterface*> selectedCells() const override;
    QString columnDescription(int column) const override;
    QString rowDescription(int) const override { return QString(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    int columnCount() const override;
    int rowCount() const override;
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    // The grid selects one cell, its current one, which moves by the keyboard and the mouse.
    bool selectRow(int) override { return false; }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override;

protected:
    ~GridAccessible() override;

private:
    void forgetCells();

    // The cells handed out so far, by row (-1 for titles) and result column. They are made when
    // first asked for and live until the rows change, so there are never more than the grid has.
    mutable QHash<std::pair<int, int>, QAccessible::Id> cells_;
};
