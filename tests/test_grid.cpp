// The data grid: columns made from each result, the current row shared with the query,
// keys, mouse, popup menu, record deletion, copying a cell and cell drawing.
#include "data/dm.h"
#include "data/query.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/dbgrid.h"
#include "widgets/dialogs.h"
#include "widgets/secretclipboard.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A window holding a grid linked to an account list query, the way the main window does.
struct GridWindow {
    explicit GridWindow(int accounts = 0)
    {
        db.addAccounts(accounts);
        QFont font(u"Arial"_s);
        font.setPixelSize(11);
        window.setFont(font);
        window.resize(640, 300);
        grid = new TDBGrid(&window);
        grid->setGeometry(0, 0, 640, 300);
        // Ends the test program at the first change the model reports against Qt's rules.
        new QAbstractItemModelTester(grid->model(), QAbstractItemModelTester::FailureReportingMode::Fatal,
                                     grid->model());
        source.setDataSet(&query);
        window.show();
        exposed = QTest::qWaitForWindowExposed(&window);
    }

    void open(const QString& sql = Sql::accountList(QString()))
    {
        mySql = sql;
        openSql(&query);
        grid->setDataSource(&source);
    }

    bool focus()
    {
        window.activateWindow();
        grid->setFocus();
        return QTest::qWaitForWindowActive(&window) && grid->hasFocus();
    }

    QHeaderView* titles() const { return grid->horizontalHeader(); }
    QHeaderView* indicator() const { return grid->verticalHeader(); }
    QWidget* corner() const { return grid->findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly); }
    QModelIndex current() const { return grid->currentIndex(); }
    QModelIndex cell(int row, int column) const { return grid->model()->index(row, column); }
    QString text(int row, int column) const { return grid->model()->data(cell(row, column)).toString(); }
    QPoint cellCentre(int row, int column) const { return grid->visualRect(cell(row, column)).center(); }
    QPoint belowTheRows() const { return QPoint(20, grid->rowViewportPosition(query.RecordCount() - 1) + 40); }
    QPoint titleCentre(int column) const
    {
        return QPoint(titles()->sectionViewportPosition(column) + titles()->sectionSize(column) / 2,
                      titles()->height() / 2);
    }
    QPoint indicatorCentre(int row) const
    {
        return QPoint(indicator()->width() / 2,
                      indicator()->sectionViewportPosition(row) + indicator()->sectionSize(row) / 2);
    }
    int zeroWidth() const { return grid->fontMetrics().horizontalAdvance(QLatin1Char('0')); }

    TestDatabase db;
    QWidget window;
    bool exposed = false;
    TADOQuery query;
    TDataSource source;
    TDBGrid* grid;
};

int redPixels(const QImage& image, const QRect& area)
{
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            count += qRed(pixel) > 150 && qGreen(pixel) < 90 && qBlue(pixel) < 90;
        }
    return count;
}

struct DrawCall {
    QRect rect;
    int dataCol;
    TColumn* column;
    GridDrawState state;
    int recNo;
};

}  // namespace

