// A date picker with a drop-down calendar, whose fields are stepped with the arrow keys while Tab
// leaves it for the next control, as on every other control of a window, and whose calendar F4
// and Alt+Down open, as they open a drop-down list.
#pragma once

#include <QDateEdit>

class TDateTimePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit TDateTimePicker(QWidget* parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // Opens the drop-down calendar, as a click on the picker's arrow does.
    void openCalendar();
    void keepCalendarReadable();

    bool calendarFollowed_ = false;
};
