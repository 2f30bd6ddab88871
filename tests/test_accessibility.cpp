// The windows for screen readers and the keyboard alone: what Qt's accessibility interfaces
// report of the inputs, windows, links and the account grid, and the keys of the main window's
// commands, pressed in the real windows.
#include "data/query.h"
#include "forms/c.h"
#include "forms/login.h"
#include "forms/main.h"
#include "forms/p.h"
#include "platform/printservice.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/accessibility.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QAccessibleInterface* accessible(QObject* object) { return QAccessible::queryAccessibleInterface(object); }

// The program's four windows, made over the test's database: name -> window.
std::map<QString, QWidget*> makeWindows()
{
    TestProgram::showMainWindow();
    return {{u"frmLogin"_s, new TfrmLogin(frmMain)},
            {u"frmMain"_s, frmMain},
            {u"frmC"_s, frmMain->createAccountEditor()},
            {u"frmP"_s, new TfrmP(frmMain)}};
}

QWidget* control(QWidget* window, const QString& name)
{
    return name.isEmpty() ? window : window->findChild<QWidget*>(name);
}

void press(QWidget* target, QKeyCombination key) { QTest::keyClick(target, key.key(), key.keyboardModifiers()); }

// What keys did, each in a few words: the windows they opened (each is closed again at once),
// the boxes they showed, the pages they opened, a printout, the popup menu, and where the
// current row, the focus and the date condition went. The first key is pressed at target; a
// second one in the window the first one opened, while it is up, or else after the first.
QStringList effectsOf(QWidget* target, const QKeySequence& keys)
{
    QStringList seen;
    MessageBoxRecorder boxes;
    WebRecorder::opened.clear();
    PrintJob::setFileOpener([&seen](const QUrl&) {
        seen << u"print"_s;
        return true;
    });
    const int row = frmMain->ADOQuery1->RecNo();
    QWidget* window = target->window();
    QWidget* focus = window->focusWidget();
    int pressed = 1;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            seen << u"window "_s + modal->windowTitle();
            if (pressed < keys.count())
                press(modal->focusWidget() ? modal->focusWidget() : modal, keys[pressed++]);
            modal->close();
        }
    });
    watch.start(0);
    press(target, keys[0]);
    if (pressed < keys.count())
        press(QApplication::focusWidget(), keys[pressed]);
    watch.stop();
    PrintJob::setFileOpener({});
    for (const QString& text : boxes.texts())
        seen << u"box "_s + text;
    for (const QUrl& url : std::as_const(WebRecorder::opened))
        seen << u"open "_s + url.toString();
    if (frmMain->PopupMenu1->isVisible()) {
        seen << u"popup"_s;
        frmMain->PopupMenu1->close();
    }
    if (frmMain->ADOQuery1->RecNo() != row)
        seen << u"row %1"_s.arg(frmMain->ADOQuery1->RecNo());
    if (window->focusWidget() != focus)
        seen << u"focus "_s + window->focusWidget()->objectName();
    if (frmMain->ui.CheckBox1->isChecked())
        seen << u"date condition"_s;
    return seen;
}

}  // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgram> db_;

