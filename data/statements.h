// The text of every statement the program sends to its database, in one place.
// Values typed by the user arrive as single-quoted literals with their quotes doubled, so a
// value is always stored exactly as typed and can never change which rows a statement touches.
#pragma once

#include <QDate>
#include <QString>

namespace Sql {

// The captions the account list gives the columns F1 to F5, by which the windows read them.
namespace Caption {
inline const QString kRegistered = QString::fromUtf8("注册日期");
inline const QString kAccountName = QString::fromUtf8("账户名称");
inline const QString kUserName = QString::fromUtf8("用户名");
inline const QString kPassword = QString::fromUtf8("密码");
inline const QString kDescription = QString::fromUtf8("描述");
}  // namespace Caption

// text as a single-quoted literal: 'it''s'; a NUL in it is joined in as 'a'||char(0)||'b'.
QString literal(const QString& text);

QString loginCountRead();
QString lastLoginRead();
QString passwordCheck(const QString& password);
// The last-login date is written as year-month-day without leading zeros: 2024-1-5.
QString loginStampDate(const QDate& today);
QString loginStamp(const QDate& today);
QString passwordUpdate(const QString& newPassword);
// whereSuffix is empty or a run of " AND (...)" conditions.
QString accountList(const QString& whereSuffix);
// The conditions a where suffix is made of.
QString dateRangeCondition(const QString& fromDate, const QString& toDate);
QString containsCondition(const QString& column, const QString& text);
QString accountInsert(const QString& date, const QString& accountName, const QString& userName, const QString& password,
                      const QString& description);
QString accountUpdate(const QString& accountName, const QString& userName, const QString& password,
                      const QString& description, const QString& date, const QString& id);
// The delete of one row by its key, up to the key's value: "Delete from U_P where ID=".
QString rowDeleteBy(const QString& table, const QString& keyColumn);
QString accountDelete(const QString& id);

}  // namespace Sql
