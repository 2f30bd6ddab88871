// The tests' answer to the program's message boxes: while one exists, no box is shown; each is
// recorded and answered at once, with the next queued answer or else with the box's default button.
#pragma once

#include "widgets/dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

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
    Dialogs::Button record(const Dialogs::MessageBox& box);

    QList<Dialogs::Button> answers_;
    QList<Dialogs::MessageBox> boxes_;
};
