// The real program started on an older data file, for every Jet 4.0 file of the shared fixtures:
// a good one is brought across before the login window (every field of every row the same in the
// new file and in the grid, the older file kept byte for byte under its backup name, the old
// password logging in); a damaged or foreign one, or one in another Access format, gets an error
// box that names it and says nothing was changed, and nothing was: the file is as it was, no new
// file is left, and the program goes on as with any file it cannot open.
#include "tests/driver/remote.h"
#include "tests/fixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

enum class Outcome { Moved, Refused, NotOlder };

const QString kGrid = u"frmMain/DBGrid1"_s;
const QString kOldPassword = u"登录'密码123"_s;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Bytes written over a fixture's, from at on: a Jet 4.0 file made into another format.
struct Patch {
    qsizetype at = 0;
    QByteArray bytes;

    QByteArray on(QByteArray file) const { return file.replace(at, bytes.size(), bytes); }
};
const Patch kNone;
const Patch kJet3{0x14, QByteArray(1, '\0')};        // the version byte
const Patch kAce{4, QByteArray("Standard ACE DB")};  // the engine's name

QStringList dataFolder(const ProgramCopy& copy) { return QDir(copy.folder() + u"Data"_s).entryList(QDir::Files); }

// Answers the boxes the start shows until the login window is up; returns their texts.
QStringList startBoxes(RemoteProgram& program)
{
    program.start();
    QStringList texts;
    const bool up = program.waitUntil(
        [&] {
            const QStringList box = program.call({u"box"_s});
            if (box.isEmpty())
                return program.visible(u"frmLogin/Edit1"_s);
            texts << box.value(1);
            program.answer(u"OK"_s);
            return false;
        },
        60000);
    if (!up)
        throw RemoteError("the login window never came");
    return texts;
}

// The grid's rows, every column of its model (the ID too), in the order of their IDs.
QList<QStringList> gridRows(RemoteProgram& program)
{
    QList<QStringList> columns;
    for (int column = 0; column < 6; ++column)
        columns << program.column(kGrid, column);
    QList<QStringList> rows(columns.first().size());
    for (qsizetype row = 0; row < rows.size(); ++row)
        for (const QStringList& column : columns)
            rows[row] << column.value(row);
    std::sort(rows.begin(), rows.end(), [](const QStringList& a, const QStringList& b) {
        return a.value(0).toLongLong() < b.value(0).toLongLong();
    });
    return rows;
}

void logIn(RemoteProgram& program, const QString& password)
{
    program.typeInto(u"frmLogin/Edit1"_s, password);
    program.click(u"frmLogin/BitBtn1"_s);
    program.waitVisible(u"frmMain/DBGrid1"_s);
}

}  // namespace

Q_DECLARE_METATYPE(Patch)

class ProgramOlderFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startOnAnOlderFile_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<Patch>("patch");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("dateTimes");
        QTest::addColumn<QString>("trouble");  // in the box's text
        QTest::newRow("text dates, a database password")
            << u"jet4-text-pw"_s << kNone << Outcome::Moved << false << QString();
        QTest::newRow("Date/Time columns, a long Memo, moved rows")
            << u"jet4-datetime-memo"_s << kNone << Outcome::Moved << true << QString();
        QTest::newRow("1 000 rows after deletes and edits")
            << u"jet4-1000"_s << kNone << Outcome::Moved << false << QString();
        QTest::newRow("no accounts") << u"jet4-empty"_s << kNone << Outcome::Moved << false << QString();
        QTest::newRow("20 000 rows") << u"jet4-20000"_s << kNone << Outcome::Moved << false << QString();
        QTest::newRow("empty file") << u"damaged-empty"_s << kNone << Outcome::NotOlder << false << u"no such table"_s;
        QTest::newRow("cut inside the header")
            << u"damaged-trunc-2000"_s << kNone << Outcome::Refused << false << u"无法读取，文件已损坏"_s;
        QTest::newRow("cut after the header")
            << u"damaged-trunc-header"_s << kNone << Outcome::Refused << false << u"无法读取，文件已损坏"_s;
        QTest::newRow("cut in half") << u"damaged-trunc-half"_s << kNone << Outcome::Refused << false
                                     << u"U_P 表读出的行数与表中记载的不符"_s;
        QTest::newRow("cut inside a page")
            << u"damaged-trunc-midpage"_s << kNone << Outcome::Refused << false << u"U_P 表第 108 行已损坏"_s;
        QTest::newRow("catalogue overwritten")
            << u"damaged-pages1-3"_s << kNone << Outcome::Refused << false << u"无法读取，文件已损坏"_s;
        QTest::newRow("row tables scrambled")
            << u"damaged-rowtables"_s << kNone << Outcome::Refused << false << u"无法读取，文件已损坏"_s;
        QTest::newRow("a usage map that crashes libmdb")
            << u"damaged-usagemap-crash"_s << kNone << Outcome::Refused << false << u"读取程序意外中止"_s;
        QTest::newRow("another program's file, a")
            << u"foreign-access2000-a"_s << kNone << Outcome::Refused << false << u"没有账户表 U_P 和登录表 S_U"_s;
        QTest::newRow("another program's file, b")
            << u"foreign-access2000-b"_s << kNone << Outcome::Refused << false << u"没有账户表 U_P 和登录表 S_U"_s;
        QTest::newRow("Access 97") << u"jet4-text-pw"_s << kJet3 << Outcome::Refused << false
                                   << u"Access 97（Jet 3）"_s;
        QTest::newRow("Access 2007") << u"jet4-text-pw"_s << kAce << Outcome::Refused << false
                                     << u"Access 2007（ACE）"_s;
    }

    void startOnAnOlderFile()
    {
        QFETCH(QString, fixture);
        QFETCH(Patch, patch);
        QFETCH(Outcome, outcome);
        QFETCH(bool, dateTimes);
        QFETCH(QString, trouble);
        const QByteArray original = contents(jetFixture(fixture + u".mdb"_s));
        const QByteArray older = patch.on(original);
        QVERIFY(!older.isEmpty() || fixture == u"damaged-empty"_s);
        ProgramCopy copy;
        QFile file(copy.database());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(older);
        file.close();

        RemoteProgram program(copy);
        const QStringList boxes = startBoxes(program);
        QVERIFY(!boxes.isEmpty());
        if (outcome == Outcome::Moved)
            return checkMoved(program, copy, boxes, fixture, dateTimes, older);
        if (outcome == Outcome::Refused) {
            QVERIFY2(boxes.first().startsWith(u"无法转入旧版数据文件 "_s + copy.database() + u"："_s),
                     qPrintable(boxes.first()));
            QVERIFY2(boxes.first().endsWith(u"。数据文件没有任何改动。"_s), qPrintable(boxes.first()));
        }
        QVERIFY2(boxes.first().contains(trouble), qPrintable(boxes.join(u" / "_s)));
        // The program goes on as with any file it cannot open: the login is one more error box.
        program.typeInto(u"frmLogin/Edit1"_s, kOldPassword);
        program.click(u"frmLogin/BitBtn1"_s);
        QVERIFY(!program.waitBox().value(1).isEmpty());
        program.answer(u"OK"_s);
        QVERIFY(program.visible(u"frmLogin/Edit1"_s));
        QCOMPARE(contents(copy.database()), older);
        QCOMPARE(dataFolder(copy), QStringList{u"db.mzx"_s});
    }

private:
    void checkMoved(RemoteProgram& program, const ProgramCopy& copy, const QStringList& boxes, const QString& fixture,
                    bool dateTimes, const QByteArray& older)
    {
        const JetRows expected = expectedJetRows(fixture, dateTimes);
        const QStringList kept = dataFolder(copy).filter(u"db-jet-backup-"_s);
        QCOMPARE(kept.size(), 1);
        const QString backup = copy.folder() + u"Data/"_s + kept.first();
        QCOMPARE(boxes, QStringList{u"旧版数据文件中的 %1 个账户已全部转入新的数据文件。原来的文件保存为 %2。"
                                    u"请用原来的登录密码登录。"_s.arg(expected.accounts.size())
                                        .arg(backup)});
        QCOMPARE(contents(backup), older);
        QCOMPARE(dataFolder(copy), (QStringList{kept.first(), u"db.mzx"_s}));
        QCOMPARE(QFileInfo(copy.database()).permissions(),
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
        const JetRows stored = storedJetRows(copy.database());
        QCOMPARE(stored.accounts, expected.accounts);
        QCOMPARE(stored.login, expected.login);

        logIn(program, kOldPassword);
        QTRY_COMPARE_WITH_TIMEOUT(program.rowCount(kGrid), int(expected.accounts.size()), 30000);
        QCOMPARE(gridRows(program), expected.accounts);
    }
};

QTEST_GUILESS_MAIN(ProgramOlderFileTest)
#include "test_program_olderfile.moc"
