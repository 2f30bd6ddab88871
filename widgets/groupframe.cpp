// A group frame that leaves the keys alone (see groupframe.h).
#include "widgets/groupframe.h"

#include <QEvent>

// Without a check box, a key goes the way it goes for any widget: on to the window.
bool GroupFrame::event(QEvent* event)
{
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (key && !isCheckable())
        return QWidget::event(event);
    return QGroupBox::event(event);
}
