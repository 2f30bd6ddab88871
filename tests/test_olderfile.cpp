// Bringing an older data file across, below the windows: the move killed at each of its steps,
// after which the next start ends with every row in the new file and the older file kept byte
// for byte, losing nothing; the reader's reply taken apart when it is out of line in any way; and
// the reader's fence tried from inside a process fenced as the reader is.
#include "app/olderfile.h"
#include "platform/jetreader.h"
#include "protocol/jet.h"
#include "tests/fixture.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace JetProtocol;

namespace {

using Step = OlderFileMove::Step;
using Kind = OlderFileMove::Outcome::Kind;

const QString kFixture = u"jet4-datetime-memo"_s;

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& bytes, QFile::Permissions permissions = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    if (permissions)
        file.setPermissions(permissions);
}

// A program folder whose Data/db.mzx is an older file.
struct OlderFolder {
    OlderFolder() : original(contents(jetFixture(kFixture + u".mdb"_s)))
    {
        QDir(dir.path()).mkpath(u"Data"_s);
        write(dataFile(), original);
    }
    QString dataFile() const { return dir.filePath(u"Data/db.mzx"_s); }
    QStringList entries() const { return QDir(dir.filePath(u"Data"_s)).entryList(QDir::Files); }
    QString backup() const
    {
        return dir.filePath(u"Data/db-jet-backup-"_s + QDate::currentDate().toString(u"yyyyMMdd"_s) + u".mdb"_s);
    }
    OlderFileMove::Outcome bringAcross() const { return OlderFileMove(QFile::encodeName(dataFile())).bringAcross(); }

    QTemporaryDir dir;
    QByteArray original;
};

