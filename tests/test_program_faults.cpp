// The real program when things go wrong around it: its data file missing, removed, made
// read-only, truncated, overwritten or locked with another key; its folder named in GBK; the
// process killed in the middle of saving or crashing; a second copy, from this session or
// another or through a hard link, and a copy killed while holding the locks; a desktop without
// a session bus. Each time the user gets a clear error box, the program goes on, nothing saved
// is lost, no secret is left in a core file, and nothing of the program runs or holds its files
// after it.
#include "data/schema.h"
#include "platform/website.h"
#include "tests/driver/remote.h"
#include "tests/fixture.h"
#include "tests/xdisplay.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString saved = u"恭喜！恭喜！ 账户信息 保存成功！"_s;

QStringList accountNames(const ProgramCopy& copy) { return copy.column("select F2 from U_P"); }

void logIn(RemoteProgram& program)
{
    program.waitVisible(u"frmLogin/Edit1"_s);
    program.typeInto(u"frmLogin/Edit1"_s, u"admin"_s);
    program.click(u"frmLogin/BitBtn1"_s);
    program.waitVisible(u"frmMain/DBGrid1"_s);
}

// Opens the editor and fills in an account; the save button is left for the caller.
void fillAccount(RemoteProgram& program, const QString& name)
{
    program.click(u"frmMain/SpeedButton1"_s);
    program.waitVisible(u"frmC/Edit1"_s);
    program.typeInto(u"frmC/Edit1"_s, name);
    program.typeInto(u"frmC/Edit2"_s, u"user"_s);
    program.typeInto(u"frmC/Edit3"_s, u"secret-"_s + name);
}

void addAccount(RemoteProgram& program, const QString& name)
{
    fillAccount(program, name);
    program.click(u"frmC/BitBtn1"_s);
    program.expectBox(saved);
}

