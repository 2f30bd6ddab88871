// The text of every statement (see statements.h).
#include "data/statements.h"

#include "data/exception.h"
#include "data/quoted.h"

#include <QRegularExpression>

namespace Sql {

namespace {

// A record identity goes into a statement without quotes, so it must be a plain whole number.
QString checkedId(const QString& id)
{
    static const QRegularExpression wholeNumber(QStringLiteral("^-?[0-9]{1,19}$"));
    if (!wholeNumber.match(id).hasMatch())
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(id));
    return id;
}

}  // namespace

QString literal(const QString& text)
{
    // SQLite reads a statement only up to its first NUL, so a NUL is joined in as char(0).
    return quoted(text, QChar(u'\'')).replace(QChar(0), QLatin1String("'||char(0)||'"));
}

QString loginCountRead() { return QStringLiteral("select F3 from S_U"); }

QString lastLoginRead() { return QStringLiteral("select F2 from S_U"); }

QString passwordCheck(const QString& password)
{
    return QStringLiteral("select ID from S_U where F1=") + literal(password);
}

QString loginStampDate(const QDate& today)
{
    return QStringLiteral("%1-%2-%3").arg(today.year()).arg(today.month()).arg(today.day());
}

QString loginStamp(const QDate& today)
{
    return QStringLiteral("Update S_U Set F2='%1',F3=F3+1").arg(loginStampDate(today));
}

QString passwordUpdate(const QString& newPassword)
{
    return QStringLiteral("Update S_U Set F1=") + literal(newPassword);
}

QString accountList(const QString& whereSuffix)
{
    using namespace Caption;
    return QStringLiteral("select ID,F1 as ") + kRegistered + QStringLiteral(",") + QStringLiteral("F2 as ")
           + kAccountName + QStringLiteral(",F3 as ") + kUserName + QStringLiteral(",") + QStringLiteral("F4 as ")
           + kPassword + QStringLiteral(",F5 as ") + kDescription + QStringLiteral(" from U_P Where (ID > 0) ")
           + whereSuffix + QStringLiteral("order by F1 desc");
}

QString dateRangeCondition(const QString& fromDate, const QString& toDate)
{
    return QStringLiteral(" AND (F1 Between ") + literal(fromDate) + QStringLiteral(" AND ") + literal(toDate)
           + QLatin1Char(')');
}

QString containsCondition(const QString& column, const QString& text)
{
    return QStringLiteral(" AND (") + column + QStringLiteral(" LIKE ")
           + literal(QLatin1Char('%') + text + QLatin1Char('%')) + QLatin1Char(')');
}

QString accountInsert(const QString& date, const QString& accountName, const QString& userName, const QString& password,
                      const QString& description)
{
    return QStringLiteral("insert into U_P(F1,") + QStringLiteral("F2,F3,F4,F5) Values(") + literal(date)
           + QLatin1Char(',') + literal(accountName) + QLatin1Char(',') + literal(userName) + QLatin1Char(',')
           + literal(password) + QLatin1Char(',') + literal(description) + QLatin1Char(')');
}

QString accountUpdate(const QString& accountName, const QString& userName, const QString& password,
                      const QString& description, const QString& date, const QString& id)
{
    return QStringLiteral("update U_P set ") + QStringLiteral("F2=") + literal(accountName) + QLatin1Char(',')
           + QStringLiteral("F3=") + literal(userName) + QLatin1Char(',') + QStringLiteral("F4=") + literal(password)
           + QLatin1Char(',') + QStringLiteral("F5=") + literal(description) + QLatin1Char(',') + QStringLiteral("F1=")
           + literal(date) + QStringLiteral(" where ID=") + checkedId(id);
}

QString accountDelete(const QString& id) { return QStringLiteral("Delete from U_P where ID=") + checkedId(id); }

}  // namespace Sql
