// A date picker that Tab leaves and keys open (see datetimepicker.h).
#include "widgets/datetimepicker.h"

#include "widgets/readable.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionComboBox>

// Its one button is the calendar's arrow. With spin buttons declared, Qt would take a press on the
// picker's frame for a press on them (it tells the arrow's parts by the drop-down's numbers, which
// are the spin buttons' too) and step the date.
TDateTimePicker::TDateTimePicker(QWidget* parent) : QDateEdit(parent) { setButtonSymbols(NoButtons); }

// A date edit spends Tab on moving between its day, month and year; here Tab moves on.
bool TDateTimePicker::focusNextPrevChild(bool next) { return QWidget::focusNextPrevChild(next); }

void TDateTimePicker::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool opens = (event->key() == Qt::Key_F4 && modifiers == Qt::NoModifier)
                       || (event->key() == Qt::Key_Down && modifiers == Qt::AltModifier);
    if (opens && calendarPopup()) {
        openCalendar();
        event->accept();
        return;
    }
    QDateEdit::keyPressEvent(event);
}

void TDateTimePicker::mousePressEvent(QMouseEvent* event)
{
    keepCalendarReadable();
    QDateEdit::mousePressEvent(event);
}

// The date edit opens its calendar only on a press of its arrow, which it finds as a drop-down
// list's arrow is found: the key presses it there.
void TDateTimePicker::openCalendar()
{
    QStyleOptionComboBox box;
    box.initFrom(this);
    box.editable = true;
    box.subControls = QStyle::SC_All;
    const QPoint arrow = style()->subControlRect(QStyle::CC_ComboBox, &box, QStyle::SC_ComboBoxArrow, this).center();
    QMouseEvent press(QEvent::MouseButtonPress, arrow, mapToGlobal(arrow), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    mousePressEvent(&press);
}

// Qt makes the calendar when it is first asked for; its weekend colours follow the palette from then on.
void TDateTimePicker::keepCalendarReadable()
{
    if (calendarFollowed_ || !calendarPopup())
        return;
    calendarFollowed_ = true;
    keepNamedDaysReadable(calendarWidget());
}
