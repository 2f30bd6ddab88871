// The data grid (see dbgrid.h).
#include "widgets/dbgrid.h"

#include "widgets/dialogs.h"
#include "widgets/gridaccessible.h"
#include "widgets/gridindicator.h"
#include "widgets/gridmodel.h"
#include "widgets/guard.h"
#include "widgets/readable.h"
#include "widgets/secretclipboard.h"

#include <QAbstractButton>
#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStyleOptionHeader>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// How many characters wide a column's values are, judged from the declared type of the
// column they come from.
int displayWidthInChars(const QString& declType)
{
    static const QRegularExpression declaredSize(u"\\(\\s*(\\d+)\\s*\\)"_s);
    const QString type = declType.toUpper();
    if (type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME")))
        return 18;
    if (type.contains(QLatin1String("INT")))
        return 11;
    const QRegularExpressionMatch size = declaredSize.match(type);
    return size.hasMatch() ? size.captured(1).toInt() : 10;
}

constexpr int kTextIndent = 2;  // the value's text starts this far right of and below the cell's corner

}  // namespace

// Hands the painting of every data cell to the grid.
class GridDelegate : public QAbstractItemDelegate {
public:
    explicit GridDelegate(TDBGrid* grid) : QAbstractItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        grid_->paintCell(painter, option, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return option.fontMetrics.size(Qt::TextSingleLine, index.data().toString())
               + QSize(2 * kTextIndent, 2 * kTextIndent);
    }

private:
    TDBGrid* grid_;
};

// The column titles, each in its colour (the window text unless the column has one of its own) as
// it is drawn on the title's face. The left button's release over a title is a click on that
// title (clicked), wherever the press on a title was and whether the drag in between moved a
// column or not; a press on a divider begins a resize, whose end is no click.
class GridTitles : public QHeaderView {
public:
    GridTitles(QWidget* parent, std::function<void(int section)> clicked)
        : QHeaderView(Qt::Horizontal, parent), clicked_(std::move(clicked))
    {
        // The header tells a press only when it begins no resize.
        connect(this, &QHeaderView::sectionPressed, this, [this] { titlePressed_ = true; });
    }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const bool fromTitle = std::exchange(titlePressed_, false) && event->button() == Qt::LeftButton;
        QHeaderView::mouseReleaseEvent(event);
        const QPoint pos = event->position().toPoint();
        const int section = logicalIndexAt(pos);
        if (fromTitle && section >= 0 && viewport()->rect().contains(pos))
            clicked_(section);
    }

    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override
    {
        QHeaderView::initStyleOptionForIndex(option, logicalIndex);
        option->palette.setColor(QPalette::ButtonText,
                                 namedColourOn(option->palette.color(QPalette::ButtonText), faces()));
    }

    void changeEvent(QEvent* event) override
    {
        QHeaderView::changeEvent(event);
        const QEvent::Type type = event->type();
        if (type == QEvent::PaletteChange || type == QEvent::StyleChange || type == QEvent::FontChange)
            faces_.clear();
    }

private:
    // A title's face as the style draws it, where the top and the bottom of its text are: a style
    // may shade the face from top to bottom.
    const QList<QColor>& faces() const
    {
        if (!faces_.isEmpty())
            return faces_;
        QStyleOptionHeader section;
        initStyleOption(&section);
        section.rect = QRect(0, 0, 32, std::max(height(), sizeHint().height()));
        QImage image(section.rect.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(palette().color(QPalette::Button));
        QPainter painter(&image);
        style()->drawControl(QStyle::CE_HeaderSection, &section, &painter, this);
        const int middle = section.rect.center().y();
        const int half = std::min(fontMetrics().height() / 2, middle);
        faces_ = {image.pixelColor(16, middle - half), image.pixelColor(16, middle + half)};
        return faces_;
    }

    mutable QList<QColor> faces_;
    std::function<void(int)> clicked_;
    bool titlePressed_ = false;
};

QString TColumn::fieldName() const { return grid_->gridModel()->columnName(index_); }

void TColumn::setWidth(int pixels)
{
    width_ = pixels;
    grid_->setColumnWidth(index_, pixels);
}

bool TColumn::visible() const { return !grid_->isColumnHidden(index_); }

void TColumn::setVisible(bool visible) { grid_->setColumnVisible(index_, visible); }

QColor TColumn::titleColor() const
{
    const QColor color = grid_->gridModel()->titleColor(index_);
    return color.isValid() ? color : grid_->palette().color(QPalette::WindowText);
}

