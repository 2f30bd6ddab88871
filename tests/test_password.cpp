// The password change dialog: checking the current password, confirming the new one, saving it.
#include "data/statements.h"
#include "forms/p.h"
#include "tests/fixture.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {

const QString kWrongCurrent = QStringLiteral("原密码错误，请重新录入密码！");
const QString kMismatch = QStringLiteral("新密码和确认密码不一致，请重新录入密码！");
const QString kChanged = QStringLiteral("密码修改成功，请重新登录！");

// The dialog as the main window opens it, over a database whose login password is "admin".
struct Dialog {
    WebRecorder web;
    TestDatabase db;
    MessageBoxRecorder boxes;
    QWidget owner;
    TfrmP* p = new TfrmP(&owner);

    Dialog() { frmP = p; }
    ~Dialog() { frmP = nullptr; }

    void type(const QString& current, const QString& newPassword, const QString& confirmation)
    {
        QTest::keyClicks(p->ui.Edit1, current);
        QTest::keyClicks(p->ui.Edit2, newPassword);
        QTest::keyClicks(p->ui.Edit3, confirmation);
    }
    void save() { QTest::mouseClick(p->ui.BitBtn1, Qt::LeftButton); }
    QString password() { return db.value(QStringLiteral("select F1 from S_U")); }
    bool opensTheProgram(const QString& password) { return db.rows(Sql::passwordCheck(password)).size() == 1; }
};

}  // namespace

