// The query bar of the main window: its controls, the conditions that touching an input
// switches on, and the where suffix and rows of a query. Runs under a German system locale:
// the date pickers show its short dates while the statements keep "yyyy-mm-dd".
#include "data/query.h"
#include "forms/main.h"
#include "tests/fixture.h"
#include "widgets/application.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

class TestQueryBar : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgram> db_;

    static Ui::TfrmMain& ui() { return frmMain->ui; }

private Q_SLOTS:
    void init() { db_ = std::make_unique<TestProgram>(); }
    void cleanup() { db_.reset(); }

    void controlsAreLaidOutAndStartOff()
    {
        TestProgram::showMainWindow(true);
        const struct {
            QWidget* control;
            QRect geometry;  // width -1: the text decides the size
            QString text;
        } layout[] = {
            {ui().CheckBox1, {16, 22, 81, 17}, u"注册日期："_s}, {ui().DateTimePicker1, {96, 20, 97, 22}, {}},
            {ui().Label3, {208, 24, -1, -1}, u"至"_s},           {ui().DateTimePicker2, {232, 20, 97, 22}, {}},
            {ui().CheckBox2, {344, 22, 49, 17}, u"条件："_s},    {ui().ComboBox1, {408, 20, 100, 22}, {}},
            {ui().Label2, {520, 24, -1, -1}, u"内容："_s},       {ui().Edit1, {564, 20, 100, 22}, {}},
            {ui().BitBtn1, {712, 24, 75, 25}, u"查询"_s},
        };
        for (const auto& [control, geometry, text] : layout) {
            const QByteArray name = control->objectName().toUtf8();
            QWidget* frame = control == ui().BitBtn1 ? static_cast<QWidget*>(ui().Panel2) : ui().GroupBox1;
            QVERIFY2(control->parentWidget() == frame, name);
            QVERIFY2(control->pos() == geometry.topLeft(), name);
            QVERIFY2(geometry.width() < 0 || control->size() == geometry.size(), name);
            QVERIFY2(text.isEmpty() || control->property("text").toString() == text, name);
        }
        QCOMPARE(ui().GroupBox1->title(), u"查询条件"_s);

        for (QDateEdit* picker : {ui().DateTimePicker1, ui().DateTimePicker2}) {
            QVERIFY(picker->calendarPopup());
            QCOMPARE(picker->displayFormat(), QLocale::system().dateFormat(QLocale::ShortFormat));
            QVERIFY(!(picker->displayedSections() & QDateTimeEdit::TimeSections_Mask));
        }
        // The dates set at creation are the program's: no condition is on yet.
        QVERIFY(!ui().CheckBox1->isChecked());
        QVERIFY(!ui().CheckBox2->isChecked());
        // A check box answers a click at the right end of its size too, beyond its caption.
        for (QCheckBox* box : {ui().CheckBox1, ui().CheckBox2}) {
            const QPoint rightEnd(box->width() - 2, box->height() / 2);
            QTest::mouseClick(box, Qt::LeftButton, {}, rightEnd);
            QVERIFY2(box->isChecked(), qPrintable(box->objectName()));
            QTest::mouseClick(box, Qt::LeftButton, {}, rightEnd);
            QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
        }
        for (QWidget* notTabbed : QList<QWidget*>{ui().CheckBox1, ui().CheckBox2, ui().DBGrid1})
            QVERIFY2(!(notTabbed->focusPolicy() & Qt::TabFocus), qPrintable(notTabbed->objectName()));

        QComboBox* columns = ui().ComboBox1;
        QVERIFY(columns->isEditable());
        QStringList items;
        for (int i = 0; i < columns->count(); ++i)
            items << columns->itemText(i);
        QCOMPARE(items, (QStringList{u"账户名称"_s, u"用户名称"_s, u"密码"_s, u"描述"_s}));
        QCOMPARE(columns->currentText(), u"账户名称"_s);
        // Typed text is completed to the first item that begins with it.
        columns->setFocus();
        columns->clearEditText();
        typeText(columns->lineEdit(), u"描"_s);
        QCOMPARE(columns->currentText(), u"描述"_s);
    }

    void tabRunsFromTheTextToPrint()
    {
        TestProgram::showMainWindow(true);
        ui().Edit1->setFocus();
        const auto reached = [](QWidget* control) {
            QWidget* focus = QApplication::focusWidget();
            return focus == control || control->isAncestorOf(focus);
        };
        for (QWidget* next : QList<QWidget*>{ui().ComboBox1, ui().DateTimePicker1, ui().DateTimePicker2, ui().BitBtn1,
                                             ui().BitBtn3, ui().BitBtn2}) {
            // One Tab each: a date picker does not spend Tab on its day, month and year.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY2(reached(next), qPrintable(next->objectName()));
        }
    }

    void touchingAnInputSwitchesItsConditionOnUntilUnchecked_data()
    {
        QTest::addColumn<int>("input");
        QTest::addColumn<bool>("dateBox");  // which box the input belongs to
        QTest::newRow("from date, key Up") << 0 << true;
        QTest::newRow("to date, key Down") << 1 << true;
        QTest::newRow("typing the text") << 2 << false;
        QTest::newRow("typing a column") << 3 << false;
        QTest::newRow("choosing a column") << 4 << false;
    }

    void touchingAnInputSwitchesItsConditionOnUntilUnchecked()
    {
        QFETCH(int, input);
        QFETCH(bool, dateBox);
        TestProgram::showMainWindow();
        // Mid-month dates, so that a step up or down always changes them.
        const QDate before(2024, 6, 15);
        ui().DateTimePicker1->setDate(before);
        ui().DateTimePicker2->setDate(before);
        ui().CheckBox1->setChecked(false);
        switch (input) {
        case 0:
            QTest::keyClick(ui().DateTimePicker1, Qt::Key_Up);
            break;
        case 1:
            QTest::keyClick(ui().DateTimePicker2, Qt::Key_Down);
            break;
        case 2:
            QTest::keyClicks(ui().Edit1, u"mail"_s);
            break;
        case 3:
            QTest::keyClicks(ui().ComboBox1, u"x"_s);
            break;
        case 4:
            QTest::keyClick(ui().ComboBox1, Qt::Key_Down);
            break;
        }
        QCOMPARE(ui().DateTimePicker1->date() != before || ui().DateTimePicker2->date() != before, dateBox);
        QCOMPARE(ui().CheckBox1->isChecked(), dateBox);
        QCOMPARE(ui().CheckBox2->isChecked(), !dateBox);
        // Unchecked again by hand, the condition stays out of the next query.
        QTest::mouseClick(dateBox ? ui().CheckBox1 : ui().CheckBox2, Qt::LeftButton);
        QTest::mouseClick(ui().BitBtn1, Qt::LeftButton);
        QCOMPARE(ui().LabWhere->text(), QString());
    }

    // A press on a date picker's frame steps no date (Qt would take it for a press on the spin
    // buttons a picker with a calendar does not show), so it switches no condition on.
    void aPressOnADatesFrameChangesNothing()
    {
        TestProgram::showMainWindow();
        TDateTimePicker* picker = ui().DateTimePicker1;
        const QDate before = picker->date();
        for (const QPoint at : {QPoint(1, 1), QPoint(1, picker->height() - 2), QPoint(picker->width() / 2, 1)})
            QTest::mouseClick(picker, Qt::LeftButton, {}, at);
        QCOMPARE(picker->date(), before);
        QVERIFY(!ui().CheckBox1->isChecked());
    }

    void queryComposesTheSuffixAndListsItsRows_data()
    {
        QTest::addColumn<bool>("dates");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("column");  // empty: the text condition is off
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QStringList>("names");
        const QDate jan2(2024, 1, 2), jan3(2024, 1, 3), jan4(2024, 1, 4);
        const QString mail = u"mail"_s, bank = u"bank"_s, shop = u"shop"_s, forum = u"forum"_s;
        const QStringList all{forum, shop, bank, mail};
        QTest::newRow("none: all, newest first") << false << jan2 << jan3 << QString() << u"x"_s << QString() << all;
        QTest::newRow("dates, both inclusive")
            << true << jan2 << jan3 << QString() << QString() << u" AND (F1 Between '2024-01-02' AND '2024-01-03')"_s
            << QStringList{shop, bank};
        QTest::newRow("from after to") << true << jan3 << jan2 << QString() << QString()
                                       << u" AND (F1 Between '2024-01-03' AND '2024-01-02')"_s << QStringList{};
        QTest::newRow("account name") << false << jan2 << jan3 << u"账户名称"_s << u"a"_s << u" AND (F2 LIKE '%a%')"_s
                                      << QStringList{bank, mail};
        QTest::newRow("user name item, quote") << false << jan2 << jan3 << u"用户名称"_s << u"O'Brien"_s
                                               << u" AND (F3 LIKE '%O''Brien%')"_s << QStringList{mail};
        QTest::newRow("user name title") << false << jan2 << jan3 << u"用户名"_s << u"y"_s << u" AND (F3 LIKE '%y%')"_s
                                         << QStringList{shop};
        QTest::newRow("password, _ is any character") << false << jan2 << jan3 << u"密码"_s << u"a_c"_s
                                                      << u" AND (F4 LIKE '%a_c%')"_s << QStringList{shop, bank, mail};
        QTest::newRow("description, % is any text")
            << false << jan2 << jan3 << u"描述"_s << u"i%t"_s << u" AND (F5 LIKE '%i%t%')"_s << QStringList{mail};
        QTest::newRow("no text keeps values") << false << jan2 << jan3 << u"描述"_s << QString()
                                              << u" AND (F5 LIKE '%%')"_s << QStringList{forum, bank, mail};
        QTest::newRow("dates first, then text")
            << true << jan2 << jan4 << u"密码"_s << u"a_c"_s
            << u" AND (F1 Between '2024-01-02' AND '2024-01-04') AND (F4 LIKE '%a_c%')"_s << QStringList{shop, bank};
        QTest::newRow("no such column") << false << jan2 << jan3 << u"网址"_s << u"x"_s << QString() << all;
        QTest::newRow("no such column, dates")
            << true << jan4 << jan4 << u"描述 "_s << u"x"_s << u" AND (F1 Between '2024-01-04' AND '2024-01-04')"_s
            << QStringList{forum};
    }

    void queryComposesTheSuffixAndListsItsRows()
    {
        QFETCH(bool, dates);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, column);
        QFETCH(QString, content);
        QFETCH(QString, suffix);
        QFETCH(QStringList, names);
        db_->addAccount(u"2024-01-01"_s, u"mail"_s, u"O'Brien"_s, u"abc"_s, u"first"_s);
        db_->addAccount(u"2024-01-02"_s, u"bank"_s, u"me"_s, u"a_c"_s, u"50% off"_s);
        const qint64 shop = db_->addAccount(u"2024-01-03"_s, u"shop"_s, u"you"_s, u"axc"_s);
        db_->exec(u"update U_P set F5=NULL where ID=%1"_s.arg(shop));
        db_->addAccount(u"2024-01-04"_s, u"forum"_s, u"him"_s, u"pw"_s);
        TestProgram::showMainWindow();
        // A title sort is undone by the query: date order, plain titles.
        TColumn* description = ui().DBGrid1->column(5);
        frmMain->DBGrid1TitleClick(description);
        frmMain->DBGrid1TitleClick(description);

        ui().DateTimePicker1->setDate(from);
        ui().DateTimePicker2->setDate(to);
        ui().ComboBox1->setEditText(column.isEmpty() ? u"账户名称"_s : column);
        ui().Edit1->setText(content);
        ui().CheckBox1->setChecked(dates);
        ui().CheckBox2->setChecked(!column.isEmpty());
        QTest::mouseClick(ui().BitBtn1, Qt::LeftButton);
        QCOMPARE(ui().LabWhere->text(), suffix);
        QCOMPARE(columnTexts(*frmMain->ADOQuery1, 2), names);
        QCOMPARE(ui().Label1->text(), u"账户数量：%1"_s.arg(names.size()));
        QCOMPARE(frmMain->ADOQuery1->RecNo(), names.isEmpty() ? 0 : 1);
        QCOMPARE(frmMain->ADOQuery1->Sort(), QString());
        QVERIFY(!ui().DBGrid1->column(5)->titleBold());
        QCOMPARE(ui().DBGrid1->column(5)->titleColor(), frmMain->palette().color(QPalette::WindowText));
    }
};

int main(int argc, char** argv)
{
    qputenv("LANG", "de_DE.UTF-8");
    qputenv("LC_ALL", "de_DE.UTF-8");
    QApplication app(argc, argv);
    Application::setTitle(u"墨柘密码本"_s);
    initTestResources();
    TestQueryBar test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_querybar.moc"
