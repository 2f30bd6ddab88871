// A modal dialog whose buttons answer Enter only while they have the focus, and that ignores
// Esc: only its own close button and the close box close it.
#pragma once

#include <QDialog>

class FocusDialog : public QDialog {
    Q_OBJECT
public:
    explicit FocusDialog(QWidget* owner);
    ~FocusDialog() override;

    void setVisible(bool visible) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void keepDefaultOnFocusedButton();
};
