// The query component: cursor, field texts, client-side sort, delete of the current row, and rows
// fetched in the background.
#include "data/backgroundfetch.h"
#include "data/connection.h"
#include "data/dm.h"
#include "data/exception.h"
#include "data/query.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "tests/fixture.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <new>

using namespace Qt::StringLiterals;

class TestQuery : public QObject {
    Q_OBJECT

private:
    static void openList(TADOQuery& query)
    {
        mySql = Sql::accountList(QString());
        openSql(&query);
    }

    static QStringList column(const TADOQuery& query, const QString& name)
    {
        return columnTexts(query, query.fieldIndex(name));
    }

private Q_SLOTS:
    void emptyResult()
    {
        TestDatabase db;
        TADOQuery query;
        openList(query);
        QVERIFY(query.Active());
        QCOMPARE(query.RecordCount(), 0);
        QCOMPARE(query.RecNo(), 0);
        QVERIFY(query.Bof() && query.Eof());
        query.Next();
        query.Prior();
        QCOMPARE(query.RecNo(), 0);
        QCOMPARE(query.FieldByName(u"ID"_s), QString());
        QCOMPARE(query.FieldCount(), 6);
        QCOMPARE(query.field(1).name, u"注册日期"_s);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, query.Delete());
    }

    void cursorStopsAtBothEnds()
    {
        TestDatabase db;
        db.addAccount(u"2024-01-01"_s, u"a"_s, u"u1"_s);
        db.addAccount(u"2024-01-03"_s, u"c"_s, u"u3"_s);
        db.addAccount(u"2024-01-02"_s, u"b"_s, u"u2"_s);
        TADOQuery query;
        openList(query);
        QCOMPARE(query.RecordCount(), 3);
        QCOMPARE(query.RecNo(), 1);
        QVERIFY(query.Bof() && !query.Eof());
        QCOMPARE(query.FieldByName(u"账户名称"_s), u"c"_s);
        QCOMPARE(query.FieldByName(u"f2"_s), QString());
        QCOMPARE(query.FieldByName(u"nothing"_s), QString());

        query.Prior();
        QCOMPARE(query.RecNo(), 1);
        QVERIFY(query.Bof());
        query.Next();
        QVERIFY(!query.Bof() && !query.Eof());
        query.Next();
        QCOMPARE(query.RecNo(), 3);
        QVERIFY(!query.Eof());
        query.Next();
        QCOMPARE(query.RecNo(), 3);
        QVERIFY(query.Eof());
        QCOMPARE(query.FieldByName(u"用户名"_s), u"u1"_s);
        query.First();
        QCOMPARE(query.RecNo(), 1);
        query.Last();
        QVERIFY(query.Eof());
        QCOMPARE(query.RecNo(), 3);

        QStringList seen;
        for (query.First(); !query.Eof(); query.Next())
            seen << query.FieldByName(u"注册日期"_s);
        QCOMPARE(seen, (QStringList{u"2024-01-03"_s, u"2024-01-02"_s, u"2024-01-01"_s}));

        query.Close();
        QVERIFY(!query.Active());
        QCOMPARE(query.RecordCount(), 0);
        QCOMPARE(query.FieldByName(u"ID"_s), QString());
    }

    void sortsTextsNumbersAndDates()
    {
        TestDatabase db;
        for (int i = 0; i < 12; ++i)
            db.addAccount(u"2024-01-%1"_s.arg(1 + (i * 7) % 12, 2, 10, QLatin1Char('0')), u"n%1"_s.arg(i), u"u"_s);
        TADOQuery query;
        openList(query);
        QSignalSpy reordered(&query, &TADOQuery::orderChanged);

        query.setSort(u"ID ASC"_s);
        QStringList ids = column(query, u"ID"_s);
        QCOMPARE(ids.first(), u"1"_s);
        QCOMPARE(ids.last(), u"12"_s);  // numerically, not as text
        QCOMPARE(query.Sort(), u"ID ASC"_s);

        query.setSort(u"ID DESC"_s);
        QCOMPARE(column(query, u"ID"_s).first(), u"12"_s);

        query.setSort(u"注册日期 ASC"_s);
        QStringList dates = column(query, u"注册日期"_s);
        QStringList sorted = dates;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(dates, sorted);

        query.setSort(QString());
        QCOMPARE(column(query, u"注册日期"_s).first(), u"2024-01-12"_s);
        QCOMPARE(reordered.count(), 4);

        QVERIFY_THROWS_EXCEPTION(EDatabaseError, query.setSort(u"nothing ASC"_s));
    }

    void sortIsLocaleAwareAndStable()
    {
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
        TestDatabase db;
        db.addAccount(u"2024-01-04"_s, u"中国"_s, u"first"_s);
        db.addAccount(u"2024-01-03"_s, u"阿里"_s, u"u"_s);
        db.addAccount(u"2024-01-02"_s, u"b"_s, u"u"_s);
        db.addAccount(u"2024-01-01"_s, u"中国"_s, u"second"_s);
        db.addAccount(u"2023-01-01"_s, u"A"_s, u"u"_s);
        TADOQuery query;
        openList(query);
        query.setSort(u"账户名称 ASC"_s);
        // Pinyin order: a (阿) before z (中); Latin letters ignore case at the first level.
        const QStringList names = column(query, u"账户名称"_s);
        QVERIFY2(names.indexOf(u"阿里"_s) < names.indexOf(u"中国"_s), qPrintable(names.join(u',')));
        QVERIFY(names.indexOf(u"A"_s) < names.indexOf(u"b"_s));
        // Equal names keep the statement's order, in both directions.
        const QStringList users = column(query, u"用户名"_s);
        QVERIFY(users.indexOf(u"first"_s) < users.indexOf(u"second"_s));
        query.setSort(u"账户名称 DESC"_s);
        const QStringList usersDesc = column(query, u"用户名"_s);
        const auto first = usersDesc.indexOf(u"first"_s);
        QCOMPARE(usersDesc.indexOf(u"second"_s), first + 1);
        const QStringList namesDesc = column(query, u"账户名称"_s);
        QVERIFY(namesDesc.indexOf(u"阿里"_s) > namesDesc.indexOf(u"中国"_s));
        QLocale::setDefault(QLocale::system());
    }

    void sortKeepsTheCurrentRecord()
    {
        TestDatabase db;
        db.addAccount(u"2024-01-01"_s, u"c"_s, u"u"_s);
        db.addAccount(u"2024-01-02"_s, u"a"_s, u"u"_s);
        db.addAccount(u"2024-01-03"_s, u"b"_s, u"u"_s);
        TADOQuery query;
        openList(query);
        query.Next();  // "a", the second row by date
        QSignalSpy moved(&query, &TADOQuery::currentChanged);
        query.setSort(u"账户名称 ASC"_s);
        QCOMPARE(query.FieldByName(u"账户名称"_s), u"a"_s);
        QCOMPARE(query.RecNo(), 1);
        QCOMPARE(moved.count(), 1);
        query.setSort(u"账户名称 DESC"_s);
        QCOMPARE(query.RecNo(), 3);
    }

    void deleteRemovesOnlyTheCurrentRow()
    {
        TestDatabase db;
        db.addAccount(u"2024-01-03"_s, u"a"_s, u"u"_s);
        db.addAccount(u"2024-01-02"_s, u"b"_s, u"u"_s);
        db.addAccount(u"2024-01-01"_s, u"c"_s, u"u"_s);
        TADOQuery query;
        openList(query);
        query.Next();
        QSignalSpy removed(&query, &TADOQuery::rowRemoved);
        query.Delete();
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.first().first().toInt(), 1);
        QCOMPARE(query.RecordCount(), 2);
        QCOMPARE(query.FieldByName(u"账户名称"_s), u"c"_s);
        QCOMPARE(db.rows(u"select F2 from U_P order by F2"_s), (QList<QStringList>{{u"a"_s}, {u"c"_s}}));

        query.Delete();  // the last row: the one before it becomes current
        QCOMPARE(query.FieldByName(u"账户名称"_s), u"a"_s);
        query.setSort(u"账户名称 DESC"_s);
        query.Delete();
        QCOMPARE(query.RecordCount(), 0);
        QVERIFY(query.Bof() && query.Eof());
        QCOMPARE(db.count(u"U_P"_s), 0);
    }

    // A fetch's completion that comes after the fetch was closed and another one begun is not
    // taken for the new fetch's, whose rows are not in yet.
    void aClosedFetchsCompletionIsDropped()
    {
        TestDatabase db;
        db.addAccounts(3);
        TADOQuery query;
        mySql = Sql::accountList(QString());
        openSqlInBackground(&query);
        QSignalSpy completions(&query, &TADOQuery::FetchComplete);
        frmDM->ADOConnection1->waitForBackgroundFetches();
        query.Close();
        openSqlInBackground(&query);
        frmDM->ADOConnection1->waitForBackgroundFetches();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(completions.count(), 1);
        query.FinishFetch();
        QCOMPARE(query.RecordCount(), 3);
    }

    // What the completion does (it tells another thread) may throw, even for want of memory: the
    // fetch still ends, and its rows are there.
    void aCompletionThatThrowsLeavesTheRows()
    {
        TestDatabase db;
        db.addAccounts(2);
        const auto fetch =
            frmDM->ADOConnection1->fetchInBackground(Sql::accountList(QString()), [](bool) { throw std::bad_alloc(); });
        QCOMPARE(fetch->take().rowCount(), 2);
    }

    // While another connection holds the file for writing, a fetch waits a while for it, then
    // fails with the engine's error; closed meanwhile, it ends at once.
    void aFetchWaitingForAWriterEndsWhenClosed()
    {
        TestDatabase db;
        TADOQuery query;
        openList(query);
        db.exec(u"BEGIN EXCLUSIVE"_s);
        QElapsedTimer timer;
        timer.start();
        openSqlInBackground(&query);
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, query.FinishFetch());
        const qint64 fullWait = timer.elapsed();
        openSqlInBackground(&query);
        // Long enough for the fetch to be waiting, which closing must end.
        QThread::msleep(100);
        timer.restart();
        query.Close();
        const qint64 closing = timer.elapsed();
        db.exec(u"COMMIT"_s);
        qInfo("a fetch waited %lld ms for the writer; closed, it ended in %lld ms", fullWait, closing);
        QVERIFY(closing < fullWait / 2);
    }
};

QTEST_GUILESS_MAIN(TestQuery)
#include "test_query.moc"
