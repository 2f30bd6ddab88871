// A date picker that Tab leaves (see datetimepicker.h).
#include "widgets/datetimepicker.h"

TDateTimePicker::TDateTimePicker(QWidget* parent) : QDateEdit(parent) {}

// A date edit spends Tab on moving between its day, month and year; here Tab moves on.
bool TDateTimePicker::focusNextPrevChild(bool next) { return QWidget::focusNextPrevChild(next); }
