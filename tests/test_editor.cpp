// Account editor dialog: adding and changing accounts, required fields, texts stored exactly,
// length limits, keys, database errors, and closed editors being freed.
#include "data/query.h"
#include "data/statements.h"
#include "forms/c.h"
#include "forms/main.h"
#include "platform/website.h"
#include "tests/fixture.h"
#include "widgets/dialogs.h"

#include <QTest>
#include <memory>

namespace {

const QString kSaved = QStringLiteral("恭喜！恭喜！ 账户信息 保存成功！");
const QString kEmoji = QStringLiteral("😀");

QString today() { return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")); }

}  // namespace

class TestEditor : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TestProgram> db_;

    // An editor as the main window's add and modify commands make it, shown without a loop of
    // its own so that the test can drive it.
    static TfrmC* openEditor(const QString& id = QStringLiteral("0"))
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

    QList<QStringList> stored() { return db_->rows(QStringLiteral("select ID,F1,F2,F3,F4,F5 from U_P order by ID")); }

    static void narrowList()
    {
        frmMain->ui.LabWhere->setText(Sql::containsCondition(QStringLiteral("F2"), QStringLiteral("no such account")));
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
        QCOMPARE(WebRecorder::navigations.last(), Website::page(QStringLiteral("Card_C.html")));
        QCOMPARE(editor->focusWidget(), static_cast<QWidget*>(editor->ui.Edit1));
        for (QWidget* next :
             QList<QWidget*>{editor->ui.Edit2, editor->ui.Edit3, editor->ui.Edit4, editor->ui.DateTimePicker1}) {
            QTest::keyClick(editor->focusWidget(), Qt::Key_Tab);
            QVERIFY(next->isAncestorOf(editor->focusWidget()) || next == editor->focusWidget());
        }
    }

    void addInsertsOneRowAndListsAllAccounts()
    {
        db_->addAccount(QStringLiteral("2024-03-01"), QStringLiteral("old"), QStringLiteral("u1"));
        db_->addAccount(QStringLiteral("2022-01-01"), QStringLiteral("older"), QStringLiteral("u2"));
        narrowList();
        const auto before = stored();

        TfrmC* editor = openEditor();
        typeText(editor->ui.Edit1, QStringLiteral("新的账户"));
        QTest::keyClicks(editor->ui.Edit2, QStringLiteral("me@example.com"));
        typeText(editor->ui.Edit3, QStringLiteral("我的生日"));
        QTest::keyClicks(editor->ui.Edit4, QStringLiteral("note"));
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
        QCOMPARE(added.mid(1), (QStringList{today(), QStringLiteral("新的账户"), QStringLiteral("me@example.com"),
                                            QStringLiteral("我的生日"), QStringLiteral("note")}));
        QVERIFY(frmMain->ui.LabWhere->text().isEmpty());
        QCOMPARE(listed(), (QList<QStringList>{added, before[0], before[1]}));
        freeClosedEditors();
        QVERIFY(frmC.isNull());
    }

