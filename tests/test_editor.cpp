// Account editor dialog: adding and changing accounts, required fields, texts stored exactly,
// length limits, keys, database errors, and closed editors being freed.
#include "data/query.h"
#include "data/statements.h"
#include "forms/c.h"
#include "forms/main.h"
#include "platform/website.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/dialogs.h"

#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kSaved = u"恭喜！恭喜！ 账户信息 保存成功！"_s;
const QString kEmoji = u"😀"_s;

QString today() { return QDate::currentDate().toString(u"yyyy-MM-dd"_s); }

}  // namespace

class TestEditor : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestProgram> db_;

    // An editor as the main window's add and modify commands make it, shown without a loop of
    // its own so that the test can drive it.
    static TfrmC* openEditor(const QString& id = u"0"_s)
    {
        frmMain->createAccountEditor();
        frmC->ui.Lab_ID->setText(id);
        frmC->show();
        return frmC;
    }

    static void fill(TfrmC* editor, const QStringList& texts)
    {
        QLineEdit* edits[] = {editor->ui.Edit1, editor->ui.Edit2, editor->ui.Edit3, editor->ui.Edit4};
        for (int i = 0; i < texts.size(); ++i)
            edits[i]->setText(texts[i]);
    }

    static QStringList texts(TfrmC* editor)
    {
        return {editor->ui.Edit1->text(), editor->ui.Edit2->text(), editor->ui.Edit3->text(), editor->ui.Edit4->text()};
    }

    // The main window's list: ID, date, account name, user name, password, description.
    static QList<QStringList> listed()
    {
        const TADOQuery* list = frmMain->ADOQuery1;
        QList<QStringList> rows;
        for (int row = 0; row < list->RecordCount(); ++row) {
            QStringList values;
            for (int column = 0; column < list->FieldCount(); ++column)
                values << list->text(row, column);
            rows << values;
        }
        return rows;
    }

    QList<QStringList> stored() { return db_->rows(u"select ID,F1,F2,F3,F4,F5 from U_P order by ID"_s); }

    static void narrowList()
    {
        frmMain->ui.LabWhere->setText(Sql::containsCondition(u"F2"_s, u"no such account"_s));
        frmMain->Ref();
        QCOMPARE(frmMain->ADOQuery1->RecordCount(), 0);
    }

    static void save(TfrmC* editor) { QTest::mouseClick(editor->ui.BitBtn1, Qt::LeftButton); }

