// The program shell: the default error handler, termination, the single-instance lock and the
// data file's lock.
#include "app/program.h"
#include "data/exception.h"
#include "data/schema.h"
#include "platform/datafilelock.h"
#include "platform/sessionbus.h"
#include "platform/singleinstance.h"
#include "tests/messageboxrecorder.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"
#include "widgets/guard.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <iostream>
#include <sqlite3.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Run as "test_application --hold-lock [data file]": takes the single-instance lock, or the
// data file's lock, says so, and waits to be killed.
int holdLock(const QByteArray& dataFile)
{
    SingleInstanceLock lock(u"MzPwdBook"_s);
    DataFileLock fileLock(dataFile);
    if (!(dataFile.isEmpty() ? lock.tryAcquire() : fileLock.tryAcquire()))
        return 1;
    std::cout << "locked" << std::endl;
    for (;;)
        QThread::sleep(1);
}

void startHolding(QProcess& holder, const QStringList& arguments)
{
    holder.start(QCoreApplication::applicationFilePath(), QStringList{u"--hold-lock"_s} + arguments);
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readAll().trimmed(), QByteArray("locked"));
}

void killHolder(QProcess& holder)
{
    ::kill(pid_t(holder.processId()), SIGKILL);
    QVERIFY(holder.waitForFinished(10000));
}

class CloseCounter : public QWidget {
public:
    int closeEvents = 0;

protected:
    void closeEvent(QCloseEvent* event) override
    {
        ++closeEvents;
        event->ignore();
    }
};

}  // namespace

class TestApplication : public QObject {
    Q_OBJECT

