// Benchmark of starting the program: the time from starting the executable to its login
// window taking keys, with no accounts and with 100 000, and the memory of the program logged in,
// each against a floor measured in the same run: a bare Qt window with one edit (floor_window),
// started the same way (a copy in a folder of its own, the same platform plugin, the driver
// preloaded). The banner pages are a small page with a style sheet and a picture, served by a
// local site; the memory is that of the whole process tree, the banner helper included.
// Usage: bench_startup [runs]   (QT_QPA_PLATFORM decides the display; offscreen by default)
#include "data/schema.h"
#include "platform/website.h"
#include "tests/driver/remote.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>
#include <unordered_set>

using namespace Qt::StringLiterals;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Start {
    double typing;       // ms from starting the executable until a key typed into the edit shows
    double bannerAsked;  // ms until the banner page was asked for (0: not within 5 s)
};

Start startUntilTyping(ProgramCopy& copy, const HeldSite& site, const QString& program, const QString& edit)
{
    RemoteProgram remote(copy, {{site.proxyEnvironment()}, {}, {}, true});
    const qsizetype asked = site.requestedPaths().size();
    QElapsedTimer timer;
    timer.start();
    remote.start(program);
    remote.keys(u"x"_s);
    remote.waitUntil([&] { return remote.text(edit) == QLatin1String("x"); });
    const double typing = double(timer.nsecsElapsed()) / 1e6;
    const bool bannerAsked = remote.waitUntil([&] { return site.requestedPaths().size() > asked; }, 5000);
    return {typing, bannerAsked ? double(timer.nsecsElapsed()) / 1e6 : 0};
}

// A banner page like the maker's, for all three banners: a style sheet, a picture, a link.
void serveBannerPages(HeldSite& site)
{
    QImage logo(48, 48, QImage::Format_RGB32);
    logo.fill(Qt::darkGreen);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    logo.save(&buffer, "PNG");
    for (const char* page : {"SoftIndex.html", "Card_M.html", "Card_C.html"})
        site.serve(Website::page(QLatin1String(page)).toString(), "text/html",
                   "<html><head><link rel=\"stylesheet\" href=\"banner.css\"></head><body><img src=\"logo.png\">"
                   "<a href=\"/promo.html\">墨柘密码本 新版</a></body></html>");
    site.serve(Website::page(u"banner.css"_s).toString(), "text/css",
               "body { margin: 0; background: #204080; color: white; font: 14px sans-serif } a { color: #ffd000 }");
    site.serve(Website::page(u"logo.png"_s).toString(), "image/png", png);
}

double pssMiB(qint64 pid) { return processMemoryMiB(pid, "smaps_rollup", "Pss"); }

