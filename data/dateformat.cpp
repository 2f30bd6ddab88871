// The program-wide date format (see dateformat.h).
#include "data/dateformat.h"

#include "data/exception.h"

#include <QLocale>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

DateFormatSettings systemSettings()
{
    QString format = QLocale::system().dateFormat(QLocale::ShortFormat).toLower();
    const qsizetype separatorAt = format.indexOf(QRegularExpression(u"[^dmy]"_s));
    return {separatorAt < 0 ? QLatin1Char('/') : format[separatorAt], format, format};
}

// The order of day, month and year in a format, as a string made of 'd', 'm' and 'y'.
QString fieldOrder(const QString& format)
{
    QString order;
    for (QChar c : format.toLower())
        if ((c == u'd' || c == u'm' || c == u'y') && !order.contains(c))
            order += c;
    return order.size() == 3 ? order : u"ymd"_s;
}

int fullYear(int year, int digits)
{
    if (digits > 2)
        return year;
    const int pivot = QDate::currentDate().year() - 50;
    year += pivot / 100 * 100;
    return year < pivot ? year + 100 : year;
}

}  // namespace

DateFormatSettings& FormatSettings()
{
    static DateFormatSettings settings = systemSettings();
    return settings;
}

void setProgramDateFormats() { FormatSettings() = {QLatin1Char('-'), kDateText, kDateText}; }

QString FormatDate(const QString& format, const QDate& date)
{
    static const QRegularExpression token(u"yyyy|yy|mm|m|dd|d"_s, QRegularExpression::CaseInsensitiveOption);
    QString result;
    qsizetype last = 0;
    for (auto it = token.globalMatch(format); it.hasNext();) {
        const auto match = it.next();
        result += format.mid(last, match.capturedStart() - last);
        const QString t = match.captured().toLower();
        if (t == u"yyyy")
            result += u"%1"_s.arg(date.year(), 4, 10, QLatin1Char('0'));
        else if (t == u"yy")
            result += u"%1"_s.arg(date.year() % 100, 2, 10, QLatin1Char('0'));
        else if (t == u"mm" || t == u"dd")
            result += u"%1"_s.arg(t == u"mm" ? date.month() : date.day(), 2, 10, QLatin1Char('0'));
        else
            result += QString::number(t == u"m" ? date.month() : date.day());
        last = match.capturedEnd();
    }
    return result + format.mid(last);
}

QString DateToStr(const QDate& date) { return FormatDate(FormatSettings().ShortDateFormat, date); }

QDate StrToDate(const QString& text)
{
    const DateFormatSettings& settings = FormatSettings();
    const QString separator = QRegularExpression::escape(QString(settings.DateSeparator));
    const QRegularExpression pattern(u"^\\s*([0-9]{1,4})%1([0-9]{1,4})%1([0-9]{1,4})\\s*$"_s.arg(separator));
    const auto match = pattern.match(text);
    QDate date;
    if (match.hasMatch()) {
        const QString order = fieldOrder(settings.ShortDateFormat);
        int year = 0, month = 0, day = 0;
        for (int i = 0; i < 3; ++i) {
            const QString number = match.captured(i + 1);
            const QChar field = order[i];
            if (field == u'y')
                year = fullYear(number.toInt(), int(number.size()));
            else if (field == u'm')
                month = number.toInt();
            else
                day = number.toInt();
        }
        if (year >= 1)
            date = QDate(year, month, day);
    }
    if (!date.isValid())
        throw EConvertError(u"'%1' is not a valid date"_s.arg(text));
    return date;
}

namespace {

bool setsOffZone(QChar c) { return c.isSpace() || c == u','; }

// The closing bracket that matches an opening one; a null character for any other.
QChar closingBracket(QChar c) { return c == u'(' ? QChar(u')') : c == u'[' ? QChar(u']') : QChar(); }

}  // namespace

QString withoutTimeZone(const QString& timeFormat)
{
    QString format = timeFormat;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == u'\'')
            quoted = !quoted;
        if (quoted || format[i] != u't')
            continue;
        qsizetype start = i, end = i;
        while (end < format.size() && format[end] == u't')
            ++end;
        if (start > 0 && end < format.size() && !closingBracket(format[start - 1]).isNull()
            && format[end] == closingBracket(format[start - 1])) {
            --start;
            ++end;
        }
        if (start > 0) {
            while (start > 0 && setsOffZone(format[start - 1]))
                --start;
        } else {
            while (end < format.size() && setsOffZone(format[end]))
                ++end;
        }
        format.remove(start, end - start);
        i = start - 1;
    }
    return format;
}
