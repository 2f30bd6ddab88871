// File names between bytes and texts (see filename.h).
#include "data/filename.h"

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // + the byte, for bytes 0x80..0xFF

// The length of the well-formed UTF-8 sequence that starts at p, or 0 when none does there.
int sequenceLength(const unsigned char* p, qsizetype available)
{
    const unsigned char lead = p[0];
    if (lead < 0x80)
        return 1;
    const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
    if (length == 0 || available < length)
        return 0;
    for (int i = 1; i < length; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
    if ((lead == 0xE0 && p[1] < 0xA0) || (lead == 0xED && p[1] >= 0xA0) || (lead == 0xF0 && p[1] < 0x90)
        || (lead == 0xF4 && p[1] >= 0x90))
        return 0;
    return length;
}

bool isEscape(QStringView name, qsizetype i)
{
    const char16_t c = name[i].unicode();
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF && (i == 0 || !name[i - 1].isHighSurrogate());
}

}  // namespace

QString decodeFileName(const QByteArray& bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    QString name;
    qsizetype run = 0;  // where the UTF-8 not yet decoded starts
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = sequenceLength(p + i, bytes.size() - i);
        if (length > 0) {
            i += length;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + run, i - run);
        name += QChar(char16_t(kEscapeBase + p[i]));
        run = ++i;
    }
    return name + QString::fromUtf8(bytes.constData() + run, bytes.size() - run);
}

QByteArray encodeFileName(const QString& name)
{
    QByteArray bytes;
    qsizetype run = 0;  // where the text not yet encoded starts
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscape(name, i))
            continue;
        bytes += QStringView(name).mid(run, i - run).toUtf8();
        bytes += char(name[i].unicode() - kEscapeBase);
        run = i + 1;
    }
    return bytes + QStringView(name).mid(run).toUtf8();
}
