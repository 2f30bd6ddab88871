// The real program against hostile banner pages. Each page of the table is served as all three
// banners, through the proxy, to a copy of the program of its own; the copies run side by side
// and share the wait. For each: the login window takes keys at once, the login reaches the main
// window, the account editor opens and closes, the program is alive and answering 25 s after
// its start, its own process peaks under 200 MiB, and no other host or port is asked for
// anything. A normal page has its style sheet and picture fetched and its script never.
#include "fence/fence.h"
#include "platform/website.h"
#include "tests/driver/remote.h"
#include "tests/fixture.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Far above what a responsive window takes (tens of milliseconds), far below what a window
// frozen by a page took (a minute, or for ever): a miss means the window waited for a page.
constexpr int kPromptMs = 5000;
constexpr int kAliveAfterMs = 25000;
constexpr double kPeakLimitMiB = 200;

const QStringList kBannerPages = {u"SoftIndex.html"_s, u"Card_M.html"_s, u"Card_C.html"_s};

struct File {
    QString path;  // on the maker's host, or a whole address
    QByteArray type;
    QByteArray body;
};

struct HostilePage {
    const char* name;
    QByteArray html;
    QList<File> files;
    QStringList mustAsk;  // parts of the addresses asked for, besides the banner pages
    QStringList neverAsk;
};

QList<HostilePage> hostilePages()
{
    const QByteArray starRule = "*" + QByteArray(" *").repeated(29) + " { color: red }\n";
    QByteArray manyPictures;
    QList<File> pictures;
    for (int i = 0; i < 31; ++i) {
        manyPictures += "<img src=\"big" + QByteArray::number(i) + ".png\">";
        pictures << File{u"big%1.png"_s.arg(i), "image/png", pngOf(QSize(4096, 4096), Qt::white, QImage::Format_Mono)};
    }
    return {
        {"100 000 nested divs", QByteArray("<div>").repeated(100000), {}, {}, {}},
        {"10 000 nested divs", QByteArray("<div>").repeated(10000), {}, {}, {}},
        {"100 000 spans", QByteArray("<span>a</span>").repeated(100000), {}, {}, {}},
        {"a cell spanning 100 000 000 columns", "<table><tr><td colspan=\"100000000\">x</td></tr></table>", {}, {}, {}},
        {"a 4 x 4 picture drawn 30000 x 30000",
         "<img src=\"dot.png\" width=\"30000\" height=\"30000\">",
         {{u"dot.png"_s, "image/png", pngOf(QSize(4, 4), Qt::white, QImage::Format_Mono)}},
         {u"dot.png"_s},
         {}},
        {"31 pictures of 4096 x 4096", manyPictures, pictures, {u"big0.png"_s}, {}},
        {"3 000 rules of 30 * over 2 000 nested divs",
         "<style>" + starRule.repeated(3000) + "</style>" + QByteArray("<div>").repeated(2000) + "x",
         {},
         {},
         {}},
        {"files on another host and another port",
         "<link rel=\"stylesheet\" href=\"http://other.example/s.css\"><img src=\"http://mozhe.example:8080/a.png\">"
         "<img src=\"https://other.example/b.png\"><p>x</p>",
         {{u"http://other.example/s.css"_s, "text/css", "p { color: red }"},
          {u"http://mozhe.example:8080/a.png"_s, "image/png", pngOf(QSize(2, 2), Qt::white, QImage::Format_Mono)}},
         {},
         {u"other.example"_s, u":8080"_s}},
        {"a normal page with a script",
         "<link rel=\"stylesheet\" href=\"banner.css\"><img src=\"logo.png\"><a href=\"/promo.html\">看看</a>"
         "<script src=\"evil.js\"></script><script>document.write('<img src=\"written.png\">')</script>",
         {{u"banner.css"_s, "text/css", "body { margin: 0; background: #204080 }"},
          {u"logo.png"_s, "image/png", pngOf(QSize(40, 40), Qt::white, QImage::Format_Mono)},
          {u"evil.js"_s, "text/javascript", "document.body.innerHTML = ''"}},
         {u"banner.css"_s, u"logo.png"_s},
         {u"evil.js"_s, u"written.png"_s}},
    };
}

QString address(const QString& path) { return path.startsWith(u"http"_s) ? path : Website::page(path).toString(); }

// One copy of the program with a site of its own serving one hostile page.
struct Copy {
    explicit Copy(const HostilePage& served) : page(served)
    {
        for (const QString& banner : kBannerPages)
            site.serve(address(banner), "text/html", page.html);
        for (const File& file : page.files)
            site.serve(address(file.path), file.type, file.body);
        program =
            std::make_unique<RemoteProgram>(copy, RemoteProgram::Options{{site.proxyEnvironment()}, {}, {}, true});
    }

