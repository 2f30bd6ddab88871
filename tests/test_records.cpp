// Record commands of the main window: stepping through the list, deleting an account, and
// opening the account editor to add or modify one from the tool bar, the popup menu and the grid.
#include "data/query.h"
#include "forms/c.h"
#include "forms/main.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using Dialogs::Button;

namespace {

// Runs a command that may open the editor modally. Returns what the editor showed (caption,
// Lab_ID, date, Edit1..Edit4; empty when no editor opened), read inside its own loop; then
// `whileOpen` handles it, or "退出" closes it. Any other modal window is closed, so a command
// that shows something unexpected cannot hang the test.
QStringList runEditorCommand(const std::function<void()>& command, const std::function<void(TfrmC*)>& whileOpen = {})
{
    QStringList seen;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        TfrmC* editor = frmC;
        if (!editor || !editor->isVisible()) {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
            return;
        }
        const auto& ui = editor->ui;
        seen = {editor->windowTitle(), ui.Lab_ID->text(), ui.DateTimePicker1->date().toString(Qt::ISODate),
                ui.Edit1->text(),      ui.Edit2->text(),  ui.Edit3->text(),
                ui.Edit4->text()};
        if (whileOpen)
            whileOpen(editor);
        else
            ui.BitBtn2->click();
    });
    timer.start(0);
    command();
    timer.stop();
    return seen;
}

}  // namespace

class TestRecords : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgram> db_;

    static TADOQuery* list() { return frmMain->ADOQuery1; }
    static TDBGrid* grid() { return frmMain->ui.DBGrid1; }
    static QString currentId() { return list()->FieldByName(u"ID"_s); }
    static QPoint cellCentre(int row) { return grid()->visualRect(grid()->model()->index(row, 2)).center(); }

    static QStringList listed(int column) { return columnTexts(*list(), column); }

    QList<QStringList> stored() { return db_->rows(u"select ID,F1,F2,F3,F4,F5 from U_P order by ID"_s); }

