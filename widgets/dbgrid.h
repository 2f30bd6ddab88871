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

class TDBGrid;
class TGridModel;

// How a data cell is being drawn.
enum GridDrawStateFlag {
    gdSelected = 0x1,  // the current cell
    gdFocused = 0x2,   // the current cell while the grid has the focus
};
Q_DECLARE_FLAGS(GridDrawState, GridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(GridDrawState)

// The brush and font the cell drawing uses; a draw handler may change them before it calls
// TDBGrid::DefaultDrawColumnCell.
struct TCanvas {
    QBrush Brush;
    QFont Font;
};

// One grid column, made from one result column each time the query opens; it belongs to the
// grid and lives until the grid next rebuilds its columns.
class TColumn {
public:
    int index() const { return index_; }
    QString fieldName() const { return fieldName_; }

    // In pixels; kept while the column is hidden.
    int width() const { return width_; }
    void setWidth(int pixels);

    bool visible() const;
    void setVisible(bool visible);

    QColor titleColor() const { return titleColor_; }
    void setTitleColor(const QColor& color);
    bool titleBold() const { return titleBold_; }
    void setTitleBold(bool bold);
    // The font the title is drawn in: the grid's font, bold when titleBold().
    QFont titleFont() const;

private:
    friend class TDBGrid;
    TColumn(TDBGrid* grid, int index, const QString& fieldName, const QColor& titleColor);

    TDBGrid* grid_;
    int index_;
    QString fieldName_;
    int width_ = 0;
    QColor titleColor_;
    bool titleBold_ = false;
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

    QMenu* popupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu* menu);

    // Called for every data cell after the grid has drawn it its own way, with the cell's
    // rectangle, its result column, its grid column and its state.
    std::function<void(const QRect& rect, int dataCol, TColumn* column, GridDrawState state)> OnDrawColumnCell;
    // Inside the draw handler: the drawing state, and the 1-based number of the row being drawn.
    TCanvas* Canvas() { return &canvas_; }
    int DrawingRecNo() const { return drawingRow_ + 1; }
    // Inside the draw handler: fills rect with Canvas()->Brush and writes the cell's value in
    // Canvas()->Font, 2 pixels in from the left and the top, clipped to rect.
    void DefaultDrawColumnCell(const QRect& rect, int dataCol, TColumn* column, GridDrawState state);

signals:
    void TitleClick(TColumn* column);
    void DblClick();
    void RecordDeleted();

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyboardSearch(const QString& search) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    friend class TColumn;
    friend class TGridDelegate;

    void setUpTitles();
    void setUpIndicator();
    void updateRowHeight();

    void linkDataSet(TADOQuery* query);
    void showResult();
    void makeColumns(TADOQuery* query);
    void applyColumnDefaults(TADOQuery* query);
    int defaultWidth(const QString& title, const QString& declType) const;
    void followQueryRow(int row);
    void scrollToCurrentLater();
    int visibleColumnFrom(int column) const;
    void setColumnVisible(int column, bool visible);
    void keepColumnWidth(int column, int newSize);

    void removeRow(int row);
    void deleteCurrentRecord();
    void copyCurrentCell();
    void openPopup(const QPoint& globalPos);

    void paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);
    GridDrawState drawState(const QModelIndex& index) const;
    void drawCell(QPainter* painter, const QRect& rect, const QColor& textColor, const QString& text) const;

    QPointer<TDataSource> dataSource_;
    QPointer<TADOQuery> dataSet_;
    std::vector<std::unique_ptr<TColumn>> columns_;
    TGridModel* model_;
    QPointer<QMenu> popupMenu_;
    TCanvas canvas_;
    QPainter* drawingPainter_ = nullptr;
    int drawingRow_ = -1;
    bool followingQuery_ = false;
    bool scrollPending_ = false;
};
