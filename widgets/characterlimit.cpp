// A length limit counted in characters (see characterlimit.h).
#include "widgets/characterlimit.h"

#include <QLineEdit>
#include <QTextBoundaryFinder>
#include <algorithm>

namespace {

qsizetype characterCount(QStringView text)
{
    qsizetype count = 0;
    for (qsizetype i = 0; i < text.size(); ++i, ++count)
        if (i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate())
            ++i;
    return count;
}

// Where to cut so that the whole grapheme clusters between there and end hold at least
// excess characters (or, when there are not that many, the start of the text); excess is
// lowered by the characters those clusters hold.
qsizetype cutBefore(const QString& text, qsizetype end, qsizetype& excess)
{
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    clusters.setPosition(end);
    qsizetype start = end;
    while (excess > 0 && start > 0) {
        const qsizetype previous = clusters.toPreviousBoundary();
        excess -= characterCount(QStringView(text).mid(previous, start - previous));
        start = previous;
    }
    return start;
}

// How many characters of before an edit that made after, with the cursor at pos, left in
// place: those it still starts with in front of the cursor and ends with behind it, whole
// surrogate pairs only. Where the new text repeats the old one's next characters, they count as
// kept: the result is the same text either way.
qsizetype keptCharacters(const QString& before, const QString& after, qsizetype pos)
{
    pos = std::clamp<qsizetype>(pos, 0, after.size());
    qsizetype head = 0;
    while (head < std::min(before.size(), pos) && before[head] == after[head])
        ++head;
    qsizetype tail = 0;
    while (tail < std::min(before.size() - head, after.size() - pos)
           && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    if (head > 0 && before[head - 1].isHighSurrogate())
        --head;
    if (tail > 0 && before[before.size() - tail].isLowSurrogate())
        --tail;
    return characterCount(QStringView(before).first(head)) + characterCount(QStringView(before).last(tail));
}

}  // namespace

CharacterLimit::CharacterLimit(int limit, QLineEdit* edit) : QValidator(edit), limit_(limit), text_(edit->text())
{
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { text_ = text; });
    edit->setValidator(this);
}

// The text just typed ends at the cursor, so what is too much goes from there backwards; when
// that is not enough, from the end.
QValidator::State CharacterLimit::validate(QString& input, int& pos) const
{
    const qsizetype allowed = std::max<qsizetype>(limit_, keptCharacters(text_, input, pos));
    qsizetype excess = characterCount(input) - allowed;
    if (excess > 0 && pos > 0) {
        const qsizetype start = cutBefore(input, pos, excess);
        input.remove(start, pos - start);
        pos = int(start);
    }
    if (excess > 0)
        input.truncate(cutBefore(input, input.size(), excess));
    return Acceptable;
}

// The stored text counts as what the edit held, so that setting it keeps all of it.
void CharacterLimit::setStoredText(QLineEdit* edit, const QString& text)
{
    // The edit's own validator: made for it, so changing it is changing what the edit owns.
    if (auto* limit = const_cast<CharacterLimit*>(dynamic_cast<const CharacterLimit*>(edit->validator())))
        limit->text_ = text;
    edit->setText(text);
}
