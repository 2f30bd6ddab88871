// A drop-down box with an editable text. It is Qt's, but for screen readers: it is named by its
// caption (see accessibility.h), where Qt's speaks its current text as its name on Linux.
#pragma once

#include <QComboBox>

class TComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
};
