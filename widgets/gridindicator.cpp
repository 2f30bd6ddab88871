// The data grid's row indicator (see gridindicator.h).
#include "widgets/gridindicator.h"

#include <QItemSelectionModel>
#include <QPainter>
#include <QPolygon>

GridIndicator::GridIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent)
{
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setSectionsMovable(false);
    setHighlightSections(false);
    setFixedWidth(kWidth);
}

// Fixed, so the view never measures a hundred thousand sections to size it.
QSize GridIndicator::sizeHint() const { return QSize(kWidth, defaultSectionSize()); }

void GridIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    // The style puts back the clip it found as an empty region when there was none, which
    // would hide the arrow: keep the painter's state around it.
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (selectionModel() && selectionModel()->currentIndex().row() == logicalIndex)
        drawArrow(painter, rect);
}

// A filled triangle pointing right, 4 pixels wide and 7 high, in the middle of the section.
void GridIndicator::drawArrow(QPainter* painter, const QRect& rect) const
{
    const QPoint centre = rect.center();
    const int left = centre.x() - 1;
    const QPolygon arrow({QPoint(left, centre.y() - 3), QPoint(left + 3, centre.y()), QPoint(left, centre.y() + 3)});
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setPen(palette().color(QPalette::WindowText));
    painter->setBrush(palette().color(QPalette::WindowText));
    painter->drawPolygon(arrow);
    painter->restore();
}