    bool asked(const QString& part) const { return site.requestedPaths().join(u' ').contains(part); }

    const HostilePage& page;
    ProgramCopy copy;
    HeldSite site;
    std::unique_ptr<RemoteProgram> program;
    QElapsedTimer started;
};

// Waits until the condition holds; how long that took, or -1 past the limit.
qint64 timeUntil(RemoteProgram& program, const std::function<bool()>& condition, int limitMs)
{
    QElapsedTimer timer;
    timer.start();
    return program.waitUntil(condition, limitMs) ? timer.elapsed() : -1;
}

}  // namespace

class ProgramBannersTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        if (Fence::landlockAbi() == 0)
            QSKIP("This kernel has no Landlock: the helper fetches no page (test_fence shows it).");
    }

    void hostilePagesCostOnlyTheirBanners()
    {
        const QList<HostilePage> pages = hostilePages();
        std::vector<std::unique_ptr<Copy>> copies;
        for (const HostilePage& page : pages)
            copies.push_back(std::make_unique<Copy>(page));
        for (const auto& copy : copies) {
            copy->started.start();
            copy->program->start();
        }

        for (const auto& copy : copies) {
            RemoteProgram& program = *copy->program;
            const QByteArray name = copy->page.name;
            program.waitVisible(u"frmLogin/Edit1"_s);
            program.keys(u"adm"_s);
            const qint64 keysMs = timeUntil(
                program, [&] { return program.text(u"frmLogin/Edit1"_s) == u"adm"_s; }, kPromptMs);
            QVERIFY2(keysMs >= 0, (name + ": the login window did not take keys").constData());
            // The helper has the page in hand while the user logs in and opens the editor.
            QVERIFY2(program.waitUntil([&] { return copy->asked(kBannerPages[0]); }),
                     (name + ": no banner asked for").constData());
            program.keys(u"in"_s);
            program.click(u"frmLogin/BitBtn1"_s);
            const qint64 loginMs = timeUntil(
                program, [&] { return program.visible(u"frmMain/DBGrid1"_s); }, kPromptMs);
            QVERIFY2(loginMs >= 0, (name + ": the main window did not come").constData());
            program.click(u"frmMain/SpeedButton1"_s);
            QVERIFY2(timeUntil(
                         program, [&] { return program.visible(u"frmC/Edit1"_s); }, kPromptMs)
                         >= 0,
                     (name + ": the editor did not open").constData());
            QVERIFY2(program.waitUntil([&] { return copy->asked(kBannerPages[2]); }),
                     (name + ": no editor banner asked for").constData());
            program.typeInto(u"frmC/Edit1"_s, u"typed while the banner loads"_s);
            QCOMPARE(program.text(u"frmC/Edit1"_s), u"typed while the banner loads"_s);
            program.click(u"frmC/BitBtn2"_s);
            QVERIFY2(timeUntil(
                         program, [&] { return !program.visible(u"frmC/Edit1"_s); }, kPromptMs)
                         >= 0,
                     (name + ": the editor did not close").constData());
            qInfo("%s: keys shown after %lld ms, main window %lld ms after the login click", name.constData(), keysMs,
                  loginMs);
        }

        for (const auto& copy : copies)
            QThread::msleep(std::max<qint64>(0, kAliveAfterMs - copy->started.elapsed()));
        for (const auto& copy : copies) {
            RemoteProgram& program = *copy->program;
            const QByteArray name = copy->page.name;
            QVERIFY2(program.visible(u"frmMain/DBGrid1"_s), (name + ": the program is not alive").constData());
            const double peak = processMemoryMiB(program.pid(), "status", "VmHWM");
            qInfo("%s: alive after %lld ms, peak %.0f MiB", name.constData(), copy->started.elapsed(), peak);
            QVERIFY2(peak > 0 && peak < kPeakLimitMiB, (name + ": peak " + QByteArray::number(peak)).constData());
            const QByteArray asked = copy->site.requestedPaths().join(u' ').toUtf8();
            for (const QString& part : kBannerPages + copy->page.mustAsk)
                QVERIFY2(copy->asked(part), (name + ": never asked for " + part.toUtf8() + " in " + asked).constData());
            for (const QString& part : copy->page.neverAsk + QStringList{u"other.example"_s, u":8080"_s})
                QVERIFY2(!copy->asked(part), (name + ": asked for " + part.toUtf8() + " in " + asked).constData());
        }
    }
};

QTEST_GUILESS_MAIN(ProgramBannersTest)
#include "test_program_banners.moc"
