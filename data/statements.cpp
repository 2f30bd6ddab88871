// The text of every statement (see statements.h).
#include "data/statements.h"

#include "data/exception.h"
#include "data/quoted.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace Sql {

namespace {

// A record identity goes into a statement without quotes, so it must be a plain whole number.
QString checkedId(const QString& id)
{
    static const QRegularExpression wholeNumber(u"^-?[0-9]{1,19}$"_s);
    if (!wholeNumber.match(id).hasMatch())
        throw EConvertError(u"'%1' is not a valid integer value"_s.arg(id));
    return id;
}

}  // namespace

QString literal(const QString& text)
{
    // SQLite reads a statement only up to its first NUL, so a NUL is joined in as char(0).
    return quoted(text, QChar(u'\'')).replace(QChar(0), QLatin1String("'||char(0)||'"));
}

QString loginCountRead() { return u"select F3 from S_U"_s; }

QString lastLoginRead() { return u"select F2 from S_U"_s; }

QString passwordCheck(const QString& password) { return u"select ID from S_U where F1="_s + literal(password); }

QString loginStampDate(const QDate& today)
{
    return u"%1-%2-%3"_s.arg(today.year()).arg(today.month()).arg(today.day());
}

QString loginStamp(const QDate& today) { return u"Update S_U Set F2='%1',F3=F3+1"_s.arg(loginStampDate(today)); }

QString passwordUpdate(const QString& newPassword) { return u"Update S_U Set F1="_s + literal(newPassword); }

QString accountList(const QString& whereSuffix)
{
    using namespace Caption;
    return u"select ID,F1 as "_s + kRegistered + u","_s + u"F2 as "_s + kAccountName + u",F3 as "_s + kUserName + u","_s
           + u"F4 as "_s + kPassword + u",F5 as "_s + kDescription + u" from U_P Where (ID > 0) "_s + whereSuffix
           + u"order by F1 desc"_s;
}

QString dateRangeCondition(const QString& fromDate, const QString& toDate)
{
    return u" AND (F1 Between "_s + literal(fromDate) + u" AND "_s + literal(toDate) + QLatin1Char(')');
}

QString containsCondition(const QString& column, const QString& text)
{
    return u" AND ("_s + column + u" LIKE "_s + literal(QLatin1Char('%') + text + QLatin1Char('%')) + QLatin1Char(')');
}

QString accountInsert(const QString& date, const QString& accountName, const QString& userName, const QString& password,
                      const QString& description)
{
    return u"insert into U_P(F1,"_s + u"F2,F3,F4,F5) Values("_s + literal(date) + QLatin1Char(',')
           + literal(accountName) + QLatin1Char(',') + literal(userName) + QLatin1Char(',') + literal(password)
           + QLatin1Char(',') + literal(description) + QLatin1Char(')');
}

QString accountUpdate(const QString& accountName, const QString& userName, const QString& password,
                      const QString& description, const QString& date, const QString& id)
{
    return u"update U_P set "_s + u"F2="_s + literal(accountName) + QLatin1Char(',') + u"F3="_s + literal(userName)
           + QLatin1Char(',') + u"F4="_s + literal(password) + QLatin1Char(',') + u"F5="_s + literal(description)
           + QLatin1Char(',') + u"F1="_s + literal(date) + u" where ID="_s + checkedId(id);
}

QString rowDeleteBy(const QString& table, const QString& keyColumn)
{
    return u"Delete from "_s + table + u" where "_s + keyColumn + u'=';
}

QString accountDelete(const QString& id) { return rowDeleteBy(u"U_P"_s, u"ID"_s) + checkedId(id); }

}  // namespace Sql
