// The data module (see dm.h).
#include "data/dm.h"

#include "data/connection.h"
#include "data/exception.h"
#include "data/query.h"
#include "data/statements.h"
#include "data/unit1.h"

TfrmDM* frmDM = nullptr;

namespace {

void prepareSql(TADOQuery* query)
{
    query->Connection = frmDM->ADOConnection1;
    query->Close();
    query->SQL.clear();
    query->SQL << mySql;
}

}  // namespace

void openSql(TADOQuery* query)
{
    prepareSql(query);
    query->Open();
}

void openSqlInBackground(TADOQuery* query)
{
    prepareSql(query);
    query->OpenInBackground();
}

void execSql(TADOQuery* query)
{
    prepareSql(query);
    query->ExecSQL();
}

void execSqlOnOneRow(TADOQuery* query, const QString& record)
{
    execSql(query);
    if (query->RowsAffected() == 0)
        throw EDatabaseError(QStringLiteral("Row cannot be located for updating. 该%1已不存在").arg(record));
    if (query->RowsAffected() > 1)
        throw EDatabaseError(
            QStringLiteral("Key column information is insufficient or incorrect. "
                           "Too many rows were affected by update"));
}

TfrmDM::TfrmDM(QObject* parent)
    : QObject(parent),
      ADOConnection1(new TADOConnection(this)),
      ADOQuery1(new TADOQuery(this)),
      ADOQuery2(new TADOQuery(this))
{
    setObjectName(QStringLiteral("frmDM"));
}

QString TfrmDM::myLCount()
{
    mySql = Sql::loginCountRead();
    openSql(ADOQuery1);
    return ADOQuery1->FieldByName(QStringLiteral("F3"));
}

QString TfrmDM::myLDate()
{
    mySql = Sql::lastLoginRead();
    openSql(ADOQuery2);
    return ADOQuery2->FieldByName(QStringLiteral("F2"));
}

bool isLoginPassword(TADOQuery* query, const QString& password)
{
    mySql = Sql::passwordCheck(password);
    openSql(query);
    return query->RecordCount() == 1;
}
