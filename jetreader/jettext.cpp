// The values of a Jet 4.0 file as the password book keeps them (see jettext.h).
#include "jettext.h"

#include <cmath>

namespace JetText {

namespace {

// Jet marks text it stores compressed with these two bytes.
constexpr unsigned char kCompressedMark[] = {0xff, 0xfe};

// Jet's dates count days from 1899-12-30, which is day -25569 of the Unix epoch.
constexpr long kEpochOffset = -25569;
// 0100-01-01 and 9999-12-31, the first and last days Jet keeps.
constexpr double kFirstDay = -657434;
constexpr double kLastDay = 2958466;

unsigned char byteAt(std::string_view bytes, std::size_t i) { return static_cast<unsigned char>(bytes[i]); }

bool isCompressed(std::string_view stored)
{
    return stored.size() >= 2 && byteAt(stored, 0) == kCompressedMark[0] && byteAt(stored, 1) == kCompressedMark[1];
}

// Writes UTF-16 code units as UTF-8 into text, which it sizes for the worst case first (three
// bytes for each unit, four for a pair) and cuts to what was written at the end.
class Utf8Writer {
public:
    Utf8Writer(std::string& text, std::size_t units) : text_(text)
    {
        text_.resize(units * 3);
        out_ = text_.data();
    }

    // False for a low surrogate without its high one, or a high one without its low one.
    bool put(char16_t unit)
    {
        const bool low = unit >= 0xdc00 && unit <= 0xdfff;
        if (high_ != 0) {
            if (!low)
                return false;
            write(0x10000 + (char32_t(high_ - 0xd800) << 10) + (unit - 0xdc00));
            high_ = 0;
        } else if (unit >= 0xd800 && unit <= 0xdbff) {
            high_ = unit;
        } else if (low) {
            return false;
        } else {
            write(unit);
        }
        return true;
    }

    bool finish()
    {
        text_.resize(std::size_t(out_ - text_.data()));
        return high_ == 0;
    }

private:
    void write(char32_t c)
    {
        if (c < 0x80) {
            *out_++ = char(c);
        } else if (c < 0x800) {
            *out_++ = char(0xc0 | c >> 6);
            *out_++ = char(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            *out_++ = char(0xe0 | c >> 12);
            *out_++ = char(0x80 | (c >> 6 & 0x3f));
            *out_++ = char(0x80 | (c & 0x3f));
        } else {
            *out_++ = char(0xf0 | c >> 18);
            *out_++ = char(0x80 | (c >> 12 & 0x3f));
            *out_++ = char(0x80 | (c >> 6 & 0x3f));
            *out_++ = char(0x80 | (c & 0x3f));
        }
    }

    std::string& text_;
    char* out_ = nullptr;
    char16_t high_ = 0;
};

// Compressed text: after the mark, runs of one byte per character (the character's high byte is
// zero) and of two bytes per character, each run ended by a zero byte; the first run has one
// byte per character.
bool expand(std::string_view stored, Utf8Writer& text)
{
    bool narrow = true;
    for (std::size_t i = sizeof kCompressedMark; i < stored.size();) {
        const unsigned char first = byteAt(stored, i);
        if (first == 0) {
            narrow = !narrow;
            ++i;
            continue;
        }
        if (!narrow && i + 1 >= stored.size())
            return false;
        if (!text.put(narrow ? char16_t(first) : char16_t(first | byteAt(stored, i + 1) << 8)))
            return false;
        i += narrow ? 1 : 2;
    }
    return true;
}

bool convert(std::string_view stored, Utf8Writer& text)
{
    if (stored.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < stored.size(); i += 2)
        if (!text.put(char16_t(byteAt(stored, i) | byteAt(stored, i + 1) << 8)))
            return false;
    return true;
}

// The civil day of a count of days from 1970-01-01, in the proleptic Gregorian calendar.
JetProtocol::Date civil(long days)
{
    days += 719468;
    const long era = (days >= 0 ? days : days - 146096) / 146097;
    const long dayOfEra = days - era * 146097;
    const long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long shifted = (5 * dayOfYear + 2) / 153;
    const long day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    const long month = shifted < 10 ? shifted + 3 : shifted - 9;
    const long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    return {std::uint32_t(year), std::uint32_t(month), std::uint32_t(day)};
}

}  // namespace

bool utf8(std::string_view stored, std::string& text)
{
    Utf8Writer writer(text, stored.size());
    const bool converted = isCompressed(stored) ? expand(stored, writer) : convert(stored, writer);
    return writer.finish() && converted;
}

std::optional<JetProtocol::Date> day(double value)
{
    if (!(value >= kFirstDay && value < kLastDay))
        return std::nullopt;
    return civil(long(std::trunc(value)) + kEpochOffset);
}

}  // namespace JetText
