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
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QToolTip>

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
        db_->addAccount(QStringLiteral("2024-03-01"), QStringLiteral("old"), QStringLiteral("u"));
        db_->addAccount(QStringLiteral("2024-05-01"), QStringLiteral("new"), QStringLiteral("u"));
        TestProgram::showMainWindow();
        QCOMPARE(frmMain->windowTitle(), QStringLiteral("墨柘密码本"));
        QVERIFY(!frmDM->ADOConnection1->LoginPrompt);
        QCOMPARE(connectionStringValue(frmDM->ADOConnection1->ConnectionString(), QStringLiteral("Data Source")),
                 db_->folder() + QStringLiteral("Data/db.mzx"));
        QCOMPARE(frmMain->ui.Label1->text(), QStringLiteral("账户数量：2"));
        QCOMPARE(frmMain->ADOQuery1->FieldByName(QStringLiteral("账户名称")), QStringLiteral("new"));
        QCOMPARE(WebRecorder::navigations, QList<QUrl>{QUrl(QStringLiteral("http://mozhe.example/Card_M.html"))});
        QVERIFY(frmMain->ui.LabWhere->text().isEmpty());
        QVERIFY(!frmMain->ui.LabWhere->isVisible());
        const QDate today = QDate::currentDate();
        QCOMPARE(frmMain->ui.DateTimePicker2->date(), today);
        QCOMPARE(frmMain->ui.DateTimePicker1->date(), today.addMonths(-1));
    }

    void programDatesIgnoreTheRegionalSettings()
    {
        FormatSettings() = {QLatin1Char('.'), QStringLiteral("dd.mm.yy"), QStringLiteral("dd.mm.yyyy")};
        QCOMPARE(DateToStr(QDate(2024, 1, 5)), QStringLiteral("05.01.24"));
        TestProgram::showMainWindow();
        QCOMPARE(DateToStr(QDate(2024, 1, 5)), QStringLiteral("2024-01-05"));
        QCOMPARE(StrToDate(QStringLiteral("2024-1-5")), QDate(2024, 1, 5));
        QCOMPARE(StrToDate(QStringLiteral("2024-01-05")), QDate(2024, 1, 5));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDate(QStringLiteral("2024-01-05 10:00")));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDate(QStringLiteral("05.01.2024")));
        QVERIFY_THROWS_EXCEPTION(EConvertError, StrToDate(QStringLiteral("2024-02-30")));
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
        QCOMPARE(
            grid()->columnWidth(1),
            std::max(10 * zero + 4, QFontMetrics(grid()->font()).horizontalAdvance(QStringLiteral("注册日期")) + 4));

        // A dragged column and a changed width come back with the next refresh.
        grid()->horizontalHeader()->moveSection(5, 1);
        grid()->setColumnWidth(2, 50);
        frmMain->Ref();
        QCOMPARE(grid()->horizontalHeader()->visualIndex(5), 5);
        QCOMPARE(grid()->columnWidth(2), 160);
    }

    void titleClicksSortAndColourTheTitle()
    {
        db_->addAccount(QStringLiteral("2024-01-01"), QStringLiteral("b"), QStringLiteral("u1"));
        db_->addAccount(QStringLiteral("2024-01-02"), QStringLiteral("c"), QStringLiteral("u2"));
        db_->addAccount(QStringLiteral("2024-01-03"), QStringLiteral("a"), QStringLiteral("u3"));
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
        QCOMPARE(frmMain->ADOQuery1->Sort(), QStringLiteral("账户名称 ASC"));
        QCOMPARE(frmMain->ADOQuery1->text(0, 2), QStringLiteral("a"));
        QCOMPARE(titleColour(2), QColor(Qt::red));
        QVERIFY(titleBold(2));

        frmMain->DBGrid1TitleClick(names);
        QCOMPARE(frmMain->ADOQuery1->Sort(), QStringLiteral("账户名称 DESC"));
        QCOMPARE(frmMain->ADOQuery1->text(0, 2), QStringLiteral("c"));
        QCOMPARE(titleColour(2), QColor(Qt::blue));

        frmMain->DBGrid1TitleClick(names);
        QCOMPARE(frmMain->ADOQuery1->Sort(), QStringLiteral("账户名称 ASC"));
        QCOMPARE(titleColour(2), QColor(Qt::red));

        frmMain->DBGrid1TitleClick(users);
        QCOMPARE(frmMain->ADOQuery1->Sort(), QStringLiteral("用户名 ASC"));
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
        QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Delete record?")});
        QCOMPARE(db_->count(QStringLiteral("U_P")), 2);
        QCOMPARE(frmMain->ui.Label1->text(), QStringLiteral("账户数量：2"));
    }

    void linksOpenTheHomePage()
    {
        TestProgram::showMainWindow();
        QCOMPARE(frmMain->ui.Label4->text(), QStringLiteral("软件开发：http://mozhe.example/"));
        QTest::mouseClick(frmMain->ui.SpeedButton7, Qt::LeftButton);
        QTest::mouseClick(frmMain->ui.Label4, Qt::LeftButton);
        QCOMPARE(WebRecorder::opened, (QList<QUrl>{QUrl(QStringLiteral("http://mozhe.example")),
                                                   QUrl(QStringLiteral("http://mozhe.example/"))}));
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
        QCOMPARE(box.text, QStringLiteral("您确认要退出 墨柘密码本 吗？  ^_^  "));
        QCOMPARE(box.caption, QStringLiteral("确认退出"));
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
    Application::setTitle(QStringLiteral("墨柘密码本"));
    initTestResources();
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_mainwindow.moc"
