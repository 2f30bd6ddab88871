// What a screen reader hears of a window (see accessibility.h).
#include "widgets/accessibility.h"

#include "widgets/combobox.h"
#include "widgets/dbgrid.h"
#include "widgets/gridaccessible.h"
#include "widgets/linklabel.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessibleWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>

namespace {

// A link is announced as one, by its text (not by the frame it sits in), and pressing it from a
// screen reader follows it as a click does.
class LinkAccessible : public QAccessibleWidget {
public:
    explicit LinkAccessible(LinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && widget()->accessibleName().isEmpty())
            return link()->text();
        return QAccessibleWidget::text(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.linked = true;
        return state;
    }

    QStringList actionNames() const override { return {pressAction()}; }

    void doAction(const QString& action) override
    {
        if (action == pressAction())
            Q_EMIT link()->clicked();
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    LinkLabel* link() const { return static_cast<LinkLabel*>(widget()); }
};

// A drop-down box named by its caption. Qt's own drop-down on Linux speaks its current text as
// its name and leaves the caption to a label's buddy relation, which a check box cannot give;
// this one speaks the caption as its name and its text as its value, and otherwise presents
// itself as Qt's does: the list and, when it is editable, the edit as its children, the edit
// holding the focus, and an action that opens the list.
class ComboAccessible : public QAccessibleWidget {
public:
    explicit ComboAccessible(TComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Value)
            return combo()->currentText();
        return QAccessibleWidget::text(type);
    }

    int childCount() const override { return combo()->isEditable() ? 2 : 1; }

    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && combo()->isEditable())
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (child->object() == combo()->view())
            return 0;
        if (combo()->isEditable() && child->object() == combo()->lineEdit())
            return 1;
        return -1;
    }

    QAccessibleInterface* focusChild() const override { return combo()->isEditable() ? child(1) : nullptr; }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        const bool open = combo()->view()->isVisible();
        state.expandable = true;
        state.expanded = open;
        state.collapsed = !open;
        state.editable = combo()->isEditable();
        return state;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }

    void doAction(const QString& action) override
    {
        if (action == showMenuAction() || action == pressAction())
            combo()->showPopup();
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    TComboBox* combo() const { return static_cast<TComboBox*>(widget()); }
};

// The program's own accessible faces. Qt asks for a widget's face once, for each of its classes
// from its own up to QWidget, and keeps the first it gets; these answer only for the program's
// own classes, which Qt's faces do not know, so they never depend on which is asked first.
QAccessibleInterface* accessibleFor(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("LinkLabel"))
        return new LinkAccessible(static_cast<LinkLabel*>(widget));
    if (className == QLatin1String("TDBGrid"))
        return new GridAccessible(static_cast<TDBGrid*>(widget));
    if (className == QLatin1String("TComboBox"))
        return new ComboAccessible(static_cast<TComboBox*>(widget));
    // Qt presents a window made of a plain widget as a client area; it is a frame.
    const QMetaObject* type = widget->metaObject();
    if (className == QLatin1String(type->className()) && type->superClass() == &QWidget::staticMetaObject
        && widget->windowType() == Qt::Window)
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

bool isInput(const QWidget* widget)
{
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget)
           || qobject_cast<const QComboBox*>(widget);
}

// The text of a caption: a label that is not a link, or a check box; empty for anything else.
QString captionText(const QWidget* widget)
{
    if (qobject_cast<const LinkLabel*>(widget))
        return QString();
    if (auto* label = qobject_cast<const QLabel*>(widget))
        return label->text();
    if (auto* box = qobject_cast<const QCheckBox*>(widget))
        return box->text();
    return QString();
}

// The caption nearest in front of the input on its line: a shown caption beside it in the same
// parent, overlapping its height, that lies mostly to its left.
QWidget* captionInFrontOf(const QWidget* input)
{
    const QRect at = input->geometry();
    QWidget* nearest = nullptr;
    for (QWidget* sibling : input->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QRect caption = sibling->geometry();
        if (sibling->isHidden() || captionText(sibling).isEmpty() || caption.top() > at.bottom()
            || caption.bottom() < at.top() || caption.center().x() >= at.left())
            continue;
        if (!nearest || caption.right() > nearest->geometry().right())
            nearest = sibling;
    }
    return nearest;
}

void nameByCaption(QWidget* input)
{
    QWidget* caption = captionInFrontOf(input);
    if (!caption)
        return;
    const QString name = spokenCaption(captionText(caption));
    input->setAccessibleName(name);
    // The edit of a drop-down holds its focus, so a screen reader meets the name there first.
    if (auto* combo = qobject_cast<QComboBox*>(input); combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(name);
    if (auto* label = qobject_cast<QLabel*>(caption))
        label->setBuddy(input);
}

// Before any widget exists: a face, once made, stays.
void installAccessibleFaces() { QAccessible::installFactory(accessibleFor); }

bool isIdeographic(QChar c)
{
    const char16_t code = c.unicode();
    return c.script() == QChar::Script_Han || (code >= 0x3000 && code <= 0x30ff) || (code >= 0xff00 && code <= 0xffef);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installAccessibleFaces)

void nameInputsByCaptions(QWidget* window)
{
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        // The edits inside drop-downs and date pickers are parts of them, not inputs of their own.
        if (isInput(widget) && !isInput(widget->parentWidget()) && widget->accessibleName().isEmpty())
            nameByCaption(widget);
    }
}

QString spokenCaption(const QString& caption)
{
    QString text = caption.trimmed();
    while (text.endsWith(QChar(u'：')) || text.endsWith(QLatin1Char(':')))
        text.chop(1);
    text = text.trimmed();
    QString spoken;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isSpace()) {
            spoken += text[i];
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && text[end].isSpace())
            ++end;
        if (!isIdeographic(text[i - 1]) && !isIdeographic(text[end]))
            spoken += QLatin1Char(' ');
        i = end - 1;
    }
    return spoken;
}