class TestGrid : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setStyle(u"Fusion"_s); }

    void columnsAreMadeFromEachResult()
    {
        GridWindow w(4);
        w.open();
        QVERIFY(w.exposed);
        TDBGrid* grid = w.grid;
        QStringList names;
        for (int i = 0; i < grid->columnCount(); ++i)
            names << grid->column(i)->fieldName();
        QCOMPARE(names, QStringList({"ID", "注册日期", "账户名称", "用户名", "密码", "描述"}));
        QCOMPARE(grid->model()->headerData(2, Qt::Horizontal).toString(), u"账户名称"_s);
        QCOMPARE(w.text(1, 3), w.query.text(1, 3));
        QCOMPARE(w.current(), w.cell(0, 0));
        // 账户名称 TEXT(50), 描述 TEXT(200); ID INTEGER below
        QCOMPARE(grid->column(2)->width(), 50 * w.zeroWidth() + 4);
        QCOMPARE(w.titles()->sectionSize(5), 200 * w.zeroWidth() + 4);
        const int defaultWidth = grid->column(2)->width();

        grid->column(0)->setVisible(false);
        grid->column(2)->setWidth(160);
        grid->column(5)->setTitleColor(Qt::red);
        grid->column(5)->setTitleBold(true);
        w.titles()->moveSection(4, 1);
        TColumn* described = grid->column(5);
        // Neither a sort nor a deleted row makes the columns afresh.
        MessageBoxRecorder boxes;
        w.query.setSort(u"描述 ASC"_s);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(grid->model()->rowCount(), 3);
        QCOMPARE(grid->column(5), described);
        QVERIFY(!grid->column(0)->visible());
        QCOMPARE(grid->column(0)->width(), 11 * w.zeroWidth() + 4);
        QCOMPARE(w.titles()->sectionSize(2), 160);
        QCOMPARE(described->titleColor(), QColor(Qt::red));
        QVERIFY(described->titleBold());
        QCOMPARE(w.titles()->visualIndex(4), 1);

        // A new result starts from plain, visible columns in result order with default widths.
        w.open();
        for (int i = 0; i < 6; ++i) {
            QVERIFY(grid->column(i)->visible());
            QCOMPARE(w.titles()->visualIndex(i), i);
            QVERIFY(!grid->column(i)->titleBold());
            QCOMPARE(grid->column(i)->titleColor(), grid->palette().color(QPalette::WindowText));
        }
        QCOMPARE(w.titles()->sectionSize(2), defaultWidth);
        QCOMPARE(grid->column(2)->width(), defaultWidth);

        w.query.Close();
        QCOMPARE(grid->columnCount(), 0);
        QCOMPARE(grid->model()->rowCount(), 0);
    }

    void defaultWidthsFollowTheDeclaredTypes()
    {
        GridWindow w;
        w.db.exec(u"CREATE TABLE T(D DATE, S TIMESTAMP, N INTEGER, T TEXT, W TEXT(3))"_s);
        const QString longTitle = u"a title much wider than three zeros"_s;
        w.open(u"select D, S, N, T, W as \"%1\", W from T"_s.arg(longTitle));
        const int zero = w.zeroWidth();
        QCOMPARE(w.grid->column(0)->width(), 18 * zero + 4);
        QCOMPARE(w.grid->column(1)->width(), 18 * zero + 4);
        QCOMPARE(w.grid->column(2)->width(), 11 * zero + 4);
        QCOMPARE(w.grid->column(3)->width(), 10 * zero + 4);
        QCOMPARE(w.grid->column(4)->width(), w.titles()->fontMetrics().horizontalAdvance(longTitle) + 4);
        QCOMPARE(w.grid->column(5)->width(), 3 * zero + 4);
    }

    // Views keep indexes across changes: after a sort an index stays with its row, and a
    // deleted row takes only its own index with it.
    void keptIndexesFollowTheirRows()
    {
        GridWindow w(5);
        w.open();
        const QPersistentModelIndex second(w.cell(1, 2));
        const QPersistentModelIndex fourth(w.cell(3, 2));
        const QString secondName = second.data().toString();
        const QString fourthName = fourth.data().toString();
        w.query.setSort(u"账户名称 ASC"_s);  // the list came newest first: reversed
        QCOMPARE(second.row(), 3);
        QCOMPARE(second.data().toString(), secondName);
        QCOMPARE(w.query.text(second.row(), 2), secondName);
        QCOMPARE(w.query.text(fourth.row(), 2), fourthName);

        MessageBoxRecorder boxes;
        w.query.moveTo(std::min(second.row(), fourth.row()) + 1);  // a middle row, neither of the two
        const QString middle = w.query.FieldByName(u"账户名称"_s);
        QVERIFY(middle != secondName && middle != fourthName);
        QTest::keyClick(w.grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(w.query.text(second.row(), 2), secondName);
        QCOMPARE(w.query.text(fourth.row(), 2), fourthName);
        QCOMPARE(w.current().row(), w.query.RecNo() - 1);

        w.query.moveTo(second.row());
        QTest::keyClick(w.grid, Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(!second.isValid());
        QCOMPARE(fourth.data().toString(), fourthName);

        w.open(Sql::accountList(u" AND (F2 = 'none')"_s));
        QCOMPARE(w.grid->model()->rowCount(), 0);
        QVERIFY(!fourth.isValid());
        QVERIFY(!w.current().isValid());
    }

    void linkingAnOpenQueryShowsItsCurrentRow()
    {
        GridWindow w(5);
        mySql = Sql::accountList(QString());
        openSql(&w.query);
        w.query.moveTo(3);
        w.grid->setDataSource(&w.source);
        QCOMPARE(w.grid->columnCount(), 6);
        QCOMPARE(w.current().row(), 3);

        // Another result of the same shape, linked without a close in between.
        w.grid->column(1)->setVisible(false);
        w.titles()->moveSection(4, 2);
        TADOQuery other;
        openSql(&other);
        w.source.setDataSet(&other);
        QVERIFY(w.grid->column(1)->visible());
        QCOMPARE(w.titles()->visualIndex(4), 4);
        QCOMPARE(w.current().row(), 0);
        w.query.Next();
        other.Last();
        QCOMPARE(w.current().row(), 4);
    }

    void hidingTheCurrentColumnMovesToTheNextVisibleOne()
    {
        GridWindow w(3);
        w.open();
        w.query.moveTo(2);
        w.grid->column(0)->setVisible(false);
        QCOMPARE(w.current(), w.cell(2, 1));
        w.titles()->moveSection(5, 1);  // 描述 now comes right after the hidden ID
        w.grid->column(5)->setVisible(false);
        w.grid->column(1)->setVisible(false);
        QCOMPARE(w.current(), w.cell(2, 2));
        QCOMPARE(w.query.RecNo(), 3);
    }

    void keysMoveTheQuery()
    {
        GridWindow w(60);
        w.open();
        TDBGrid* grid = w.grid;
        grid->column(0)->setVisible(false);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(w.query.RecNo(), 2);
        QTest::keyClick(grid, Qt::Key_Right);
        QTest::keyClick(grid, Qt::Key_Right);
        QCOMPARE(w.current(), w.cell(1, 3));
        QTest::keyClick(grid, Qt::Key_PageDown);
        const int page = w.query.RecNo();
        QVERIFY2(page > 5 && page < 60, qPrintable(QString::number(page)));
        QTest::keyClick(grid, Qt::Key_PageDown);
        QVERIFY(w.query.RecNo() > page);
        QTest::keyClick(grid, Qt::Key_PageUp);
        QCOMPARE(w.query.RecNo(), page);
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(w.current(), w.cell(59, 3));
        QCOMPARE(w.query.RecNo(), 60);
        QVERIFY(grid->viewport()->rect().contains(grid->visualRect(w.current())));
        QTest::keyClick(grid, Qt::Key_Up);
        QCOMPARE(w.query.RecNo(), 59);
        QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(w.current(), w.cell(0, 3));
        QTest::keyClick(grid, Qt::Key_End);
        QCOMPARE(w.current(), w.cell(0, 5));
        QTest::keyClick(grid, Qt::Key_Home);
        QCOMPARE(w.current(), w.cell(0, 1));  // the hidden ID column is skipped
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(w.current(), w.cell(0, 2));
        QCOMPARE(w.query.RecNo(), 1);
    }

    void queryMovesTheGrid()
    {
        GridWindow w(80);
        w.open();
        TDBGrid* grid = w.grid;
        w.query.Next();
        QCOMPARE(w.current(), w.cell(1, 0));
        QTest::keyClick(grid, Qt::Key_Right);
        w.query.Last();
        QVERIFY(w.query.Eof());  // following the query does not move it again
        QCOMPARE(w.current(), w.cell(79, 1));
        QTRY_VERIFY(grid->viewport()->rect().contains(grid->visualRect(w.current())));
        w.query.First();
        QVERIFY(w.query.Bof());
        QCOMPARE(w.current().row(), 0);
        QTRY_VERIFY(grid->viewport()->rect().contains(grid->visualRect(w.current())));

        w.query.moveTo(4);
        const QString id = w.query.FieldByName(u"ID"_s);
        w.query.setSort(u"账户名称 ASC"_s);
        QCOMPARE(w.current().row(), w.query.RecNo() - 1);
        QCOMPARE(w.text(w.current().row(), 0), id);
        QCOMPARE(w.text(5, 2), w.query.text(5, 2));
    }

    void mousePressOnACellMovesTheQuery()
    {
        GridWindow w(5);
        w.open();
        TDBGrid* grid = w.grid;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, w.cellCentre(3, 2));
        QCOMPARE(w.query.RecNo(), 4);
        QCOMPARE(w.current(), w.cell(3, 2));

        QTest::mouseClick(w.titles()->viewport(), Qt::LeftButton, {}, w.titleCentre(4));
        QTest::mouseClick(w.indicator()->viewport(), Qt::LeftButton, {}, w.indicatorCentre(1));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, w.belowTheRows());
        QCOMPARE(w.current(), w.cell(3, 2));
        QCOMPARE(w.query.RecNo(), 4);
    }

    void rightPressMovesThenOpensThePopup()
    {
        GridWindow w(5);
        w.open();
        TDBGrid* grid = w.grid;
        QMenu menu;
        menu.addAction(u"修改账户 &M"_s);
        grid->setPopupMenu(&menu);
        int recNoWhenShown = 0;
        connect(&menu, &QMenu::aboutToShow, [&] { recNoWhenShown = w.query.RecNo(); });
        const auto popsUpAt = [&](QWidget* target, const QPoint& pos) {
            QTest::mousePress(target, Qt::RightButton, {}, pos);
            QTest::mouseRelease(target, Qt::RightButton, {}, pos);
            const bool shown = menu.isVisible() && menu.pos() == target->mapToGlobal(pos);
            menu.hide();
            return shown;
        };

        QVERIFY(popsUpAt(grid->viewport(), w.cellCentre(2, 3)));
        QCOMPARE(recNoWhenShown, 3);
        QCOMPARE(w.current(), w.cell(2, 3));
        QVERIFY(popsUpAt(w.titles()->viewport(), w.titleCentre(3)));
        QVERIFY(popsUpAt(w.indicator()->viewport(), w.indicatorCentre(4)));
        QVERIFY(popsUpAt(w.corner(), QPoint(2, 2)));
        QVERIFY(popsUpAt(grid->viewport(), w.belowTheRows()));
        QCOMPARE(w.current(), w.cell(2, 3));
    }

    void doubleClickAnywhereIsTheGridsDoubleClick()
    {
        GridWindow w(5);
        w.open();
        TDBGrid* grid = w.grid;
        QSignalSpy doubleClicks(grid, &TDBGrid::DblClick);
        QSignalSpy titleClicks(grid, &TDBGrid::TitleClick);
        doubleClick(grid->viewport(), w.cellCentre(1, 2));
        QCOMPARE(doubleClicks.count(), 1);
        QCOMPARE(w.query.RecNo(), 2);
        doubleClick(grid->viewport(), w.belowTheRows());
        doubleClick(w.titles()->viewport(), w.titleCentre(3));
        QCOMPARE(titleClicks.count(), 1);
        doubleClick(w.indicator()->viewport(), w.indicatorCentre(3));
        doubleClick(w.corner(), QPoint(2, 2));
        QCOMPARE(doubleClicks.count(), 5);
        QCOMPARE(titleClicks.count(), 1);
        QCOMPARE(w.query.RecNo(), 2);
    }

    void titleClickComesOnReleaseOverATitle_data()
    {
        QTest::addColumn<int>("pressed");   // the title pressed; -1: the divider at the right of title 2
        QTest::addColumn<bool>("dragged");  // the pointer moves to the release, past the drag distance
        QTest::addColumn<int>("via");       // a title the drag passes over; -1: none
        QTest::addColumn<int>("released");  // the title under the release; -1: in the rows below
        QTest::addColumn<bool>("clicked");  // a title click comes, for the title under the release
        QTest::newRow("clicked") << 2 << false << -1 << 2 << true;
        QTest::newRow("pressed on one title, released on another") << 2 << false << -1 << 1 << true;
        QTest::newRow("dragged to another place") << 1 << true << -1 << 3 << true;
        QTest::newRow("dragged away and back") << 2 << true << 4 << 2 << true;
        QTest::newRow("dragged off the titles") << 2 << true << 3 << -1 << false;
        QTest::newRow("divider dragged") << -1 << true << -1 << 3 << false;
    }

    // The left button's release over a title is a title click for that title, wherever the
    // press was and whether or not the drag moved a column there, except at the end of a resize.
    void titleClickComesOnReleaseOverATitle()
    {
        QFETCH(int, pressed);
        QFETCH(bool, dragged);
        QFETCH(int, via);
        QFETCH(int, released);
        QFETCH(bool, clicked);
        GridWindow w(3);
        w.open();
        TDBGrid* grid = w.grid;
        QSignalSpy titleClicks(grid, &TDBGrid::TitleClick);
        QWidget* titles = w.titles()->viewport();
        const int width = grid->column(2)->width();
        const QPoint divider(w.titles()->sectionViewportPosition(2) + width - 1, w.titles()->height() / 2);
        const QPoint from = pressed < 0 ? divider : w.titleCentre(pressed);
        const QPoint to = released < 0 ? QPoint(w.titleCentre(2).x(), titles->height() + 20) : w.titleCentre(released);

        QTest::mousePress(titles, Qt::LeftButton, {}, from);
        if (dragged)
            for (const QPoint& step : {from + QPoint(30, 0), via < 0 ? to : w.titleCentre(via), to})
                QTest::mouseMove(titles, step);
        QTest::mouseRelease(titles, Qt::LeftButton, {}, to);

        if (pressed < 0)
            QCOMPARE(grid->column(2)->width(), width + to.x() - divider.x());
        if (pressed == 1)
            QVERIFY(w.titles()->visualIndex(1) > 1);
        QCOMPARE(titleClicks.count(), clicked ? 1 : 0);
        if (clicked)
            QCOMPARE(titleClicks.first().at(0).value<TColumn*>(), grid->column(w.titles()->logicalIndexAt(to)));
        QTest::mouseClick(w.corner(), Qt::LeftButton, {}, QPoint(2, 2));
        QCOMPARE(titleClicks.count(), clicked ? 1 : 0);
        QCOMPARE(w.query.RecNo(), 1);
    }

    void ctrlDeleteAsksThenDeletesTheCurrentRecord()
    {
        GridWindow w(3);
        w.open();
        TDBGrid* grid = w.grid;
        QSignalSpy deleted(grid, &TDBGrid::recordDeleted);
        MessageBoxRecorder boxes;
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, w.cellCentre(1, 2));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, w.cellCentre(0, 2));
        const QString id = w.query.FieldByName(u"ID"_s);
        const QString next = w.query.text(1, 0);

        boxes.answerNext(Dialogs::Button::Cancel);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QTest::keyClick(grid, Qt::Key_Delete);
        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().caption, u"Confirm"_s);
        QCOMPARE(boxes.boxes().first().icon, Dialogs::Icon::Question);
        QCOMPARE(w.db.count(u"U_P"_s), 3);
        QCOMPARE(deleted.count(), 0);

        QSignalSpy queryMoves(&w.query, &TADOQuery::currentChanged);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);  // OK, the default
        QCOMPARE(queryMoves.count(), 1);  // the grid does not move the query while the row goes
        QCOMPARE(boxes.texts(), QStringList({u"Delete record?"_s, u"Delete record?"_s}));
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(w.db.value(u"select count(*) from U_P where ID="_s + id), u"0"_s);
        QCOMPARE(w.db.count(u"U_P"_s), 2);
        QCOMPARE(grid->model()->rowCount(), 2);
        QCOMPARE(w.current(), w.cell(0, 2));
        QCOMPARE(w.text(0, 0), next);
        QCOMPARE(w.query.FieldByName(u"ID"_s), next);

        // Deleting the last row makes the one before it current; an empty grid asks nothing.
        w.query.Last();
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(w.current(), w.cell(0, 2));
        QCOMPARE(w.text(0, 0), next);
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QVERIFY(!w.current().isValid());
        QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(boxes.boxes().size(), 4);
        QCOMPARE(deleted.count(), 3);
        QCOMPARE(w.db.count(u"U_P"_s), 0);
    }

    // A row the engine refuses to delete, or one that went from the file since it was read:
    // the error box, and the row stays in the grid.
    void ctrlDeleteThatDeletesNothingIsAnError_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QString>("error");
        QTest::newRow("refused")
            << u"CREATE TRIGGER keep BEFORE DELETE ON U_P BEGIN SELECT RAISE(ABORT, 'refused'); END"_s << u"refused."_s;
        QTest::newRow("deleted meanwhile")
            << u"delete from U_P where ID=%1"_s
            << u"Row cannot be located for updating. Some values may have been changed since it was last read."_s;
    }

    void ctrlDeleteThatDeletesNothingIsAnError()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QString, error);
        GridWindow w(2);
        w.open();
        w.db.exec(meanwhile.contains(u"%1"_s) ? meanwhile.arg(w.query.FieldByName(u"ID"_s)) : meanwhile);
        QSignalSpy deleted(w.grid, &TDBGrid::recordDeleted);
        MessageBoxRecorder boxes;
        QTest::keyClick(w.grid, Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(boxes.texts(), QStringList({u"Delete record?"_s, error}));
        QCOMPARE(boxes.boxes().last().icon, Dialogs::Icon::Stop);
        QCOMPARE(deleted.count(), 0);
        QCOMPARE(w.grid->model()->rowCount(), 2);
        QCOMPARE(w.query.RecordCount(), 2);
    }

    // Ctrl+C puts the current cell on the clipboard as a secret for clipboard managers, and
    // takes it off again when its time is up, or at once when asked (as the program's end
    // does), unless the clipboard has changed since.
    void ctrlCCopiesTheCellAsASecretForAWhile()
    {
        GridWindow w(2);
        w.open();
        // Long enough that a loaded machine's pauses stay well inside it: the check that a second
        // copy starts the time afresh comes half a lifetime before that copy's time is up.
        constexpr std::chrono::milliseconds kLifetime(3000);
        SecretClipboard::setLifetimeForTesting(kLifetime);
        const auto restore = qScopeGuard([] { SecretClipboard::setLifetimeForTesting({}); });
        QClipboard* clipboard = QGuiApplication::clipboard();
        const auto copyCell = [&](int row, int column) {
            w.grid->setCurrentIndex(w.cell(row, column));
            QTest::keyClick(w.grid, Qt::Key_C, Qt::ControlModifier);
            return w.text(row, column);
        };

        QElapsedTimer sinceFirstCopy;
        sinceFirstCopy.start();
        const QString password = copyCell(1, 4);
        QVERIFY(!password.isEmpty());
        QCOMPARE(clipboard->text(), password);
        QCOMPARE(clipboard->mimeData()->data(u"x-kde-passwordManagerHint"_s), QByteArray("secret"));
        QTest::qWait(2000);
        // A second copy starts the time afresh: it outlives the first copy's time.
        const QString name = copyCell(0, 2);
        QTest::qWait(1500);
        QVERIFY(sinceFirstCopy.elapsed() > kLifetime.count());
        QCOMPARE(clipboard->text(), name);
        QTRY_VERIFY_WITH_TIMEOUT(clipboard->text().isEmpty(), 2 * kLifetime.count());

        SecretClipboard::setLifetimeForTesting(std::chrono::milliseconds(200));
        copyCell(0, 4);
        clipboard->setText(u"the user's own"_s);
        QTest::qWait(1000);
        QCOMPARE(clipboard->text(), u"the user's own"_s);

        copyCell(1, 3);
        SecretClipboard::forget();
        QVERIFY(clipboard->text().isEmpty());
        clipboard->setText(u"the user's own"_s);
        SecretClipboard::forget();
        QCOMPARE(clipboard->text(), u"the user's own"_s);
        SecretClipboard::setLifetimeForTesting({});
        QCOMPARE(SecretClipboard::lifetime(), std::chrono::seconds(15));
    }

    void typingChangesNothing()
    {
        GridWindow w(5);
        w.open();
        TDBGrid* grid = w.grid;
        w.query.moveTo(1);
        grid->setCurrentIndex(w.cell(1, 2));
        const QString before = w.text(1, 2);
        QTest::keyClicks(grid, u"site4"_s);  // would search the column for a row
        QTest::keyClick(grid, Qt::Key_F2);
        QTest::keyClick(grid, Qt::Key_Return);
        QCOMPARE(w.current(), w.cell(1, 2));
        QCOMPARE(w.query.RecNo(), 2);
        QCOMPARE(w.text(1, 2), before);
        QCOMPARE(grid->findChild<QLineEdit*>(), nullptr);
    }

    void drawHandlerGetsEveryDataCell()
    {
        GridWindow w(8);
        w.open();
        TDBGrid* grid = w.grid;
        grid->column(0)->setVisible(false);
        w.query.moveTo(2);
        QList<DrawCall> calls;
        grid->OnDrawColumnCell = [&](const QRect& rect, int dataCol, TColumn* column, GridDrawState state) {
            calls.append({rect, dataCol, column, state, grid->drawingRecNo()});
        };
        const auto checkCalls = [&](GridDrawState currentState) {
            calls.clear();
            grid->viewport()->grab();
            int columnsInView = 0;
            for (int column = 0; column < grid->columnCount(); ++column)
                columnsInView +=
                    !grid->isColumnHidden(column) && grid->columnViewportPosition(column) < grid->viewport()->width();
            QCOMPARE(calls.size(), 8 * columnsInView);
            int currentCells = 0;
            for (const DrawCall& call : calls) {
                QCOMPARE(call.recNo, grid->rowAt(call.rect.center().y()) + 1);
                QCOMPARE(call.dataCol, grid->columnAt(call.rect.center().x()));
                QCOMPARE(call.column, grid->column(call.dataCol));
                const bool isCurrent = call.recNo == w.query.RecNo() && call.dataCol == w.current().column();
                QCOMPARE(call.state, isCurrent ? currentState : GridDrawState());
                currentCells += isCurrent;
            }
            QCOMPARE(currentCells, 1);
        };

        checkCalls(gdSelected);
        QVERIFY(w.focus());
        checkCalls(gdSelected | gdFocused);
        w.query.setSort(u"账户名称 DESC"_s);  // row numbers are positions in the new order
        checkCalls(gdSelected | gdFocused);
    }

    void defaultDrawingFillsTheCellInsideTheGridLines()
    {
        GridWindow w(4);
        w.open();
        TDBGrid* grid = w.grid;
        const QColor green(191, 255, 223);
        grid->OnDrawColumnCell = [&](const QRect& rect, int dataCol, TColumn* column, GridDrawState state) {
            if (state.testFlag(gdSelected))
                return;
            grid->Canvas()->brush = green;
            grid->DefaultDrawColumnCell(rect, dataCol, column, state);
        };
        w.query.moveTo(1);
        grid->setCurrentIndex(w.cell(1, 2));
        const QRect other = grid->visualRect(w.cell(2, 2));
        const QPoint emptyEndOfOther(other.right() - 2, other.center().y());
        const QPoint emptyEndOfCurrent = grid->visualRect(w.cell(1, 2)).topRight() + QPoint(-2, 8);
        const auto colour = [](const QImage& image, const QPoint& point) { return QColor(image.pixel(point)); };

        QImage image = grid->viewport()->grab().toImage();
        QCOMPARE(colour(image, emptyEndOfOther), green);
        QVERIFY(colour(image, QPoint(other.right() + 1, other.center().y())) != green);
        QVERIFY(colour(image, QPoint(other.center().x(), other.bottom() + 1)) != green);
        for (int x = other.left(); x <= other.right(); ++x)
            QCOMPARE(colour(image, QPoint(x, other.top())), green);  // the text starts 2 pixels down
        int ink = 0;
        for (int x = other.left() + 2; x < other.left() + 40; ++x)
            for (int y = other.top() + 2; y < other.bottom(); ++y)
                ink += qGray(image.pixel(x, y)) < 100;
        QVERIFY(ink > 10);
        // The current cell keeps the grid's own look: plain without the focus, highlighted with it.
        QCOMPARE(colour(image, emptyEndOfCurrent), grid->palette().color(QPalette::Base));
        QVERIFY(w.focus());
        image = grid->viewport()->grab().toImage();
        QCOMPARE(colour(image, emptyEndOfCurrent), grid->palette().color(QPalette::Highlight));
    }

    void titlesShowTheirColourAndWeight()
    {
        GridWindow w(1);
        w.open();
        QHeaderView* titles = w.titles();
        const QRect section(titles->sectionViewportPosition(2), 0, titles->sectionSize(2), titles->height());
        const auto redInTitle = [&] { return redPixels(titles->viewport()->grab().toImage(), section); };
        QCOMPARE(redInTitle(), 0);
        w.grid->column(2)->setTitleColor(Qt::red);
        const int plain = redInTitle();
        QVERIFY(plain > 10);
        w.grid->column(2)->setTitleBold(true);
        const int bold = redInTitle();
        QVERIFY2(bold > plain * 6 / 5, qPrintable(u"%1 vs %2"_s.arg(bold).arg(plain)));
        QCOMPARE(w.grid->column(2)->titleFont().pixelSize(), 11);
    }

    void indicatorArrowMarksTheCurrentRow()
    {
        GridWindow w(4);
        w.open();
        QCOMPARE(w.indicator()->width(), 11);
        const auto arrowAt = [&](int row) {
            const QImage image = w.indicator()->viewport()->grab().toImage();
            return qGray(image.pixel(w.indicatorCentre(row))) < 100;
        };
        QVERIFY(arrowAt(0));
        QVERIFY(!arrowAt(1));
        w.query.Next();
        QVERIFY(!arrowAt(0));
        QVERIFY(arrowAt(1));
        QVERIFY(!w.grid->model()->headerData(1, Qt::Vertical).isValid());
    }
};

QTEST_MAIN(TestGrid)
#include "test_grid.moc"
