// The web banners' own view over the real banner helper: real pages from a web site inside the
// test (its style sheet, background, image and link drawn; a link opening in the browser), the
// placeholder for every page that cannot be shown and in every palette, no scripts, no cookies,
// no other origin contacted, nothing under HOME, banners that are never a tab stop in the
// windows that carry them, and a helper that fails replaced once and then left out.
#include "fence/fence.h"
#include "forms/c.h"
#include "forms/login.h"
#include "forms/main.h"
#include "platform/bannerview.h"
#include "platform/webbrowser.h"
#include "platform/website.h"
#include "tests/fixture.h"
#include "widgets/application.h"

#include <QApplication>
#include <QBuffer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The helper's time limit for each file in this test, so that a site that never answers is
// given up soon; ample for a page that is answered.
constexpr int kShortTimeLimitMs = 2000;
// More style sheets and pictures than a page may ask for (32).
constexpr int kTooManyFiles = 33;

const QColor kPageBackground(0x20, 0x40, 0x80);
const QColor kLogoColour(0x00, 0xc8, 0x00);
const QColor kPromoColour(0xff, 0x80, 0x00);
const QColor kHalfBarColour(0xa0, 0x00, 0xa0);
const QColor kPlaceholderBackground(0xee, 0xf3, 0xf8);

// A web site on 127.0.0.1 inside the test. It answers by full address, so it also stands for
// the maker's host and any other when the program reaches it as its proxy ("GET http://host/
// path"). Unknown addresses get a 404; held ones get no answer until released.
class LoopbackSite : public QObject {
public:
    struct Answer {
        Answer(QByteArray statusLine, QByteArray mediaType, QByteArray content)
            : status(std::move(statusLine)), type(std::move(mediaType)), body(std::move(content))
        {}
        Answer with(const QByteArray& header) &&
        {
            headers << header;
            return std::move(*this);
        }
        Answer withoutLength() &&
        {
            announceLength = false;
            return std::move(*this);
        }
        Answer heldBack() &&
        {
            held = true;
            return std::move(*this);
        }

        QByteArray status;
        QByteArray type;
        QByteArray body;
        QByteArrayList headers;
        bool announceLength = true;
        bool held = false;  // no answer until released
    };

    LoopbackSite()
    {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = server_.nextPendingConnection())
                connect(client, &QTcpSocket::readyRead, this, [this, client] { readRequest(client); });
        });
    }

    quint16 port() const { return server_.serverPort(); }
    QString proxy() const { return u"http://127.0.0.1:%1"_s.arg(port()); }
    // An address on the site itself, reached without the proxy.
    QUrl direct(const QString& path) const { return QUrl(proxy() + QLatin1Char('/') + path); }

    void serve(const QUrl& address, Answer answer) { answers_.insert(address.toString(), std::move(answer)); }
    void serve(const QUrl& address, const QByteArray& type, const QByteArray& body)
    {
        serve(address, Answer("200 OK", type, body));
    }
    void release(const QUrl& address)
    {
        Answer& released = answers_.find(address.toString()).value();
        released.held = false;
        for (QTcpSocket* client : held_.take(address.toString()))
            answer(client, released);
    }
    void clear()
    {
        answers_.clear();
        requests.clear();
        for (const QList<QTcpSocket*>& clients : std::as_const(held_))
            for (QTcpSocket* client : clients)
                client->abort();
        held_.clear();
    }

    QList<QByteArray> requests;  // each request's head, as it came

private:
    void readRequest(QTcpSocket* client)
    {
        QByteArray& head = pending_[client];
        head += client->readAll();
        if (!head.contains("\r\n\r\n"))
            return;
        requests << head;
        const QByteArray target = head.split(' ').value(1);
        QString address = QString::fromLatin1(target);
        if (!target.startsWith("http://"))
            address = u"http://"_s + QString::fromLatin1(headerValue(head, "host")) + address;
        pending_.remove(client);
        const Answer reply = answers_.value(address, Answer("404 Not Found", "text/html", "<p>none</p>"));
        if (reply.held)
            held_[address] << client;
        else
            answer(client, reply);
    }

    static QByteArray headerValue(const QByteArray& head, const QByteArray& name)
    {
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith(name + ':'))
                return line.mid(name.size() + 1).trimmed();
        return QByteArray();
    }

    static void answer(QTcpSocket* client, const Answer& reply)
    {
        QByteArray head = "HTTP/1.1 " + reply.status + "\r\nContent-Type: " + reply.type + "\r\nConnection: close\r\n";
        if (reply.announceLength)
            head += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n";
        for (const QByteArray& header : reply.headers)
            head += header + "\r\n";
        client->write(head + "\r\n" + reply.body);
        client->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QString, Answer> answers_;
    QHash<QTcpSocket*, QByteArray> pending_;
    QHash<QString, QList<QTcpSocket*>> held_;
};