void TColumn::setTitleColor(const QColor& color) { grid_->gridModel()->setTitleColor(index_, color); }

bool TColumn::titleBold() const { return grid_->gridModel()->titleBold(index_); }

void TColumn::setTitleBold(bool bold) { grid_->gridModel()->setTitleBold(index_, bold); }

QFont TColumn::titleFont() const { return grid_->gridModel()->titleFont(index_); }

TDBGrid::TDBGrid(QWidget* parent) : QTableView(parent), model_(new GridModel(this))
{
    setUpIndicator();
    // Made before the model is set, so that the titles take each new result before the columns do.
    setHorizontalHeader(new GridTitles(this, [this](int section) {
        if (TColumn* clicked = column(section))
            Q_EMIT TitleClick(clicked);
    }));
    setModel(model_);
    // After the view's own handling of the reset: the columns are made from the new result.
    connect(model_, &QAbstractItemModel::modelReset, this, &TDBGrid::makeColumns);
    setItemDelegate(new GridDelegate(this));
    setUpTitles();
    updateTitleFont();
    setEditTriggers(NoEditTriggers);
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectItems);
    setTabKeyNavigation(true);
    setFocusPolicy(Qt::ClickFocus);
    setShowGrid(true);
    setGridStyle(Qt::SolidLine);
    // The right button belongs to the popup menu, which opens on the press itself.
    setContextMenuPolicy(Qt::PreventContextMenu);
    setCornerButtonEnabled(false);
    if (auto* corner = findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly))
        corner->installEventFilter(this);
    updateRowHeight();
}

// Titles can be resized and dragged to another place; clicking one, or ending a drag over one,
// reports TitleClick and leaves the current cell where it is.
void TDBGrid::setUpTitles()
{
    QHeaderView* titles = horizontalHeader();
    titles->setSectionsMovable(true);
    titles->setSectionsClickable(true);
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setHighlightSections(false);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    titles->setContextMenuPolicy(Qt::PreventContextMenu);
    titles->viewport()->installEventFilter(this);
    connect(titles, &QHeaderView::sectionResized, this,
            [this](int section, int, int newSize) { keepColumnWidth(section, newSize); });
}

void TDBGrid::setUpIndicator()
{
    auto* indicator = new GridIndicator(this);
    setVerticalHeader(indicator);
    indicator->setContextMenuPolicy(Qt::PreventContextMenu);
    indicator->viewport()->installEventFilter(this);
}

// Every row is as high as a line of text with its indent above and below: fixed, so that a
// hundred thousand rows cost nothing to lay out.
void TDBGrid::updateRowHeight() { verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2 * kTextIndent); }

void TDBGrid::updateTitleFont() { model_->setTitleFont(font()); }

TColumn* TDBGrid::column(int index) const
{
    return index >= 0 && index < columnCount() ? columns_[std::size_t(index)].get() : nullptr;
}

void TDBGrid::setPopupMenu(QMenu* menu) { popupMenu_ = menu; }

void TDBGrid::setDataSource(TDataSource* source)
{
    if (source == dataSource_)
        return;
    if (dataSource_)
        disconnect(dataSource_, nullptr, this, nullptr);
    dataSource_ = source;
    if (source) {
        connect(source, &TDataSource::dataSetChanged, this, [this] { linkDataSet(dataSource_->DataSet()); });
        connect(source, &QObject::destroyed, this, [this] { linkDataSet(nullptr); });
    }
    linkDataSet(source ? source->DataSet() : nullptr);
}

void TDBGrid::linkDataSet(TADOQuery* query)
{
    if (query && query == dataSet_)
        return;
    if (dataSet_)
        disconnect(dataSet_, nullptr, this, nullptr);
    dataSet_ = query;
    if (query)
        connect(query, &TADOQuery::currentChanged, this, &TDBGrid::followQueryRow);
    model_->setQuery(query);
}

// A new result (or none): the columns are made afresh from it with their default look, in
// result order, and the current cell goes to the query's current row. The header keeps hidden,
// moved and resized sections across a reset of the same shape, so each column is shown, put
// back in its place and given its default width.
void TDBGrid::makeColumns()
{
    columns_.clear();
    QHeaderView* titles = horizontalHeader();
    for (int index = 0; index < model_->columnCount(); ++index) {
        columns_.push_back(std::make_unique<TColumn>(this, index));
        titles->setSectionHidden(index, false);
        titles->moveSection(titles->visualIndex(index), index);
        columns_.back()->setWidth(defaultWidth(model_->columnName(index), model_->columnType(index)));
    }
    if (dataSet_)
        followQueryRow(dataSet_->RecNo() - 1);
}