    void modifyChangesOnlyThatRow()
    {
        db_->addAccount(QStringLiteral("2024-05-01"), QStringLiteral("a"), QStringLiteral("ua"), QStringLiteral("pa"));
        const qint64 id = db_->addAccount(QStringLiteral("2023-05-01"), QStringLiteral("b"), QStringLiteral("ub"),
                                          QStringLiteral("pb"), QStringLiteral("db"));
        db_->addAccount(QStringLiteral("2021-05-01"), QStringLiteral("c"), QStringLiteral("uc"));
        narrowList();
        auto expected = stored();

        TfrmC* editor = openEditor(QString::number(id));
        editor->ui.DateTimePicker1->setDate(QDate(2023, 5, 1));
        fill(editor, {QStringLiteral("b"), QStringLiteral("ub"), QStringLiteral("pb"), QStringLiteral("db")});
        QTest::keyClicks(editor->ui.Edit1, QStringLiteral("2"));
        editor->ui.Edit3->clear();
        QTest::keyClicks(editor->ui.Edit3, QStringLiteral("x' or '1'='1"));
        editor->ui.DateTimePicker1->setDate(QDate(2020, 2, 29));
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.texts(), QStringList{kSaved});
        expected[1] = QStringList{QString::number(id),  QStringLiteral("2020-02-29"),   QStringLiteral("b2"),
                                  QStringLiteral("ub"), QStringLiteral("x' or '1'='1"), QStringLiteral("db")};
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
        QTest::newRow("no account name") << QString() << QStringLiteral("me") << QStringLiteral("账户名称 不能为空！")
                                         << QStringLiteral("Edit1");
        QTest::newRow("no user name") << QStringLiteral("site") << QString() << QStringLiteral("用户名 不能为空！")
                                      << QStringLiteral("Edit2");
        QTest::newRow("neither") << QString() << QString() << QStringLiteral("账户名称 不能为空！")
                                 << QStringLiteral("Edit1");
    }

    void requiredFieldsAreNoticed()
    {
        QFETCH(QString, name);
        QFETCH(QString, user);
        QFETCH(QString, notice);
        QFETCH(QString, focused);
        const QStringList typed{name, user, QStringLiteral("hint"), QStringLiteral("about")};
        TfrmC* editor = openEditor();
        fill(editor, typed);
        editor->ui.Edit4->setFocus();
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.texts(), QStringList{notice});
        QCOMPARE(editor->focusWidget()->objectName(), focused);
        QVERIFY(editor->isVisible());
        QCOMPARE(texts(editor), typed);
        QCOMPARE(db_->count(QStringLiteral("U_P")), 0);
    }

    void hostileTextsAreStoredAndListedExactly_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::newRow("quotes") << QStringList{QStringLiteral("O'Brien's \"site\""), QStringLiteral("''"),
                                               QStringLiteral("'"), QStringLiteral("it's ''quoted''")};
        QTest::newRow("statements") << QStringList{QStringLiteral("'); delete from U_P; --"),
                                                   QStringLiteral("x' or '1'='1"), QStringLiteral("--"),
                                                   QStringLiteral("'; drop table U_P; --")};
        QTest::newRow("wildcards and backslashes")
            << QStringList{QStringLiteral("100%_off"), QStringLiteral("C:\\Users\\me\\"), QStringLiteral("\\'"),
                           QStringLiteral("%_%\\%")};
        QTest::newRow("line breaks and tabs") << QStringList{QStringLiteral("line1\nline2"), QStringLiteral("a\r\nb"),
                                                             QStringLiteral("\t"), QStringLiteral("end\n")};
        QTest::newRow("emoji") << QStringList{kEmoji + QStringLiteral(" 账户"), QStringLiteral("👍🏽"),
                                              QStringLiteral("密码🔑"), QStringLiteral("描述🎉✨")};
        QTest::newRow("at the limits") << QStringList{QString(50, QChar(0x540D)),
                                                      QString(49, QLatin1Char('u')) + kEmoji, kEmoji.repeated(50),
                                                      QStringLiteral("述😀").repeated(100)};
        QTest::newRow("spaces only, kept as typed")
            << QStringList{QStringLiteral("   "), QStringLiteral(" x "), QString(), QString()};
    }

    void hostileTextsAreStoredAndListedExactly()
    {
        QFETCH(QStringList, values);
        db_->addAccount(QStringLiteral("2000-01-01"), QStringLiteral("keep"), QStringLiteral("me"),
                        QStringLiteral("p'"), QStringLiteral("d"));
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
        const QStringList added = QStringList{after.last()[0], QStringLiteral("2010-10-10")} + values;
        QCOMPARE(after.last(), added);
        QCOMPARE(listed(), (QList<QStringList>{added, untouched.first()}));
    }

    void lengthLimitsCountCharacters_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("limit");
        QTest::newRow("account name") << QStringLiteral("Edit1") << 50;
        QTest::newRow("user name") << QStringLiteral("Edit2") << 50;
        QTest::newRow("password") << QStringLiteral("Edit3") << 50;
        QTest::newRow("description") << QStringLiteral("Edit4") << 200;
    }

    void lengthLimitsCountCharacters()
    {
        QFETCH(QString, edit);
        QFETCH(int, limit);
        TfrmC* editor = openEditor();
        auto* field = editor->findChild<QLineEdit*>(edit);
        const QString full(limit, QLatin1Char('a'));

        QTest::keyClicks(field, full + QStringLiteral("bc"));
        QCOMPARE(field->text(), full);
        typeText(field, kEmoji);
        QCOMPARE(field->text(), full);

        field->setText(QString(limit - 2, QLatin1Char('x')) + kEmoji.repeated(3));
        QCOMPARE(field->text(), QString(limit - 2, QLatin1Char('x')) + kEmoji.repeated(2));

        field->setText(QString(limit - 1, QLatin1Char('x')));
        field->insert(kEmoji + kEmoji);
        QCOMPARE(field->text(), QString(limit - 1, QLatin1Char('x')) + kEmoji);

        // Text pasted in the middle loses its own end, not the text after the cursor.
        field->setText(QStringLiteral("ab"));
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
        const QString acute = QStringLiteral("e\u0301");
        const QString family = QStringLiteral("👨\u200D👩\u200D👧");
        const QString flag = QStringLiteral("🇨🇳");
        const QString marked = QStringLiteral("a\u0308\u0301\u0323");
        QTest::newRow("accent, account name") << QStringLiteral("Edit1") << 50 << acute;
        QTest::newRow("accent, description") << QStringLiteral("Edit4") << 200 << acute;
        QTest::newRow("joined emoji, user name") << QStringLiteral("Edit2") << 50 << family;
        QTest::newRow("flag, password") << QStringLiteral("Edit3") << 50 << flag;
        QTest::newRow("three marks, description") << QStringLiteral("Edit4") << 200 << marked;
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
            field->setText(head + character + QStringLiteral("z"));
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
        field->setText(QStringLiteral("ab"));
        field->setCursorPosition(1);
        field->insert(character.repeated(limit));
        QCOMPARE(field->text(), QLatin1Char('a') + character.repeated((limit - 2) / points) + QLatin1Char('b'));
    }

    void keysPressOnlyTheFocusedButton()
    {
        TfrmC* editor = openEditor();
        fill(editor, {QStringLiteral("site"), QStringLiteral("me")});
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
        QCOMPARE(db_->count(QStringLiteral("U_P")), 0);

        editor->ui.BitBtn1->setFocus();
        QTest::keyClick(editor->ui.BitBtn1, Qt::Key_Return);
        QCOMPARE(boxes.texts(), QStringList{kSaved});
        QCOMPARE(db_->count(QStringLiteral("U_P")), 1);
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
        const qint64 id = db_->addAccount(QStringLiteral("2024-01-01"), QStringLiteral("a"), QStringLiteral("u"));
        const auto before = stored();
        TfrmC* editor = openEditor(QString::number(id));
        fill(editor, {QStringLiteral("changed"), QStringLiteral("changed")});
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
        const qint64 id = db_->addAccount(QStringLiteral("2024-01-01"), QStringLiteral("gone"), QStringLiteral("u"));
        db_->addAccount(QStringLiteral("2023-01-01"), QStringLiteral("kept"), QStringLiteral("u"));
        frmMain->Ref();
        const QStringList typed{QStringLiteral("edited"), QStringLiteral("user"), QStringLiteral("new secret"),
                                QStringLiteral("about")};
        TfrmC* editor = openEditor(QString::number(id));
        fill(editor, typed);
        db_->exec(QStringLiteral("delete from U_P where ID=%1").arg(id));
        const auto before = stored();
        const auto shown = listed();
        MessageBoxRecorder boxes;
        save(editor);

        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Row cannot be located for updating. 该账户已不存在.")});
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
        QTest::newRow("insert refused") << QStringLiteral("0")
                                        << QStringLiteral(
                                               "create trigger refuse before insert on U_P begin "
                                               "select raise(abort, 'refused'); end");
        QTest::newRow("update refused") << QStringLiteral("1")
                                        << QStringLiteral(
                                               "create trigger refuse before update on U_P begin "
                                               "select raise(abort, 'refused'); end");
        QTest::newRow("ID that is no number") << QStringLiteral("1 or 1=1") << QString();
    }

    void databaseErrorKeepsEditorOpen()
    {
        QFETCH(QString, id);
        QFETCH(QString, sabotage);
        db_->addAccount(QStringLiteral("2024-01-01"), QStringLiteral("a"), QStringLiteral("u"));
        const auto before = stored();
        const QString conditions = Sql::containsCondition(QStringLiteral("F2"), QStringLiteral("a"));
        frmMain->ui.LabWhere->setText(conditions);
        if (!sabotage.isEmpty())
            db_->exec(sabotage);
        const QStringList typed{QStringLiteral("new name"), QStringLiteral("new user"), QStringLiteral("p"), QString()};
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
