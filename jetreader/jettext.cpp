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

// Compressed text: after the mark, runs of one byte per character (the character's high byte is
// zero) and of two bytes per character, each run ended by a zero byte; the first run has one
// byte per character.
std::optional<std::u16string> expanded(std::string_view stored)
{
    std::u16string units;
    units.reserve(stored.size());
    bool narrow = true;
    for (std::size_t i = sizeof kCompressedMark; i < stored.size();) {
        const unsigned char first = byteAt(stored, i);
        if (first == 0) {
            narrow = !narrow;
            ++i;
        } else if (narrow) {
            units += char16_t(first);
            ++i;
        } else if (i + 1 < stored.size()) {
            units += char16_t(first | byteAt(stored, i + 1) << 8);
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return units;
}

std::optional<std::u16string> utf16(std::string_view stored)
{
    if (stored.size() % 2 != 0)
        return std::nullopt;
    std::u16string units(stored.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = char16_t(byteAt(stored, 2 * i) | byteAt(stored, 2 * i + 1) << 8);
    return units;
}

void append(std::string& text, char32_t c)
{
    if (c < 0x80) {
        text += char(c);
    } else if (c < 0x800) {
        text += char(0xc0 | c >> 6);
        text += char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        text += char(0xe0 | c >> 12);
        text += char(0x80 | (c >> 6 & 0x3f));
        text += char(0x80 | (c & 0x3f));
    } else {
        text += char(0xf0 | c >> 18);
        text += char(0x80 | (c >> 12 & 0x3f));
        text += char(0x80 | (c >> 6 & 0x3f));
        text += char(0x80 | (c & 0x3f));
    }
}

bool isHigh(char16_t unit) { return unit >= 0xd800 && unit <= 0xdbff; }
bool isLow(char16_t unit) { return unit >= 0xdc00 && unit <= 0xdfff; }

std::optional<std::string> utf8Of(const std::u16string& units)
{
    std::string text;
    text.reserve(units.size() * 3);
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (isLow(unit))
            return std::nullopt;
        if (!isHigh(unit)) {
            append(text, unit);
            continue;
        }
        if (i + 1 >= units.size() || !isLow(units[i + 1]))
            return std::nullopt;
        append(text, 0x10000 + (char32_t(unit - 0xd800) << 10) + (units[i + 1] - 0xdc00));
        ++i;
    }
    return text;
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

std::optional<std::string> utf8(std::string_view stored)
{
    const std::optional<std::u16string> units = isCompressed(stored) ? expanded(stored) : utf16(stored);
    return units ? utf8Of(*units) : std::nullopt;
}

std::optional<JetProtocol::Date> day(double value)
{
    if (!(value >= kFirstDay && value < kLastDay))
        return std::nullopt;
    return civil(long(std::trunc(value)) + kEpochOffset);
}

}  // namespace JetText