// The field's width in characters times the width of "0", plus 4 pixels, and never narrower
// than the title.
int TDBGrid::defaultWidth(const QString& title, const QString& declType) const
{
    const int fieldWidth = displayWidthInChars(declType) * fontMetrics().horizontalAdvance(QLatin1Char('0')) + 4;
    const int titleWidth = horizontalHeader()->fontMetrics().horizontalAdvance(title) + 4;
    return std::max(fieldWidth, titleWidth);
}

// A section being hidden shrinks to 0 first; its column keeps the width it had.
void TDBGrid::keepColumnWidth(int column, int newSize)
{
    if (newSize > 0 && column < columnCount())
        columns_[std::size_t(column)]->setWidth(newSize);
}

// The query moved: the current cell goes to that row, in the same column, and into view.
void TDBGrid::followQueryRow(int row)
{
    if (row < 0 || row >= model_->rowCount() || columns_.empty()) {
        setCurrentIndex(QModelIndex());
        return;
    }
    if (currentIndex().row() != row) {
        const int column = visibleColumnFrom(currentIndex().isValid() ? currentIndex().column() : 0);
        setAutoScroll(false);
        setCurrentIndex(model_->index(row, column));
        setAutoScroll(true);
    }
    scrollToCurrentLater();
}

// Scrolling is left to the event loop: a loop that walks the query row by row (printing
// walks every row) then costs one scroll instead of one per row.
void TDBGrid::scrollToCurrentLater()
{
    if (scrollPending_)
        return;
    scrollPending_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            scrollPending_ = false;
            scrollTo(currentIndex());
        },
        Qt::QueuedConnection);
}

// The user moved the current cell: the query's current row follows. A move that came from the
// query finds it there already. The table view would announce the cell to screen readers by
// its own count of cells, hidden columns included, which the grid's accessible table does not
// have (see gridaccessible.h); the grid announces it itself.
void TDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QAbstractItemView::currentChanged(current, previous);
    GridAccessible::announceCurrentCell(this, current);
    if (dataSet_ && current.isValid())
        dataSet_->moveTo(current.row());
}

// The selection is the current cell, which currentChanged announces; the table view's own
// announcement counts cells as the grid's accessible table does not.
void TDBGrid::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    QAbstractItemView::selectionChanged(selected, deselected);
}

// Coming into the grid, a screen reader hears the cell the keys will move from. The grid's own
// focus is announced after this event; the cell's comes after that, so that it is the last word.
void TDBGrid::focusInEvent(QFocusEvent* event)
{
    QTableView::focusInEvent(event);
    QMetaObject::invokeMethod(
        this, [this] { GridAccessible::announceCurrentCell(this, currentIndex()); }, Qt::QueuedConnection);
}

// The first visible column at or after this one in the order on screen, or else before it.
int TDBGrid::visibleColumnFrom(int column) const
{
    const QHeaderView* titles = horizontalHeader();
    const int start = titles->visualIndex(column);
    for (int visual = start; visual < titles->count(); ++visual)
        if (!titles->isSectionHidden(titles->logicalIndex(visual)))
            return titles->logicalIndex(visual);
    for (int visual = start - 1; visual >= 0; --visual)
        if (!titles->isSectionHidden(titles->logicalIndex(visual)))
            return titles->logicalIndex(visual);
    return column;
}

void TDBGrid::setColumnVisible(int column, bool visible)
{
    setColumnHidden(column, !visible);
    const QModelIndex current = currentIndex();
    if (!visible && current.isValid() && current.column() == column)
        setCurrentIndex(model_->index(current.row(), visibleColumnFrom(column)));
}

// Ctrl+Home and Ctrl+End go to the first and the last row and stay in the column.
QModelIndex TDBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex current = currentIndex();
    const bool toFirstOrLastRow = (action == MoveHome || action == MoveEnd) && modifiers.testFlag(Qt::ControlModifier);
    if (!toFirstOrLastRow || !current.isValid())
        return QTableView::moveCursor(action, modifiers);
    return model_->index(action == MoveHome ? 0 : model_->rowCount() - 1, current.column());
}

// The grid is read-only: typing neither edits nor searches.
void TDBGrid::keyboardSearch(const QString&) {}

