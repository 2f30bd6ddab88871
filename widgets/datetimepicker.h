// A date picker whose fields are stepped with the arrow keys while Tab leaves it for the next
// control, as on every other control of a window.
#pragma once

#include <QDateEdit>

class TDateTimePicker : public QDateEdit {
    Q_OBJECT
public:
    explicit TDateTimePicker(QWidget* parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override;
};