private Q_SLOTS:
    void initTestCase() { initTestResources(); }

    void init()
    {
        db_ = std::make_unique<TestProgram>();
        TestProgram::makeMainWindow();
    }
    void cleanup() { db_.reset(); }

    void newEditorStartsTodayInTheNameWithItsBanner()
    {
        TfrmC* editor = openEditor();
        QCOMPARE(editor->ui.DateTimePicker1->date(), QDate::currentDate());
        QCOMPARE(WebRecorder::navigations.last(), Website::page(u"Card_C.html"_s));
        QCOMPARE(editor->focusWidget(), static_cast<QWidget*>(editor->ui.Edit1));
        for (QWidget* next :
             QList<QWidget*>{editor->ui.Edit2, editor->ui.Edit3, editor->ui.Edit4, editor->ui.DateTimePicker1}) {
            QTest::keyClick(editor->focusWidget(), Qt::Key_Tab);
            QVERIFY(next->isAncestorOf(editor->focusWidget()) || next == editor->focusWidget());
        }
    }

    void addInsertsOneRowAndListsAllAccounts()
    {
        db_->addAccount(u"2024-03-01"_s, u"old"_s, u"u1"_s);
        db_->addAccount(u"2022-01-01"_s, u"older"_s, u"u2"_s);
        narrowList();
        const auto before = stored();

        TfrmC* editor = openEditor();
        typeText(editor->ui.Edit1, u"新的账户"_s);
        QTest::keyClicks(editor->ui.Edit2, u"me@example.com"_s);
        typeText(editor->ui.Edit3, u"我的生日"_s);
        QTest::keyClicks(editor->ui.Edit4, u"note"_s);
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.texts(), QStringList{kSaved});
        QVERIFY(!editor->isVisible());
        QCOMPARE(editor->result(), int(QDialog::Accepted));
        const auto after = stored();
        QCOMPARE(after.size(), 3);
        QCOMPARE(after.mid(0, 2), before);
        const QStringList added = after.last();
        QVERIFY(added[0].toLongLong() > before.last()[0].toLongLong());
        QCOMPARE(added.mid(1), (QStringList{today(), u"新的账户"_s, u"me@example.com"_s, u"我的生日"_s, u"note"_s}));
        QVERIFY(frmMain->ui.LabWhere->text().isEmpty());
        QCOMPARE(listed(), (QList<QStringList>{added, before[0], before[1]}));
        freeClosedEditors();
        QVERIFY(frmC.isNull());
    }

    void modifyChangesOnlyThatRow()
    {
        db_->addAccount(u"2024-05-01"_s, u"a"_s, u"ua"_s, u"pa"_s);
        const qint64 id = db_->addAccount(u"2023-05-01"_s, u"b"_s, u"ub"_s, u"pb"_s, u"db"_s);
        db_->addAccount(u"2021-05-01"_s, u"c"_s, u"uc"_s);
        narrowList();
        auto expected = stored();

        TfrmC* editor = openEditor(QString::number(id));
        editor->ui.DateTimePicker1->setDate(QDate(2023, 5, 1));
        fill(editor, {u"b"_s, u"ub"_s, u"pb"_s, u"db"_s});
        QTest::keyClicks(editor->ui.Edit1, u"2"_s);
        editor->ui.Edit3->clear();
        QTest::keyClicks(editor->ui.Edit3, u"x' or '1'='1"_s);
        editor->ui.DateTimePicker1->setDate(QDate(2020, 2, 29));
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.texts(), QStringList{kSaved});
        expected[1] = QStringList{QString::number(id), u"2020-02-29"_s, u"b2"_s, u"ub"_s, u"x' or '1'='1"_s, u"db"_s};
        QCOMPARE(stored(), expected);
        QVERIFY(frmMain->ui.LabWhere->text().isEmpty());
        QCOMPARE(listed(), (QList<QStringList>{expected[0], expected[2], expected[1]}));
    }

    void requiredFieldsAreNoticed_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("focused");
        QTest::newRow("no account name") << QString() << u"me"_s << u"账户名称 不能为空！"_s << u"Edit1"_s;
        QTest::newRow("no user name") << u"site"_s << QString() << u"用户名 不能为空！"_s << u"Edit2"_s;
        QTest::newRow("neither") << QString() << QString() << u"账户名称 不能为空！"_s << u"Edit1"_s;
    }

    void requiredFieldsAreNoticed()
    {
        QFETCH(QString, name);
        QFETCH(QString, user);
        QFETCH(QString, notice);
        QFETCH(QString, focused);
        const QStringList typed{name, user, u"hint"_s, u"about"_s};
        TfrmC* editor = openEditor();
        fill(editor, typed);
        editor->ui.Edit4->setFocus();
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.texts(), QStringList{notice});
        QCOMPARE(editor->focusWidget()->objectName(), focused);
        QVERIFY(editor->isVisible());
        QCOMPARE(texts(editor), typed);
        QCOMPARE(db_->count(u"U_P"_s), 0);
    }

    void hostileTextsAreStoredAndListedExactly_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::newRow("quotes") << QStringList{u"O'Brien's \"site\""_s, u"''"_s, u"'"_s, u"it's ''quoted''"_s};
        QTest::newRow("statements") << QStringList{u"'); delete from U_P; --"_s, u"x' or '1'='1"_s, u"--"_s,
                                                   u"'; drop table U_P; --"_s};
        QTest::newRow("wildcards and backslashes")
            << QStringList{u"100%_off"_s, u"C:\\Users\\me\\"_s, u"\\'"_s, u"%_%\\%"_s};
        QTest::newRow("line breaks and tabs") << QStringList{u"line1\nline2"_s, u"a\r\nb"_s, u"\t"_s, u"end\n"_s};
        QTest::newRow("emoji") << QStringList{kEmoji + u" 账户"_s, u"👍🏽"_s, u"密码🔑"_s, u"描述🎉✨"_s};
        QTest::newRow("at the limits") << QStringList{QString(50, QChar(0x540D)),
                                                      QString(49, QLatin1Char('u')) + kEmoji, kEmoji.repeated(50),
                                                      u"述😀"_s.repeated(100)};
        QTest::newRow("spaces only, kept as typed") << QStringList{u"   "_s, u" x "_s, QString(), QString()};
    }

    void hostileTextsAreStoredAndListedExactly()
    {
        QFETCH(QStringList, values);
        db_->addAccount(u"2000-01-01"_s, u"keep"_s, u"me"_s, u"p'"_s, u"d"_s);
        const auto untouched = stored();
        TfrmC* editor = openEditor();
        editor->ui.DateTimePicker1->setDate(QDate(2010, 10, 10));
        fill(editor, values.mid(0, 3));
        editor->ui.Edit4->insert(values[3]);
        QCOMPARE(texts(editor), values);
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.texts(), QStringList{kSaved});
        const auto after = stored();
        QCOMPARE(after.size(), 2);
        QCOMPARE(after.first(), untouched.first());
        const QStringList added = QStringList{after.last()[0], u"2010-10-10"_s} + values;
        QCOMPARE(after.last(), added);
        QCOMPARE(listed(), (QList<QStringList>{added, untouched.first()}));
    }

    void lengthLimitsCountCharacters_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("limit");
        QTest::newRow("account name") << u"Edit1"_s << 50;
        QTest::newRow("user name") << u"Edit2"_s << 50;
        QTest::newRow("password") << u"Edit3"_s << 50;
        QTest::newRow("description") << u"Edit4"_s << 200;
    }

    void lengthLimitsCountCharacters()
    {
        QFETCH(QString, edit);
        QFETCH(int, limit);
        TfrmC* editor = openEditor();
        auto* field = editor->findChild<QLineEdit*>(edit);
        const QString full(limit, QLatin1Char('a'));

        QTest::keyClicks(field, full + u"bc"_s);
        QCOMPARE(field->text(), full);
        typeText(field, kEmoji);
        QCOMPARE(field->text(), full);

        field->setText(QString(limit - 2, QLatin1Char('x')) + kEmoji.repeated(3));
        QCOMPARE(field->text(), QString(limit - 2, QLatin1Char('x')) + kEmoji.repeated(2));

        field->setText(QString(limit - 1, QLatin1Char('x')));
        field->insert(kEmoji + kEmoji);
        QCOMPARE(field->text(), QString(limit - 1, QLatin1Char('x')) + kEmoji);

        // Text pasted in the middle loses its own end, not the text after the cursor.
        field->setText(u"ab"_s);
        field->setCursorPosition(1);
        field->insert(QString(limit + 10, QLatin1Char('y')));
        QCOMPARE(field->text(), QLatin1Char('a') + QString(limit - 2, QLatin1Char('y')) + QLatin1Char('b'));
    }

    // What the user sees as one character (a letter with its accents, an emoji joined into one,
    // a flag) is kept or dropped whole, wherever the limit falls inside it.
    void lengthLimitsNeverSplitACharacter_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("character");
        const QString acute = u"e\u0301"_s;
        const QString family = u"👨\u200D👩\u200D👧"_s;
        const QString flag = u"🇨🇳"_s;
        const QString marked = u"a\u0308\u0301\u0323"_s;
        QTest::newRow("accent, account name") << u"Edit1"_s << 50 << acute;
        QTest::newRow("accent, description") << u"Edit4"_s << 200 << acute;
        QTest::newRow("joined emoji, user name") << u"Edit2"_s << 50 << family;
        QTest::newRow("flag, password") << u"Edit3"_s << 50 << flag;
        QTest::newRow("three marks, description") << u"Edit4"_s << 200 << marked;
    }

    void lengthLimitsNeverSplitACharacter()
    {
        QFETCH(QString, edit);
        QFETCH(int, limit);
        QFETCH(QString, character);
        TfrmC* editor = openEditor();
        auto* field = editor->findChild<QLineEdit*>(edit);
        const int points = int(character.toUcs4().size());
        // The limit falls inside the character wherever it falls in: all of it goes.
        for (int inside = 1; inside < points; ++inside) {
            const QString head(limit - inside, QLatin1Char('x'));
            field->setText(head + character + u"z"_s);
            QCOMPARE(field->text(), head);
            field->clear();
            typeText(field, head + character);
            QCOMPARE(field->text(), head);
        }
        // Where it fits exactly it stays whole, and what follows it goes.
        const QString head(limit - points, QLatin1Char('x'));
        field->setText(head + character + character);
        QCOMPARE(field->text(), head + character);
        // Pasted in the middle, the pasted text loses whole characters from its end.
        field->setText(u"ab"_s);
        field->setCursorPosition(1);
        field->insert(character.repeated(limit));
        QCOMPARE(field->text(), QLatin1Char('a') + character.repeated((limit - 2) / points) + QLatin1Char('b'));
    }

    void keysPressOnlyTheFocusedButton()
    {
        TfrmC* editor = openEditor();
        fill(editor, {u"site"_s, u"me"_s});
        const QList<QWidget*> fields{editor->ui.Edit1, editor->ui.Edit4, editor->ui.DateTimePicker1};
        const QList<QWidget*> buttons{editor->ui.BitBtn1, editor->ui.BitBtn2};
        MessageBoxRecorder boxes;
        for (QWidget* widget : fields + buttons) {
            widget->setFocus();
            QTest::keyClick(widget, Qt::Key_Escape);
        }
        for (QWidget* widget : fields) {
            widget->setFocus();
            QVERIFY(!editor->ui.BitBtn1->isDefault() && !editor->ui.BitBtn2->isDefault());
            QTest::keyClick(widget, Qt::Key_Return);
            QTest::keyClick(widget, Qt::Key_Enter, Qt::KeypadModifier);
        }
        QVERIFY(editor->isVisible());
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(db_->count(u"U_P"_s), 0);

        editor->ui.BitBtn1->setFocus();
        QTest::keyClick(editor->ui.BitBtn1, Qt::Key_Return);
        QCOMPARE(boxes.texts(), QStringList{kSaved});
        QCOMPARE(db_->count(u"U_P"_s), 1);
    }

    void exitClosesWithoutSaving_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("退出 clicked") << 0;
        QTest::newRow("Return on 退出") << 1;
        QTest::newRow("close box") << 2;
    }

    void exitClosesWithoutSaving()
    {
        QFETCH(int, way);
        const qint64 id = db_->addAccount(u"2024-01-01"_s, u"a"_s, u"u"_s);
        const auto before = stored();
        TfrmC* editor = openEditor(QString::number(id));
        fill(editor, {u"changed"_s, u"changed"_s});
        MessageBoxRecorder boxes;
        if (way == 0)
            QTest::mouseClick(editor->ui.BitBtn2, Qt::LeftButton);
        else if (way == 1)
            QTest::keyClick(editor->ui.BitBtn2, Qt::Key_Return);
        else
            editor->close();

        QVERIFY(!editor->isVisible());
        QCOMPARE(editor->result(), int(QDialog::Rejected));
        QVERIFY(boxes.texts().isEmpty());
        QCOMPARE(stored(), before);
        freeClosedEditors();
        QVERIFY(frmC.isNull());
    }

    // Another connection deleted the account while its editor was open: saving changes no row,
    // which is an error, not a success; nothing else changes.
    void savingAnAccountDeletedMeanwhileIsAnError()
    {
        const qint64 id = db_->addAccount(u"2024-01-01"_s, u"gone"_s, u"u"_s);
        db_->addAccount(u"2023-01-01"_s, u"kept"_s, u"u"_s);
        frmMain->Ref();
        const QStringList typed{u"edited"_s, u"user"_s, u"new secret"_s, u"about"_s};
        TfrmC* editor = openEditor(QString::number(id));
        fill(editor, typed);
        db_->exec(u"delete from U_P where ID=%1"_s.arg(id));
        const auto before = stored();
        const auto shown = listed();
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.texts(), QStringList{u"Row cannot be located for updating. 该账户已不存在."_s});
        QCOMPARE(boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY(editor->isVisible());
        QCOMPARE(texts(editor), typed);
        QCOMPARE(stored(), before);
        QCOMPARE(listed(), shown);
    }

    void databaseErrorKeepsEditorOpen_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("sabotage");
        QTest::newRow("insert refused") << u"0"_s
                                        << u"create trigger refuse before insert on U_P begin "
                                           "select raise(abort, 'refused'); end"_s;
        QTest::newRow("update refused") << u"1"_s
                                        << u"create trigger refuse before update on U_P begin "
                                           "select raise(abort, 'refused'); end"_s;
        QTest::newRow("ID that is no number") << u"1 or 1=1"_s << QString();
    }

    void databaseErrorKeepsEditorOpen()
    {
        QFETCH(QString, id);
        QFETCH(QString, sabotage);
        db_->addAccount(u"2024-01-01"_s, u"a"_s, u"u"_s);
        const auto before = stored();
        const QString conditions = Sql::containsCondition(u"F2"_s, u"a"_s);
        frmMain->ui.LabWhere->setText(conditions);
        if (!sabotage.isEmpty())
            db_->exec(sabotage);
        const QStringList typed{u"new name"_s, u"new user"_s, u"p"_s, QString()};
        TfrmC* editor = openEditor(id);
        fill(editor, typed);
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY(!boxes.texts().first().isEmpty());
        QVERIFY(editor->isVisible());
        QCOMPARE(texts(editor), typed);
        QCOMPARE(frmMain->ui.LabWhere->text(), conditions);
        QCOMPARE(stored(), before);
    }
};

QTEST_MAIN(TestEditor)
#include "test_editor.moc"
