// The keys of a window's commands (see windowkeys.h).
#include "widgets/windowkeys.h"

#include <QAbstractButton>
#include <QAction>
#include <QKeyEvent>
#include <QLabel>

using namespace Qt::StringLiterals;

namespace {

QString textOf(const QWidget* widget)
{
    if (auto* button = qobject_cast<const QAbstractButton*>(widget))
        return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    return QString();
}

}  // namespace

WindowKeys::WindowKeys(QWidget* window) : QObject(window), window_(window)
{
    for (QWidget* control : window->findChildren<QWidget*>())
        if (!control->isWindow())
            control->installEventFilter(this);
}

void WindowKeys::bind(QAction* action, const QKeySequence& key, QWidget* shownOn)
{
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    action->setAutoRepeat(false);
    window_->addAction(action);
    keys_ << key;
    if (shownOn)
        shownOn->setToolTip(textOf(shownOn) + u"（"_s + key.toString(QKeySequence::NativeText) + u"）"_s);
}

QAction* WindowKeys::add(const QKeySequence& key, QWidget* shownOn)
{
    auto* action = new QAction(window_);
    bind(action, key, shownOn);
    return action;
}

QAction* WindowKeys::press(QAbstractButton* button, const QKeySequence& key)
{
    QAction* action = add(key, button);
    connect(action, &QAction::triggered, button, &QAbstractButton::click);
    return action;
}

// Before a key is taken as a shortcut, the control with the focus is asked whether it wants the
// key itself; for the window's own keys, the controls decline.
bool WindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride
        && keys_.contains(QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination()))) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
