// A length limit for one-line edits counted in characters (Unicode code points) rather than
// UTF-16 units, so that an emoji counts as one character. What goes beyond the limit is cut
// only where one character as the user sees it (a grapheme cluster: a letter with its accents,
// a flag, an emoji joined into a family) ends, so no such character is ever split.
//
// Code points are counted rather than clusters because the limit also bounds what a field
// holds: one cluster can carry hundreds of combining marks.
#pragma once

#include <QValidator>

// What goes beyond the limit is dropped from the end of what was just typed, pasted or set, as
// a plain length limit does, whole grapheme clusters at a time: the cursor stands right after
// the text that is kept.
class CharacterLimit : public QValidator {
public:
    CharacterLimit(int limit, QObject* parent) : QValidator(parent), limit_(limit) {}

    State validate(QString& input, int& pos) const override;

private:
    int limit_;
};
