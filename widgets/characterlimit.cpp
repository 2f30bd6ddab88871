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

}  // namespace

// The text just typed ends at the cursor, so what is too much goes from there backwards; when
// that is not enough, from the end.
QValidator::State CharacterLimit::validate(QString& input, int& pos) const
{
    qsizetype excess = characterCount(input) - allowed_;
    if (excess > 0 && pos > 0) {
        const qsizetype start = cutBefore(input, pos, excess);
        input.remove(start, pos - start);
        pos = int(start);
    }
    if (excess > 0)
        input.truncate(cutBefore(input, input.size(), excess));
    return Acceptable;
}

void CharacterLimit::setStoredText(QLineEdit* edit, const QString& text)
{
    // The edit's own validator: made for it, so changing it is changing what the edit owns.
    if (auto* limit = const_cast<CharacterLimit*>(dynamic_cast<const CharacterLimit*>(edit->validator())))
        limit->allowed_ = std::max<qsizetype>(limit->limit_, characterCount(text));
    edit->setText(text);
}