// An address on the maker's host, which the banners reach through the site inside the test.
QUrl onSite(const QByteArray& path) { return Website::page(QString::fromLatin1(path)); }

const QUrl kPage = onSite("banner/page.html");
const QUrl kStyleSheet = onSite("banner/css/banner.css");
const QUrl kLogo = onSite("banner/img/logo.png");

// The page the banners get: the style sheet puts the background, the logo, a half-width bar
// and the link's box at known places.
const QByteArray kPageHtml = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>横幅</title><link rel="stylesheet" href="css/banner.css"></head>
<body><img id="logo" src="img/logo.png"><div id="half"></div>
<a id="promo" href="../promo.html">看看</a><a id="local" href="file:///etc/hostname">本机</a></body></html>)";

const QByteArray kStyleSheetCss = R"(body { margin: 0; background: #204080; }
#logo { position: absolute; left: 10px; top: 10px; }
#half { position: absolute; left: 0; top: 60px; width: 50%; height: 10px; background: #a000a0; }
#promo { position: absolute; left: 300px; top: 10px; width: 80px; height: 40px; background: #ff8000; }
#local { position: absolute; left: 200px; top: 10px; width: 60px; height: 40px; background: #ffffff; }
)";

// A window with a banner along its top and an edit below it, like the login window.
struct BannerWindow {
    QWidget window;
    TWebBrowser* banner = new TWebBrowser(&window);
    QLineEdit* edit = new QLineEdit(&window);

    BannerWindow()
    {
        window.resize(420, 140);
        banner->setGeometry(0, 0, 420, 72);
        edit->move(10, 100);
        window.show();
        edit->setFocus();
    }

    BannerView* view() const { return qobject_cast<BannerView*>(banner->view()); }
    QImage picture() const { return banner->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QColor at(int x, int y) const { return picture().pixelColor(x, y); }

    // Navigates and waits until the page or the placeholder shows, at most as long as the
    // helper is given to answer; tells which.
    bool load(const QUrl& url)
    {
        QSignalSpy finished(view(), &BannerView::loadFinished);
        banner->Navigate(url);
        if (finished.isEmpty() && !finished.wait(int(BannerReplyReader::kReplyBudgetMs))) {
            qWarning("the banner never finished loading");
            return false;
        }
        // A little longer, so that a second report for the same navigation would be seen.
        QTest::qWait(20);
        return finished.size() == 1 && finished.first().first().toBool();
    }
};

// What the placeholder looks like at the banner's size: a page that may not be fetched at all
// shows it at once.
QImage placeholderPicture()
{
    static const QImage picture = [] {
        BannerWindow reference;
        reference.load(QUrl(u"file:///etc/hostname"_s));
        return reference.picture();
    }();
    return picture;
}

// The colour near a banner's lower right corner.
QColor cornerColour(TWebBrowser* banner)
{
    return banner->grab().toImage().pixelColor(banner->width() - 5, banner->height() - 5);
}

// Relative luminance and contrast ratio as the web's accessibility guidelines define them.
double luminance(QColor colour)
{
    const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) + 0.0722 * linear(colour.blueF());
}

double contrast(QColor a, QColor b)
{
    const auto [darker, lighter] = std::minmax({luminance(a), luminance(b)});
    return (lighter + 0.05) / (darker + 0.05);
}

QRect inkBox(const QImage& picture, QColor background)
{
    QRect box;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixelColor(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

// The banner helper the program has started: its child process named mzbanner; 0 when none.
qint64 helperPid()
{
    const QString tasks = u"/proc/%1/task/"_s.arg(QCoreApplication::applicationPid());
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks + task + u"/children"_s);
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& child : children.readAll().split(' ')) {
            QFile name(u"/proc/%1/comm"_s.arg(QString::fromLatin1(child)));
            if (!child.isEmpty() && name.open(QIODevice::ReadOnly) && name.readAll().trimmed() == "mzbanner")
                return child.toLongLong();
        }
    }
    return 0;
}

