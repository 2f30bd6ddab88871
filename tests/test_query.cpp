// The query component: cursor, field texts, client-side sort and delete of the current row.
#include "data/dm.h"
#include "data/exception.h"
#include "data/query.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "tests/fixture.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

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
        QCOMPARE(query.FieldByName(QStringLiteral("ID")), QString());
        QCOMPARE(query.FieldCount(), 6);
        QCOMPARE(query.field(1).name, QStringLiteral("注册日期"));
        QVERIFY_THROWS_EXCEPTION(EDatabaseError, query.Delete());
    }

    void cursorStopsAtBothEnds()
    {
        TestDatabase db;
        db.addAccount(QStringLiteral("2024-01-01"), QStringLiteral("a"), QStringLiteral("u1"));
        db.addAccount(QStringLiteral("2024-01-03"), QStringLiteral("c"), QStringLiteral("u3"));
        db.addAccount(QStringLiteral("2024-01-02"), QStringLiteral("b"), QStringLiteral("u2"));
        TADOQuery query;
        openList(query);
        QCOMPARE(query.RecordCount(), 3);
        QCOMPARE(query.RecNo(), 1);
        QVERIFY(query.Bof() && !query.Eof());
        QCOMPARE(query.FieldByName(QStringLiteral("账户名称")), QStringLiteral("c"));
        QCOMPARE(query.FieldByName(QStringLiteral("f2")), QString());
        QCOMPARE(query.FieldByName(QStringLiteral("nothing")), QString());

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
        QCOMPARE(query.FieldByName(QStringLiteral("用户名")), QStringLiteral("u1"));
        query.First();
        QCOMPARE(query.RecNo(), 1);
        query.Last();
        QVERIFY(query.Eof());
        QCOMPARE(query.RecNo(), 3);

        QStringList seen;
        for (query.First(); !query.Eof(); query.Next())
            seen << query.FieldByName(QStringLiteral("注册日期"));
        QCOMPARE(seen, (QStringList{QStringLiteral("2024-01-03"), QStringLiteral("2024-01-02"),
                                    QStringLiteral("2024-01-01")}));

        query.Close();
        QVERIFY(!query.Active());
        QCOMPARE(query.RecordCount(), 0);
        QCOMPARE(query.FieldByName(QStringLiteral("ID")), QString());
    }

    void sortsTextsNumbersAndDates()
    {
        TestDatabase db;
        for (int i = 0; i < 12; ++i)
            db.addAccount(QStringLiteral("2024-01-%1").arg(1 + (i * 7) % 12, 2, 10, QLatin1Char('0')),
                          QStringLiteral("n%1").arg(i), QStringLiteral("u"));
        TADOQuery query;
        openList(query);
        QSignalSpy reordered(&query, &TADOQuery::orderChanged);

        query.setSort(QStringLiteral("ID ASC"));
        QStringList ids = column(query, QStringLiteral("ID"));
        QCOMPARE(ids.first(), QStringLiteral("1"));
        QCOMPARE(ids.last(), QStringLiteral("12"));  // numerically, not as text
        QCOMPARE(query.Sort(), QStringLiteral("ID ASC"));

        query.setSort(QStringLiteral("ID DESC"));
        QCOMPARE(column(query, QStringLiteral("ID")).first(), QStringLiteral("12"));

        query.setSort(QStringLiteral("注册日期 ASC"));
        QStringList dates = column(query, QStringLiteral("注册日期"));
        QStringList sorted = dates;
        std::sort(sorted.begin(), sorted.end());
        QCOMPARE(dates, sorted);

        query.setSort(QString());
        QCOMPARE(column(query, QStringLiteral("注册日期")).first(), QStringLiteral("2024-01-12"));
        QCOMPARE(reordered.count(), 4);

        QVERIFY_THROWS_EXCEPTION(EDatabaseError, query.setSort(QStringLiteral("nothing ASC")));
    }

    void sortIsLocaleAwareAndStable()
    {
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
        TestDatabase db;
        db.addAccount(QStringLiteral("2024-01-04"), QStringLiteral("中国"), QStringLiteral("first"));
        db.addAccount(QStringLiteral("2024-01-03"), QStringLiteral("阿里"), QStringLiteral("u"));
        db.addAccount(QStringLiteral("2024-01-02"), QStringLiteral("b"), QStringLiteral("u"));
        db.addAccount(QStringLiteral("2024-01-01"), QStringLiteral("中国"), QStringLiteral("second"));
        db.addAccount(QStringLiteral("2023-01-01"), QStringLiteral("A"), QStringLiteral("u"));
        TADOQuery query;
        openList(query);
        query.setSort(QStringLiteral("账户名称 ASC"));
        // Pinyin order: a (阿) before z (中); Latin letters ignore case at the first level.
        const QStringList names = column(query, QStringLiteral("账户名称"));
        QVERIFY2(names.indexOf(QStringLiteral("阿里")) < names.indexOf(QStringLiteral("中国")),
                 qPrintable(names.join(u',')));
        QVERIFY(names.indexOf(QStringLiteral("A")) < names.indexOf(QStringLiteral("b")));
        // Equal names keep the statement's order, in both directions.
        const QStringList users = column(query, QStringLiteral("用户名"));
        QVERIFY(users.indexOf(QStringLiteral("first")) < users.indexOf(QStringLiteral("second")));
        query.setSort(QStringLiteral("账户名称 DESC"));
        const QStringList usersDesc = column(query, QStringLiteral("用户名"));
        const auto first = usersDesc.indexOf(QStringLiteral("first"));
        QCOMPARE(usersDesc.indexOf(QStringLiteral("second")), first + 1);
        const QStringList namesDesc = column(query, QStringLiteral("账户名称"));
        QVERIFY(namesDesc.indexOf(QStringLiteral("阿里")) > namesDesc.indexOf(QStringLiteral("中国")));
        QLocale::setDefault(QLocale::system());
    }

    void sortKeepsTheCurrentRecord()
    {
        TestDatabase db;
        db.addAccount(QStringLiteral("2024-01-01"), QStringLiteral("c"), QStringLiteral("u"));
        db.addAccount(QStringLiteral("2024-01-02"), QStringLiteral("a"), QStringLiteral("u"));
        db.addAccount(QStringLiteral("2024-01-03"), QStringLiteral("b"), QStringLiteral("u"));
        TADOQuery query;
        openList(query);
        query.Next();  // "a", the second row by date
        QSignalSpy moved(&query, &TADOQuery::currentChanged);
        query.setSort(QStringLiteral("账户名称 ASC"));
        QCOMPARE(query.FieldByName(QStringLiteral("账户名称")), QStringLiteral("a"));
        QCOMPARE(query.RecNo(), 1);
        QCOMPARE(moved.count(), 1);
        query.setSort(QStringLiteral("账户名称 DESC"));
        QCOMPARE(query.RecNo(), 3);
    }

    void deleteRemovesOnlyTheCurrentRow()
    {
        TestDatabase db;
        db.addAccount(QStringLiteral("2024-01-03"), QStringLiteral("a"), QStringLiteral("u"));
        db.addAccount(QStringLiteral("2024-01-02"), QStringLiteral("b"), QStringLiteral("u"));
        db.addAccount(QStringLiteral("2024-01-01"), QStringLiteral("c"), QStringLiteral("u"));
        TADOQuery query;
        openList(query);
        query.Next();
        QSignalSpy removed(&query, &TADOQuery::rowRemoved);
        query.Delete();
        QCOMPARE(removed.count(), 1);
        QCOMPARE(removed.first().first().toInt(), 1);
        QCOMPARE(query.RecordCount(), 2);
        QCOMPARE(query.FieldByName(QStringLiteral("账户名称")), QStringLiteral("c"));
        QCOMPARE(db.rows(QStringLiteral("select F2 from U_P order by F2")),
                 (QList<QStringList>{{QStringLiteral("a")}, {QStringLiteral("c")}}));

        query.Delete();  // the last row: the one before it becomes current
        QCOMPARE(query.FieldByName(QStringLiteral("账户名称")), QStringLiteral("a"));
        query.setSort(QStringLiteral("账户名称 DESC"));
        query.Delete();
        QCOMPARE(query.RecordCount(), 0);
        QVERIFY(query.Bof() && query.Eof());
        QCOMPARE(db.count(QStringLiteral("U_P")), 0);
    }
};

QTEST_GUILESS_MAIN(TestQuery)
#include "test_query.moc"
