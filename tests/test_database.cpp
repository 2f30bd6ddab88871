// The database file, the connection, the data module and the statement texts.
#include "data/connection.h"
#include "data/dm.h"
#include "data/earlykey.h"
#include "data/exception.h"
#include "data/filename.h"
#include "data/query.h"
#include "data/schema.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "tests/fixture.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <sqlite3.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestDatabaseLayer : public QObject {
    Q_OBJECT

private:
    static void run(const QString& sql, TADOQuery* query, bool open)
    {
        mySql = sql;
        open ? openSql(query) : execSql(query);
    }

    // The message the connection's opening fails with, empty when it opens; with a key derived
    // ahead for the passphrase given, when one is given.
    static QString openingError(const QString& connectionString, const QString& dataFile,
                                std::optional<QByteArray> derivedFor = std::nullopt)
    {
        std::optional<EarlyKey> early;
        TADOConnection connection;
        if (derivedFor) {
            early.emplace(QFile::encodeName(dataFile), *derivedFor);
            connection.setEarlyKey(&*early);
        }
        connection.setConnectionString(connectionString);
        try {
            connection.handle();
        } catch (const EDatabaseError& e) {
            return e.message();
        }
        return QString();
    }

private Q_SLOTS:
    void connectionStringIsExact()
    {
        const QString folder = u"/home/张 三/my apps/墨柘 密码本/"_s;
        QCOMPARE(buildConnectionString(folder),
                 u"provider=Microsoft.Jet.OLEDB.4.0;user ID=Admin;"
                 "Data Source=/home/张 三/my apps/墨柘 密码本/Data/db.mzx;Mode=Share Deny None;"
                 "Extended Properties=\"\";Jet OLEDB:System database=\"\";"
                 "Jet OLEDB:Registry Path=\"\";Jet OLEDB:Database Password=\"qzk482\";"
                 "Jet OLEDB:Engine Type=5;Jet OLEDB:Database Locking Mode=1;"
                 "Jet OLEDB:Global Partial Bulk Ops=2;Jet OLEDB:Global Bulk Transactions=1;"
                 "Jet OLEDB:New Database Password=\"\";Jet OLEDB:Create System Database=False;"
                 "Jet OLEDB:Encrypt Database=False;Jet OLEDB:Don't Copy Locale on Compact=False;"
                 "Jet OLEDB:Compact Without Replica Repair=False;Jet OLEDB:SFP=False"_s);
    }

    void connectionStringValuesSurviveOddFolders_data()
    {
        QTest::addColumn<QByteArray>("folder");  // as the system names it
        QTest::addColumn<bool>("utf8");
        QTest::newRow("separators") << QByteArray("/tmp/a;b=c; Mode=x\"'/") << true;
        QTest::newRow("Chinese in UTF-8") << QByteArray("/tmp/\xe5\xaf\x86\xe7\xa0\x81\xf0\x9f\x98\x80/") << true;
        QTest::newRow("Chinese in GBK") << QByteArray("/tmp/\xc3\xdc\xc2\xeb;\xb1\xbe/") << false;
        // Cut short, overlong, a surrogate, beyond U+10FFFF, never UTF-8.
        QTest::newRow("broken sequences")
            << QByteArray("/tmp/\xe5\xaf/\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xff\xe5/") << false;
    }

    // The data file's path goes through the connection string, which is text, and comes back
    // to the system as the very bytes it was; a folder in UTF-8 reads as its characters.
    void connectionStringValuesSurviveOddFolders()
    {
        QFETCH(QByteArray, folder);
        QFETCH(bool, utf8);
        const QString name = decodeFileName(folder);
        QCOMPARE(name == QString::fromUtf8(folder), utf8);
        const QString text = buildConnectionString(name);
        QCOMPARE(text.contains(u";Data Source=\""_s), folder.contains(';'));
        QCOMPARE(encodeFileName(connectionStringValue(text, u"Data Source"_s)), folder + "Data/db.mzx");
        QCOMPARE(connectionStringValue(text, u"Jet OLEDB:Database Password"_s), u"qzk482"_s);
        QCOMPARE(connectionStringValue(text, u"Mode"_s), u"Share Deny None"_s);
        QCOMPARE(connectionStringValue(text, u"Jet OLEDB:SFP"_s), u"False"_s);
        QVERIFY(connectionStringValue(text, u"Nothing"_s).isEmpty());
    }

    void newFileIsEncryptedPrivateAndHoldsTheLoginRow()
    {
        TestDatabase db;
        QFile file(db.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(!bytes.startsWith("SQLite format 3"));
        QVERIFY(!bytes.contains("admin"));
        QVERIFY(!bytes.contains("CREATE TABLE"));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(db.path()).constData(), &info), 0);
        QCOMPARE(int(info.st_mode & 0777), 0600);
        QCOMPARE(db.rows(u"select F1, F2, F3 from S_U"_s), (QList<QStringList>{{u"admin"_s, QString(), u"0"_s}}));
        QCOMPARE(db.count(u"U_P"_s), 0);
    }

    void buildToolNeverTouchesAnExistingFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"Data/db.mzx"_s);
        QCOMPARE(QProcess::execute(QString::fromUtf8(MKDB_PATH), {path}), 0);
        QVERIFY(QFile::exists(path));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("the user's own data");
        }
        QCOMPARE(QProcess::execute(QString::fromUtf8(MKDB_PATH), {path}), 0);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("the user's own data"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, schema::createDatabase(path.toStdString(), "k", "p"));
    }

    void missingFileFailsOnFirstStatementAndIsNotCreated()
    {
        QTemporaryDir dir;
        TfrmDM dm;
        dm.ADOConnection1->setConnectionString(buildConnectionString(dir.path() + QLatin1Char('/')));
        TfrmDM* saved = std::exchange(frmDM, &dm);
        QVERIFY(!dm.ADOConnection1->Connected());
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, dm.myLCount());
        frmDM = saved;
        QVERIFY(!QFile::exists(dir.filePath(u"Data/db.mzx"_s)));
        QVERIFY(!QFile::exists(dir.filePath(u"Data"_s)));
    }

    void wrongKeyOrForeignFileFails()
    {
        TestDatabase db;
        TADOConnection connection;
        connection.setConnectionString(buildConnectionString(db.folder()).replace(u"\"qzk482\""_s, u"\"qzk483\""_s));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, connection.handle());
        QVERIFY(!connection.Connected());

        QFile file(db.path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, 'x'));
        file.close();
        connection.setConnectionString(buildConnectionString(db.folder()));
        try {
            connection.handle();
            QFAIL("a file that is not a database opened");
        } catch (const EDatabaseError& e) {
            QVERIFY2(e.message().contains(u"not a database"_s), qPrintable(e.message()));
        }
    }

    // The key derived ahead is the one the engine derives from the passphrase and the file's
    // salt: in its raw form it opens the file.
    void earlyKeyOpensTheFileItWasDerivedFor()
    {
        TestDatabase db;
        const QByteArray path = QFile::encodeName(db.path());
        EarlyKey early(path, schema::kDatabasePassword);
        const RawKey key = early.take(path, schema::kDatabasePassword);
        QVERIFY(key.text().starts_with("x'"));
        QCOMPARE(key.text().size(), size_t(67));
        sqlite3* handle = nullptr;
        QCOMPARE(sqlite3_open_v2(path.constData(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        schema::applyKey(handle, key.text());
        QCOMPARE(sqlite3_exec(handle, "select count(*) from sqlite_master", nullptr, nullptr, nullptr), SQLITE_OK);
        QCOMPARE(fetchRows(handle, u"select F1 from S_U"_s), QList<QStringList>{{u"admin"_s}});
        sqlite3_close(handle);
        // Handed out once: nothing of it is kept.
        QVERIFY(early.take(path, schema::kDatabasePassword).empty());
    }

    void earlyKeyIsOnlyForItsPassphraseAndSalt()
    {
        TestDatabase db;
        TestDatabase other;
        const QByteArray path = QFile::encodeName(db.path());
        EarlyKey forAnotherPassphrase(path, "qzk483");
        QVERIFY(forAnotherPassphrase.take(path, schema::kDatabasePassword).empty());
        // Each database file begins with a salt of its own.
        EarlyKey early(path, schema::kDatabasePassword);
        QVERIFY(early.take(QFile::encodeName(other.path()), schema::kDatabasePassword).empty());
        const QByteArray missing = path + ".missing";
        EarlyKey forNoFile(missing, schema::kDatabasePassword);
        QVERIFY(forNoFile.take(missing, schema::kDatabasePassword).empty());
    }

    // A file made with a new file's key, its salt drawn at random, is the one the passphrase makes:
    // it opens with the passphrase, and an early key handed that key opens it without deriving.
    void newFileKeyMakesAFileThePassphraseOpens()
    {
        QTemporaryDir dir;
        const QByteArray path = QFile::encodeName(dir.filePath(u"new.mzx"_s));
        NewFileKey key(schema::kDatabasePassword);
        schema::createDatabase(path.toStdString(), key.withSalt().text(), [](sqlite3* handle) {
            schema::exec(handle, "INSERT INTO S_U(F1, F2, F3) VALUES('made', '', 0)");
        });
        EarlyKey early(path, schema::kDatabasePassword, &key);
        const RawKey handed = early.take(path, schema::kDatabasePassword);
        QCOMPARE(handed.text(), key.alone().text());
        for (const std::string_view opening : {std::string_view(schema::kDatabasePassword), handed.text()}) {
            sqlite3* handle = nullptr;
            QCOMPARE(sqlite3_open_v2(path.constData(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
            schema::applyKey(handle, opening);
            QCOMPARE(fetchRows(handle, u"select F1 from S_U"_s), QList<QStringList>{{u"made"_s}});
            sqlite3_close(handle);
        }
        // Another passphrase's early key takes nothing from it.
        QVERIFY(EarlyKey(path, "qzk483", &key).take(path, "qzk483").empty());
    }

    void connectionOpensWithTheEarlyKeyOrThePassphrase()
    {
        TestDatabase db;
        const QByteArray path = QFile::encodeName(db.path());
        {
            EarlyKey early(path, schema::kDatabasePassword);
            TADOConnection connection;
            connection.setEarlyKey(&early);
            connection.setConnectionString(buildConnectionString(db.folder()));
            QVERIFY(connection.handle());
            // The connection took it.
            QVERIFY(early.take(path, schema::kDatabasePassword).empty());
        }
        // The file at the connection's path is another one than the key was derived from, as
        // when the file is replaced in between: it opens with the passphrase.
        TestDatabase other;
        other.exec(u"update S_U set F3=7"_s);
        EarlyKey early(path, schema::kDatabasePassword);
        TADOConnection connection;
        connection.setEarlyKey(&early);
        connection.setConnectionString(buildConnectionString(other.folder()));
        QCOMPARE(fetchRows(connection.handle(), u"select F3 from S_U"_s), QList<QStringList>{{u"7"_s}});
    }

    // A wrong passphrase, a file that is no database and a missing file fail as they do without
    // a key derived ahead, whatever passphrase that key was derived for.
    void earlyKeyChangesNoFailure()
    {
        TestDatabase db;
        const QString right = buildConnectionString(db.folder());
        const QString wrong = QString(right).replace(u"\"qzk482\""_s, u"\"qzk483\""_s);
        const QString wrongPassphrase = openingError(wrong, db.path());
        QVERIFY(!wrongPassphrase.isEmpty());
        QCOMPARE(openingError(wrong, db.path(), schema::kDatabasePassword), wrongPassphrase);
        QCOMPARE(openingError(wrong, db.path(), "qzk483"), wrongPassphrase);

        QFile file(db.path());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, 'x'));
        file.close();
        const QString noDatabase = openingError(right, db.path());
        QVERIFY2(noDatabase.contains(u"not a database"_s), qPrintable(noDatabase));
        QCOMPARE(openingError(right, db.path(), schema::kDatabasePassword), noDatabase);

        QVERIFY(file.remove());
        const QString missing = openingError(right, db.path());
        QVERIFY(!missing.isEmpty());
        QCOMPARE(openingError(right, db.path(), schema::kDatabasePassword), missing);
        QVERIFY(!file.exists());
    }

    // The values themselves are shown by the login window.
    void dataModuleReadsNoLoginRecordAsEmpty()
    {
        TestDatabase db;
        db.exec(u"delete from S_U"_s);
        QCOMPARE(frmDM->myLDate(), QString());
        QCOMPARE(frmDM->myLCount(), QString());
    }

    void statementTextsAreExact()
    {
        QCOMPARE(Sql::passwordCheck(u"it's"_s), u"select ID from S_U where F1='it''s'"_s);
        QCOMPARE(Sql::loginStamp(QDate(2024, 1, 5)), u"Update S_U Set F2='2024-1-5',F3=F3+1"_s);
        QCOMPARE(Sql::passwordUpdate(u"n"_s), u"Update S_U Set F1='n'"_s);
        QCOMPARE(Sql::accountList(QString()),
                 u"select ID,F1 as 注册日期,F2 as 账户名称,F3 as 用户名,F4 as 密码,F5 as 描述"
                 " from U_P Where (ID > 0) order by F1 desc"_s);
        QCOMPARE(Sql::accountList(u" AND (F5 LIKE '%x%')"_s),
                 u"select ID,F1 as 注册日期,F2 as 账户名称,F3 as 用户名,F4 as 密码,F5 as 描述"
                 " from U_P Where (ID > 0)  AND (F5 LIKE '%x%')order by F1 desc"_s);
        QCOMPARE(Sql::accountInsert(u"2024-01-05"_s, u"a"_s, u"b"_s, u"c"_s, u"d"_s),
                 u"insert into U_P(F1,F2,F3,F4,F5) Values('2024-01-05','a','b','c','d')"_s);
        QCOMPARE(Sql::accountUpdate(u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"2024-01-05"_s, u"7"_s),
                 u"update U_P set F2='a',F3='b',F4='c',F5='d',F1='2024-01-05' where ID=7"_s);
        QCOMPARE(Sql::accountDelete(u"7"_s), u"Delete from U_P where ID=7"_s);
        QVERIFY_THROWS_EXCEPTION(EConvertError, Sql::accountDelete(u"1 or 1=1"_s));
        QVERIFY_THROWS_EXCEPTION(EConvertError, Sql::accountDelete(QString()));
    }

    void hostileValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("quotes") << u"'\"''\""_s;
        QTest::newRow("or true") << u"' or '1'='1"_s;
        QTest::newRow("comment") << u"x'); delete from U_P; --"_s;
        QTest::newRow("wildcards") << u"100% _sure_"_s;
        QTest::newRow("backslash") << u"C:\\dir\\'\\"_s;
        QTest::newRow("newline") << u"line one\r\nline two\n"_s;
        QTest::newRow("unicode") << u"密码😀𠀀é"_s;
        QTest::newRow("long") << QString(200, QChar(0x5BC6));
        QTest::newRow("spaces") << u"   "_s;
    }

    void hostileValues()
    {
        QFETCH(QString, value);
        TestDatabase db;
        const qint64 other = db.addAccount(u"2020-01-01"_s, u"keep"_s, u"me"_s);
        TADOQuery query;

        run(Sql::accountInsert(u"2024-01-05"_s, value, value, value, value), &query, false);
        const QString id = db.value(u"select max(ID) from U_P"_s);
        QCOMPARE(db.rows(u"select F1, F2, F3, F4, F5 from U_P where ID="_s + id),
                 (QList<QStringList>{{u"2024-01-05"_s, value, value, value, value}}));

        run(Sql::accountUpdate(value + QLatin1Char('2'), value, value, value, u"2024-02-05"_s, id), &query, false);
        QCOMPARE(db.value(u"select F2 from U_P where ID="_s + id), value + QLatin1Char('2'));

        run(Sql::accountList(Sql::containsCondition(u"F5"_s, value)), &query, true);
        QCOMPARE(query.RecordCount(), 1);
        QCOMPARE(query.FieldByName(u"描述"_s), value);

        run(Sql::passwordUpdate(value), &query, false);
        run(Sql::passwordCheck(value), &query, true);
        QCOMPARE(query.RecordCount(), 1);
        run(Sql::passwordCheck(value + QLatin1Char('x')), &query, true);
        QCOMPARE(query.RecordCount(), 0);
        QCOMPARE(db.value(u"select F1 from S_U"_s), value);

        run(Sql::accountDelete(id), &query, false);
        QCOMPARE(db.rows(u"select ID, F2 from U_P"_s), (QList<QStringList>{{QString::number(other), u"keep"_s}}));
        QCOMPARE(db.count(u"S_U"_s), 1);
    }

    void passwordCheckNeedsExactlyOneRow()
    {
        TestDatabase db;
        TADOQuery query;
        QVERIFY(isLoginPassword(&query, u"admin"_s));
        db.exec(u"insert into S_U(F1, F2, F3) values('admin', '', 0)"_s);
        QVERIFY(!isLoginPassword(&query, u"admin"_s));
    }

    // EXTRA: the folder is synced too once a commit has removed the rollback journal, so a
    // power cut cannot bring the journal back and roll the commit back.
    void commitsAreSyncedToTheDiskWithTheirFolder()
    {
        TestDatabase db;
        TADOQuery query;
        run(u"PRAGMA synchronous"_s, &query, true);
        QCOMPARE(query.FieldByName(u"synchronous"_s), u"3"_s);
        run(u"PRAGMA journal_mode"_s, &query, true);
        QCOMPARE(query.FieldByName(u"journal_mode"_s), u"delete"_s);
    }

    void executionTellsTheRowsTheStatementChanged()
    {
        TestDatabase db;
        const qint64 id = db.addAccount(u"2020-01-01"_s, u"a"_s, u"u"_s);
        db.addAccount(u"2020-01-02"_s, u"b"_s, u"u"_s);
        TADOQuery query;
        run(u"update U_P set F3='v'"_s, &query, false);
        QCOMPARE(query.RowsAffected(), 2);
        run(u"update U_P set F3='v' where ID=%1"_s.arg(id + 5), &query, false);
        QCOMPARE(query.RowsAffected(), 0);
        run(u"update U_P set F3='w' where ID=%1"_s.arg(id), &query, false);
        QCOMPARE(query.RowsAffected(), 1);
        // A statement of another kind changes no row, whatever the one before it changed.
        run(u"create table T(x)"_s, &query, false);
        QCOMPARE(query.RowsAffected(), 0);
        // Rows a trigger skips are not changed, and rows a trigger changes are not the statement's.
        db.exec(
            u"create trigger skip before update on U_P when old.ID=%1 begin "
            "insert into T values(1); select raise(ignore); end"_s.arg(id));
        run(u"update U_P set F3='x'"_s, &query, false);
        QCOMPARE(query.RowsAffected(), 1);
        run(u"update U_P set F3='x' where ID=%1"_s.arg(id), &query, false);
        QCOMPARE(query.RowsAffected(), 0);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, run(u"update U_P set nothing=1"_s, &query, false));
        QCOMPARE(query.RowsAffected(), 0);
    }

    // A statement that must change one known row reports any other outcome as an error.
    void oneRowStatementsRefuseNoneAndMore()
    {
        TestDatabase db;
        const qint64 id = db.addAccount(u"2020-01-01"_s, u"a"_s, u"u"_s);
        db.addAccount(u"2020-01-02"_s, u"b"_s, u"u"_s);
        TADOQuery query;
        const auto runOnOneRow = [&](const QString& sql) {
            mySql = sql;
            try {
                execSqlOnOneRow(&query, u"账户"_s);
            } catch (const EDatabaseError& e) {
                return e.message();
            }
            return QString();
        };
        QCOMPARE(runOnOneRow(Sql::accountDelete(QString::number(id))), QString());
        QCOMPARE(runOnOneRow(Sql::accountDelete(QString::number(id))),
                 u"Row cannot be located for updating. 该账户已不存在"_s);
        QCOMPARE(runOnOneRow(u"insert into U_P(F2) values('c'),('d')"_s),
                 u"Key column information is insufficient or incorrect. "
                 "Too many rows were affected by update"_s);
        QCOMPARE(db.count(u"U_P"_s), 3);
    }

    void onlyOneStatementRunsAtATime()
    {
        TestDatabase db;
        db.addAccount(u"2020-01-01"_s, u"keep"_s, u"me"_s);
        TADOQuery query;
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, run(u"select 1; delete from U_P"_s, &query, true));
        QCOMPARE(db.count(u"U_P"_s), 1);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, run(u"selec F1 from U_P"_s, &query, true));
        QVERIFY(!query.Active());
    }
};

QTEST_GUILESS_MAIN(TestDatabaseLayer)
#include "test_database.moc"