// The fields after a name in one of a process's files under /proc ("limits", "status").
QByteArrayList procFields(qint64 pid, const char* file, const QByteArray& name)
{
    QFile lines(u"/proc/%1/%2"_s.arg(pid).arg(QLatin1String(file)));
    if (!lines.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : lines.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(name.size()).simplified().split(' ');
    return {};
}

double peakMiB(qint64 pid) { return procFields(pid, "status", "VmHWM:").value(0).toDouble() / 1024; }

// A progressive JPEG whose last scan is repeated until it has that many: each scan makes the
// decoder go over the whole picture once more.
QByteArray jpegOfScans(int scans)
{
    QImage image(1024, 1024, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x ^ y) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    const QByteArray marker("\xff\xda");
    const qsizetype lastScan = bytes.lastIndexOf(marker);
    const QByteArray scan = bytes.mid(lastScan, bytes.size() - 2 - lastScan);
    return bytes.left(bytes.size() - 2) + scan.repeated(scans - int(bytes.count(marker)) + 1) + "\xff\xd9";
}

}  // namespace

Q_DECLARE_METATYPE(LoopbackSite::Answer)

class TestBanner : public QObject {
    Q_OBJECT

    LoopbackSite site_;
    QList<QUrl> opened_;

    void servePage()
    {
        site_.serve(kPage, "text/html; charset=utf-8", kPageHtml);
        site_.serve(kStyleSheet, "text/css", kStyleSheetCss);
        site_.serve(kLogo, "image/png", pngOf(QSize(40, 40), kLogoColour));
    }

    void expectPlaceholder(BannerWindow& window, const QUrl& url)
    {
        QVERIFY2(!window.load(url), qPrintable(url.toString()));
        QCOMPARE(window.picture(), placeholderPicture());
        // The window goes on as before: its edit keeps the focus and takes keys.
        QTest::keyClicks(window.edit, u"abc"_s);
        QCOMPARE(window.edit->text(), u"abc"_s);
        QCOMPARE(window.window.focusWidget(), static_cast<QWidget*>(window.edit));
    }

