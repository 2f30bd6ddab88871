// A check box that answers a click anywhere in its rectangle, not only on its mark and the
// width of its caption: the layout gives it a size, and the whole of that size is the box.
#pragma once

#include <QCheckBox>

class TCheckBox : public QCheckBox {
    Q_OBJECT
public:
    using QCheckBox::QCheckBox;

protected:
    bool hitButton(const QPoint& pos) const override;
};
