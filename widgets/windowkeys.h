// The keys of a window's commands. Each works anywhere in its window while that window is the
// active one, so never while a modal dialog is up over it; it goes before an input's own use of
// the same key (on X11 desktops a line edit takes Ctrl+E to move to its end, which End does as
// well); and the button that gives the same command shows it in its tooltip.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>

class QAbstractButton;
class QAction;
class QWidget;

class WindowKeys : public QObject {
    Q_OBJECT
public:
    // For a window whose controls all exist.
    explicit WindowKeys(QWidget* window);

    // The key triggers the action, which the window takes in; shownOn, a button or a label,
    // shows the key in its tooltip after its text. Holding the key down triggers it once.
    void bind(QAction* action, const QKeySequence& key, QWidget* shownOn = nullptr);
    // A new action of the window, triggered by the key.
    QAction* add(const QKeySequence& key, QWidget* shownOn = nullptr);
    // The key clicks the button.
    QAction* press(QAbstractButton* button, const QKeySequence& key);
    // The key is the button's own shortcut: it clicks the button, which screen readers then name
    // as the button's key, without taking the focus to it.
    void give(QAbstractButton* button, const QKeySequence& key);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    QList<QKeySequence> keys_;
};
