// The tests' answer to the program's message boxes (see messageboxrecorder.h).
#include "tests/messageboxrecorder.h"

MessageBoxRecorder::MessageBoxRecorder()
{
    Dialogs::setAnswererForTesting([this](const Dialogs::MessageBox& box) { return record(box); });
}

MessageBoxRecorder::~MessageBoxRecorder() { Dialogs::setAnswererForTesting({}); }

QStringList MessageBoxRecorder::texts() const
{
    QStringList result;
    for (const auto& box : boxes_)
        result << box.text;
    return result;
}

Dialogs::Button MessageBoxRecorder::record(const Dialogs::MessageBox& box)
{
    boxes_ << box;
    if (onShow)
        onShow(box);
    return answers_.isEmpty() ? box.defaultButton : answers_.takeFirst();
}
