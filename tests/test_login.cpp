// The login window: the last login shown at start, the password check, the login stamp, a
// login while the account list is still being read, and how closing the window ends the program.
#include "data/connection.h"
#include "data/dm.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "forms/login.h"
#include "forms/main.h"
#include "platform/website.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QDate>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString kWrongPassword = u"密码错误，请重新录入密码！"_s;

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
    QStringList loginRecord() { return rows(u"select F1,F2,F3 from S_U"_s).value(0); }
    bool loggedIn() { return !frmLogin->isVisible() && frmMain->isVisible(); }
};

void setLastLogin(TestDatabase& db) { db.exec(u"update S_U set F2='2023-7-9', F3=41"_s); }

}  // namespace

class TestLogin : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Application::setTitle(u"墨柘密码本"_s);
        initTestResources();
    }

    void opensWithBannerLastLoginAndFocusInThePassword()
    {
        Program program(setLastLogin);
        QVERIFY(program.loginCreationBoxes.isEmpty());
        QCOMPARE(program.ui().Label1->text(), u"上次登录日：2023-7-9，总登录数：41"_s);
        QVERIFY(WebRecorder::navigations.contains(Website::page(u"SoftIndex.html"_s)));
        QCOMPARE(frmLogin->windowTitle(), u"系统登录"_s);
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
        QCOMPARE(edit->font().family(), u"Arial"_s);
        program.type(u"abcdefghij0123456789XYZ"_s);
        QCOMPARE(edit->text(), u"abcdefghij0123456789"_s);
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
        QTest::newRow("other case") << QString() << u"Admin"_s << false;
        QTest::newRow("empty") << QString() << QString() << false;
        QTest::newRow("always true") << QString() << u"' or '1'='1"_s << false;
        QTest::newRow("comment") << QString() << u"admin' --"_s << false;
        QTest::newRow("wildcard") << QString() << u"%"_s << false;
        QTest::newRow("same case") << u"MiXed"_s << u"MiXed"_s << true;
        QTest::newRow("quotes") << u"it's \"q\""_s << u"it's \"q\""_s << true;
        QTest::newRow("typed beyond 20") << u"abcdefghij0123456789"_s << u"abcdefghij0123456789zz"_s << true;
        QTest::newRow("stored beyond 20") << u"abcdefghij0123456789z"_s << u"abcdefghij0123456789z"_s << false;
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
        QCOMPARE(program.boxes.boxes().first().caption, u"墨柘密码本"_s);
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
        program.type(u"admin"_s);
        program.clickOpen();
        QVERIFY(program.boxes.texts().isEmpty());
        QVERIFY(program.loggedIn());
        QCOMPARE(program.ui().Edit1->text(), QString());
        QCOMPARE(program.loginRecord(),
                 (QStringList{u"admin"_s, QDate::currentDate().toString(u"yyyy-M-d"_s), u"42"_s}));
        QCOMPARE(program.ui().Label1->text(), u"上次登录日：2023-7-9，总登录数：41"_s);
        QCOMPARE(Application::terminateRequests(), terminations);
    }

    void loginWhileTheListIsStillComing_data()
    {
        QTest::addColumn<bool>("damaged");    // a page in the middle of the accounts cannot be read
        QTest::addColumn<bool>("readFirst");  // the list has been read before the password is typed
        QTest::newRow("a long list") << false << false;
        QTest::newRow("a damaged page in the list") << true << false;
        QTest::newRow("a damaged page found before the password is typed") << true << true;
    }

    // The login window does not wait for the account list. A login at once stamps the login
    // record and finds the list complete in the main window, with its banner. Where a page of
    // the list cannot be read, the engine's error shows in a box when the user logs in, never
    // while the password is being typed; the grid stays empty and gets no banner, as after any
    // list that fails, while the login goes on.
    void loginWhileTheListIsStillComing()
    {
        QFETCH(bool, damaged);
        QFETCH(bool, readFirst);
        constexpr int kAccounts = 20000;
        Program program([&](TestDatabase& db) {
            db.addAccounts(kAccounts);
            QFile file(db.path());
            QVERIFY(file.open(QIODevice::ReadWrite));
            if (damaged && file.seek(file.size() / 2))
                file.write(QByteArray(64, '\x55'));
        });
        if (readFirst) {
            frmDM->ADOConnection1->waitForBackgroundFetches();
            QCoreApplication::sendPostedEvents();
            QVERIFY(program.boxes.boxes().isEmpty());
        }
        program.type(u"admin"_s);
        program.clickOpen();
        QVERIFY(program.loggedIn());
        QCOMPARE(program.loginRecord().value(2), u"1"_s);
        QCOMPARE(WebRecorder::navigations.contains(Website::page(u"Card_M.html"_s)), !damaged);
        const int listed = frmMain->ui.DBGrid1->model()->rowCount();
        if (!damaged) {
            QVERIFY(program.boxes.boxes().isEmpty());
            QCOMPARE(listed, kAccounts);
            QCOMPARE(frmMain->ui.Label1->text(), u"账户数量：%1"_s.arg(kAccounts));
            return;
        }
        QCOMPARE(program.boxes.boxes().size(), 1);
        QCOMPARE(program.boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY2(program.boxes.texts().first().contains(u"database"_s), qPrintable(program.boxes.texts().first()));
        QCOMPARE(listed, 0);
    }

    void enterInThePasswordIsTheSameAsOpen()
    {
        Program program;
        program.type(u"nope"_s);
        QTest::keyClick(program.ui().Edit1, Qt::Key_Return);
        QCOMPARE(program.boxes.texts(), QStringList{kWrongPassword});
        program.ui().Edit1->clear();
        program.type(u"admin"_s);
        QTest::keyClick(program.ui().Edit1, Qt::Key_Return);
        QVERIFY(program.loggedIn());
        QCOMPARE(program.loginRecord().value(2), u"1"_s);
    }

    void failedStampKeepsTheLoginWindow_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("trouble");
        QTest::newRow("refused") << u"SELECT RAISE(ABORT, 'stamp refused')"_s << u"stamp refused"_s;
        // A stamp that changes no record is no stamp.
        QTest::newRow("skipped") << u"SELECT RAISE(IGNORE)"_s
                                 << u"Row cannot be located for updating. 该登录记录已不存在."_s;
    }

    void failedStampKeepsTheLoginWindow()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, trouble);
        Program program([&](TestDatabase& db) {
            db.exec(u"CREATE TRIGGER refuse BEFORE UPDATE ON S_U BEGIN %1; END"_s.arg(trigger));
        });
        const QStringList before = program.loginRecord();
        program.type(u"admin"_s);
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
        QVERIFY(WebRecorder::navigations.contains(Website::page(u"SoftIndex.html"_s)));
        QCOMPARE(program.ui().Label1->text(), QString());
        QVERIFY(frmLogin->isVisible());

        program.type(u"admin"_s);
        program.clickOpen();
        QCOMPARE(program.boxes.boxes().size(), 1);
        QCOMPARE(program.boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY(frmLogin->isVisible());
        QVERIFY(!frmMain->isVisible());
    }
};

QTEST_MAIN(TestLogin)
#include "test_login.moc"