    // Tab goes round the window and never into its banner; a click on the banner leaves the
    // focus where it was.
    static void expectNoStopInBanner(QWidget* window, TWebBrowser* banner)
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QWidget* first = QApplication::focusWidget();
        QVERIFY(first);
        for (int i = 0; i < 30; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            QVERIFY2(focused && !banner->isAncestorOf(focused) && focused != banner,
                     qPrintable(u"Tab %1 landed in the banner"_s.arg(i + 1)));
        }
        QWidget* before = QApplication::focusWidget();
        QTest::mouseClick(banner->view(), Qt::LeftButton, {}, banner->view()->rect().center());
        QCOMPARE(QApplication::focusWidget(), before);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (Fence::landlockAbi() == 0)
            QSKIP("This kernel has no Landlock: the helper fetches no page (test_fence shows it).");
        initTestResources();
        Application::setTitle(u"墨柘密码本"_s);
        // Every banner address reaches the site inside the test: it is their proxy.
        qputenv("http_proxy", site_.proxy().toLatin1());
        qunsetenv("no_proxy");
        Website::setBrowserOpenerForTesting([this](const QUrl& url) { opened_ << url; });
        BannerHelper::setProgramForTesting(QString::fromUtf8(MZ_BANNER_PATH), {QString::number(kShortTimeLimitMs)});
    }

    void init()
    {
        site_.clear();
        opened_.clear();
    }

    void drawsThePageWithItsStyleSheetImageAndLink()
    {
        servePage();
        BannerWindow window;
        QVERIFY(window.load(kPage));
        QCOMPARE(window.at(5, 5), kPageBackground);
        QCOMPARE(window.at(30, 30), kLogoColour);
        QCOMPARE(window.at(340, 30), kPromoColour);
        QCOMPARE(window.at(100, 65), kHalfBarColour);
        QCOMPARE(window.at(300, 65), kPageBackground);
    }

    void aClickOnALinkOpensItInTheBrowser()
    {
        servePage();
        BannerWindow window;
        QVERIFY(window.load(kPage));
        QTest::mouseMove(window.view(), QPoint(340, 30));
        QCOMPARE(window.view()->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(window.view(), Qt::LeftButton, {}, QPoint(340, 30));
        QCOMPARE(opened_, QList<QUrl>{onSite("promo.html")});
        // A link to a local file is never handed to the desktop.
        QTest::mouseClick(window.view(), Qt::LeftButton, {}, QPoint(230, 30));
        QCOMPARE(opened_.size(), 1);
        // Nor is a click beside the links.
        QTest::mouseClick(window.view(), Qt::LeftButton, {}, QPoint(150, 30));
        QCOMPARE(opened_.size(), 1);
    }

    void repaintsWhenTheImageArrives()
    {
        servePage();
        site_.serve(kLogo, LoopbackSite::Answer("200 OK", "image/png", pngOf(QSize(40, 40), kLogoColour)).heldBack());
        BannerWindow window;
        QSignalSpy finished(window.view(), &BannerView::loadFinished);
        window.banner->Navigate(kPage);
        QTRY_COMPARE(window.at(5, 5), kPageBackground);
        QCOMPARE(window.at(30, 30), kPageBackground);
        QVERIFY(finished.isEmpty());

        int paints = 0;
        struct PaintCounter : QObject {
            int* count;
            explicit PaintCounter(int* c) : count(c) {}
            bool eventFilter(QObject*, QEvent* event) override
            {
                *count += event->type() == QEvent::Paint;
                return false;
            }
        } counter(&paints);
        window.view()->installEventFilter(&counter);
        site_.release(kLogo);
        QVERIFY(finished.wait(5000));
        QTRY_VERIFY(paints > 0);
        QCOMPARE(finished.first().first().toBool(), true);
        QCOMPARE(window.at(30, 30), kLogoColour);
    }

    void drawsPicturesWrittenIntoThePage()
    {
        site_.serve(onSite("inline.html"), "text/html",
                    "<body style=\"margin:0\"><img src=\"data:image/png;base64,"
                        + pngOf(QSize(30, 30), kLogoColour).toBase64() + "\"></body>");
        BannerWindow window;
        QVERIFY(window.load(onSite("inline.html")));
        QCOMPARE(window.at(15, 15), kLogoColour);
    }

    // Pages that once took gigabytes are drawn within bounds: a table span is clamped, and a
    // picture is drawn at any size without a scaled copy.
    void drawsWhatWouldHaveTakenGigabytes_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::newRow("a cell spanning 100 000 000 columns") << QByteArray(
            "<table style=\"border-spacing:0\"><tr><td colspan=\"100000000\" style=\"padding:0\">"
            "<div style=\"width:40px;height:40px;background:#00c800\"></div></td></tr></table>");
        QTest::newRow("a 4 x 4 picture drawn 30000 x 30000")
            << QByteArray("<img src=\"/dot.png\" width=\"30000\" height=\"30000\">");
    }

    void drawsWhatWouldHaveTakenGigabytes()
    {
        QFETCH(QByteArray, html);
        site_.serve(onSite("dot.png"), "image/png", pngOf(QSize(4, 4), kLogoColour));
        site_.serve(onSite("large.html"), "text/html", "<body style=\"margin:0\">" + html + "</body>");
        BannerWindow window;
        QVERIFY(window.load(onSite("large.html")));
        QCOMPARE(window.at(20, 20), kLogoColour);
    }

    void laysThePageOutAgainWhenResized()
    {
        servePage();
        BannerWindow window;
        QVERIFY(window.load(kPage));
        QCOMPARE(window.at(150, 65), kHalfBarColour);
        // The picture at the new width comes later; the one before shows meanwhile.
        window.banner->resize(200, 72);
        QTRY_COMPARE(window.view()->width(), 200);
        QCOMPARE(window.at(50, 65), kHalfBarColour);
        QTRY_COMPARE(window.at(150, 65), kPageBackground);
        QCOMPARE(window.at(50, 65), kHalfBarColour);
    }

    void followsRedirectsOnTheSameHostOnly()
    {
        servePage();
        site_.serve(onSite("old.html"),
                    LoopbackSite::Answer("301 Moved Permanently", "text/html", "").with("Location: /banner/page.html"));
        BannerWindow window;
        QVERIFY(window.load(onSite("old.html")));
        // Relative addresses in the page resolve against where it was found.
        QCOMPARE(window.at(30, 30), kLogoColour);

        const QUrl elsewhere(u"http://other.example/page.html"_s);
        site_.serve(elsewhere, "text/html", "<p>elsewhere</p>");
        site_.serve(onSite("away.html"),
                    LoopbackSite::Answer("302 Found", "text/html", "").with("Location: " + elsewhere.toEncoded()));
        expectPlaceholder(window, onSite("away.html"));
        QVERIFY(!site_.requests.join().contains("other.example"));
    }

    void placeholderForEveryPageThatCannotBeShown_data()
    {
        using Answer = LoopbackSite::Answer;
        QTest::addColumn<QUrl>("address");  // on the site unless given here
        QTest::addColumn<Answer>("answer");
        const QByteArray html = "text/html";
        const QByteArray page = "<html><body style=\"background:#ff0000\"><p>page</p></body></html>";
        const QByteArray over(2 * 1024 * 1024 + 1, 'x');  // over the 2 MiB a file may have
        QByteArray manyImages = "<body>";
        for (int i = 0; i < kTooManyFiles; ++i)
            manyImages += "<img src=\"/dot" + QByteArray::number(i) + ".png\">";
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        const QUrl refusing(u"http://127.0.0.1:%1/page.html"_s.arg(closed.serverPort()));

        QTest::newRow("connection refused") << refusing << Answer("200 OK", html, page);
        QTest::newRow("no answer within the time limit") << QUrl() << Answer("200 OK", html, page).heldBack();
        QTest::newRow("404") << QUrl() << Answer("404 Not Found", html, page);
        QTest::newRow("500") << QUrl() << Answer("500 Internal Server Error", html, page);
        QTest::newRow("a status that is not success") << QUrl() << Answer("300 Multiple Choices", html, page);
        QTest::newRow("over the size limit, announced") << QUrl() << Answer("200 OK", html, over);
        QTest::newRow("over the size limit, unannounced") << QUrl() << Answer("200 OK", html, over).withoutLength();
        QTest::newRow("not HTML") << QUrl() << Answer("200 OK", "text/plain", page);
        QTest::newRow("malformed HTML") << QUrl()
                                        << Answer("200 OK", "text/html; charset=utf-8",
                                                  "<html><body><p>\xff\xfe\xc3(</b></html");
        QTest::newRow("NUL bytes in the page")
            << QUrl() << Answer("200 OK", html, QByteArray("<p>a</p>\0<p>b</p>", 17));
        QTest::newRow("unknown encoding") << QUrl() << Answer("200 OK", "text/html; charset=x-none", page);
        QTest::newRow("image that is not an image") << QUrl() << Answer("200 OK", html, "<img src=\"/broken.png\">");
        QTest::newRow("image too large to unpack") << QUrl() << Answer("200 OK", html, "<img src=\"/huge.png\">");
        QTest::newRow("style sheet missing")
            << QUrl() << Answer("200 OK", html, "<link rel=\"stylesheet\" href=\"/gone.css\"><p>x</p>");
        QTest::newRow("too many files") << QUrl() << Answer("200 OK", html, manyImages);
        QTest::newRow("pictures over the page's pixels")
            << QUrl() << Answer("200 OK", html, "<img src=\"/big1.png\"><img src=\"/big2.png\">");
        QTest::newRow("nested deeper than a banner needs")
            << QUrl() << Answer("200 OK", html, QByteArray("<div>").repeated(65));
        QTest::newRow("more elements than a banner needs")
            << QUrl() << Answer("200 OK", html, QByteArray("<span>a</span>").repeated(2100));
        QTest::newRow("a picture from another host")
            << QUrl() << Answer("200 OK", html, "<img src=\"http://other.example/logo.png\">");
        QTest::newRow("a style sheet from another port")
            << QUrl() << Answer("200 OK", html, "<link rel=\"stylesheet\" href=\"http://mozhe.example:8080/x.css\">");
        QTest::newRow("a file on this computer") << QUrl(u"file:///etc/hostname"_s) << Answer("200 OK", html, page);
    }

    void placeholderForEveryPageThatCannotBeShown()
    {
        QFETCH(QUrl, address);
        QFETCH(LoopbackSite::Answer, answer);
        site_.serve(onSite("broken.png"), "image/png", "this is not a picture");
        site_.serve(onSite("huge.png"), "image/png", pngOf(QSize(5000, 4000), Qt::white, QImage::Format_Mono));
        for (int i = 0; i < kTooManyFiles; ++i)
            site_.serve(onSite("dot" + QByteArray::number(i) + ".png"), "image/png", pngOf(QSize(2, 2), Qt::red));
        // Each is within the 4096 x 4096 pixels of one picture, together they are over.
        for (const char* big : {"big1.png", "big2.png"})
            site_.serve(onSite(big), "image/png", pngOf(QSize(3000, 3000), Qt::white, QImage::Format_Mono));
        site_.serve(QUrl(u"http://other.example/logo.png"_s), "image/png", pngOf(QSize(2, 2), Qt::red));
        site_.serve(QUrl(u"http://mozhe.example:8080/x.css"_s), "text/css", "p { color: red }");
        if (address.isEmpty()) {
            address = onSite("page.html");
            site_.serve(address, answer);
        }
        BannerWindow window;
        expectPlaceholder(window, address);
        // No other origin is ever contacted.
        const QByteArray asked = site_.requests.join();
        QVERIFY2(!asked.contains("other.example") && !asked.contains(":8080"), asked.constData());
    }

    void readsPagesInTheEncodingTheyName()
    {
        const QByteArray gbkTitle = "\xc4\xab\xd5\xe1\xc3\xdc\xc2\xeb\xb1\xbe";  // 墨柘密码本
        site_.serve(onSite("header.html"), "text/html; charset=GBK", "<p>" + gbkTitle + "</p>");
        // The style sheet names no encoding: it is read in its page's.
        site_.serve(onSite("meta.html"), "text/html",
                    "<meta charset=\"gb2312\"><link rel=\"stylesheet\" href=\"gbk.css\"><p>" + gbkTitle + "</p>");
        site_.serve(onSite("gbk.css"), "text/css",
                    "body, p { margin: 0 } p { font-family: \"" + gbkTitle + "\"; background: #204080 }");
        BannerWindow window;
        QVERIFY(window.load(onSite("header.html")));
        QVERIFY(window.load(onSite("meta.html")));
        QCOMPARE(window.at(400, 5), kPageBackground);
    }

    // Broken markup is laid out the way browsers mend it; none of it may harm the program.
    void drawsTagSoupWithoutHarm()
    {
        const QByteArrayList pieces = {
            "<table><tr><td>",
            "</td>",
            "<div style=\"float:left;width:30%\">",
            "</div>",
            "<p>",
            "<b><i>",
            "</b>",
            "<ul><li>",
            "</ol>",
            "<img>",
            "<img src=\"\">",
            "<a href>",
            "<a href=\"javascript:x\">",
            "<span style=\"position:absolute;left:-5px;top:90%;overflow:hidden\">",
            "<br clear=all>",
            "文字",
            "<h1>",
            "<style>p{border:3px dashed red;border-radius:9px}</style>",
            "<pre>",
            "&nbsp;&#0;&#xFFFF;",
            "<select><option>",
            "<td colspan=0 rowspan=-1>",
            "<font size=+9>",
            "<li style=\"list-style:square\">",
        };
        BannerWindow window;
        for (int round = 0; round < 40; ++round) {
            QByteArray soup;
            for (int i = 0; i < 12; ++i)
                soup += pieces[(round * 7 + i * 13 + i * i) % pieces.size()];
            site_.serve(onSite("soup.html"), "text/html", soup);
            QVERIFY2(window.load(onSite("soup.html")), soup.constData());
            window.picture();
            QTest::mouseClick(window.view(), Qt::LeftButton, {}, QPoint(5 + round * 10, 20));
        }
        QVERIFY(opened_.isEmpty());
        QTest::keyClicks(window.edit, u"ok"_s);
        QCOMPARE(window.edit->text(), u"ok"_s);
    }

    void placeholderIsQuietCentredAndFollowsThePalette_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::addColumn<bool>("dark");
        QPalette dark;
        for (const auto& [role, colour] :
             {std::pair{QPalette::Window, 0x202124}, std::pair{QPalette::WindowText, 0xe8eaed},
              std::pair{QPalette::Base, 0x2b2c30}, std::pair{QPalette::Text, 0xe8eaed}})
            dark.setColor(role, QColor::fromRgb(colour));
        QTest::newRow("light") << QApplication::palette() << false;
        QTest::newRow("dark") << dark << true;
    }

    void placeholderIsQuietCentredAndFollowsThePalette()
    {
        QFETCH(QPalette, palette);
        QFETCH(bool, dark);
        BannerWindow window;
        window.banner->setPalette(palette);
        QVERIFY(!window.load(QUrl(u"file:///etc/hostname"_s)));
        const QImage picture = window.picture();
        const QColor background = picture.pixelColor(0, 0);
        QCOMPARE(picture.pixelColor(419, 71), background);
        if (dark)
            QVERIFY2(luminance(background) < 0.1, qPrintable(background.name()));
        else
            QCOMPARE(background, kPlaceholderBackground);
        const QRect ink = inkBox(picture, background);
        QVERIFY(ink.width() > 60 && ink.height() > 10);
        QVERIFY2(qAbs(ink.center().x() - 210) <= 3 && qAbs(ink.center().y() - 36) <= 3,
                 qPrintable(u"the name is at %1,%2"_s.arg(ink.center().x()).arg(ink.center().y())));
        // The name's solid strokes stand out from the background enough to read.
        QColor text = background;
        for (int y = ink.top(); y <= ink.bottom(); ++y)
            for (int x = ink.left(); x <= ink.right(); ++x)
                if (contrast(picture.pixelColor(x, y), background) > contrast(text, background))
                    text = picture.pixelColor(x, y);
        QVERIFY2(contrast(text, background) >= 4.5, qPrintable(text.name() + QLatin1Char(' ') + background.name()));
        QCOMPARE(luminance(text) > luminance(background), dark);

        // While the page is on its way only the background shows, without the name.
        const QUrl slow = onSite("slow.html");
        site_.serve(slow, LoopbackSite::Answer("200 OK", "text/html", "<p>late</p>").heldBack());
        window.banner->Navigate(slow);
        QVERIFY(inkBox(window.picture(), background).isEmpty());
    }

    void aScriptInThePageChangesNothing()
    {
        const QByteArray plain =
            "<html><body style=\"margin:0;background:#ffffff\"><div style=\"height:20px;"
            "background:#204080\"></div>";
        const QByteArray script =
            "<script>document.body.style.background = '#ff0000';"
            "document.write('<p style=\"font-size:40px\">written by a script</p>');</script>"
            "<script src=\"/evil.js\"></script>";
        site_.serve(onSite("plain.html"), "text/html", plain + "</body></html>");
        site_.serve(onSite("script.html"), "text/html", plain + script + "</body></html>");
        site_.serve(onSite("evil.js"), "text/javascript", "document.body.innerHTML = ''");
        BannerWindow window;
        QVERIFY(window.load(onSite("plain.html")));
        const QImage withoutScript = window.picture();
        QVERIFY(window.load(onSite("script.html")));
        QCOMPARE(window.picture(), withoutScript);
        QVERIFY(!site_.requests.join().contains("evil.js"));
    }

    void keepsNoCookies()
    {
        servePage();
        site_.serve(kPage,
                    LoopbackSite::Answer("200 OK", "text/html", kPageHtml).with("Set-Cookie: visitor=42; Path=/"));
        BannerWindow window;
        QVERIFY(window.load(kPage));
        QVERIFY(window.load(kPage));
        QCOMPARE(site_.requests.size(), 6);
        QVERIFY(!site_.requests.join().toLower().contains("cookie:"));
    }

    // The helper the program starts runs within its limits, with no new privileges and under
    // its system call filter: a loosened limit fails here.
    void theHelperRunsWithinItsLimits()
    {
        servePage();
        BannerWindow window;
        QVERIFY(window.load(kPage));
        const qint64 helper = helperPid();
        QVERIFY(helper > 0);
        const struct {
            const char* file;
            QByteArray name;
            QByteArrayList fields;
        } expected[] = {
            {"limits", "Max address space", {"536870912", "536870912"}},
            {"limits", "Max cpu time", {"600", "600"}},
            {"limits", "Max open files", {"64", "64"}},
            {"limits", "Max core file size", {"0", "0"}},
            {"status", "NoNewPrivs:", {"1"}},
            {"status", "Seccomp:", {"2"}},
            {"status", "CapEff:", {"0000000000000000"}},
            {"status", "CapBnd:", {"0000000000000000"}},
        };
        for (const auto& [file, name, fields] : expected) {
            const QByteArrayList found = procFields(helper, file, name);
            QVERIFY2(found.mid(0, fields.size()) == fields, (name + ": " + found.join(' ')).constData());
        }
    }

    // Pages that once crashed, stalled or bloated the helper cost at most their banner: shown
    // or the placeholder within 5 seconds, by the same helper, and a link without a host never
    // reaches the browser.
    void hostilePagesCostOnlyTheirBanner_data()
    {
        QTest::addColumn<LoopbackSite::Answer>("page");
        QTest::addColumn<bool>("shown");
        const QByteArray html = "text/html";
        LoopbackSite::Answer flood("200 OK", html, "<p>flooded</p>");
        for (int i = 0; i < 5000; ++i)
            flood = std::move(flood).with("X-Flood-" + QByteArray::number(i) + ": " + QByteArray(1000, 'f'));
        QTest::newRow("a style sheet that imports itself")
            << LoopbackSite::Answer("200 OK", html, "<link rel=\"stylesheet\" href=\"/self.css\"><p>x</p>") << true;
        QTest::newRow("style sheets that import each other")
            << LoopbackSite::Answer("200 OK", html, "<link rel=\"stylesheet\" href=\"/a.css\"><p>x</p>") << true;
        QTest::newRow("a progressive JPEG of 300 scans")
            << LoopbackSite::Answer("200 OK", html, "<img src=\"/scans.jpg\">") << false;
        QTest::newRow("5 000 header lines of 1 KB") << flood << false;
        QTest::newRow("links without a host")
            << LoopbackSite::Answer("200 OK", html,
                                    "<body style=\"margin:0\"><a href=\"http:/etc/passwd\" style=\"display:block;"
                                    "height:20px\">a</a><a href=\"http://\" style=\"display:block;height:20px\">b</a>"
                                    "<a href=\"https:\" style=\"display:block;height:20px\">c</a></body>")
            << true;
    }

    void hostilePagesCostOnlyTheirBanner()
    {
        QFETCH(LoopbackSite::Answer, page);
        QFETCH(bool, shown);
        servePage();
        site_.serve(onSite("self.css"), "text/css", "@import url(self.css); body { background: #204080 }");
        site_.serve(onSite("a.css"), "text/css", "@import url(b.css); body { background: #204080 }");
        site_.serve(onSite("b.css"), "text/css", "@import \"a.css\"; p { color: white }");
        site_.serve(onSite("scans.jpg"), "image/jpeg", jpegOfScans(300));
        site_.serve(onSite("hostile.html"), page);
        BannerWindow window;
        QVERIFY(window.load(kPage));
        const qint64 helper = helperPid();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(window.load(onSite("hostile.html")), shown);
        const qint64 tookMs = clock.elapsed();
        qInfo("%s in %lld ms, helper's peak %.0f MiB", shown ? "shown" : "placeholder", tookMs, peakMiB(helper));
        QVERIFY2(tookMs < 5000, qPrintable(QString::number(tookMs)));
        QCOMPARE(helperPid(), helper);
        for (int y = 5; y < 72; y += 10)
            QTest::mouseClick(window.view(), Qt::LeftButton, {}, QPoint(50, y));
        QVERIFY(opened_.isEmpty());
    }

    void windowsShowTheirBannerPagesAndNeverFocusThem()
    {
        for (const char* path : {"SoftIndex.html", "Card_M.html", "Card_C.html"})
            site_.serve(Website::page(QLatin1String(path)), "text/html",
                        "<body style=\"margin:0;background:#204080\"><a href=\"/x.html\">x</a></body>");
        TestDatabase db;
        // The windows as start-up makes them, ended with the test however it ends.
        struct Windows {
            Windows()
            {
                frmMain = new TfrmMain;
                frmLogin = new TfrmLogin;
            }
            ~Windows()
            {
                delete frmLogin;
                frmLogin = nullptr;
                delete frmMain;
                frmMain = nullptr;
            }
        } windows;

        frmLogin->show();
        QTRY_COMPARE(cornerColour(frmLogin->ui.WebBrowser1), kPageBackground);
        expectNoStopInBanner(frmLogin, frmLogin->ui.WebBrowser1);
        if (QTest::currentTestFailed())
            return;
        frmLogin->hide();

        frmMain->show();
        QTRY_COMPARE(cornerColour(frmMain->ui.WebBrowser1), kPageBackground);
        frmMain->ui.Edit1->setFocus();
        expectNoStopInBanner(frmMain, frmMain->ui.WebBrowser1);
        if (QTest::currentTestFailed())
            return;

        auto* editor = new TfrmC(frmMain);
        editor->show();
        QTRY_COMPARE(cornerColour(editor->ui.WebBrowser1), kPageBackground);
        expectNoStopInBanner(editor, editor->ui.WebBrowser1);
    }

    // Next to last, as it leaves the program without a helper: a page whose style keeps the
    // helper drawing past its processor time ends it, every banner shows the placeholder, and
    // the program goes on. The next banner starts a second helper; one that answers garbage is
    // ended too, and no third is started.
    void aHelperThatFailsIsReplacedOnceThenLeftOut()
    {
        const QByteArray rule = "*" + QByteArray(" *").repeated(29) + " { color: red }\n";
        site_.serve(onSite("slow.css"), "text/css", rule.repeated(3000));
        site_.serve(onSite("slow.html"), "text/html",
                    "<link rel=\"stylesheet\" href=\"slow.css\">" + QByteArray("<div>").repeated(60) + "x");
        servePage();
        BannerWindow shown;
        QVERIFY(shown.load(kPage));
        BannerWindow hostile;
        expectPlaceholder(hostile, onSite("slow.html"));
        QCOMPARE(shown.picture(), placeholderPicture());

        QTemporaryDir dir;
        const QString starts = dir.filePath(u"starts"_s);
        QFile script(dir.filePath(u"helper.sh"_s));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho started >> '" + starts.toUtf8() + "'\nprintf 'no reply at all, only garbage'\n"
                     "exec /bin/sleep 30\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        BannerHelper::setProgramForTesting(script.fileName());
        BannerWindow second;
        expectPlaceholder(second, kPage);
        BannerWindow third;
        expectPlaceholder(third, kPage);
        QFile started(starts);
        QVERIFY(started.open(QIODevice::ReadOnly));
        QCOMPARE(started.readAll(), QByteArray("started\n"));
    }

    // Last: everything before has run with a home folder of the test's own.
    void nothingWrittenUnderHome()
    {
        QDirIterator files(qEnvironmentVariable("HOME"), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                           QDirIterator::Subdirectories);
        QStringList written;
        while (files.hasNext())
            written << files.next();
        QVERIFY2(written.isEmpty(), qPrintable(written.join(QLatin1Char('\n'))));
    }
};

int main(int argc, char** argv)
{
    const TemporaryHome home;
    QApplication app(argc, argv);
    TestBanner test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_banner.moc"
