// A length limit for one-line edits counted in characters (Unicode code points) rather than
// UTF-16 units, so that an emoji counts as one character and is never cut in half.
#pragma once

#include <QValidator>

// What goes beyond the limit is dropped from the end of what was just typed, pasted or set, as
// a plain length limit does: the cursor stands right after the new text.
class CharacterLimit : public QValidator {
public:
    CharacterLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}

    State validate(QString& input, int& pos) const override;

private:
    int limit_;
};