void TDBGrid::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_Delete && modifiers == Qt::ControlModifier) {
        guarded([this] { deleteCurrentRecord(); });
        return;
    }
    // The keyboard's right press and double-click on the current cell.
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        openPopupAtCurrentCell();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        Q_EMIT DblClick();
        return;
    }
    if (event->matches(QKeySequence::Copy)) {
        copyCurrentCell();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

// Ctrl+C: the current cell's text, which may be a password, goes on the clipboard as a secret
// that is cleared again after a while.
void TDBGrid::copyCurrentCell()
{
    const QModelIndex current = currentIndex();
    if (current.isValid())
        SecretClipboard::copy(current.data().toString());
}

// Ctrl+Delete: the current row goes from the database and from the result, after a confirmation.
void TDBGrid::deleteCurrentRecord()
{
    TADOQuery* query = DataSet();
    if (!query || !query->Active() || query->RecordCount() == 0)
        return;
    if (Dialogs::askOkCancel(u"Delete record?"_s, u"Confirm"_s) != Dialogs::Button::OK)
        return;
    query->Delete();
    Q_EMIT recordDeleted();
}

// A left or right press on a data cell makes it current; the right button then opens the popup.
void TDBGrid::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        QTableView::mousePressEvent(event);
    } else if (event->button() == Qt::RightButton) {
        const QModelIndex index = indexAt(event->position().toPoint());
        if (index.isValid())
            setCurrentIndex(index);
        openPopup(event->globalPosition().toPoint());
    }
}

void TDBGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    QTableView::mouseDoubleClickEvent(event);
    Q_EMIT DblClick();
}

// On the titles, the indicator and the corner, a right press opens the popup menu and a
// double-click is the grid's double-click; neither moves the current cell.
bool TDBGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton) {
            openPopup(mouse->globalPosition().toPoint());
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton) {
            Q_EMIT DblClick();
            return true;
        }
    }
    return QTableView::eventFilter(watched, event);
}

void TDBGrid::openPopup(const QPoint& globalPos)
{
    if (popupMenu_)
        popupMenu_->popup(globalPos);
}

// Below the current cell's left corner, or at the top of the list when no cell is current or in view.
void TDBGrid::openPopupAtCurrentCell()
{
    const QRect cell = visualRect(currentIndex());
    const bool inView = currentIndex().isValid() && viewport()->rect().intersects(cell);
    openPopup(viewport()->mapToGlobal(inView ? cell.bottomLeft() : QPoint()));
}

void TDBGrid::changeEvent(QEvent* event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateRowHeight();
        updateTitleFont();
    }
}

GridDrawState TDBGrid::drawState(const QModelIndex& index) const
{
    GridDrawState state;
    if (index == currentIndex()) {
        state |= gdSelected;
        if (hasFocus())
            state |= gdFocused;
    }
    return state;
}

// A cell is drawn plain (the current one highlighted while the grid has the focus), then
// handed to the draw handler, which may draw it again.
void TDBGrid::paintCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const GridDrawState state = drawState(index);
    const bool highlighted = state.testFlag(gdFocused);
    canvas_.brush = option.palette.brush(highlighted ? QPalette::Highlight : QPalette::Base);
    canvas_.font = font();
    canvas_.fontColor = option.palette.color(highlighted ? QPalette::HighlightedText : QPalette::Text);
    drawCell(painter, option.rect, model_->text(index.row(), index.column()));
    if (!OnDrawColumnCell)
        return;
    painter->save();
    drawingPainter_ = painter;
    drawingRow_ = index.row();
    const auto done = qScopeGuard([&] {
        drawingPainter_ = nullptr;
        drawingRow_ = -1;
        painter->restore();
    });
    OnDrawColumnCell(option.rect, index.column(), column(index.column()), state);
}

void TDBGrid::DefaultDrawColumnCell(const QRect& rect, int dataCol, TColumn*, GridDrawState)
{
    if (drawingPainter_)
        drawCell(drawingPainter_, rect, model_->text(drawingRow_, dataCol));
}

void TDBGrid::drawCell(QPainter* painter, const QRect& rect, const QString& text) const
{
    painter->save();
    painter->fillRect(rect, canvas_.brush);
    painter->setFont(canvas_.font);
    painter->setPen(canvas_.fontColor);
    painter->drawText(rect.adjusted(kTextIndent, kTextIndent, 0, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      text);
    painter->restore();
}
