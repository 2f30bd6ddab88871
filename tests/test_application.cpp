// The program shell: the default error handler, termination and the single-instance lock.
#include "app/application.h"
#include "app/program.h"
#include "data/exception.h"
#include "platform/singleinstance.h"
#include "widgets/dialogs.h"
#include "widgets/guard.h"

#include <QCloseEvent>
#include <QDialog>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <iostream>

namespace {

// Run as "test_application --hold-lock": takes the lock, says so, and waits to be killed.
int holdLock()
{
    SingleInstanceLock lock(QStringLiteral("MzPwdBook"));
    if (!lock.tryAcquire())
        return 1;
    std::cout << "locked" << std::endl;
    for (;;)
        QThread::sleep(1);
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
        Application::setTitle(QStringLiteral("墨柘密码本"));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir_.path()));
        QFile::setPermissions(runtimeDir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void finalPeriodRule_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << QStringLiteral("x") << QStringLiteral("x.");
        QTest::newRow("period") << QStringLiteral("x.") << QStringLiteral("x.");
        QTest::newRow("exclamation") << QStringLiteral("x!") << QStringLiteral("x!");
        QTest::newRow("space") << QStringLiteral("x ") << QStringLiteral("x ");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("digit") << QStringLiteral("error 7") << QStringLiteral("error 7.");
        QTest::newRow("parenthesis") << QStringLiteral("(x)") << QStringLiteral("(x)");
        QTest::newRow("chinese") << QStringLiteral("错误") << QStringLiteral("错误.");
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
            throw EDatabaseError(QStringLiteral("no such table: U_P"));
            afterError = true;
        });
        QVERIFY(!afterError);
        QCOMPARE(boxes.boxes().size(), 1);
        const Dialogs::MessageBox& box = boxes.boxes().first();
        QCOMPARE(box.text, QStringLiteral("no such table: U_P."));
        QCOMPARE(box.caption, QStringLiteral("墨柘密码本"));
        QCOMPARE(box.icon, Dialogs::Icon::Stop);
        QCOMPARE(box.buttons, QList<Dialogs::Button>{Dialogs::Button::OK});

        guarded([] { throw std::runtime_error("plain failure"); });
        QCOMPARE(boxes.texts().last(), QStringLiteral("plain failure."));
        guarded([] {});
        QCOMPARE(boxes.boxes().size(), 2);
    }

    void noticeLooksTheSameEverywhere()
    {
        MessageBoxRecorder boxes;
        Dialogs::notice(QStringLiteral("密码错误，请重新录入密码！"));
        const Dialogs::MessageBox& box = boxes.boxes().first();
        QCOMPARE(box.caption, QStringLiteral("墨柘密码本"));
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
        const int before = Application::TerminateRequests();
        QTimer::singleShot(0, [] { Application::Terminate(); });
        QCOMPARE(dialog.exec(), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(window.closeEvents, 0);
        QCOMPARE(Application::TerminateRequests(), before + 1);
    }

    void secondCopyIsWarnedAndFirstCopyKeepsRunning()
    {
        QProcess first;
        first.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-lock")});
        QVERIFY(first.waitForReadyRead(10000));
        QCOMPARE(first.readAll().trimmed(), QByteArray("locked"));

        MessageBoxRecorder boxes;
        SingleInstanceLock second(QStringLiteral("MzPwdBook"));
        QVERIFY(!TakeSingleInstanceLock(second));
        QCOMPARE(boxes.boxes().size(), 1);
        const Dialogs::MessageBox& box = boxes.boxes().first();
        QCOMPARE(box.text, QStringLiteral("墨柘密码本 已经打开了！"));
        QCOMPARE(box.caption, QStringLiteral("警告"));
        QCOMPARE(box.icon, Dialogs::Icon::Warning);
        QCOMPARE(box.buttons, QList<Dialogs::Button>{Dialogs::Button::OK});
        QCOMPARE(first.state(), QProcess::Running);

        // A copy that dies without cleaning up leaves a lock file that no longer blocks.
        ::kill(pid_t(first.processId()), SIGKILL);
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(QFile::exists(SingleInstanceLock::lockFilePath(QStringLiteral("MzPwdBook"))));
        SingleInstanceLock next(QStringLiteral("MzPwdBook"));
        QVERIFY(TakeSingleInstanceLock(next));
        QCOMPARE(boxes.boxes().size(), 1);
    }
};

int main(int argc, char** argv)
{
    if (argc == 2 && QByteArray(argv[1]) == "--hold-lock") {
        QCoreApplication app(argc, argv);
        return holdLock();
    }
    QApplication app(argc, argv);
    TestApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_application.moc"
