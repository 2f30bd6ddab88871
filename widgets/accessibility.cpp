// What a screen reader hears of a window (see accessibility.h).
#include "widgets/accessibility.h"

#include "widgets/combobox.h"
#include "widgets/dbgrid.h"
#include "widgets/gridaccessible.h"
#include "widgets/linklabel.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessibleWidget>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

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

// A check box as Qt presents it, whose key (its shortcut, see WindowKeys::give) is the key of its
// toggle action: Qt gives a button's key only to a press action, which a check box has not.
class CheckBoxAccessible : public QAccessibleWidget {
public:
    explicit CheckBoxAccessible(QCheckBox* box) : QAccessibleWidget(box, QAccessible::CheckBox) {}

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && widget()->accessibleName().isEmpty())
            return box()->text();
        if (type == QAccessible::Accelerator)
            return box()->shortcut().toString();
        return QAccessibleWidget::text(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.checkable = true;
        state.checked = box()->checkState() == Qt::Checked;
        state.checkStateMixed = box()->checkState() == Qt::PartiallyChecked;
        return state;
    }

    QStringList actionNames() const override { return QStringList{toggleAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& action) override
    {
        if (action == toggleAction())
            box()->click();
        else
            QAccessibleWidget::doAction(action);
    }

    QStringList keyBindingsForAction(const QString& action) const override
    {
        if (action == toggleAction() && !box()->shortcut().isEmpty())
            return {box()->shortcut().toString()};
        return {};
    }

private:
    QCheckBox* box() const { return static_cast<QCheckBox*>(widget()); }
};

// A window's web banner is one picture, named for what it is: the view inside it that shows the
// page is no part of it of its own (a screen reader cannot read the page's pixels anyway).
class BannerAccessible : public QAccessibleWidget {
public:
    explicit BannerAccessible(QWidget* banner) : QAccessibleWidget(banner, QAccessible::Graphic) {}

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && widget()->accessibleName().isEmpty())
            return u"网页横幅"_s;
        return QAccessibleWidget::text(type);
    }

    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
};

// An item of a popup menu, spoken by its caption without the access key written at its end
// ("新增账户 &N" is "新增账户"); the access key and the window's key for the same command are its
// key binding, as "access key;;window key". Pressing it from a screen reader closes the menu
// and triggers the item, as a click does.
class MenuItemAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    MenuItemAccessible(QMenu* menu, QAction* action) : menu_(menu), action_(action) {}

    bool isValid() const override { return menu_ && action_; }
    QObject* object() const override { return action_; }
    QWindow* window() const override { return menu_ ? menu_->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(menu_); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override
    {
        return action_->isSeparator() ? QAccessible::Separator : QAccessible::MenuItem;
    }

    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name)
            return spokenMenuCaption(action_->text());
        if (type == QAccessible::Accelerator)
            return action_->shortcut().toString();
        return QString();
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override
    {
        const QRect item = menu_->actionGeometry(action_);
        return QRect(menu_->mapToGlobal(item.topLeft()), item.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !menu_->isVisible() || !action_->isVisible();
        state.focusable = true;
        state.focused = menu_->activeAction() == action_;
        state.disabled = action_->isSeparator() || !action_->isEnabled();
        state.checkable = action_->isCheckable();
        state.checked = action_->isChecked();
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override
    {
        return action_->isSeparator() ? QStringList() : QStringList{pressAction()};
    }

    void doAction(const QString& action) override
    {
        if (action != pressAction() || !action_->isEnabled())
            return;
        menu_->hide();
        action_->trigger();
    }

    QStringList keyBindingsForAction(const QString& action) const override
    {
        const QKeySequence accessKey = QKeySequence::mnemonic(action_->text());
        if (action != pressAction() || accessKey.isEmpty())
            return {};
        return {QKeySequence(accessKey[0].key()).toString(), QString(), action_->shortcut().toString()};
    }

private:
    // The caption without an access key written at its end, and without the marks of others.
    static QString spokenMenuCaption(const QString& caption)
    {
        static const QRegularExpression accessKeyAtEnd(u"\\s*&[^&\\s]$"_s);
        QString spoken = caption;
        spoken.remove(accessKeyAtEnd);
        static const QRegularExpression mark(u"&(.)"_s);
        return spoken.replace(mark, u"\\1"_s);
    }

    QPointer<QMenu> menu_;
    QPointer<QAction> action_;
};

// The popup menu an action is an item of, if any.
QMenu* menuOf(QAction* action)
{
    for (QObject* holder : action->associatedObjects())
        if (auto* menu = qobject_cast<QMenu*>(holder))
            return menu;
    return nullptr;
}

// The program's own accessible faces. Qt asks for a widget's face once, for each of its classes
// from its own up to QWidget, and keeps the first it gets; these answer only for the program's
// own classes, which Qt's faces do not know, so they never depend on which is asked first.
QAccessibleInterface* accessibleFor(const QString& className, QObject* object)
{
    if (className == QLatin1String("QAction")) {
        auto* action = static_cast<QAction*>(object);
        QMenu* menu = menuOf(action);
        return menu ? new MenuItemAccessible(menu, action) : nullptr;
    }
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget)
        return nullptr;
    if (className == QLatin1String("LinkLabel"))
        return new LinkAccessible(static_cast<LinkLabel*>(widget));
    if (className == QLatin1String("TDBGrid"))
        return new GridAccessible(static_cast<TDBGrid*>(widget));
    if (className == QLatin1String("TComboBox"))
        return new ComboAccessible(static_cast<TComboBox*>(widget));
    if (className == QLatin1String("TCheckBox"))
        return new CheckBoxAccessible(static_cast<QCheckBox*>(widget));
    if (className == QLatin1String("TWebBrowser"))
        return new BannerAccessible(widget);
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
    for (QCheckBox* box : window->findChildren<QCheckBox*>())
        if (box->accessibleName().isEmpty())
            box->setAccessibleName(spokenCaption(box->text()));
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
