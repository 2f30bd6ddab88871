// A group frame: a titled frame around controls that leaves every key to the controls and the
// window. Qt's group box takes the keys the platform theme names as pressing a button as if it
// were a check box, even when it has none; GNOME's theme names Enter and Return among them, so
// Enter in an edit inside a group box never reached the window's default button there.
#pragma once

#include <QGroupBox>

class GroupFrame : public QGroupBox {
    Q_OBJECT
public:
    using QGroupBox::QGroupBox;

protected:
    bool event(QEvent* event) override;
};
