// The main window: its creation, the account list refresh, title-click sorting, row colours,
// links and the exit confirmation. Runs under a German system locale to prove that the
// program's dates do not depend on the regional settings.
#include "data/connection.h"
#include "data/dateformat.h"
#include "data/dm.h"
#include "data/exception.h"
#include "data/query.h"
#include "forms/main.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QToolTip>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgram> db_;

    TDBGrid* grid() const { return frmMain->ui.DBGrid1; }

    QColor cellColour(int row, int column)
    {
        const QRect cell = grid()->visualRect(grid()->model()->index(row, column));
        return grid()->viewport()->grab().toImage().pixelColor(cell.right() - 3, cell.center().y());
    }

private Q_SLOTS:
    void init() { db_ = std::make_unique<TestProgram>(); }
    void cleanup() { db_.reset(); }

    void creationConnectsListsAndShowsTheBanner()
    {
        db_->addAccount(u"2024-03-01"_s, u"old"_s, u"u"_s);
        db_->addAccount(u"2024-05-01"_s, u"new"_s, u"u"_s);
        TestProgram::showMainWindow();
        QCOMPARE(frmMain->windowTitle(), u"墨柘密码本"_s);
        QCOMPARE(connectionStringValue(frmDM->ADOConnection1->ConnectionString(), u"Data Source"_s),
                 db_->folder() + u"Data/db.mzx"_s);
        QCOMPARE(frmMain->ui.Label1->text(), u"账户数量：2"_s);
        QCOMPARE(frmMain->ADOQuery1->FieldByName(u"账户名称"_s), u"new"_s);
        QCOMPARE(WebRecorder::navigations, QList<QUrl>{QUrl(u"http://mozhe.example/Card_M.html"_s)});
        QVERIFY(frmMain->ui.LabWhere->text().isEmpty());
        QVERIFY(!frmMain->ui.LabWhere->isVisible());
        const QDate today = QDate::currentDate();
        QCOMPARE(frmMain->ui.DateTimePicker2->date(), today);
        QCOMPARE(frmMain->ui.DateTimePicker1->date(), today.addMonths(-1));
    }

    void programDatesIgnoreTheRegionalSettings()
    {
        FormatSettings() = {QLatin1Char('.'), u"dd.mm.yy"_s, u"dd.mm.yyyy"_s};
        QCOMPARE(DateToStr(QDate(2024, 1, 5)), u"05.01.24"_s);
        TestProgram::showMainWindow();
        QCOMPARE(DateToStr(QDate(2024, 1, 5)), u"2024-01-05"_s);
        QCOMPARE(StrToDate(u"2024-1-5"_s), QDate(2024, 1, 5));
        QCOMPARE(StrToDate(u"2024-01-05"_s), QDate(2024, 1, 5));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDate(u"2024-01-05 10:00"_s));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDate(u"05.01.2024"_s));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDate(u"2024-02-30"_s));
    }

    void refreshLaysOutTheColumns()
    {
        db_->addAccounts(5);
        TestProgram::showMainWindow();
        QCOMPARE(grid()->columnCount(), 6);
        QVERIFY(!grid()->column(0)->visible());
        QVERIFY(grid()->isColumnHidden(0));
        QCOMPARE(grid()->columnWidth(2), 160);
        QCOMPARE(grid()->columnWidth(3), 160);
        QCOMPARE(grid()->columnWidth(4), 160);
        QCOMPARE(grid()->columnWidth(5), 400);
        // The date column keeps the grid's own width: ten "0"s of the grid font and 4 pixels.
        const int zero = QFontMetrics(grid()->font()).horizontalAdvance(QLatin1Char('0'));
        QCOMPARE(grid()->columnWidth(1),
                 std::max(10 * zero + 4, QFontMetrics(grid()->font()).horizontalAdvance(u"注册日期"_s) + 4));

        // A dragged column and a changed width come back with the next refresh.
        grid()->horizontalHeader()->moveSection(5, 1);
        grid()->setColumnWidth(2, 50);
        frmMain->Ref();
        QCOMPARE(grid()->horizontalHeader()->visualIndex(5), 5);
        QCOMPARE(grid()->columnWidth(2), 160);
    }

    void titleClicksSortAndColourTheTitle()
    {
        db_->addAccount(u"2024-01-01"_s, u"b"_s, u"u1"_s);
        db_->addAccount(u"2024-01-02"_s, u"c"_s, u"u2"_s);
        db_->addAccount(u"2024-01-03"_s, u"a"_s, u"u3"_s);
        TestProgram::showMainWindow();
        TColumn* names = grid()->column(2);
        TColumn* users = grid()->column(3);
        auto titleColour = [&](int column) {
            return grid()->model()->headerData(column, Qt::Horizontal, Qt::ForegroundRole).value<QBrush>().color();
        };
        auto titleBold = [&](int column) {
            return grid()->model()->headerData(column, Qt::Horizontal, Qt::FontRole).value<QFont>().bold();
        };

        frmMain->DBGrid1TitleClick(names);
        QCOMPARE(frmMain->ADOQuery1->Sort(), u"账户名称 ASC"_s);
        QCOMPARE(frmMain->ADOQuery1->text(0, 2), u"a"_s);
        QCOMPARE(titleColour(2), QColor(Qt::red));
        QVERIFY(titleBold(2));

        frmMain->DBGrid1TitleClick(names);
        QCOMPARE(frmMain->ADOQuery1->Sort(), u"账户名称 DESC"_s);
        QCOMPARE(frmMain->ADOQuery1->text(0, 2), u"c"_s);
        QCOMPARE(titleColour(2), QColor(Qt::blue));

        frmMain->DBGrid1TitleClick(names);
        QCOMPARE(frmMain->ADOQuery1->Sort(), u"账户名称 ASC"_s);
        QCOMPARE(titleColour(2), QColor(Qt::red));

        frmMain->DBGrid1TitleClick(users);
        QCOMPARE(frmMain->ADOQuery1->Sort(), u"用户名 ASC"_s);
        QCOMPARE(titleColour(3), QColor(Qt::red));
        QCOMPARE(titleColour(2), frmMain->palette().color(QPalette::WindowText));
        QVERIFY(!titleBold(2));

        // Every title is made plain, the hidden one included.
        grid()->column(0)->setTitleColor(Qt::green);
        frmMain->DBGrid1TitleClick(users);
        QCOMPARE(titleColour(0), frmMain->palette().color(QPalette::WindowText));
    }

    void rowsAreStripedFromTheTopInTheShownOrder()
    {
        db_->addAccounts(6);
        TestProgram::showMainWindow();
        const QColor green(191, 255, 223);
        const QColor tooltip = QToolTip::palette().color(QPalette::ToolTipBase);
        // Row numbers count from 1: the first row is odd.
        QCOMPARE(cellColour(0, 2), green);
        QCOMPARE(cellColour(1, 2), tooltip);
        QCOMPARE(cellColour(2, 3), green);
        frmMain->DBGrid1TitleClick(grid()->column(2));
        frmMain->ADOQuery1->Last();
        QCOMPARE(cellColour(0, 2), green);
        QCOMPARE(cellColour(1, 2), tooltip);
        QCOMPARE(cellColour(2, 4), green);
    }

    void deleteKeyKeepsTheCountTrue()
    {
        db_->addAccounts(3);
        TestProgram::showMainWindow();
        MessageBoxRecorder boxes;
        grid()->setFocus();
        QTest::keyClick(grid(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(boxes.texts(), QStringList{u"Delete record?"_s});
        QCOMPARE(db_->count(u"U_P"_s), 2);
        QCOMPARE(frmMain->ui.Label1->text(), u"账户数量：2"_s);
    }

    void linksOpenTheHomePage()
    {
        TestProgram::showMainWindow();
        QCOMPARE(frmMain->ui.Label4->text(), u"软件开发：http://mozhe.example/"_s);
        QTest::mouseClick(frmMain->ui.SpeedButton7, Qt::LeftButton);
        QTest::mouseClick(frmMain->ui.Label4, Qt::LeftButton);
        QCOMPARE(WebRecorder::opened, (QList<QUrl>{QUrl(u"http://mozhe.example"_s), QUrl(u"http://mozhe.example/"_s)}));
    }

    void closingAsksFirst()
    {
        TestProgram::showMainWindow();
        MessageBoxRecorder boxes;
        const int before = Application::terminateRequests();
        boxes.answerNext(Dialogs::Button::No);
        QTest::mouseClick(frmMain->ui.BitBtn3, Qt::LeftButton);
        QVERIFY(frmMain->isVisible());
        QCOMPARE(Application::terminateRequests(), before);
        const Dialogs::MessageBox& box = boxes.boxes().first();
        QCOMPARE(box.text, u"您确认要退出 墨柘密码本 吗？  ^_^  "_s);
        QCOMPARE(box.caption, u"确认退出"_s);
        QCOMPARE(box.icon, Dialogs::Icon::Question);
        QCOMPARE(box.defaultButton, Dialogs::Button::Yes);
        QCOMPARE(box.buttons, (QList<Dialogs::Button>{Dialogs::Button::Yes, Dialogs::Button::No}));

        boxes.answerNext(Dialogs::Button::Yes);
        frmMain->close();
        QVERIFY(!frmMain->isVisible());
        QCOMPARE(Application::terminateRequests(), before + 1);
    }

    void missingDatabaseShowsTheErrorAndKeepsTheWindow()
    {
        QFile::remove(db_->path());
        MessageBoxRecorder boxes;
        frmMain = new TfrmMain;
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY(WebRecorder::navigations.isEmpty());
        QVERIFY(!QFile::exists(db_->path()));
    }
};

int main(int argc, char** argv)
{
    qputenv("LANG", "de_DE.UTF-8");
    qputenv("LC_ALL", "de_DE.UTF-8");
    QApplication app(argc, argv);
    Application::setTitle(u"墨柘密码本"_s);
    initTestResources();
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_mainwindow.moc"
