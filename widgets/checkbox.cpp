// A check box clickable in its whole rectangle (see checkbox.h).
#include "widgets/checkbox.h"

bool TCheckBox::hitButton(const QPoint& pos) const { return rect().contains(pos); }