class TestPassword : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Application::setTitle(QStringLiteral("墨柘密码本"));
        initTestResources();
    }

    void editsMaskAndLimitWhatIsTyped()
    {
        Dialog d;
        d.owner.show();
        d.p->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.p));
        QCOMPARE(d.p->focusWidget(), d.p->ui.Edit1);
        for (QLineEdit* edit : {d.p->ui.Edit1, d.p->ui.Edit2, d.p->ui.Edit3}) {
            QVERIFY(edit->font().bold());
            QCOMPARE(edit->font().pixelSize(), 11);
            QTest::keyClicks(edit, QStringLiteral("abcdefghij0123456789XYZ"));
            QCOMPARE(edit->text(), QStringLiteral("abcdefghij0123456789"));
            QCOMPARE(edit->displayText(), QString(20, QLatin1Char('@')));
        }
        d.p->ui.Edit1->setFocus();
        QTest::keyClick(d.p->ui.Edit1, Qt::Key_Tab);
        QCOMPARE(d.p->focusWidget(), d.p->ui.Edit2);
        QTest::keyClick(d.p->ui.Edit2, Qt::Key_Tab);
        QCOMPARE(d.p->focusWidget(), d.p->ui.Edit3);
    }

    void wrongCurrentPasswordNeverReachesTheComparison()
    {
        Dialog d;
        d.type(QStringLiteral("Admin"), QStringLiteral("new1"), QStringLiteral("new2"));
        d.p->ui.Edit3->setFocus();
        d.save();
        QCOMPARE(d.boxes.texts(), QStringList{kWrongCurrent});
        QCOMPARE(d.p->focusWidget(), d.p->ui.Edit1);
        QCOMPARE(d.password(), QStringLiteral("admin"));
    }

    void mismatchKeepsTheDialogAndWhatWasTyped()
    {
        Dialog d;
        d.p->show();
        const int terminations = Application::terminateRequests();
        d.type(QStringLiteral("admin"), QStringLiteral("Secret"), QStringLiteral("secret"));
        d.save();
        QCOMPARE(d.boxes.texts(), QStringList{kMismatch});
        QCOMPARE(d.p->focusWidget(), d.p->ui.Edit2);
        QVERIFY(d.p->isVisible());
        QCOMPARE(d.p->ui.Edit1->text(), QStringLiteral("admin"));
        QCOMPARE(d.p->ui.Edit2->text(), QStringLiteral("Secret"));
        QCOMPARE(d.p->ui.Edit3->text(), QStringLiteral("secret"));
        QCOMPARE(d.password(), QStringLiteral("admin"));
        QCOMPARE(Application::terminateRequests(), terminations);
    }

    void savingChangesThePasswordAndEndsTheProgram_data()
    {
        QTest::addColumn<QString>("newPassword");
        QTest::newRow("plain") << QStringLiteral("n3wPass");
        QTest::newRow("quotes, injection") << QStringLiteral("x\"' where '1'='0");
        QTest::newRow("empty") << QString();
    }

    void savingChangesThePasswordAndEndsTheProgram()
    {
        QFETCH(QString, newPassword);
        Dialog d;
        const int terminations = Application::terminateRequests();
        d.type(QStringLiteral("admin"), newPassword, newPassword);
        QVERIFY(endsEventLoop([&d] { d.save(); }));
        QCOMPARE(d.boxes.texts(), QStringList{kChanged});
        QCOMPARE(Application::terminateRequests(), terminations + 1);
        QCOMPARE(d.password(), newPassword);
        QCOMPARE(d.db.count(QStringLiteral("S_U")), 1);
        QVERIFY(!d.opensTheProgram(QStringLiteral("admin")));
        QVERIFY(d.opensTheProgram(newPassword));
    }

    // The login record did not take the new password (here a trigger skips it): that is an
    // error, not the success notice, and the program goes on with the dialog open.
    void updateThatChangesNoRecordIsAnError()
    {
        Dialog d;
        d.db.exec(QStringLiteral("create trigger keep before update on S_U begin select raise(ignore); end"));
        const int terminations = Application::terminateRequests();
        d.type(QStringLiteral("admin"), QStringLiteral("new"), QStringLiteral("new"));
        d.save();
        QCOMPARE(d.boxes.texts(),
                 QStringList{QStringLiteral("Row cannot be located for updating. 该登录记录已不存在.")});
        QCOMPARE(d.boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QCOMPARE(Application::terminateRequests(), terminations);
        QCOMPARE(d.p->ui.Edit2->text(), QStringLiteral("new"));
        QCOMPARE(d.password(), QStringLiteral("admin"));
    }

    void escAndEnterAnswerOnlyAFocusedButton()
    {
        Dialog d;
        d.owner.show();
        d.p->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.p));
        d.type(QStringLiteral("admin"), QStringLiteral("x"), QStringLiteral("x"));
        QTest::keyClick(d.p->ui.Edit3, Qt::Key_Return);
        QTest::keyClick(d.p->ui.Edit1, Qt::Key_Enter);
        QTest::keyClick(d.p->ui.Edit2, Qt::Key_Escape);
        QTest::keyClick(d.p->ui.BitBtn2, Qt::Key_Escape);
        QVERIFY(d.p->isVisible());
        QVERIFY(d.boxes.texts().isEmpty());
        QCOMPARE(d.password(), QStringLiteral("admin"));

        d.p->ui.BitBtn2->setFocus();
        QTest::keyClick(d.p->ui.BitBtn2, Qt::Key_Return);
        QVERIFY(!d.p->isVisible());
        QCOMPARE(d.p->result(), int(QDialog::Rejected));
        QCOMPARE(d.password(), QStringLiteral("admin"));
    }

    void modalDialogEndedByTheChangeIsRejectedAndKept()
    {
        Dialog d;
        d.owner.show();
        QPointer<TfrmP> dialog(d.p);
        int result = -1;
        QVERIFY(endsEventLoop([&] {
            QTimer::singleShot(0, [&d] {
                d.type(QStringLiteral("admin"), QStringLiteral("abc"), QStringLiteral("abc"));
                d.save();
            });
            result = d.p->exec();
        }));
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(dialog);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(d.password(), QStringLiteral("abc"));
    }
};

QTEST_MAIN(TestPassword)
#include "test_password.moc"
