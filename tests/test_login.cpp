// The login window: the last login shown at start, the password check, the login stamp, a
// login while the account list is still being read, and how closing the window ends the program.
#include "data/statements.h"
#include "data/unit1.h"
#include "forms/login.h"
#include "forms/main.h"
#include "platform/website.h"
#include "tests/fixture.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QDate>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

const QString kWrongPassword = QStringLiteral("密码错误，请重新录入密码！");

// The program as start-up leaves it: the main window created and hidden, then the login
// window created and shown. prepare may change the database before the windows exist.
struct Program : TestProgram {
    MessageBoxRecorder boxes;
    QStringList loginCreationBoxes;  // the boxes shown while the login window was created

    explicit Program(const std::function<void(TestDatabase&)>& prepare = {})
    {
        if (prepare)
            prepare(*this);
        frmMain = new TfrmMain;
        boxes.clear();
        frmLogin = new TfrmLogin;
        loginCreationBoxes = boxes.texts();
        boxes.clear();
        frmLogin->show();
    }

    ~Program()
    {
        delete frmLogin;
        frmLogin = nullptr;
    }

    Ui::TfrmLogin& ui() { return frmLogin->ui; }
    void type(const QString& password) { QTest::keyClicks(ui().Edit1, password); }
    void clickOpen() { QTest::mouseClick(ui().BitBtn1, Qt::LeftButton); }
    QStringList loginRecord() { return rows(QStringLiteral("select F1,F2,F3 from S_U")).value(0); }
    bool loggedIn() { return !frmLogin->isVisible() && frmMain->isVisible(); }
};

void setLastLogin(TestDatabase& db) { db.exec(QStringLiteral("update S_U set F2='2023-7-9', F3=41")); }

}  // namespace

