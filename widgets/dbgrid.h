// The data grid: a read-only table over a query, one column per result column, whose current
// row is the query's current row.
#pragma once

#include "data/query.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QMenu>
#include <QPointer>
#include <QTableView>
#include <functional>
#include <memory>
#include <vector>

class GridModel;
class TDBGrid;

// How a data cell is being drawn.
enum GridDrawStateFlag {
    gdSelected = 0x1,  // the current cell
    gdFocused = 0x2,   // the current cell while the grid has the focus
};
Q_DECLARE_FLAGS(GridDrawState, GridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(GridDrawState)

// The brush, font and text colour the cell drawing uses; a draw handler may change them before it
// calls TDBGrid::DefaultDrawColumnCell.
struct GridCanvas {
    QBrush brush;
    QFont font;
    QColor fontColor;
};

// One grid column, made from one result column each time the query opens: a handle on the
// grid's view of the column (width, visibility) and on the model's description of its title.
// It belongs to the grid and lives until the grid next makes its columns.
class TColumn {
public:
    TColumn(TDBGrid* grid, int index) : grid_(grid), index_(index) {}

    int index() const { return index_; }
    QString fieldName() const;

    // In pixels; kept while the column is hidden.
    int width() const { return width_; }
    void setWidth(int pixels);

    bool visible() const;
    void setVisible(bool visible);

    QColor titleColor() const;
    void setTitleColor(const QColor& color);
    bool titleBold() const;
    void setTitleBold(bool bold);
    // The font the title is drawn in: the grid's font, bold when titleBold().
    QFont titleFont() const;

private:
    TDBGrid* grid_;
    int index_;
    int width_ = 0;
};

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return dataSource_; }
    void setDataSource(TDataSource* source);
    // The query of the linked data source, or null.
    TADOQuery* DataSet() const { return dataSet_; }

    int columnCount() const { return int(columns_.size()); }
    // The column at this index of the result, or null.
    TColumn* column(int index) const;
    // Hiding the current cell's column moves the current cell to the next visible column.
    void setColumnVisible(int column, bool visible);
    GridModel* gridModel() const { return model_; }

    QMenu* popupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu* menu);

    // Called for every data cell after the grid has drawn it its own way, with the cell's
    // rectangle, its result column, its grid column and its state.
    std::function<void(const QRect& rect, int dataCol, TColumn* column, GridDrawState state)> OnDrawColumnCell;
    // Inside the draw handler: the drawing state, and the 1-based number of the row being drawn.
    GridCanvas* Canvas() { return &canvas_; }
    int drawingRecNo() const { return drawingRow_ + 1; }
    // Inside the draw handler: fills rect with Canvas()->brush and writes the cell's value in
    // Canvas()->font and Canvas()->fontColor, 2 pixels in from the left and the top, clipped to rect.
    void DefaultDrawColumnCell(const QRect& rect, int dataCol, TColumn* column, GridDrawState state);

Q_SIGNALS:
    void TitleClick(TColumn* column);
    // A double-click anywhere in the grid, or Enter on its current cell.
    void DblClick();
    void recordDeleted();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;
    void focusInEvent(QFocusEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyboardSearch(const QString& search) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class GridDelegate;

    void setUpTitles();
    void setUpIndicator();
    void updateRowHeight();
    void updateTitleFont();

    void linkDataSet(TADOQuery* query);
    void makeColumns();
    int defaultWidth(const QString& title, const QString& declType) const;
    void followQueryRow(int row);
    void scrollToCurrentLater();
    int visibleColumnFrom(int column) const;
    void keepColumnWidth(int column, int newSize);

    void deleteCurrentRecord();
    void copyCurrentCell();
    void openPopup(const QPoint& globalPos);
    void openPopupAtCurrentCell();

    void paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);
    GridDrawState drawState(const QModelIndex& index) const;
    void drawCell(QPainter* painter, const QRect& rect, const QString& text) const;

    QPointer<TDataSource> dataSource_;
    QPointer<TADOQuery> dataSet_;
    std::vector<std::unique_ptr<TColumn>> columns_;
    GridModel* model_;
    QPointer<QMenu> popupMenu_;
    GridCanvas canvas_;
    QPainter* drawingPainter_ = nullptr;
    int drawingRow_ = -1;
    bool scrollPending_ = false;
};
