// Every message box of the program comes from here, so captions, icons, buttons and default
// buttons are right in one place.
#pragma once

#include <QList>
#include <QString>
#include <functional>

class QWidget;

namespace Dialogs {

enum class Icon { None, Information, Warning, Question, Stop };
enum class Button { OK, Cancel, Yes, No };

struct MessageBox {
    QString text;
    QString caption;
    Icon icon = Icon::None;
    QList<Button> buttons;
    Button defaultButton = Button::OK;
    Button escapeButton = Button::OK;
};

// Shows the box modally and returns the button that closed it.
Button show(const MessageBox& box);

// The program's notice: the application title as caption, no icon, one OK button that is
// both the default and the cancel button.
void notice(const QString& text);

// A question with Yes and No; Esc answers No.
Button askYesNo(const QString& text, const QString& caption, Button defaultButton);

// A question with OK and Cancel; OK is the default, Esc answers Cancel.
Button askOkCancel(const QString& text, const QString& caption);

// A warning with one OK button.
void warning(const QString& text, const QString& caption);

// The default error handler's box: the message (see withFinalPeriod), the application
// title, the stop icon and one OK button.
void error(const QString& message);

// A message that is not empty and whose last character sorts after "." gets a "." at its end.
QString withFinalPeriod(const QString& message);

// While set, no box is shown: each goes to the answerer, whose button closes it. Tests answer
// the boxes this way; an empty function shows them again.
void setAnswererForTesting(std::function<Button(const MessageBox&)> answerer);

}  // namespace Dialogs
