// Every message box of the program comes from here, so captions, icons, buttons and default
// buttons are right in one place. Tests answer the boxes through MessageBoxRecorder.
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

}  // namespace Dialogs

// While one exists, no box is shown: each is recorded and answered at once, with the next
// queued answer or else with the box's default button.
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void answerNext(Dialogs::Button button) { answers_ << button; }
    const QList<Dialogs::MessageBox>& boxes() const { return boxes_; }
    QStringList texts() const;
    void clear() { boxes_.clear(); }
    // Called with each box as it is shown, while the handler that shows it waits.
    std::function<void(const Dialogs::MessageBox&)> onShow;

private:
    friend Dialogs::Button Dialogs::show(const Dialogs::MessageBox&);
    Dialogs::Button record(const Dialogs::MessageBox& box);

    QList<Dialogs::Button> answers_;
    QList<Dialogs::MessageBox> boxes_;
};