private Q_SLOTS:
    void init() { db_ = std::make_unique<TestProgram>(); }
    void cleanup() { db_.reset(); }

    void previousAndNextStopAtTheEnds()
    {
        db_->addAccounts(3);
        TestProgram::showMainWindow();
        const auto before = stored();
        const QStringList ids = listed(0);
        const auto step = [](QToolButton* button, int times) {
            for (int i = 0; i < times; ++i)
                button->click();
            return currentId();
        };
        QCOMPARE(step(frmMain->ui.SpeedButton4, 1), ids[0]);
        QCOMPARE(step(frmMain->ui.SpeedButton5, 3), ids[2]);
        QCOMPARE(step(frmMain->ui.SpeedButton4, 1), ids[1]);
        QCOMPARE(grid()->currentIndex().row(), 1);
        QCOMPARE(stored(), before);
    }

    void deleteAsksAndRemovesOnlyOnYes_data()
    {
        QTest::addColumn<QList<Button>>("answer");  // empty: the box's default button answers
        QTest::addColumn<bool>("goneMeanwhile");    // deleted from outside the program after the list was read
        QTest::newRow("default button") << QList<Button>{} << false;
        QTest::newRow("No") << QList<Button>{Button::No} << false;
        QTest::newRow("Yes") << QList<Button>{Button::Yes} << false;
        QTest::newRow("Yes, to an account already gone") << QList<Button>{Button::Yes} << true;
    }

    // The list is narrowed by a query; a delete keeps its conditions. An account that went from
    // the file since the list was read is gone as the user asked: no error, and the list shows
    // the file as it is.
    void deleteAsksAndRemovesOnlyOnYes()
    {
        QFETCH(QList<Button>, answer);
        QFETCH(bool, goneMeanwhile);
        for (const char* name : {"mail one", "bank", "mail two", "mail three"})
            db_->addAccount(u"2024-01-0%1"_s.arg(db_->count(u"U_P"_s) + 1), QString::fromUtf8(name), u"u"_s);
        TestProgram::showMainWindow();
        QTest::keyClicks(frmMain->ui.Edit1, u"mail"_s);
        frmMain->ui.BitBtn1->click();
        const QString where = frmMain->ui.LabWhere->text();
        frmMain->ui.SpeedButton5->click();
        const QString id = currentId();
        if (goneMeanwhile)
            db_->exec(u"delete from U_P where ID="_s + id);
        const bool removed = answer == QList<Button>{Button::Yes};
        auto expected = stored();
        QStringList shown = listed(0);
        if (removed) {
            expected.removeIf([&](const QStringList& row) { return row.first() == id; });
            shown.removeOne(id);
        }
        const auto login = db_->rows(u"select * from S_U"_s);

        MessageBoxRecorder boxes;
        for (Button button : answer)
            boxes.answerNext(button);
        frmMain->ui.SpeedButton3->click();
        QCOMPARE(boxes.boxes().size(), 1);
        const Dialogs::MessageBox& box = boxes.boxes().first();
        QCOMPARE(box.text, u"确认要删除账户信息吗？该删除将不可恢复！"_s);
        QCOMPARE(box.caption, u"删除账户"_s);
        QCOMPARE(box.icon, Dialogs::Icon::Question);
        QCOMPARE(box.buttons, (QList<Button>{Button::Yes, Button::No}));
        QCOMPARE(box.defaultButton, Button::No);
        QCOMPARE(box.escapeButton, Button::No);

        QCOMPARE(stored(), expected);
        QCOMPARE(db_->rows(u"select * from S_U"_s), login);
        QCOMPARE(frmMain->ui.LabWhere->text(), where);
        QCOMPARE(listed(0), shown);
        QCOMPARE(frmMain->ui.Label1->text(), u"账户数量：%1"_s.arg(shown.size()));
        QCOMPARE(list()->RecNo(), removed ? 1 : 2);
        QCOMPARE(grid()->currentIndex().row(), list()->RecNo() - 1);
    }

    void emptyListOnlyAdds()
    {
        TestProgram::showMainWindow();
        QCOMPARE(frmMain->ui.Label1->text(), u"账户数量：0"_s);
        QCOMPARE(grid()->model()->rowCount(), 0);
        MessageBoxRecorder boxes;
        QVERIFY(runEditorCommand([] { frmMain->ui.SpeedButton2->click(); }).isEmpty());
        frmMain->ui.SpeedButton3->click();
        QVERIFY(boxes.boxes().isEmpty());
        QVERIFY(frmMain->findChildren<TfrmC*>().isEmpty());

        QCOMPARE(runEditorCommand([] { frmMain->ui.SpeedButton1->click(); }),
                 (QStringList{u"新增 账户"_s, u"0"_s, QDate::currentDate().toString(Qt::ISODate), {}, {}, {}, {}}));
    }

    void modifyNeedsAPlainDate_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("date");  // the editor's; empty: no editor, the error box instead
        QTest::newRow("no leading zeros") << u"2024-1-5"_s << u"2024-01-05"_s;
        QTest::newRow("not a date") << u"yesterday"_s << QString();
        QTest::newRow("empty") << QString() << QString();
    }

    void modifyNeedsAPlainDate()
    {
        QFETCH(QString, stored);
        QFETCH(QString, date);
        const qint64 id = db_->addAccount(u"2024-01-05"_s, u"site"_s, u"u"_s);
        db_->exec(u"update U_P set F1='%1' where ID=%2"_s.arg(stored).arg(id));
        TestProgram::showMainWindow();
        MessageBoxRecorder boxes;
        QCOMPARE(runEditorCommand([] { frmMain->ui.SpeedButton2->click(); }).value(2), date);
        QCOMPARE(boxes.boxes().size(), date.isEmpty() ? 1 : 0);
        if (date.isEmpty()) {
            const Dialogs::MessageBox& box = boxes.boxes().first();
            QCOMPARE(box.icon, Dialogs::Icon::Stop);
            QCOMPARE(box.caption, u"墨柘密码本"_s);
            QVERIFY2(box.text.contains(u'\'' + stored + u'\'') && box.text.endsWith(u'.'), qPrintable(box.text));
            freeClosedEditors();
            QVERIFY(frmMain->findChildren<TfrmC*>().isEmpty());
        }
    }

    void modifyKeepsStoredTextsBeyondTheLimits_data()
    {
        QTest::addColumn<int>("erased");     // characters erased from the end of each field; -1: all selected
        QTest::addColumn<QString>("added");  // then typed or pasted there
        QTest::addColumn<bool>("pasted");
        const QString many(210, u'z');
        QTest::newRow("saved untouched") << 0 << QString() << false;
        QTest::newRow("typed into") << 0 << u"zz"_s << false;
        QTest::newRow("pasted into") << 0 << u"zz"_s << true;
        QTest::newRow("erased") << 3 << QString() << false;
        QTest::newRow("erased and typed again") << 2 << u"zzz"_s << false;
        QTest::newRow("erased and pasted again") << 5 << QString(10, u'z') << true;
        QTest::newRow("all typed over") << -1 << many << false;
        QTest::newRow("all pasted over") << -1 << many << true;
    }

    // Texts longer than the editor's limits (another tool or an older file can hold them) come
    // into the editor whole and are saved whole. Once the user edits such a field, no edit makes
    // it longer than it was, and once it is within its limit the limit holds again; a paste
    // counts as typing.
    void modifyKeepsStoredTextsBeyondTheLimits()
    {
        QFETCH(int, erased);
        QFETCH(QString, added);
        QFETCH(bool, pasted);
        const QStringList stored{QString(60, u'名'), QString(51, u'u'), QString(55, u'p'), QString(250, u'述')};
        const int limits[] = {50, 50, 50, 200};
        db_->addAccount(u"2024-01-05"_s, stored[0], stored[1], stored[2], stored[3]);
        TestProgram::showMainWindow();
        MessageBoxRecorder boxes;
        const QStringList seen = runEditorCommand(
            [] { frmMain->ui.SpeedButton2->click(); },
            [&](TfrmC* editor) {
                for (QLineEdit* edit : {editor->ui.Edit1, editor->ui.Edit2, editor->ui.Edit3, editor->ui.Edit4}) {
                    edit->setFocus();
                    edit->end(false);
                    if (erased < 0)
                        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
                    for (int i = 0; i < erased; ++i)
                        QTest::keyClick(edit, Qt::Key_Backspace);
                    if (pasted) {
                        QGuiApplication::clipboard()->setText(added);
                        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
                    } else {
                        QTest::keyClicks(edit, added);
                    }
                }
                editor->ui.BitBtn1->click();
            });
        QCOMPARE(seen.mid(3), stored);
        QStringList saved;
        for (int i = 0; i < stored.size(); ++i) {
            const QString kept = erased < 0 ? QString() : stored[i].chopped(erased);
            saved << (kept + added).left(std::max<qsizetype>(limits[i], kept.size()));
        }
        QCOMPARE(db_->rows(u"select F2,F3,F4,F5 from U_P"_s).value(0), saved);
        QCOMPARE(boxes.texts(), QStringList{u"恭喜！恭喜！ 账户信息 保存成功！"_s});
    }

    void popupMenuActsOnTheRowUnderThePointer()
    {
        db_->addAccounts(5);
        TestProgram::showMainWindow();
        QMenu* menu = frmMain->PopupMenu1;
        QStringList items;
        for (const QAction* action : menu->actions())
            items << action->objectName() + u'=' + action->text();
        QCOMPARE(items, (QStringList{u"N1=新增账户 &N"_s, u"N2=修改账户 &M"_s, u"N3=注销账户 &D"_s}));

        QTest::mousePress(grid()->viewport(), Qt::RightButton, {}, cellCentre(2));
        QTest::mouseRelease(grid()->viewport(), Qt::RightButton, {}, cellCentre(2));
        QVERIFY(menu->isVisible());
        const QString third = list()->text(2, 0);
        QStringList others = listed(0);
        others.removeOne(third);
        MessageBoxRecorder boxes;
        boxes.answerNext(Button::Yes);
        menu->actions().at(2)->trigger();
        menu->hide();
        QCOMPARE(db_->value(u"select count(*) from U_P where ID="_s + third), u"0"_s);
        QCOMPARE(listed(0), others);
    }

    void doubleClickOnACellOrATitleModifiesThatRow()
    {
        db_->addAccount(u"2024-01-05"_s, u"older"_s, u"u1"_s, u"p1"_s);
        const qint64 id =
            db_->addAccount(u"2023-12-31"_s, u"邮箱"_s, u"me@example.com"_s, u"我的生日"_s, u"it's mine"_s);
        db_->addAccount(u"2024-03-01"_s, u"newest"_s, u"u3"_s);
        TestProgram::showMainWindow();
        const QStringList row{u"修改 账户"_s,      QString::number(id), u"2023-12-31"_s, u"邮箱"_s,
                              u"me@example.com"_s, u"我的生日"_s,       u"it's mine"_s};
        QCOMPARE(runEditorCommand([&] { doubleClick(grid()->viewport(), cellCentre(2)); }), row);

        // A title does not move the row.
        QHeaderView* titles = grid()->horizontalHeader();
        const QPoint title(titles->sectionViewportPosition(4) + titles->sectionSize(4) / 2, titles->height() / 2);
        QCOMPARE(runEditorCommand([&] { doubleClick(titles->viewport(), title); }), row);
    }

    void savingShowsEveryAccountNewestFirstAndKeepsTheQueryBar()
    {
        db_->addAccount(u"2021-06-01"_s, u"bank"_s, u"u1"_s);
        db_->addAccount(u"2023-06-01"_s, u"mail"_s, u"u2"_s);
        db_->addAccount(u"2022-06-01"_s, u"shop"_s, u"u3"_s);
        TestProgram::showMainWindow();
        frmMain->ui.DateTimePicker1->setDate(QDate(2021, 1, 1));
        frmMain->ui.CheckBox1->setChecked(true);
        QTest::keyClicks(frmMain->ui.Edit1, u"bank"_s);
        frmMain->ui.BitBtn1->click();
        QCOMPARE(list()->RecordCount(), 1);

        MessageBoxRecorder boxes;
        runEditorCommand([] { frmMain->ui.SpeedButton1->click(); },
                         [](TfrmC* editor) {
                             QTest::keyClicks(editor->ui.Edit1, u"forum"_s);
                             QTest::keyClicks(editor->ui.Edit2, u"me"_s);
                             editor->ui.DateTimePicker1->setDate(QDate(2022, 1, 1));
                             QTest::mouseClick(editor->ui.BitBtn1, Qt::LeftButton);
                         });
        QCOMPARE(listed(2), (QStringList{u"mail"_s, u"shop"_s, u"forum"_s, u"bank"_s}));
        QCOMPARE(frmMain->ui.Label1->text(), u"账户数量：4"_s);
        // The query bar keeps its state for the next query.
        QVERIFY(frmMain->ui.CheckBox1->isChecked() && frmMain->ui.CheckBox2->isChecked());
        QCOMPARE(frmMain->ui.DateTimePicker1->date(), QDate(2021, 1, 1));
        QCOMPARE(frmMain->ui.ComboBox1->currentText(), u"账户名称"_s);
        QCOMPARE(frmMain->ui.Edit1->text(), u"bank"_s);
    }

    void closedEditorsDoNotPileUp()
    {
        db_->addAccounts(2);
        TestProgram::showMainWindow();
        const auto before = stored();
        for (int i = 0; i < 100; ++i) {
            QToolButton* command = i % 2 ? frmMain->ui.SpeedButton2 : frmMain->ui.SpeedButton1;
            const bool byButton = i % 4 < 2;
            const QStringList seen = runEditorCommand([&] { command->click(); },
                                                      [&](TfrmC* editor) {
                                                          if (byButton)
                                                              editor->ui.BitBtn2->click();
                                                          else
                                                              editor->reject();
                                                      });
            QVERIFY(!seen.isEmpty());
        }
        freeClosedEditors();
        QCOMPARE(frmMain->findChildren<TfrmC*>().size(), 0);
        QCOMPARE(stored(), before);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Application::setTitle(u"墨柘密码本"_s);
    initTestResources();
    TestRecords test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_records.moc"
