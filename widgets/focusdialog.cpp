// A dialog whose buttons answer Enter only while focused (see focusdialog.h).
#include "widgets/focusdialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

FocusDialog::FocusDialog(QWidget* owner) : QDialog(owner)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    connect(qApp, &QApplication::focusChanged, this, &FocusDialog::keepDefaultOnFocusedButton);
}

// The buttons are destroyed before the dialog's connections end, and destroying a button
// with the focus reports a focus change: stop following the focus first.
FocusDialog::~FocusDialog() { disconnect(qApp, &QApplication::focusChanged, this, nullptr); }

void FocusDialog::setVisible(bool visible)
{
    QDialog::setVisible(visible);
    keepDefaultOnFocusedButton();
}

// A dialog makes its first button the default one when it is shown, and keeps a default
// button once any button has had the focus. Here a button is the default only while it has
// the focus, so that no button looks as if Enter in an edit would press it.
void FocusDialog::keepDefaultOnFocusedButton()
{
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setDefault(button->hasFocus());
}

// Esc does nothing, and Enter or Return presses a button only when that button has the focus
// (the button takes the key itself).
void FocusDialog::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (event->matches(QKeySequence::Cancel) || enter)
        return;
    QDialog::keyPressEvent(event);
}