// A process and all its descendants.
QList<qint64> processTree(qint64 pid)
{
    QList<qint64> tree{pid};
    for (const QString& task : QDir(u"/proc/%1/task"_s.arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(u"/proc/%1/task/%2/children"_s.arg(pid).arg(task));
        if (children.open(QIODevice::ReadOnly))
            for (const QByteArray& child : children.readAll().split(' '))
                if (!child.trimmed().isEmpty())
                    tree += processTree(child.trimmed().toLongLong());
    }
    return tree;
}

// Proportional set size of a process and all its descendants, in MiB.
double treeMemoryMiB(qint64 pid)
{
    double mib = 0;
    for (const qint64 process : processTree(pid))
        mib += pssMiB(process);
    return mib;
}

// The physical pages of a process and all its descendants, each counted once, in MiB: what
// their PSS would be with no other process on the machine sharing a library with them, so
// that it does not change with what else runs. The page frames are read from /proc/<pid>/
// pagemap, which shows them to root only; 0 otherwise.
double distinctTreeMiB(qint64 pid)
{
    constexpr quint64 kPresent = 1ull << 63, kFrame = (1ull << 55) - 1;
    std::unordered_set<quint64> frames;
    for (const qint64 process : processTree(pid)) {
        QFile maps(u"/proc/%1/maps"_s.arg(process)), pagemap(u"/proc/%1/pagemap"_s.arg(process));
        if (!maps.open(QIODevice::ReadOnly) || !pagemap.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const QList<QByteArray> range = line.split(' ').value(0).split('-');
            const quint64 start = range.value(0).toULongLong(nullptr, 16),
                          end = range.value(1).toULongLong(nullptr, 16);
            if (line.endsWith("[vsyscall]") || end <= start || !pagemap.seek(qint64(start / 4096 * 8)))
                continue;
            const QByteArray entries = pagemap.read(qint64((end - start) / 4096 * 8));
            for (qsizetype at = 0; at + 8 <= entries.size(); at += 8) {
                quint64 entry = 0;
                std::memcpy(&entry, entries.constData() + at, sizeof entry);
                if ((entry & kPresent) && (entry & kFrame))
                    frames.insert(entry & kFrame);
            }
        }
    }
    return double(frames.size()) * 4096 / (1024 * 1024);
}

double residentMiB(qint64 pid) { return processMemoryMiB(pid, "status", "VmRSS"); }

void addAccounts(const QString& database, int n)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    schema::applyKey(db, schema::kDatabasePassword);
    schema::exec(db, "BEGIN");
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "insert into U_P(F1,F2,F3,F4,F5) values(?,?,?,?,?)", -1, &insert, nullptr);
    for (int i = 0; i < n; ++i) {
        const QByteArray texts[] = {u"20%1-%2-%3"_s.arg(10 + i % 15)
                                        .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                                        .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                                        .toUtf8(),
                                    u"账户 %1 mail"_s.arg(i).toUtf8(), u"user%1@example.com"_s.arg(i).toUtf8(),
                                    u"pw-%1"_s.arg(i * 7919).toUtf8(), u"描述 %1"_s.arg(i).toUtf8()};
        for (int c = 0; c < 5; ++c)
            sqlite3_bind_text(insert, c + 1, texts[c].constData(), int(texts[c].size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    schema::exec(db, "COMMIT");
    sqlite3_close(db);
}

struct Memory {
    double tree;      // PSS of the process and its helpers
    double helpers;   // the helpers' part of it
    double distinct;  // the distinct pages of the process and its helpers
    double resident;  // RSS of the main process
};

Memory memoryOf(qint64 pid)
{
    const double tree = treeMemoryMiB(pid);
    return {tree, tree - pssMiB(pid), distinctTreeMiB(pid), residentMiB(pid)};
}

// The memory of the program logged in, once its list is shown and it has settled.
Memory loggedInMemory(ProgramCopy& copy, const HeldSite& site, int accounts)
{
    RemoteProgram remote(copy, {{site.proxyEnvironment()}, {}, {}, true});
    remote.start();
    remote.waitVisible(u"frmLogin/Edit1"_s);
    remote.typeInto(u"frmLogin/Edit1"_s, u"admin"_s);
    remote.click(u"frmLogin/BitBtn1"_s);
    remote.waitVisible(u"frmMain/DBGrid1"_s);
    remote.waitUntil([&] { return remote.rowCount(u"frmMain/DBGrid1"_s) == accounts; }, 60000);
    QThread::msleep(1500);
    return memoryOf(remote.pid());
}

Memory floorMemory(ProgramCopy& copy, const HeldSite& site, const QString& floorProgram)
{
    RemoteProgram remote(copy, {{site.proxyEnvironment()}, {}, {}, true});
    remote.start(floorProgram);
    remote.waitVisible(u"floor/Edit1"_s);
    QThread::msleep(1500);
    return memoryOf(remote.pid());
}

template <typename F>
Memory medianMemory(int runs, F measure)
{
    std::vector<double> tree, helpers, distinct, resident;
    for (int i = 0; i < runs; ++i) {
        const Memory m = measure();
        tree.push_back(m.tree);
        helpers.push_back(m.helpers);
        distinct.push_back(m.distinct);
        resident.push_back(m.resident);
    }
    return {median(tree), median(helpers), median(distinct), median(resident)};
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const QString floorProgram = QString::fromUtf8(FLOOR_PATH);
    HeldSite site;
    serveBannerPages(site);
    ProgramCopy copy;
    ProgramCopy full;
    addAccounts(full.database(), 100000);

    std::vector<double> program, programFull, floor, banner;
    for (int i = 0; i < runs; ++i) {
        // Alternated, so that all meet the machine in the same state.
        floor.push_back(startUntilTyping(copy, site, floorProgram, u"floor/Edit1"_s).typing);
        const Start start = startUntilTyping(copy, site, QString(), u"frmLogin/Edit1"_s);
        program.push_back(start.typing);
        banner.push_back(start.bannerAsked);
        programFull.push_back(startUntilTyping(full, site, QString(), u"frmLogin/Edit1"_s).typing);
    }
    const double p = median(program), f = median(floor), pf = median(programFull);
    std::printf("start to login window taking keys: %.0f ms (floor %.0f ms, ratio %.2f), medians of %d runs\n", p, f,
                p / f, runs);
    std::printf("  with 100 000 accounts: %.0f ms (ratio %.2f to no accounts)\n", pf, pf / p);
    std::printf("banner page asked for at %.0f ms (median; 0 = not within 5 s)\n", median(banner));

    const int memoryRuns = std::max(1, runs / 2);
    const Memory bare = medianMemory(memoryRuns, [&] { return floorMemory(copy, site, floorProgram); });
    const Memory empty = medianMemory(memoryRuns, [&] { return loggedInMemory(copy, site, 0); });
    const Memory loaded = medianMemory(memoryRuns, [&] { return loggedInMemory(full, site, 100000); });
    std::printf("memory logged in, 100 000 accounts: %.0f MiB with helper processes (PSS), main process %.0f MiB RSS\n",
                loaded.tree, loaded.resident);
    std::printf("  no accounts:  %.0f MiB PSS (the banner helper %.1f MiB of it), %.0f MiB RSS\n", empty.tree,
                empty.helpers, empty.resident);
    std::printf("  floor window: %.0f MiB PSS, %.0f MiB RSS (ratios %.1f and %.1f)\n", bare.tree, bare.resident,
                loaded.tree / bare.tree, loaded.resident / bare.resident);
    std::printf("  distinct pages (PSS with nothing else running): no accounts %.1f MiB, floor window %.1f MiB\n",
                empty.distinct, bare.distinct);
    std::printf("  the 100 000 accounts cost %.0f MiB RSS\n", loaded.resident - empty.resident);
    return 0;
}