    QTemporaryDir runtimeDir_;

private Q_SLOTS:
    void initTestCase()
    {
        Application::setTitle(u"墨柘密码本"_s);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir_.path()));
        QFile::setPermissions(runtimeDir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void finalPeriodRule_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << u"x"_s << u"x."_s;
        QTest::newRow("period") << u"x."_s << u"x."_s;
        QTest::newRow("exclamation") << u"x!"_s << u"x!"_s;
        QTest::newRow("space") << u"x "_s << u"x "_s;
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("digit") << u"error 7"_s << u"error 7."_s;
        QTest::newRow("parenthesis") << u"(x)"_s << u"(x)"_s;
        QTest::newRow("chinese") << u"错误"_s << u"错误."_s;
    }

    void finalPeriodRule()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(Dialogs::withFinalPeriod(message), shown);
    }

    void guardShowsTheErrorAndGoesOn()
    {
        MessageBoxRecorder boxes;
        bool afterError = false;
        guarded([&] {
            throw EDatabaseError(u"no such table: U_P"_s);
            afterError = true;
        });
        QVERIFY(!afterError);
        QCOMPARE(boxes.boxes().size(), 1);
        const Dialogs::MessageBox& box = boxes.boxes().first();
        QCOMPARE(box.text, u"no such table: U_P."_s);
        QCOMPARE(box.caption, u"墨柘密码本"_s);
        QCOMPARE(box.icon, Dialogs::Icon::Stop);
        QCOMPARE(box.buttons, QList<Dialogs::Button>{Dialogs::Button::OK});

        guarded([] { throw std::runtime_error("plain failure"); });
        QCOMPARE(boxes.texts().last(), u"plain failure."_s);
        guarded([] {});
        QCOMPARE(boxes.boxes().size(), 2);
    }

    void noticeLooksTheSameEverywhere()
    {
        MessageBoxRecorder boxes;
        Dialogs::notice(u"密码错误，请重新录入密码！"_s);
        const Dialogs::MessageBox& box = boxes.boxes().first();
        QCOMPARE(box.caption, u"墨柘密码本"_s);
        QCOMPARE(box.icon, Dialogs::Icon::None);
        QCOMPARE(box.buttons, QList<Dialogs::Button>{Dialogs::Button::OK});
        QCOMPARE(box.defaultButton, Dialogs::Button::OK);
        QCOMPARE(box.escapeButton, Dialogs::Button::OK);
    }

    void terminateCancelsModalDialogsWithoutClosingWindows()
    {
        CloseCounter window;
        window.show();
        QDialog dialog(&window);
        const int before = Application::terminateRequests();
        QTimer::singleShot(0, [] { Application::Terminate(); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(window.closeEvents, 0);
        QCOMPARE(Application::terminateRequests(), before + 1);
    }

    void secondCopyIsWarnedAndFirstCopyKeepsRunning()
    {
        QProcess first;
        startHolding(first, {});

        MessageBoxRecorder boxes;
        SingleInstanceLock second(u"MzPwdBook"_s);
        QVERIFY(!takeSingleInstanceLock(second));
        QCOMPARE(boxes.boxes().size(), 1);
        const Dialogs::MessageBox& box = boxes.boxes().first();
        QCOMPARE(box.text, u"墨柘密码本 已经打开了！"_s);
        QCOMPARE(box.caption, u"警告"_s);
        QCOMPARE(box.icon, Dialogs::Icon::Warning);
        QCOMPARE(box.buttons, QList<Dialogs::Button>{Dialogs::Button::OK});
        QCOMPARE(first.state(), QProcess::Running);

        // A copy that dies without cleaning up leaves a lock file that no longer blocks.
        killHolder(first);
        QVERIFY(QFile::exists(SingleInstanceLock::lockFilePath(u"MzPwdBook"_s)));
        SingleInstanceLock next(u"MzPwdBook"_s);
        QVERIFY(takeSingleInstanceLock(next));
        QCOMPARE(boxes.boxes().size(), 1);
    }

    void sessionBusIsNeverLaunched_data()
    {
        QTest::addColumn<QByteArray>("named");  // DBUS_SESSION_BUS_ADDRESS before; empty: not set
        QTest::addColumn<bool>("userBus");      // a bus listens at $XDG_RUNTIME_DIR/bus
        QTest::addColumn<QByteArray>("after");  // empty: not set
        QTest::newRow("a named bus") << QByteArray("unix:path=/run/bus") << false << QByteArray("unix:path=/run/bus");
        QTest::newRow("the user's bus, found by the library") << QByteArray() << true << QByteArray();
        QTest::newRow("no bus") << QByteArray() << false << QByteArray("disabled:");
    }

    // A bus the desktop has is used; where it has none, none is started for the program.
    void sessionBusIsNeverLaunched()
    {
        QFETCH(QByteArray, named);
        QFETCH(bool, userBus);
        QFETCH(QByteArray, after);
        QLocalServer bus;
        if (userBus)
            QVERIFY(bus.listen(runtimeDir_.filePath(u"bus"_s)));
        const auto restore = qScopeGuard([] { qunsetenv("DBUS_SESSION_BUS_ADDRESS"); });
        if (named.isEmpty())
            qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        else
            qputenv("DBUS_SESSION_BUS_ADDRESS", named);
        keepSessionBusFromBeingLaunched();
        QCOMPARE(qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS"), !after.isEmpty());
        QCOMPARE(qgetenv("DBUS_SESSION_BUS_ADDRESS"), after);
    }

    // One holder per data file, by whatever path the file is reached (a symbolic link to its
    // folder, a hard link elsewhere); another file is free, and so is a missing one; a killed
    // holder leaves the file free and nothing beside it. While held, the engine works on the
    // file, and another descriptor of it opened and closed keeps the lock where it is.
    void dataFileLockKeepsOneCopyPerFile()
    {
        QTemporaryDir dir;
        QDir top(dir.path());
        QVERIFY(top.mkpath(u"Data"_s) && top.mkpath(u"elsewhere"_s));
        const QString file = dir.filePath(u"Data/db.mzx"_s);
        const QString other = dir.filePath(u"Data/other.mzx"_s);
        const QString hardLink = dir.filePath(u"elsewhere/db.mzx"_s);
        schema::createDatabase(file.toStdString(), schema::kDatabasePassword, schema::kInitialLoginPassword);
        QFile(other).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(dir.filePath(u"Data"_s), dir.filePath(u"link"_s)));
        QCOMPARE(::link(QFile::encodeName(file).constData(), QFile::encodeName(hardLink).constData()), 0);
        const auto path = [](const QString& name) { return QFile::encodeName(name); };
        QProcess first;
        startHolding(first, {file});

        MessageBoxRecorder boxes;
        DataFileLock second(path(file));
        QVERIFY(!takeDataFileLock(second));
        QCOMPARE(boxes.texts(), QStringList{u"墨柘密码本 已经打开了！"_s});
        QCOMPARE(boxes.boxes().first().caption, u"警告"_s);
        QCOMPARE(boxes.boxes().first().icon, Dialogs::Icon::Warning);
        for (const QString& sameFile : {dir.filePath(u"link/db.mzx"_s), hardLink}) {
            DataFileLock elsewhere(path(sameFile));
            QVERIFY2(!elsewhere.tryAcquire(), qPrintable(sameFile));
        }
        DataFileLock otherFile(path(other));
        QVERIFY(otherFile.tryAcquire());
        DataFileLock noFile(path(dir.filePath(u"missing/db.mzx"_s)));
        QVERIFY(noFile.tryAcquire());
        QCOMPARE(first.state(), QProcess::Running);

        killHolder(first);
        QCOMPARE(QDir(dir.filePath(u"Data"_s)).entryList(QDir::Files), (QStringList{u"db.mzx"_s, u"other.mzx"_s}));
        DataFileLock next(path(file));
        QVERIFY(takeDataFileLock(next));
        QCOMPARE(boxes.boxes().size(), 1);
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open_v2(path(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
        schema::applyKey(db, schema::kDatabasePassword);
        schema::exec(db, "UPDATE S_U SET F3 = F3 + 1");
        sqlite3_close(db);
        QFile(file).open(QIODevice::ReadOnly);
        // Held here still, so that a copy started now would be refused too.
        QProcess refused;
        refused.start(QCoreApplication::applicationFilePath(), {u"--hold-lock"_s, hardLink});
        QVERIFY(refused.waitForFinished(10000));
        QCOMPARE(refused.exitCode(), 1);
    }
};

int main(int argc, char** argv)
{
    if (argc >= 2 && QByteArray(argv[1]) == "--hold-lock") {
        QCoreApplication app(argc, argv);
        return holdLock(argc > 2 ? QByteArray(argv[2]) : QByteArray());
    }
    QApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_application.moc"
