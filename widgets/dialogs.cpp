// Message boxes (see dialogs.h).
#include "widgets/dialogs.h"

#include "widgets/application.h"
#include "widgets/formstyle.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

namespace {

std::function<Dialogs::Button(const Dialogs::MessageBox&)>& answerer()
{
    static std::function<Dialogs::Button(const Dialogs::MessageBox&)> current;
    return current;
}

QMessageBox::Icon toQt(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::Stop:
        return QMessageBox::Critical;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQt(Dialogs::Button button)
{
    switch (button) {
    case Dialogs::Button::OK:
        return QMessageBox::Ok;
    case Dialogs::Button::Cancel:
        return QMessageBox::Cancel;
    case Dialogs::Button::Yes:
        return QMessageBox::Yes;
    case Dialogs::Button::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

// How wide a box must be for its whole title to show in the title bar: the title in the desktop's
// title-bar font, bold as window managers draw it, with three buttons (minimise, maximise, close),
// each a square as high as the title bar, at one end of the bar. Some frames (Qt's own on Wayland)
// centre the title over the whole bar, so the buttons' room is kept at both ends; that also leaves
// room for a window icon.
int widthForTitle(const QString& title)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int button = metrics.height() + 12;
    const int margin = 8;
    return metrics.horizontalAdvance(title) + 2 * (3 * button + margin);
}

// Makes the box at least as wide as its title needs: a box sizes itself to its text and buttons
// when it is shown, so the width goes into its layout as an empty row.
void makeRoomForTitle(QMessageBox& box)
{
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid)
        return;
    const QMargins margins = grid->contentsMargins();
    const int width = widthForTitle(box.windowTitle()) - margins.left() - margins.right();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

}  // namespace

namespace Dialogs {

Button show(const MessageBox& box)
{
    if (answerer())
        return answerer()(box);
    QMessageBox dialog(toQt(box.icon), box.caption, box.text);
    centerOnScreenWhenShown(&dialog);
    for (Button button : box.buttons)
        dialog.addButton(toQt(button));
    dialog.setDefaultButton(toQt(box.defaultButton));
    dialog.setEscapeButton(dialog.button(toQt(box.escapeButton)));
    makeRoomForTitle(dialog);
    dialog.exec();
    for (Button button : box.buttons)
        if (dialog.clickedButton() == dialog.button(toQt(button)))
            return button;
    return box.escapeButton;
}

void notice(const QString& text)
{
    show({text, Application::Title(), Icon::None, {Button::OK}, Button::OK, Button::OK});
}

Button askYesNo(const QString& text, const QString& caption, Button defaultButton)
{
    return show({text, caption, Icon::Question, {Button::Yes, Button::No}, defaultButton, Button::No});
}

Button askOkCancel(const QString& text, const QString& caption)
{
    return show({text, caption, Icon::Question, {Button::OK, Button::Cancel}, Button::OK, Button::Cancel});
}

void warning(const QString& text, const QString& caption)
{
    show({text, caption, Icon::Warning, {Button::OK}, Button::OK, Button::OK});
}

QString withFinalPeriod(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void error(const QString& message)
{
    show({withFinalPeriod(message), Application::Title(), Icon::Stop, {Button::OK}, Button::OK, Button::OK});
}

void setAnswererForTesting(std::function<Button(const MessageBox&)> newAnswerer)
{
    answerer() = std::move(newAnswerer);
}

}  // namespace Dialogs
