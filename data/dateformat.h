// The program-wide date format: how dates become text and text becomes dates wherever no
// format of its own is given. It starts as the system's short date format; the main window
// makes it "yyyy-mm-dd" at start-up, whatever the regional settings say.
#pragma once

#include <QChar>
#include <QDate>
#include <QString>

// How dates travel between the windows and the database, and the program-wide format.
inline const QString kDateText = QString::fromUtf8("yyyy-mm-dd");

struct DateFormatSettings {
    QChar DateSeparator;
    QString ShortDateFormat;  // letters d, m, y: "yyyy-mm-dd", "m/d/yy"
    QString LongDateFormat;
};

DateFormatSettings& FormatSettings();

// Separator "-", short and long format "yyyy-mm-dd".
void setProgramDateFormats();

// The date in the short date format.
QString DateToStr(const QDate& date);

// Parses year, month and day in the order of the short date format, joined by the date
// separator; leading zeros are optional and nothing may follow the date. A one- or two-digit
// year falls in the fifty years either side of now. Throws EConvertError otherwise.
QDate StrToDate(const QString& text);

// The date formatted with explicit letters d, dd, m, mm, yy, yyyy; other characters are kept.
QString FormatDate(const QString& format, const QDate& date);

// A time format (QTime's letters) without its time-zone field: the run of "t", the brackets
// right around it and the spaces or comma that set it off from the rest. "HH:mm:ss t" and
// "t HH:mm:ss" give "HH:mm:ss", "Bh:mm:ss [t]" gives "Bh:mm:ss". Quoted text is kept.
QString withoutTimeZone(const QString& timeFormat);