private Q_SLOTS:
    void init() { db_ = std::make_unique<TestProgram>(); }
    void cleanup() { db_.reset(); }

    void captionsAreSpokenWithoutPadding_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("spoken");
        // The windows' own captions are in the table of inputsAreNamedByTheirCaptions.
        QTest::newRow("words") << u"  Account   name : "_s << u"Account name"_s;
        QTest::newRow("mixed") << u"QQ  号码:"_s << u"QQ号码"_s;
    }

    void captionsAreSpokenWithoutPadding()
    {
        QFETCH(QString, caption);
        QTEST(spokenCaption(caption), "spoken");
    }

    // Each input is announced by the caption in front of it; none is left to the frame's title.
    void inputsAreNamedByTheirCaptions()
    {
        const auto windows = makeWindows();
        const QList<std::tuple<QString, QString, QString>> expected = {
            {u"frmLogin"_s, u"Edit1"_s, u"密码"_s},
            {u"frmMain"_s, u"Edit1"_s, u"内容"_s},
            {u"frmMain"_s, u"ComboBox1"_s, u"条件"_s},
            {u"frmMain"_s, u"DateTimePicker1"_s, u"注册日期"_s},
            {u"frmMain"_s, u"DateTimePicker2"_s, u"至"_s},
            {u"frmC"_s, u"DateTimePicker1"_s, u"注册日期"_s},
            {u"frmC"_s, u"Edit1"_s, u"账户名称"_s},
            {u"frmC"_s, u"Edit2"_s, u"用户名"_s},
            {u"frmC"_s, u"Edit3"_s, u"密码"_s},
            {u"frmC"_s, u"Edit4"_s, u"描述"_s},
            {u"frmP"_s, u"Edit1"_s, u"原密码"_s},
            {u"frmP"_s, u"Edit2"_s, u"新密码"_s},
            {u"frmP"_s, u"Edit3"_s, u"确认密码"_s},
        };
        for (const auto& [window, name, spoken] : expected) {
            QWidget* input = control(windows.at(window), name);
            QVERIFY2(input, qPrintable(window + u'/' + name));
            QCOMPARE(accessible(input)->text(QAccessible::Name), spoken);
        }
        auto* combo = frmMain->ui.ComboBox1;
        QCOMPARE(accessible(combo->lineEdit())->text(QAccessible::Name), u"条件"_s);
        QCOMPARE(accessible(combo)->text(QAccessible::Value), u"账户名称"_s);
        QCOMPARE(accessible(combo)->role(), QAccessible::ComboBox);

        for (const auto& [name, window] : windows) {
            QStringList frames;
            for (const QGroupBox* frame : window->findChildren<QGroupBox*>())
                frames << frame->title();
            for (QWidget* input : window->findChildren<QWidget*>()) {
                const bool isInput = qobject_cast<QLineEdit*>(input) || qobject_cast<QAbstractSpinBox*>(input)
                                     || qobject_cast<QComboBox*>(input);
                if (!isInput || qobject_cast<QAbstractSpinBox*>(input->parentWidget()))
                    continue;
                const QString spoken = accessible(input)->text(QAccessible::Name);
                QVERIFY2(!spoken.isEmpty() && !frames.contains(spoken),
                         qPrintable(name + u'/' + input->objectName() + u": "_s + spoken));
            }
        }
    }

    // Windows are frames or dialogs; links are links that a screen reader can press.
    void windowsAndLinksSayWhatTheyAre()
    {
        const auto windows = makeWindows();
        const QList<std::tuple<QString, QString, QAccessible::Role, QString, QString>> expected = {
            {u"frmMain"_s, QString(), QAccessible::Window, u"墨柘密码本"_s, QString()},
            {u"frmLogin"_s, QString(), QAccessible::Dialog, u"系统登录"_s, QString()},
            {u"frmP"_s, QString(), QAccessible::Dialog, u"修改密码"_s, QString()},
            {u"frmLogin"_s, u"Label3"_s, QAccessible::Link, u"如果您忘记登录密码了，请与我们联系！"_s,
             u"http://mozhe.example"_s},
            {u"frmMain"_s, u"Label4"_s, QAccessible::Link, u"软件开发：http://mozhe.example/"_s,
             u"http://mozhe.example/"_s},
            {u"frmMain"_s, u"SpeedButton7"_s, QAccessible::Button, u"关于我们"_s, u"http://mozhe.example"_s},
        };
        QCOMPARE(accessible(windows.at(u"frmC"_s))->role(), QAccessible::Dialog);
        for (const auto& [window, name, role, spoken, opens] : expected) {
            QAccessibleInterface* face = accessible(control(windows.at(window), name));
            QCOMPARE(face->role(), role);
            QCOMPARE(face->text(QAccessible::Name), spoken);
            if (opens.isEmpty())
                continue;
            QVERIFY(face->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
            WebRecorder::opened.clear();
            face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QCOMPARE(WebRecorder::opened, QList<QUrl>{QUrl(opens)});
        }
        QVERIFY(accessible(frmMain->ui.Label4)->state().linked);
        QVERIFY(accessible(static_cast<TfrmLogin*>(windows.at(u"frmLogin"_s))->ui.Edit1)->state().passwordEdit);
    }

    // The grid is a table of the columns it shows: the hidden ID column is none of it.
    void gridShowsScreenReadersItsVisibleColumns()
    {
        const QStringList ids = {QString::number(db_->addAccount(u"2024-01-01"_s, u"mail"_s, u"ann"_s, u"pw1"_s)),
                                 QString::number(db_->addAccount(u"2024-01-02"_s, u"bank"_s, u"bob"_s, u"pw2"_s))};
        TestProgram::showMainWindow(true);
        TDBGrid* grid = frmMain->ui.DBGrid1;
        QAccessibleInterface* face = accessible(grid);
        QAccessibleTableInterface* table = face->tableInterface();
        QVERIFY(table);
        const QStringList titles = {u"注册日期"_s, u"账户名称"_s, u"用户名"_s, u"密码"_s, u"描述"_s};
        auto descriptions = [&] {
            QStringList shown;
            for (int column = 0; column < table->columnCount(); ++column)
                shown << table->columnDescription(column);
            return shown;
        };
        QCOMPARE(descriptions(), titles);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(face->childCount(), 5 * 3);
        for (int index = 0; index < face->childCount(); ++index) {
            QAccessibleInterface* child = face->child(index);
            QCOMPARE(face->indexOfChild(child), index);
            QCOMPARE(child->role(), index < 5 ? QAccessible::ColumnHeader : QAccessible::Cell);
            QVERIFY(!ids.contains(child->text(QAccessible::Name)));
        }
        QAccessibleTableCellInterface* cell = table->cellAt(0, 2)->tableCellInterface();
        QCOMPARE(table->cellAt(0, 2)->text(QAccessible::Name), u"bob"_s);
        QCOMPARE(cell->columnHeaderCells().value(0)->text(QAccessible::Name), u"用户名"_s);
        QCOMPARE(cell->columnIndex(), 2);

        // The order on screen counts, and the current cell is the focused one.
        grid->horizontalHeader()->moveSection(grid->horizontalHeader()->visualIndex(5), 1);
        QCOMPARE(descriptions(), (QStringList{u"描述"_s, u"注册日期"_s, u"账户名称"_s, u"用户名"_s, u"密码"_s}));
        grid->setFocus();
        frmMain->ADOQuery1->Next();
        QAccessibleInterface* focused = face->focusChild();
        QVERIFY(focused);
        QCOMPARE(focused->text(QAccessible::Name), frmMain->ADOQuery1->FieldByName(u"注册日期"_s));
        QVERIFY(focused->state().focused);
        QCOMPARE(table->selectedCells(), QList<QAccessibleInterface*>{focused});
    }

    void everyCommandHasAKey_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("focus");  // the control that has the focus when the key is pressed
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QStringList>("effects");
        QTest::addColumn<QString>("tooltip");  // control: its tooltip, which shows the key
        auto row = [](const char* name, const QString& window, const QString& focus, const QKeySequence& key,
                      const QStringList& effects, const QString& tooltip = {}) {
            QTest::newRow(name) << window << focus << key << effects << tooltip;
        };
        const QString main = u"frmMain"_s;
        row("add", main, u"Edit1"_s, QKeySequence(u"Ctrl+N"_s), {u"window 新增 账户"_s},
            u"SpeedButton1: 新增账户（Ctrl+N）"_s);
        row("modify", main, u"Edit1"_s, QKeySequence(u"Ctrl+E"_s), {u"window 修改 账户"_s},
            u"SpeedButton2: 修改账户（Ctrl+E）"_s);
        row("modify from the drop-down", main, u"ComboBox1"_s, QKeySequence(u"Ctrl+E"_s), {u"window 修改 账户"_s});
        row("delete", main, u"DBGrid1"_s, QKeySequence(u"Ctrl+D"_s),
            {u"box 确认要删除账户信息吗？该删除将不可恢复！"_s}, u"SpeedButton3: 删除账户（Ctrl+D）"_s);
        row("previous from a date", main, u"DateTimePicker1"_s, QKeySequence(u"Ctrl+Up"_s), {u"row 1"_s},
            u"SpeedButton4: 上一条（Ctrl+Up）"_s);
        row("next", main, u"DBGrid1"_s, QKeySequence(u"Ctrl+Down"_s), {u"row 3"_s},
            u"SpeedButton5: 下一条（Ctrl+Down）"_s);
        row("password", main, u"Edit1"_s, QKeySequence(u"Ctrl+Shift+P"_s), {u"window 修改密码"_s},
            u"SpeedButton6: 修改密码（Ctrl+Shift+P）"_s);
        row("about", main, u"Edit1"_s, QKeySequence(u"F1"_s), {u"open http://mozhe.example"_s},
            u"SpeedButton7: 关于我们（F1）"_s);
        row("print", main, u"BitBtn1"_s, QKeySequence(u"Ctrl+P"_s), {u"print"_s, u"row 3"_s},
            u"BitBtn2: 打印（Ctrl+P）"_s);
        row("into the list", main, u"Edit1"_s, QKeySequence(u"F6"_s), {u"focus DBGrid1"_s});
        row("out of the list, back", main, u"ComboBox1"_s, QKeySequence(u"F6, F6"_s), {});
        row("popup", main, u"DBGrid1"_s, QKeySequence(Qt::Key_Menu), {u"popup"_s});
        row("popup by Shift+F10", main, u"DBGrid1"_s, QKeySequence(u"Shift+F10"_s), {u"popup"_s});
        row("Enter in the list", main, u"DBGrid1"_s, QKeySequence(u"Return"_s), {u"window 修改 账户"_s});
        row("not under a dialog", main, u"Edit1"_s, QKeySequence(u"Ctrl+Shift+P, Ctrl+N"_s), {u"window 修改密码"_s});
        row("forgotten password", u"frmLogin"_s, u"Edit1"_s, QKeySequence(u"F1"_s), {u"open http://mozhe.example"_s},
            u"Label3: 如果您忘记登录密码了，请与我们联系！（F1）"_s);
    }

    // Each key reaches its command through the window, wherever the focus is in it.
    void everyCommandHasAKey()
    {
        QFETCH(QString, window);
        QFETCH(QString, focus);
        QFETCH(QKeySequence, key);
        db_->addAccounts(3);
        TestProgram::showMainWindow(true);
        std::unique_ptr<TfrmLogin> login;
        QWidget* shown = frmMain;
        if (window == u"frmLogin"_s) {
            login = std::make_unique<TfrmLogin>();
            shown = login.get();
            shown->show();
            shown->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(shown));
        }
        frmMain->ADOQuery1->moveTo(1);
        QWidget* target = control(shown, focus);
        target->setFocus();
        QCOMPARE(QApplication::focusWidget(), target);

        const QStringList effects = effectsOf(target, key);
        QTEST(effects, "effects");

        QFETCH(QString, tooltip);
        if (!tooltip.isEmpty())
            QCOMPARE(control(shown, tooltip.section(u": "_s, 0, 0))->toolTip(), tooltip.section(u": "_s, 1));
    }
};

int main(int argc, char** argv)
{
    // The printouts go to the documents folder of a home of the test's own.
    const TemporaryHome home;
    QApplication app(argc, argv);
    Application::setTitle(u"墨柘密码本"_s);
    initTestResources();
    TestAccessibility test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_accessibility.moc"
