// The data module (see dm.h).
#include "data/dm.h"

#include "data/connection.h"
#include "data/exception.h"
#include "data/query.h"
#include "data/statements.h"
#include "data/unit1.h"

using namespace Qt::StringLiterals;

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
        throw EDatabaseError(u"Row cannot be located for updating. 该%1已不存在"_s.arg(record));
    if (query->RowsAffected() > 1)
        throw EDatabaseError(
            u"Key column information is insufficient or incorrect. "
            "Too many rows were affected by update"_s);
}

TfrmDM::TfrmDM(QObject* parent)
    : QObject(parent),
      ADOConnection1(new TADOConnection(this)),
      ADOQuery1(new TADOQuery(this)),
      ADOQuery2(new TADOQuery(this))
{
    setObjectName(u"frmDM"_s);
}

QString TfrmDM::myLCount()
{
    mySql = Sql::loginCountRead();
    openSql(ADOQuery1);
    return ADOQuery1->FieldByName(u"F3"_s);
}

QString TfrmDM::myLDate()
{
    mySql = Sql::lastLoginRead();
    openSql(ADOQuery2);
    return ADOQuery2->FieldByName(u"F2"_s);
}

bool isLoginPassword(TADOQuery* query, const QString& password)
{
    mySql = Sql::passwordCheck(password);
    openSql(query);
    return query->RecordCount() == 1;
}
