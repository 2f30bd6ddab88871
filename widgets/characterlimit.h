// A length limit for one-line edits counted in characters (Unicode code points) rather than
// UTF-16 units, so that an emoji counts as one character. What goes beyond the limit is cut
// only where one character as the user sees it (a grapheme cluster: a letter with its accents,
// a flag, an emoji joined into a family) ends, so no such character is ever split.
//
// Code points are counted rather than clusters because the limit also bounds what a field
// holds: one cluster can carry hundreds of combining marks.
//
// The limit holds for what the user types and pastes, never for what the file already holds:
// a stored text longer than the limit comes into its edit whole (setStoredText), so that saving
// it untouched keeps every one of them. An edit of such a text may leave it no longer than the
// part of it the edit kept, or the limit when that is more: typing or pasting into it adds
// nothing, erasing shortens it for good, and once it is within the limit the limit holds.
#pragma once

#include <QValidator>

class QLineEdit;

// What goes beyond the limit is dropped from the end of what was just typed, pasted or set, as
// a plain length limit does, whole grapheme clusters at a time: the cursor stands right after
// the text that is kept.
class CharacterLimit : public QValidator {
public:
    // Becomes edit's validator.
    CharacterLimit(int limit, QLineEdit* edit);

    State validate(QString& input, int& pos) const override;

    // Puts a stored text into edit whole, however long.
    static void setStoredText(QLineEdit* edit, const QString& text);

private:
    int limit_;
    QString text_;  // what the edit held before the change being validated
};
