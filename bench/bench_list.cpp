// Benchmark of the account list: the refresh of the main window (statement, fetch, grid
// layout; the paint that follows is shown apart) at 1 000, 10 000 and 100 000 accounts, and a title-click sort at 100 000,
// each against a floor measured in the same run on the same file:
//   refresh floor: a bare SQLCipher loop that steps the list statement and reads every column;
//   sort floor:    sorting the same column's texts with collation keys made in a bare loop.
// Usage: bench_list [runs]   (prints medians in milliseconds and ratios to the floor)
#include "data/connection.h"
#include "data/dm.h"
#include "data/query.h"
#include "data/schema.h"
#include "data/statements.h"
#include "data/unit1.h"
#include "forms/main.h"
#include "tests/fixture.h"

#include <QApplication>
#include <QCollator>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <sqlite3.h>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double timeMs(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

// Steps the list statement on its own connection with the engine's best settings.
class BareList {
public:
    explicit BareList(const QString& path)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        schema::applyKey(db_, schema::kDatabasePassword);
        schema::exec(db_, "PRAGMA cache_size = -32000;");
    }
    ~BareList() { sqlite3_close_v2(db_); }

    std::size_t run() const
    {
        const QByteArray sql = Sql::accountList(QString()).toUtf8();
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &stmt, nullptr);
        std::size_t bytes = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
                sqlite3_column_text(stmt, c);
                bytes += std::size_t(sqlite3_column_bytes(stmt, c));
            }
        sqlite3_finalize(stmt);
        return bytes;
    }

private:
    sqlite3* db_ = nullptr;
};

void sortFloor(const std::vector<QString>& texts)
{
    QCollator collator;
    std::vector<QCollatorSortKey> keys;
    keys.reserve(texts.size());
    for (const QString& text : texts)
        keys.push_back(collator.sortKey(text));
    std::vector<int> order(texts.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return keys[std::size_t(a)].compare(keys[std::size_t(b)]) < 0; });
}

void benchRefresh(int accounts, int runs)
{
    TestDatabase db;
    db.addAccounts(accounts);
    frmMain = new TfrmMain;
    frmMain->show();
    QApplication::processEvents();
    BareList bare(db.path());

    std::vector<double> floor, refresh, paint;
    for (int i = 0; i < runs; ++i) {
        floor.push_back(timeMs([&] { bare.run(); }));
        refresh.push_back(timeMs([&] { frmMain->Ref(); }));
        paint.push_back(timeMs([&] { frmMain->ui.DBGrid1->repaint(); }));
    }
    std::printf("Ref %7d accounts: floor %8.1f ms  Ref %8.1f ms  ratio %.2f  (then painting the grid %.1f ms)\n",
                accounts, median(floor), median(refresh), median(refresh) / median(floor), median(paint));

    if (accounts == 100000) {
        std::vector<QString> texts;
        for (int row = 0; row < frmMain->ADOQuery1->RecordCount(); ++row)
            texts.push_back(frmMain->ADOQuery1->text(row, 2));
        std::vector<double> sortBase, firstClick, secondClick;
        for (int i = 0; i < runs; ++i) {
            frmMain->Ref();
            TColumn* column = frmMain->ui.DBGrid1->column(2);  // columns are made anew by each refresh
            sortBase.push_back(timeMs([&] { sortFloor(texts); }));
            firstClick.push_back(timeMs([&] {
                frmMain->DBGrid1TitleClick(column);
                frmMain->ui.DBGrid1->repaint();
            }));
            secondClick.push_back(timeMs([&] {
                frmMain->DBGrid1TitleClick(column);
                frmMain->ui.DBGrid1->repaint();
            }));
        }
        std::printf("Sort %6d accounts: floor %8.1f ms  first click %8.1f ms (ratio %.2f)  second click %8.1f ms\n",
                    accounts, median(sortBase), median(firstClick), median(firstClick) / median(sortBase),
                    median(secondClick));
    }
    delete frmMain;
    frmMain = nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    WebRecorder web;
    for (int accounts : {1000, 10000, 100000})
        benchRefresh(accounts, runs);
    return 0;
}