// Saving fails with an error box that names the trouble; the editor stays open with what was
// typed, and can be closed.
void saveFails(RemoteProgram& program, const QString& name, const QString& trouble)
{
    fillAccount(program, name);
    program.click(u"frmC/BitBtn1"_s);
    const QStringList box = program.waitBox();
    QVERIFY2(box.value(1).contains(trouble), qPrintable(box.join(u" / "_s)));
    program.answer(u"OK"_s);
    QCOMPARE(program.text(u"frmC/Edit1"_s), name);
    program.click(u"frmC/BitBtn2"_s);
    QVERIFY(program.waitUntil([&] { return !program.visible(u"frmC/Edit1"_s); }));
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void overwrite(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// A database file locked with another key, made the way the build tool makes one.
QByteArray fileWithAnotherKey(const ProgramCopy& copy)
{
    const QString path = copy.root() + u"/other.mzx"_s;
    schema::createDatabase(path.toStdString(), "not-the-key", "admin");
    return contents(path);
}

// The boxes the start shows before the login window, whose texts all name the trouble.
void startShowsErrors(RemoteProgram& program, const QString& trouble)
{
    program.start();
    int boxes = 0;
    QVERIFY(program.waitUntil([&] {
        const QStringList box = program.call({u"box"_s});
        if (box.isEmpty())
            return boxes > 0 && program.visible(u"frmLogin/Edit1"_s);
        if (box.value(0) != u"墨柘密码本"_s || !box.value(1).contains(trouble))
            throw RemoteError(("unexpected box: " + box.join(u" / "_s)).toStdString());
        program.answer(u"OK"_s);
        ++boxes;
        return false;
    }));
}

// A copy started while another holds a lock it needs: it shows the warning and no window,
// and ends once the warning is answered.
void startsOnlyToWarn(RemoteProgram& copy)
{
    copy.start();
    QCOMPARE(copy.waitBox(), (QStringList{u"警告"_s, u"墨柘密码本 已经打开了！"_s}));
    QVERIFY(!copy.visible(u"frmLogin"_s));
    copy.answer(u"OK"_s);
    QVERIFY(copy.waitForExit());
    QCOMPARE(copy.exitCode(), 0);
}

bool isRoot() { return ::geteuid() == 0; }

// Runs the program as an ordinary user even when the tests run as root.
RemoteProgram::Options asOrdinaryUser(const ProgramCopy& copy)
{
    RemoteProgram::Options options;
    if (isRoot()) {
        options.user = options.group = 65534;
        copy.giveTo(65534, 65534);
    }
    return options;
}

// Another login session of the same user: a home and a runtime folder of its own.
struct Session {
    Session()
    {
        QDir(dir.path()).mkpath(u"home/Documents"_s);
        QDir(dir.path()).mkpath(u"runtime"_s);
        QFile::setPermissions(dir.filePath(u"runtime"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    RemoteProgram::Options options() const
    {
        RemoteProgram::Options options;
        options.environment =
            QStringList{u"HOME="_s + dir.filePath(u"home"_s), u"XDG_RUNTIME_DIR="_s + dir.filePath(u"runtime"_s)};
        return options;
    }
    QTemporaryDir dir;
};

QString fileText(const QString& path) { return QString::fromUtf8(contents(path)); }

// The value of one line of /proc/PID/status or /proc/PID/limits, spaces simplified.
QString procLine(const QString& file, const QString& start)
{
    for (const QString& line : fileText(file).split(u'\n'))
        if (line.startsWith(start))
            return line.mid(start.size()).simplified();
    return QString();
}

// The processes that carry this runtime folder in their environment: a program started with
// it, and everything that program started.
QList<int> processesWithRuntime(const QString& runtime)
{
    const QByteArray wanted = "XDG_RUNTIME_DIR=" + QFile::encodeName(runtime);
    QList<int> found;
    for (const QString& entry : QDir(u"/proc"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isProcess = false;
        const int pid = entry.toInt(&isProcess);
        QFile environment(u"/proc/"_s + entry + u"/environ"_s);
        if (isProcess && environment.open(QIODevice::ReadOnly) && environment.readAll().split('\0').contains(wanted))
            found << pid;
    }
    return found;
}

}  // namespace

class ProgramFaultsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void unusableFileAtStart_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("trouble");
        QTest::newRow("missing") << u"missing"_s << u"unable to open database file"_s;
        QTest::newRow("truncated") << u"truncated"_s << u"database disk image is malformed"_s;
        QTest::newRow("garbage") << u"garbage"_s << u"file is encrypted or is not a database"_s;
        QTest::newRow("another key") << u"another key"_s << u"file is encrypted or is not a database"_s;
    }

    // The start shows the engine's error, the login window still comes, a login attempt is one
    // more error box, and the damaged file is left exactly as it was for the user to recover.
    void unusableFileAtStart()
    {
        QFETCH(QString, damage);
        QFETCH(QString, trouble);
        ProgramCopy copy;
        const QByteArray good = contents(copy.database());
        if (damage == u"missing"_s)
            QFile::remove(copy.database());
        else if (damage == u"truncated"_s)
            overwrite(copy.database(), good.left(good.size() / 2));
        else if (damage == u"garbage"_s)
            overwrite(copy.database(), QByteArray(good.size(), '\x5a'));
        else
            overwrite(copy.database(), fileWithAnotherKey(copy));
        const QByteArray damaged = contents(copy.database());

        RemoteProgram program(copy);
        startShowsErrors(program, trouble);
        program.typeInto(u"frmLogin/Edit1"_s, u"admin"_s);
        program.click(u"frmLogin/BitBtn1"_s);
        QVERIFY(program.waitBox().value(1).contains(trouble));
        program.answer(u"OK"_s);
        QVERIFY(program.visible(u"frmLogin/Edit1"_s));
        QCOMPARE(QFile::exists(copy.database()), damage != u"missing"_s);
        QCOMPARE(contents(copy.database()), damaged);
    }

    // A damaged page among the accounts: the list cannot be read, which the start tells when the
    // user logs in, not while the password is being typed, so that every key of it reaches the
    // password edit; the login then goes on to an empty list.
    void damagedListIsToldAtTheLogin()
    {
        ProgramCopy copy;
        copy.rows(
            "INSERT INTO U_P(F1,F2,F3) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n "
            "WHERE i<2000) SELECT '2024-01-01','site'||i,'user' FROM n");
        QFile file(copy.database());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() / 2));
        file.write(QByteArray(64, '\x55'));
        file.close();

        RemoteProgram program(copy);
        program.start();
        program.waitVisible(u"frmLogin/Edit1"_s);
        // Time enough for the list to be read and found damaged.
        QVERIFY(!program.waitUntil([&] { return !program.call({u"box"_s}).isEmpty(); }, 1000));
        program.keys(u"admin"_s);
        program.key(u"Return"_s);
        const QStringList box = program.waitBox();
        QVERIFY2(box.value(1).contains(u"database disk image is malformed"_s), qPrintable(box.join(u" / "_s)));
        program.answer(u"OK"_s);
        program.waitVisible(u"frmMain/DBGrid1"_s);
        QCOMPARE(program.rowCount(u"frmMain/DBGrid1"_s), 0);
        QCOMPARE(program.call({u"box"_s}), QStringList());
    }

    // Removed while the program runs: a save is refused rather than written into the removed
    // file, and once the file is back, saving goes on and nothing saved before is lost.
    void fileRemovedWhileRunning()
    {
        ProgramCopy copy;
        RemoteProgram program(copy);
        program.start();
        logIn(program);
        addAccount(program, u"before"_s);
        const QString aside = copy.root() + u"/aside.mzx"_s;
        QVERIFY(QFile::rename(copy.database(), aside));
        saveFails(program, u"while away"_s, u"unable to open database file"_s);
        QVERIFY(QFile::rename(aside, copy.database()));
        addAccount(program, u"after"_s);
        QCOMPARE(program.rowCount(u"frmMain/DBGrid1"_s), 2);
        QCOMPARE(accountNames(copy), (QStringList{u"before"_s, u"after"_s}));
    }

    // Made read-only while the program runs (the owner's protection, which root ignores).
    void fileMadeReadOnlyWhileRunning()
    {
        ProgramCopy copy;
        RemoteProgram program(copy, asOrdinaryUser(copy));
        program.start();
        logIn(program);
        addAccount(program, u"before"_s);
        QFile::setPermissions(copy.database(), QFile::ReadOwner);
        saveFails(program, u"refused"_s, u"readonly database"_s);
        QFile::setPermissions(copy.database(), QFile::ReadOwner | QFile::WriteOwner);
        addAccount(program, u"after"_s);
        QCOMPARE(accountNames(copy), (QStringList{u"before"_s, u"after"_s}));
    }

    // Killed at a random moment of a burst of saves, again and again: the file stays whole,
    // and every save whose success notice was shown is in it.
    void killedWhileSaving()
    {
        ProgramCopy copy;
        QStringList confirmed;
        auto* random = QRandomGenerator::global();
        for (int round = 0; round < 4; ++round) {
            RemoteProgram program(copy);
            program.start();
            logIn(program);
            const int saves = random->bounded(3, 8);
            for (int i = 0; i < saves; ++i) {
                const QString name = u"round %1 save %2"_s.arg(round).arg(i);
                addAccount(program, name);
                confirmed << name;
            }
            fillAccount(program, u"round %1 cut off"_s.arg(round));
            program.click(u"frmC/BitBtn1"_s);
            QThread::usleep(random->bounded(20000));
            program.kill();
            // A journal left behind by the kill is as unreadable as the file itself.
            QVERIFY(!contents(copy.database() + u"-journal"_s).contains("secret-round"));

            QCOMPARE(copy.column("PRAGMA integrity_check"), QStringList{u"ok"_s});
            const QStringList names = accountNames(copy);
            for (const QString& name : confirmed)
                QVERIFY2(names.contains(name), qPrintable(name));
            QVERIFY(names.size() <= confirmed.size() + round + 1);
        }
    }

    void secondCopyOnTheSameFileWarns_data()
    {
        QTest::addColumn<bool>("anotherSession");  // a home and a runtime folder of its own
        QTest::addColumn<bool>("hardLink");        // its own folder, whose Data/db.mzx is a hard link
        QTest::newRow("same folder, same session") << false << false;
        QTest::newRow("same folder, another session") << true << false;
        QTest::newRow("hard link, another session") << true << true;
    }

    // A second copy on the file the first one has open warns and ends, however it reaches the
    // file; the first goes on saving. Once the first copy is killed, the file is free again, and
    // nothing of the lock is left beside it.
    void secondCopyOnTheSameFileWarns()
    {
        QFETCH(bool, anotherSession);
        QFETCH(bool, hardLink);
        ProgramCopy copy;
        ProgramCopy linked;
        if (hardLink) {
            QVERIFY(QFile::remove(linked.database()));
            QCOMPARE(::link(QFile::encodeName(copy.database()).constData(),
                            QFile::encodeName(linked.database()).constData()),
                     0);
        }
        const Session session;
        const RemoteProgram::Options options = anotherSession ? session.options() : RemoteProgram::Options();
        const ProgramCopy& secondCopy = hardLink ? linked : copy;
        RemoteProgram first(copy);
        first.start();
        logIn(first);
        addAccount(first, u"first"_s);

        RemoteProgram second(secondCopy, options);
        startsOnlyToWarn(second);

        addAccount(first, u"still here"_s);
        QCOMPARE(accountNames(copy), (QStringList{u"first"_s, u"still here"_s}));
        first.kill();
        QCOMPARE(QDir(QFileInfo(copy.database()).path()).entryList(QDir::Files), QStringList{u"db.mzx"_s});
        RemoteProgram next(secondCopy, options);
        next.start();
        logIn(next);
        QCOMPARE(next.call({u"box"_s}), QStringList());
        QCOMPARE(next.rowCount(u"frmMain/DBGrid1"_s), 2);
    }

    // A program folder whose name is not UTF-8 (an archive unpacked with GBK names): the
    // program opens the file beside it, logs in and saves there as anywhere else.
    void folderNamedInGbkOpensTheFileBesideIt()
    {
        ProgramCopy copy;
        // The folder gets its GBK name (密码本), and its old name leads there, so that the test
        // reaches the files as before while the program finds itself in the GBK folder.
        const QByteArray folder = QFile::encodeName(copy.root()) + "/\xc3\xdc\xc2\xeb\xb1\xbe";
        const QByteArray program = QFile::encodeName(copy.folder()).chopped(1);
        QCOMPARE(::rename(program.constData(), folder.constData()), 0);
        QCOMPARE(::symlink(folder.constData(), program.constData()), 0);
        // Named back before the copy goes, which cannot remove what it cannot name.
        const auto namedBack = qScopeGuard([&] {
            ::unlink(program.constData());
            ::rename(folder.constData(), program.constData());
        });
        HeldSite site;
        RemoteProgram first(copy, RemoteProgram::Options{{site.proxyEnvironment()}, {}, {}, true});
        first.start();
        logIn(first);
        QCOMPARE(first.call({u"box"_s}), QStringList());
        addAccount(first, u"saved beside it"_s);
        QCOMPARE(accountNames(copy), QStringList{u"saved beside it"_s});
        // The banner helper beside it starts too, and asks for its page.
        QVERIFY(first.waitUntil(
            [&] { return site.requestedPaths().contains(Website::page(u"SoftIndex.html"_s).toString()); }));
    }

    // In a read-only Data folder the engine can make no journal beside the file: the program
    // starts and reads the file, but the login, which must write its stamp, is an error box,
    // and the login window stays.
    void readOnlyDataFolderStartsButCannotLogIn()
    {
        ProgramCopy copy;
        const RemoteProgram::Options options = asOrdinaryUser(copy);
        const QString data = QFileInfo(copy.database()).path();
        QFile::setPermissions(data, QFile::ReadOwner | QFile::ExeOwner);
        const auto writable =
            qScopeGuard([&] { QFile::setPermissions(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
        RemoteProgram program(copy, options);
        program.start();
        program.waitVisible(u"frmLogin/Edit1"_s);
        QCOMPARE(program.call({u"box"_s}), QStringList());
        const QString count = copy.column("select F3 from S_U").value(0);
        QVERIFY(!count.isEmpty() && program.text(u"frmLogin/Label1"_s).endsWith(u"总登录数："_s + count));
        program.typeInto(u"frmLogin/Edit1"_s, u"admin"_s);
        program.click(u"frmLogin/BitBtn1"_s);
        const QStringList box = program.waitBox();
        QVERIFY2(box.value(1).contains(u"unable to open database file"_s), qPrintable(box.join(u" / "_s)));
        program.answer(u"OK"_s);
        QVERIFY(program.visible(u"frmLogin/Edit1"_s));
        QVERIFY(!program.visible(u"frmMain"_s));
    }

    // While it runs, the program is not dumpable (its /proc files then belong to root rather
    // than to its user) and may write no core file; crashing then leaves none behind, even
    // where the user allows core files.
    void crashLeavesNoCoreFile()
    {
        ProgramCopy copy;
        rlimit ours;
        QCOMPARE(::getrlimit(RLIMIT_CORE, &ours), 0);
        rlimit allowed{ours.rlim_max, ours.rlim_max};
        QCOMPARE(::setrlimit(RLIMIT_CORE, &allowed), 0);
        const auto restore = qScopeGuard([&] { ::setrlimit(RLIMIT_CORE, &ours); });
        RemoteProgram program(copy, asOrdinaryUser(copy));
        program.start();
        ::setrlimit(RLIMIT_CORE, &ours);
        logIn(program);

        const QString proc = u"/proc/%1/"_s.arg(program.pid());
        QVERIFY(procLine(proc + u"status"_s, u"Uid:"_s).section(u' ', 1, 1) != u"0"_s);
        QCOMPARE(QFileInfo(proc + u"status"_s).ownerId(), 0u);
        QCOMPARE(procLine(proc + u"limits"_s, u"Max core file size"_s), u"0 0 bytes"_s);

        // A core_pattern that pipes to a handler or writes elsewhere leaves nothing to look
        // for in the working folder; the two checks above are then what keeps the dump out.
        const QString pattern = fileText(u"/proc/sys/kernel/core_pattern"_s).trimmed();
        const bool dumpsHere = !pattern.contains(u'|') && !pattern.contains(u'/');
        const QStringList before = QDir(copy.home()).entryList(QDir::Files);
        ::kill(pid_t(program.pid()), SIGSEGV);
        QVERIFY(program.waitForExit());
        if (dumpsHere)
            QCOMPARE(QDir(copy.home()).entryList(QDir::Files), before);
        else
            qInfo("core_pattern \"%s\" writes no core file here to look for", qPrintable(pattern));
    }

    // On an X desktop without a session bus, the program starts none that outlives it, and a
    // browser it starts holds none of its files or locks: while that browser still runs, the
    // program starts again without a warning.
    void leavesNothingRunningOrLockedBehind()
    {
        const VirtualDisplay x;
        if (x.name().isEmpty())
            QSKIP("Xvfb could not be started");
        ProgramCopy copy;
        // Whatever this test leaves running carries the copy's runtime folder.
        const auto endLeftovers = qScopeGuard([&] {
            for (const int pid : processesWithRuntime(copy.runtime()))
                ::kill(pid, SIGKILL);
        });
        // The desktop's opener: notes its process and the files it inherited, then stays open
        // as a browser would.
        const QString bin = copy.root() + u"/bin"_s;
        QVERIFY(QDir().mkpath(bin));
        QFile opener(bin + u"/xdg-open"_s);
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write(
            "#!/bin/sh\necho $$ > \"$0.pid\"\nls -l /proc/$$/fd > \"$0.tmp\"\nmv \"$0.tmp\" \"$0.fds\"\n"
            "exec sleep 60\n");
        opener.close();
        QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        RemoteProgram::Options options;
        options.environment = {u"QT_QPA_PLATFORM=xcb"_s, u"DISPLAY="_s + x.name(),
                               u"PATH="_s + bin + u':' + qEnvironmentVariable("PATH"), u"DBUS_SESSION_BUS_ADDRESS"_s};
        RemoteProgram first(copy, options);
        first.start();
        first.waitVisible(u"frmLogin/Edit1"_s);
        first.click(u"frmLogin/Label3"_s);
        QVERIFY(first.waitUntil([&] { return QFile::exists(opener.fileName() + u".fds"_s); }));
        const int browser = fileText(opener.fileName() + u".pid"_s).trimmed().toInt();
        // On a loaded machine the opener may still be on its way into the browser it becomes.
        QVERIFY(first.waitUntil([&] { return fileText(u"/proc/%1/comm"_s.arg(browser)).trimmed() == u"sleep"_s; }));
        const QString inherited = fileText(opener.fileName() + u".fds"_s);
        QVERIFY2(!inherited.contains(u"db.mzx"_s) && !inherited.contains(u"MzPwdBook"_s), qPrintable(inherited));

        first.click(u"frmLogin/BitBtn2"_s);
        QVERIFY(first.waitForExit());
        QCOMPARE(processesWithRuntime(copy.runtime()), QList<int>{browser});

        RemoteProgram next(copy, options);
        next.start();
        logIn(next);
        QCOMPARE(next.call({u"box"_s}), QStringList());
    }

    // A copy killed while it holds the lock leaves it behind; the next start takes it over.
    void killedCopyDoesNotBlockTheNextStart()
    {
        ProgramCopy copy;
        RemoteProgram first(copy);
        first.start();
        logIn(first);
        first.kill();
        QVERIFY(QFile::exists(copy.runtime() + u"/MzPwdBook.lock"_s));

        RemoteProgram next(copy);
        next.start();
        logIn(next);
        QCOMPARE(next.call({u"box"_s}), QStringList());
    }
};

QTEST_GUILESS_MAIN(ProgramFaultsTest)
#include "test_program_faults.moc"
