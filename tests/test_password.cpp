// The password change dialog: checking the current password, confirming the new one, saving it.
#include "data/statements.h"
#include "forms/p.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QPointer>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString kWrongCurrent = u"原密码错误，请重新录入密码！"_s;
const QString kMismatch = u"新密码和确认密码不一致，请重新录入密码！"_s;
const QString kChanged = u"密码修改成功，请重新登录！"_s;

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
    QString password() { return db.value(u"select F1 from S_U"_s); }
    bool opensTheProgram(const QString& password) { return db.rows(Sql::passwordCheck(password)).size() == 1; }
};

}  // namespace

class TestPassword : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        Application::setTitle(u"墨柘密码本"_s);
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
            QTest::keyClicks(edit, u"abcdefghij0123456789XYZ"_s);
            QCOMPARE(edit->text(), u"abcdefghij0123456789"_s);
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
        d.type(u"Admin"_s, u"new1"_s, u"new2"_s);
        d.p->ui.Edit3->setFocus();
        d.save();
        QCOMPARE(d.boxes.texts(), QStringList{kWrongCurrent});
        QCOMPARE(d.p->focusWidget(), d.p->ui.Edit1);
        QCOMPARE(d.password(), u"admin"_s);
    }

    void mismatchKeepsTheDialogAndWhatWasTyped()
    {
        Dialog d;
        d.p->show();
        const int terminations = Application::terminateRequests();
        d.type(u"admin"_s, u"Secret"_s, u"secret"_s);
        d.save();
        QCOMPARE(d.boxes.texts(), QStringList{kMismatch});
        QCOMPARE(d.p->focusWidget(), d.p->ui.Edit2);
        QVERIFY(d.p->isVisible());
        QCOMPARE(d.p->ui.Edit1->text(), u"admin"_s);
        QCOMPARE(d.p->ui.Edit2->text(), u"Secret"_s);
        QCOMPARE(d.p->ui.Edit3->text(), u"secret"_s);
        QCOMPARE(d.password(), u"admin"_s);
        QCOMPARE(Application::terminateRequests(), terminations);
    }

    void savingChangesThePasswordAndEndsTheProgram_data()
    {
        QTest::addColumn<QString>("newPassword");
        QTest::newRow("plain") << u"n3wPass"_s;
        QTest::newRow("quotes, injection") << u"x\"' where '1'='0"_s;
        QTest::newRow("empty") << QString();
    }

    void savingChangesThePasswordAndEndsTheProgram()
    {
        QFETCH(QString, newPassword);
        Dialog d;
        const int terminations = Application::terminateRequests();
        d.type(u"admin"_s, newPassword, newPassword);
        QVERIFY(endsEventLoop([&d] { d.save(); }));
        QCOMPARE(d.boxes.texts(), QStringList{kChanged});
        QCOMPARE(Application::terminateRequests(), terminations + 1);
        QCOMPARE(d.password(), newPassword);
        QCOMPARE(d.db.count(u"S_U"_s), 1);
        QVERIFY(!d.opensTheProgram(u"admin"_s));
        QVERIFY(d.opensTheProgram(newPassword));
    }

    // The login record did not take the new password (here a trigger skips it): that is an
    // error, not the success notice, and the program goes on with the dialog open.
    void updateThatChangesNoRecordIsAnError()
    {
        Dialog d;
        d.db.exec(u"create trigger keep before update on S_U begin select raise(ignore); end"_s);
        const int terminations = Application::terminateRequests();
        d.type(u"admin"_s, u"new"_s, u"new"_s);
        d.save();
        QCOMPARE(d.boxes.texts(), QStringList{u"Row cannot be located for updating. 该登录记录已不存在."_s});
        QCOMPARE(d.boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QCOMPARE(Application::terminateRequests(), terminations);
        QCOMPARE(d.p->ui.Edit2->text(), u"new"_s);
        QCOMPARE(d.password(), u"admin"_s);
    }

    void escAndEnterAnswerOnlyAFocusedButton()
    {
        Dialog d;
        d.owner.show();
        d.p->show();
        QVERIFY(QTest::qWaitForWindowExposed(d.p));
        d.type(u"admin"_s, u"x"_s, u"x"_s);
        QTest::keyClick(d.p->ui.Edit3, Qt::Key_Return);
        QTest::keyClick(d.p->ui.Edit1, Qt::Key_Enter);
        QTest::keyClick(d.p->ui.Edit2, Qt::Key_Escape);
        QTest::keyClick(d.p->ui.BitBtn2, Qt::Key_Escape);
        QVERIFY(d.p->isVisible());
        QVERIFY(d.boxes.texts().isEmpty());
        QCOMPARE(d.password(), u"admin"_s);

        d.p->ui.BitBtn2->setFocus();
        QTest::keyClick(d.p->ui.BitBtn2, Qt::Key_Return);
        QVERIFY(!d.p->isVisible());
        QCOMPARE(d.p->result(), int(QDialog::Rejected));
        QCOMPARE(d.password(), u"admin"_s);
    }

    void modalDialogEndedByTheChangeIsRejectedAndKept()
    {
        Dialog d;
        d.owner.show();
        QPointer<TfrmP> dialog(d.p);
        int result = -1;
        QVERIFY(endsEventLoop([&] {
            QTimer::singleShot(0, [&d] {
                d.type(u"admin"_s, u"abc"_s, u"abc"_s);
                d.save();
            });
            result = d.p->exec();
        }));
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(dialog);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(d.password(), u"abc"_s);
    }
};

QTEST_MAIN(TestPassword)
#include "test_password.moc"