// The move, in a process of its own that kills itself at the step; whether it got there.
bool killedAt(const OlderFolder& folder, Step step)
{
    const pid_t child = ::fork();
    if (child == 0) {
        OlderFileMove::setStepHookForTesting([step](Step reached) {
            if (reached == step)
                ::raise(SIGKILL);
        });
        folder.bringAcross();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// Processes running the program at path.
int running(const QString& path)
{
    int found = 0;
    for (const QString& pid : QDir(u"/proc"_s).entryList(QDir::Dirs))
        found += QFile::symLinkTarget(u"/proc/"_s + pid + u"/exe"_s) == path;
    return found;
}

// The frames of a reply, made by hand.
class Reply {
public:
    Reply& frame(FrameKind kind, TableId table, std::uint32_t count, std::uint32_t bytes = 0)
    {
        return add(Frame{kMagic, kind, table, count, bytes});
    }
    Reply& row(TableId table, const QList<QByteArray>& fields)
    {
        const QByteArray joined = fields.join();
        frame(FrameKind::Row, table, std::uint32_t(fields.size()), std::uint32_t(joined.size()));
        bytes_ += joined;
        return *this;
    }
    template <typename Header>
    Reply& add(const Header& header)
    {
        bytes_.append(reinterpret_cast<const char*>(&header), sizeof header);
        return *this;
    }
    QByteArray bytes() const { return bytes_; }

private:
    QByteArray bytes_;
};

QByteArray field(FieldKind kind, const QByteArray& bytes = {})
{
    const FieldHeader header{kind, std::uint32_t(bytes.size())};
    return QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + bytes;
}
QByteArray text(const QByteArray& utf8) { return field(FieldKind::Text, utf8); }
QByteArray number(qint64 value)
{
    return field(FieldKind::Integer, QByteArray(reinterpret_cast<const char*>(&value), 8));
}
QByteArray day(std::uint32_t year, std::uint32_t month, std::uint32_t dayOfMonth)
{
    const Date date{year, month, dayOfMonth};
    return field(FieldKind::Date, QByteArray(reinterpret_cast<const char*>(&date), sizeof date));
}
QByteArray null() { return field(FieldKind::Null); }

QList<QByteArray> account(qint64 id)
{
    return {number(id), text("2024-01-02"), text("名 😀"), null(), text(""), text("x")};
}
QList<QByteArray> login() { return {number(1), text("pw"), day(2024, 3, 7), number(57)}; }

// A whole reply of two accounts and the login row, with the first account's fields as given.
QByteArray wholeReply(const QList<QByteArray>& first = account(1))
{
    return Reply()
        .frame(FrameKind::Table, TableId::Accounts, 2)
        .row(TableId::Accounts, first)
        .row(TableId::Accounts, account(2))
        .frame(FrameKind::End, TableId::Accounts, 2)
        .frame(FrameKind::Table, TableId::Login, 1)
        .row(TableId::Login, login())
        .frame(FrameKind::End, TableId::Login, 1)
        .bytes();
}

enum class Read { Whole, Short, Refused, Broken };

// A table of a reply, each value a QString, a qint64, a QDate or null.
QList<QVariantList> valuesOf(const JetTable& table)
{
    QList<QVariantList> rows;
    for (qsizetype row = 0; row < table.rows(); ++row) {
        rows << QVariantList();
        for (int column = 0; column < table.columns; ++column) {
            const JetField& field = table.field(row, column);
            rows.last() << (field.kind == FieldKind::Text      ? QVariant(QString::fromUtf8(table.text(field)))
                            : field.kind == FieldKind::Integer ? QVariant(field.value)
                            : field.kind == FieldKind::Date    ? QVariant(field.date())
                                                               : QVariant());
        }
    }
    return rows;
}

}  // namespace

Q_DECLARE_METATYPE(Step)

class OlderFileTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { JetReader::setProgramForTesting(MZ_JETREADER_PATH); }

    void killedAtAStep_data()
    {
        QTest::addColumn<Step>("step");
        QTest::newRow("while the reader runs") << Step::Reading;
        QTest::newRow("every row written, not committed") << Step::Writing;
        QTest::newRow("new file committed and synced") << Step::Written;
        QTest::newRow("new file read back") << Step::Checked;
        QTest::newRow("backup name given") << Step::BackupKept;
        QTest::newRow("folder synced with it") << Step::BackupSynced;
        QTest::newRow("new file in place") << Step::Replaced;
        QTest::newRow("folder synced again") << Step::FolderSynced;
    }

    // Killed at the step, the move leaves the older file in place or the new one with the backup
    // beside it; the next start ends with the new file in place, every row in it, and the older
    // file byte for byte under one backup name.
    void killedAtAStep()
    {
        QFETCH(Step, step);
        const OlderFolder folder;
        QVERIFY2(killedAt(folder, step), "the move never reached the step");
        const JetRows expected = expectedJetRows(kFixture, true);
        const bool older = contents(folder.dataFile()) == folder.original;
        QVERIFY(older
                || (storedJetRows(folder.dataFile()).accounts == expected.accounts
                    && contents(folder.backup()) == folder.original));
        // A reader is never left behind by the program it reads for.
        QTRY_COMPARE(running(QString::fromUtf8(MZ_JETREADER_PATH)), 0);

        QCOMPARE(folder.bringAcross().kind, older ? Kind::Moved : Kind::NotOlder);
        QCOMPARE(folder.entries(), (QStringList{QFileInfo(folder.backup()).fileName(), u"db.mzx"_s}));
        QCOMPARE(contents(folder.backup()), folder.original);
        const JetRows stored = storedJetRows(folder.dataFile());
        QCOMPARE(stored.accounts, expected.accounts);
        QCOMPARE(stored.login, expected.login);
    }

    // A reader killed while it sends its rows: nothing is changed, and the next start moves the file.
    void readerKilledWhileSending()
    {
        const OlderFolder folder;
        const QString cutOff = folder.dir.filePath(u"cut-off-reader"_s);
        write(cutOff, "#!/bin/sh\n" MZ_JETREADER_PATH " | /usr/bin/head -c 3000\nkill -9 $$\n",
              QFile::ReadOwner | QFile::ExeOwner);
        JetReader::setProgramForTesting(QFile::encodeName(cutOff));
        const OlderFileMove::Outcome cut = folder.bringAcross();
        JetReader::setProgramForTesting(MZ_JETREADER_PATH);
        QCOMPARE(cut.kind, Kind::Refused);
        QVERIFY2(cut.message.contains(u"读取程序意外中止"_s), qPrintable(cut.message));
        QCOMPARE(folder.entries(), QStringList{u"db.mzx"_s});
        QCOMPARE(contents(folder.dataFile()), folder.original);
        QCOMPARE(folder.bringAcross().kind, Kind::Moved);
    }

    void replyTakenApart_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<Read>("read");
        const QByteArray whole = wholeReply();
        const Reply refusal = Reply().frame(FrameKind::Refusal, TableId::Login, quint32(Refusal::RowCount));
        QTest::newRow("whole") << whole << Read::Whole;
        QTest::newRow("cut short") << whole.chopped(sizeof(Frame)) << Read::Short;
        QTest::newRow("a refusal") << refusal.bytes() << Read::Refused;
        QTest::newRow("rows, then a refusal")
            << Reply()
                   .frame(FrameKind::Table, TableId::Accounts, 2)
                   .row(TableId::Accounts, account(1))
                   .frame(FrameKind::Refusal, TableId::Accounts, quint32(Refusal::RowCount), 2)
                   .bytes()
            << Read::Refused;
        QTest::newRow("bytes after a refusal") << refusal.bytes() + whole << Read::Broken;
        QTest::newRow("bytes after the end") << whole + whole.left(sizeof(Frame)) << Read::Broken;
        QTest::newRow("not a frame") << QByteArray(64, 'x') << Read::Broken;
        QTest::newRow("the login first") << Reply().frame(FrameKind::Table, TableId::Login, 1).bytes() << Read::Broken;
        QTest::newRow("more rows than the table holds")
            << Reply().frame(FrameKind::Table, TableId::Accounts, 0).row(TableId::Accounts, account(1)).bytes()
            << Read::Broken;
        QTest::newRow("a table that ends short") << Reply()
                                                        .frame(FrameKind::Table, TableId::Accounts, 2)
                                                        .row(TableId::Accounts, account(1))
                                                        .frame(FrameKind::End, TableId::Accounts, 1)
                                                        .bytes()
                                                 << Read::Broken;
        QTest::newRow("more rows than any table")
            << Reply().frame(FrameKind::Table, TableId::Accounts, kRowLimit + 1).bytes() << Read::Broken;
        QTest::newRow("a field too few") << wholeReply(account(1).mid(1)) << Read::Broken;
        QTest::newRow("a field too many") << wholeReply(account(1) << null()) << Read::Broken;
        QTest::newRow("an ID that is text")
            << wholeReply(QList<QByteArray>{text("1")} + account(1).mid(1)) << Read::Broken;
        QTest::newRow("an ID that is missing")
            << wholeReply(QList<QByteArray>{null()} + account(1).mid(1)) << Read::Broken;
        QTest::newRow("a number of four bytes")
            << wholeReply(QList<QByteArray>{field(FieldKind::Integer, QByteArray("\1\0\0\0", 4))} + account(1).mid(1))
            << Read::Broken;
        QTest::newRow("a day that is none")
            << wholeReply(account(1).mid(0, 1) << day(2023, 2, 29) << account(1).mid(2)) << Read::Broken;
        QTest::newRow("a null that carries bytes")
            << wholeReply(account(1).mid(0, 3) << field(FieldKind::Null, "x") << account(1).mid(4)) << Read::Broken;
        QTest::newRow("a field of no known kind")
            << wholeReply(account(1).mid(0, 3) << field(FieldKind(7), "x") << account(1).mid(4)) << Read::Broken;
        QTest::newRow("text that is not UTF-8")
            << wholeReply(account(1).mid(0, 2) << text("\xff\xfe") << account(1).mid(3)) << Read::Broken;
        QTest::newRow("a surrogate in UTF-8")
            << wholeReply(account(1).mid(0, 2) << text("\xed\xa0\xbd") << account(1).mid(3)) << Read::Broken;
        QTest::newRow("a field longer than its row")
            << wholeReply(account(1).mid(0, 5) << text("x").chopped(1) + QByteArray("\xff\xff\xff\x00", 4))
            << Read::Broken;
        QTest::newRow("a field over its bound")
            << wholeReply(account(1).mid(0, 5) << text(QByteArray(kFieldLimit + 1, 'x'))) << Read::Broken;
    }

    // The reply, in one piece and a byte at a time: whole, short, refused or taken apart.
    void replyTakenApart()
    {
        QFETCH(QByteArray, reply);
        QFETCH(Read, read);
        for (const qsizetype piece : {reply.size(), qsizetype(1)}) {
            JetReplyReader reader;
            bool inLine = true;
            for (qsizetype at = 0; inLine && at < reply.size(); at += piece)
                inLine = reader.take(reply.constData() + at, std::min(piece, reply.size() - at));
            QCOMPARE(inLine, read != Read::Broken);
            QCOMPARE(reader.isComplete(), read == Read::Whole);
            if (inLine)
                QCOMPARE(reader.refusal().has_value(), read == Read::Refused);
        }
    }

    // What a whole reply carries, value for value.
    void replyValues()
    {
        JetReplyReader reader;
        const QByteArray reply = wholeReply();
        QVERIFY(reader.take(reply.constData(), reply.size()));
        const JetTables tables = reader.takeTables();
        const QList<QVariantList> accounts = valuesOf(tables.accounts);
        QCOMPARE(accounts.size(), 2);
        QCOMPARE(accounts[0], (QVariantList{qint64(1), u"2024-01-02"_s, u"名 😀"_s, QVariant(), u""_s, u"x"_s}));
        QCOMPARE(valuesOf(tables.login), (QList<QVariantList>{{qint64(1), u"pw"_s, QDate(2024, 3, 7), qint64(57)}}));
    }

    void fenceHoldsInsideTheReader_data()
    {
        QTest::addColumn<QString>("attempt");
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("refusedCall");  // empty: it must work
        planted_.setAutoRemove(true);
        QVERIFY(planted_.open());
        planted_.write("a file of the user's");
        planted_.flush();
        QTest::newRow("reading its own file") << QString() << QString() << QString();
        QTest::newRow("opening a planted file") << u"read"_s << planted_.fileName() << u"openat"_s;
        QTest::newRow("connecting to a port") << u"connect"_s << QString() << u"socket"_s;
        QTest::newRow("a local socket") << u"unix-socket"_s << QString() << u"socket"_s;
        QTest::newRow("a process") << u"fork"_s << QString() << u"clone"_s;
        QTest::newRow("a program") << u"execve"_s << QString() << u"execve"_s;
        QTest::newRow("a signal's owner") << u"setown"_s << QString::number(::getpid()) << u"fcntl"_s;
    }

    // The probe fences itself in as the reader does, then tries: only reading works; everything
    // else ends it at the call filter, which names the call, and nothing reaches the port.
    void fenceHoldsInsideTheReader()
    {
        QFETCH(QString, attempt);
        QFETCH(QString, argument);
        QFETCH(QString, refusedCall);
        QTcpServer port;
        QVERIFY(port.listen(QHostAddress::LocalHost));
        QProcess probe;
        probe.setStandardInputFile(jetFixture(kFixture + u".mdb"_s));
        probe.setStandardOutputFile(QProcess::nullDevice());
        QStringList arguments{QString::number(::getpid())};
        if (!attempt.isEmpty())
            arguments << u"--probe"_s << attempt
                      << (attempt == u"connect"_s ? QString::number(port.serverPort()) : argument);
        probe.start(QString::fromUtf8(MZ_JETREADER_PROBE_PATH), arguments);
        QVERIFY(probe.waitForFinished());
        const QString named = QString::fromUtf8(probe.readAllStandardError());
        if (refusedCall.isEmpty()) {
            QCOMPARE(probe.exitCode(), 0);
        } else {
            QCOMPARE(probe.exitCode(), 128 + SIGSYS);
            QVERIFY2(named.contains(u"(%1)"_s.arg(refusedCall)), qPrintable(named));
        }
        QVERIFY(!port.waitForNewConnection(100));
    }

private:
    QTemporaryFile planted_;
};

QTEST_GUILESS_MAIN(OlderFileTest)
#include "test_olderfile.moc"
