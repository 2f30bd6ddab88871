// A length limit counted in characters (see characterlimit.h).
#include "widgets/characterlimit.h"

namespace {

bool isPairAt(const QString& text, qsizetype i)
{
    return i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate();
}

qsizetype characterCount(const QString& text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count)
        if (isPairAt(text, i))
            ++i;
    return count;
}

// Removes the character before the cursor, or the last one when the cursor is at the start.
void removeCharacterBefore(QString& input, int& pos)
{
    const int end = pos > 0 ? pos : int(input.size());
    const int width = end >= 2 && isPairAt(input, end - 2) ? 2 : 1;
    input.remove(end - width, width);
    if (end == pos)
        pos -= width;
}

}  // namespace

QValidator::State CharacterLimit::validate(QString& input, int& pos) const
{
    for (qsizetype excess = characterCount(input) - limit_; excess > 0; --excess)
        removeCharacterBefore(input, pos);
    return Acceptable;
}
