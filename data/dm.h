// The data module: owner of the one database connection, and the way every statement runs.
#pragma once

#include <QObject>
#include <QString>

class TADOConnection;
class TADOQuery;

class TfrmDM : public QObject {
    Q_OBJECT
public:
    explicit TfrmDM(QObject* parent = nullptr);

    TADOConnection* ADOConnection1;
    TADOQuery* ADOQuery1;
    TADOQuery* ADOQuery2;

    // The login count and the last login date as the database holds them; empty texts when
    // the login record is missing.
    QString myLCount();
    QString myLDate();
};

extern TfrmDM* frmDM;

// Runs the statement in mySql on query through frmDM's connection: attach, close, replace the
// statement text, then open (for a statement that returns rows) or execute.
void openSql(TADOQuery* query);
// The same, with the rows fetched while the caller goes on (TADOQuery::OpenInBackground).
void openSqlInBackground(TADOQuery* query);
void execSql(TADOQuery* query);
// Executes a statement that must change exactly one known row, the record named in Chinese
// ("账户", "登录记录"): when it changed none (the row is gone) or more, throws EDatabaseError
// and the handler ends there, before it reports a success.
void execSqlOnOneRow(TADOQuery* query, const QString& record);

// Runs the password check on query: true only when exactly one login record has this password.
bool isLoginPassword(TADOQuery* query, const QString& password);