class TestLogin : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Application::setTitle(QStringLiteral("墨柘密码本"));
        initTestResources();
    }

    void opensWithBannerLastLoginAndFocusInThePassword()
    {
        Program program(setLastLogin);
        QVERIFY(program.loginCreationBoxes.isEmpty());
        QCOMPARE(program.ui().Label1->text(), QStringLiteral("上次登录日：2023-7-9，总登录数：41"));
        QVERIFY(WebRecorder::navigations.contains(Website::page(QStringLiteral("SoftIndex.html"))));
        QCOMPARE(frmLogin->windowTitle(), QStringLiteral("系统登录"));
        QVERIFY(!(frmLogin->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(frmLogin->windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(QTest::qWaitForWindowExposed(frmLogin));
        QCOMPARE(frmLogin->focusWidget(), program.ui().Edit1);
        QVERIFY(!frmMain->isVisible());
    }

    void passwordEditIsBoldMaskedAndLimited()
    {
        Program program;
        QLineEdit* edit = program.ui().Edit1;
        QVERIFY(edit->font().bold());
        QCOMPARE(edit->font().pixelSize(), 11);
        QCOMPARE(edit->font().family(), QStringLiteral("Arial"));
        program.type(QStringLiteral("abcdefghij0123456789XYZ"));
        QCOMPARE(edit->text(), QStringLiteral("abcdefghij0123456789"));
        QCOMPARE(edit->displayText(), QString(20, QLatin1Char('@')));
    }

    void bannerKeepsTheFullWidth()
    {
        Program program;
        frmLogin->resize(420, 320);
        QCOMPARE(program.ui().WebBrowser1->geometry(), QRect(0, 0, 420, 72));
    }

    // The typed password is compared with the stored one as it is; a wrong one is told, and
    // leaves the window, the typed text and the login record as they were.
    void passwordIsComparedAsStored_data()
    {
        QTest::addColumn<QString>("stored");  // empty: the new file's "admin"
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("opens");
        QTest::newRow("other case") << QString() << QStringLiteral("Admin") << false;
        QTest::newRow("empty") << QString() << QString() << false;
        QTest::newRow("always true") << QString() << QStringLiteral("' or '1'='1") << false;
        QTest::newRow("comment") << QString() << QStringLiteral("admin' --") << false;
        QTest::newRow("wildcard") << QString() << QStringLiteral("%") << false;
        QTest::newRow("same case") << QStringLiteral("MiXed") << QStringLiteral("MiXed") << true;
        QTest::newRow("quotes") << QStringLiteral("it's \"q\"") << QStringLiteral("it's \"q\"") << true;
        QTest::newRow("typed beyond 20") << QStringLiteral("abcdefghij0123456789")
                                         << QStringLiteral("abcdefghij0123456789zz") << true;
        QTest::newRow("stored beyond 20")
            << QStringLiteral("abcdefghij0123456789z") << QStringLiteral("abcdefghij0123456789z") << false;
    }

    void passwordIsComparedAsStored()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, opens);
        Program program([&stored](TestDatabase& db) {
            if (!stored.isEmpty())
                db.exec(Sql::passwordUpdate(stored));
        });
        const QStringList before = program.loginRecord();
        program.type(typed);
        program.ui().BitBtn2->setFocus();
        program.clickOpen();
        QCOMPARE(program.loggedIn(), opens);
        if (opens) {
            QVERIFY(program.boxes.texts().isEmpty());
            return;
        }
        QCOMPARE(program.boxes.texts(), QStringList{kWrongPassword});
        QCOMPARE(program.boxes.boxes().first().caption, QStringLiteral("墨柘密码本"));
        QCOMPARE(frmLogin->focusWidget(), program.ui().Edit1);
        QCOMPARE(program.ui().Edit1->text(), typed.left(20));
        QCOMPARE(program.loginRecord(), before);
        QVERIFY(frmLogin->isVisible() && !frmMain->isVisible());

        program.boxes.clear();
        program.clickOpen();
        QCOMPARE(program.boxes.texts(), QStringList{kWrongPassword});
    }

    void rightPasswordStampsTheLoginAndOpensTheMainWindow()
    {
        Program program(setLastLogin);
        const int terminations = Application::terminateRequests();
        program.type(QStringLiteral("admin"));
        program.clickOpen();
        QVERIFY(program.boxes.texts().isEmpty());
        QVERIFY(program.loggedIn());
        QCOMPARE(program.ui().Edit1->text(), QString());
        QCOMPARE(program.loginRecord(),
                 (QStringList{QStringLiteral("admin"), QDate::currentDate().toString(QStringLiteral("yyyy-M-d")),
                              QStringLiteral("42")}));
        QCOMPARE(program.ui().Label1->text(), QStringLiteral("上次登录日：2023-7-9，总登录数：41"));
        QCOMPARE(Application::terminateRequests(), terminations);
    }

    void loginWhileTheListIsStillComing_data()
    {
        QTest::addColumn<bool>("damaged");  // a page in the middle of the accounts cannot be read
        QTest::newRow("a long list") << false;
        QTest::newRow("a damaged page in the list") << true;
    }

    // The login window does not wait for the account list. A login at once stamps the login
    // record and finds the list complete in the main window; where a page of the list cannot be
    // read, the engine's error shows in a box and the grid stays empty, as after any list that
    // fails, while the login goes on.
    void loginWhileTheListIsStillComing()
    {
        QFETCH(bool, damaged);
        constexpr int kAccounts = 20000;
        Program program([&](TestDatabase& db) {
            db.addAccounts(kAccounts);
            QFile file(db.path());
            QVERIFY(file.open(QIODevice::ReadWrite));
            if (damaged && file.seek(file.size() / 2))
                file.write(QByteArray(64, '\x55'));
        });
        program.type(QStringLiteral("admin"));
        program.clickOpen();
        QVERIFY(program.loggedIn());
        QCOMPARE(program.loginRecord().value(2), QStringLiteral("1"));
        const int listed = frmMain->ui.DBGrid1->model()->rowCount();
        if (!damaged) {
            QVERIFY(program.boxes.boxes().isEmpty());
            QCOMPARE(listed, kAccounts);
            QCOMPARE(frmMain->ui.Label1->text(), QStringLiteral("账户数量：%1").arg(kAccounts));
            return;
        }
        QCOMPARE(program.boxes.boxes().size(), 1);
        QCOMPARE(program.boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY2(program.boxes.texts().first().contains(QStringLiteral("database")),
                 qPrintable(program.boxes.texts().first()));
        QCOMPARE(listed, 0);
    }

    void enterInThePasswordIsTheSameAsOpen()
    {
        Program program;
        program.type(QStringLiteral("nope"));
        QTest::keyClick(program.ui().Edit1, Qt::Key_Return);
        QCOMPARE(program.boxes.texts(), QStringList{kWrongPassword});
        program.ui().Edit1->clear();
        program.type(QStringLiteral("admin"));
        QTest::keyClick(program.ui().Edit1, Qt::Key_Return);
        QVERIFY(program.loggedIn());
        QCOMPARE(program.loginRecord().value(2), QStringLiteral("1"));
    }

    void failedStampKeepsTheLoginWindow_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("trouble");
        QTest::newRow("refused") << QStringLiteral("SELECT RAISE(ABORT, 'stamp refused')")
                                 << QStringLiteral("stamp refused");
        // A stamp that changes no record is no stamp.
        QTest::newRow("skipped") << QStringLiteral("SELECT RAISE(IGNORE)")
                                 << QStringLiteral("Row cannot be located for updating. 该登录记录已不存在.");
    }

    void failedStampKeepsTheLoginWindow()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, trouble);
        Program program([&](TestDatabase& db) {
            db.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON S_U BEGIN %1; END").arg(trigger));
        });
        const QStringList before = program.loginRecord();
        program.type(QStringLiteral("admin"));
        program.clickOpen();
        QCOMPARE(program.boxes.boxes().size(), 1);
        QCOMPARE(program.boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY(program.boxes.texts().first().contains(trouble));
        QVERIFY(frmLogin->isVisible());
        QVERIFY(!frmMain->isVisible());
        QCOMPARE(program.loginRecord(), before);
    }

    void everyWayOfClosingEndsTheProgram_data()
    {
        QTest::addColumn<std::function<void()>>("closeWindow");
        QTest::newRow("close box") << std::function<void()>([] { frmLogin->close(); });
        QTest::newRow("退出") << std::function<void()>([] { QTest::mouseClick(frmLogin->ui.BitBtn2, Qt::LeftButton); });
        QTest::newRow("Enter on 退出") << std::function<void()>([] {
            frmLogin->ui.BitBtn2->setFocus();
            QTest::keyClick(frmLogin->ui.BitBtn2, Qt::Key_Return);
        });
    }

    void everyWayOfClosingEndsTheProgram()
    {
        QFETCH(std::function<void()>, closeWindow);
        Program program;
        const int terminations = Application::terminateRequests();
        QVERIFY(endsEventLoop(closeWindow));
        QCOMPARE(Application::terminateRequests(), terminations + 1);
        QVERIFY(!frmLogin->isVisible());
        QVERIFY(!frmMain->isVisible());
        QVERIFY(program.boxes.texts().isEmpty());
    }

    void escapeDoesNothing()
    {
        Program program;
        const int terminations = Application::terminateRequests();
        QTest::keyClick(program.ui().Edit1, Qt::Key_Escape);
        program.ui().BitBtn2->setFocus();
        QTest::keyClick(program.ui().BitBtn2, Qt::Key_Escape);
        QVERIFY(frmLogin->isVisible());
        QCOMPARE(Application::terminateRequests(), terminations);
    }

    void linkOpensTheHomePage()
    {
        Program program;
        QTest::mouseClick(program.ui().Label3, Qt::LeftButton);
        QCOMPARE(WebRecorder::opened, QList<QUrl>{QUrl(Website::homePage(false))});
        QVERIFY(!WebRecorder::opened.first().toString().endsWith(QLatin1Char('/')));
    }

    void missingDatabaseStillGivesTheLoginWindow()
    {
        Program program([](TestDatabase& db) { QVERIFY(QFile::remove(db.path())); });
        // The last-login read fails first, which ends the creation before the count is read.
        QCOMPARE(program.loginCreationBoxes.size(), 1);
        QCOMPARE(mySql, Sql::lastLoginRead());
        QVERIFY(WebRecorder::navigations.contains(Website::page(QStringLiteral("SoftIndex.html"))));
        QCOMPARE(program.ui().Label1->text(), QString());
        QVERIFY(frmLogin->isVisible());

        program.type(QStringLiteral("admin"));
        program.clickOpen();
        QCOMPARE(program.boxes.boxes().size(), 1);
        QCOMPARE(program.boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY(frmLogin->isVisible());
        QVERIFY(!frmMain->isVisible());
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
