// Where the windows and boxes appear on a real X display: their outer size, frame included, and
// their centring, with no window manager, under openbox, and under openbox asked nothing before
// the windows appear. The test runs its own Xvfb and openbox and reads every position back
// from the X server.
#include "forms/c.h"
#include "forms/login.h"
#include "forms/main.h"
#include "forms/p.h"
#include "platform/windowframe.h"
#include "tests/fixture.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdlib>
#include <functional>
#include <memory>
#include <xcb/xcb.h>

using namespace Qt::StringLiterals;

namespace {

enum class Desktop { Bare, Framed, FramedUnannounced };

xcb_connection_t* x11() { return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection(); }

template <typename T>
std::unique_ptr<T, decltype(&std::free)> reply(T* value)
{
    return {value, &std::free};
}

// A window as the X server has it: the frame the window manager put it in (the window itself
// when nothing framed it), and its own client area.
struct OnScreen {
    QRect outer;
    QRect client;
};

OnScreen onScreen(xcb_window_t window)
{
    xcb_connection_t* c = x11();
    xcb_window_t top = window;
    for (;;) {
        const auto tree = reply(xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr));
        if (!tree || tree->parent == tree->root)
            break;
        top = tree->parent;
    }
    const auto frame = reply(xcb_get_geometry_reply(c, xcb_get_geometry(c, top), nullptr));
    const auto client = reply(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    const auto at = reply(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, frame ? frame->root : 0, 0, 0), nullptr));
    if (!frame || !client || !at)
        return {};
    const int border = frame->border_width;
    return {QRect(frame->x, frame->y, frame->width + 2 * border, frame->height + 2 * border),
            QRect(at->dst_x, at->dst_y, client->width, client->height)};
}

OnScreen onScreen(QWidget* window) { return onScreen(xcb_window_t(window->winId())); }

QRect desktop() { return QGuiApplication::primaryScreen()->availableGeometry(); }

// Empty when the rectangle has this size and centre, within a pixel; else what is off.
QString offBy(const QRect& outer, QSize size, QPointF centre)
{
    const QPointF at = QRectF(outer).center();
    if (std::abs(outer.width() - size.width()) <= 1 && std::abs(outer.height() - size.height()) <= 1
        && std::abs(at.x() - centre.x()) <= 1 && std::abs(at.y() - centre.y()) <= 1)
        return {};
    return u"outer %1x%2 centred at %3,%4; wanted %5x%6 centred at %7,%8"_s.arg(outer.width())
        .arg(outer.height())
        .arg(at.x())
        .arg(at.y())
        .arg(size.width())
        .arg(size.height())
        .arg(centre.x())
        .arg(centre.y());
}

// Where each window was at the moment it was first exposed, taken before anything in the
// program reacts to that exposure: what the user sees first.
class FirstExposures : public QObject {
public:
    FirstExposures() { qApp->installEventFilter(this); }
    OnScreen of(QWidget* window) const { return seen_.value(window->windowHandle()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Expose && watched->isWindowType()) {
            auto* window = static_cast<QWindow*>(watched);
            if (window->isExposed() && !seen_.contains(window))
                seen_.insert(window, onScreen(xcb_window_t(window->winId())));
        }
        return false;
    }

private:
    QHash<QWindow*, OnScreen> seen_;
};

// The X server and the window manager the test runs its windows on.
class XSession {
public:
    // Starts Xvfb on a display it picks itself; returns the display's name, or empty.
    QString startServer()
    {
        xvfb_.start(u"Xvfb"_s,
                    {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s});
        QByteArray number;
        while (!number.contains('\n') && xvfb_.waitForReadyRead(10000))
            number += xvfb_.readAllStandardOutput();
        return number.trimmed().isEmpty() ? QString() : u':' + QString::fromLatin1(number.trimmed());
    }

    bool startWindowManager()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home_.path());
        environment.insert(u"XDG_CONFIG_HOME"_s, home_.path() + u"/.config"_s);
        environment.insert(u"XDG_CACHE_HOME"_s, home_.path() + u"/.cache"_s);
        openbox_.setProcessEnvironment(environment);
        openbox_.start(u"openbox"_s, QStringList());
        return openbox_.waitForStarted(5000) && QTest::qWaitFor([] { return windowManagerRuns(); }, 10000);
    }

    ~XSession()
    {
        for (QProcess* process : {&openbox_, &xvfb_}) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(1000);
        }
    }

private:
    static bool windowManagerRuns()
    {
        xcb_connection_t* c = x11();
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const char name[] = "_NET_SUPPORTING_WM_CHECK";
        const auto atom = reply(xcb_intern_atom_reply(c, xcb_intern_atom(c, false, sizeof name - 1, name), nullptr));
        const auto check = reply(
            xcb_get_property_reply(c, xcb_get_property(c, false, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr));
        return check && check->value_len == 1;
    }

    QProcess xvfb_;
    QProcess openbox_;
    QTemporaryDir home_;
};

}  // namespace

class TestPlacement : public QObject {
    Q_OBJECT

public:
    TestPlacement(Desktop desktop, QString skipReason) : desktop_(desktop), skipReason_(std::move(skipReason)) {}

private:
    Desktop desktop_;
    QString skipReason_;
    std::unique_ptr<TestProgram> program_;
    std::unique_ptr<FirstExposures> exposures_;

    // Waits until the window's frame has this size and centre; empty when it got there.
    QString settles(QWidget* window, QSize size, QPointF centre)
    {
        QString off;
        if (QTest::qWaitFor([&] { return (off = offBy(onScreen(window).outer, size, centre)).isEmpty(); }, 5000))
            return {};
        return off;
    }

    void showSettledMainWindow()
    {
        TestProgram::showMainWindow();
        const QString off = settles(frmMain, QSize(1000, 618), QRectF(desktop()).center());
        QVERIFY2(off.isEmpty(), qPrintable(off));
    }

    // Creates and shows one of the four windows; returns it with its outer size and the
    // centre it belongs at.
    std::tuple<QWidget*, QSize, QPointF> open(const QString& kind)
    {
        if (kind == u"login") {
            frmLogin = new TfrmLogin;
            frmLogin->show();
            return {frmLogin, QSize(300, 280), QRectF(desktop()).center()};
        }
        showSettledMainWindow();
        const QPointF ownerCentre = QRectF(onScreen(frmMain).outer).center();
        if (kind == u"main")
            return {frmMain, QSize(1000, 618), QRectF(desktop()).center()};
        if (kind == u"editor") {
            frmC = new TfrmC(frmMain);
            frmC->setWindowTitle(u"新增 账户"_s);
            frmC->show();
            return {frmC, QSize(850, 380), ownerCentre};
        }
        frmP = new TfrmP(frmMain);
        frmP->show();
        return {frmP, QSize(290, 210), ownerCentre};
    }

    // Shows a box, waits until its frame sits where it stays, and closes it; returns where
    // the box was first seen and where it settled.
    std::pair<OnScreen, OnScreen> runBox(const std::function<void()>& show)
    {
        std::pair<OnScreen, OnScreen> seen;
        QElapsedTimer shown;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->windowHandle() || !box->windowHandle()->isExposed())
                return;
            if (!shown.isValid())
                shown.start();
            seen = {exposures_->of(box), onScreen(box)};
            if (offBy(seen.second.outer, seen.second.outer.size(), QRectF(desktop()).center()).isEmpty()
                || shown.hasExpired(5000))
                box->reject();
        });
        poll.start(10);
        show();
        return seen;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!skipReason_.isEmpty())
            QSKIP(qPrintable(skipReason_));
        setFrameAnnouncementsEnabled(desktop_ != Desktop::FramedUnannounced);
    }

    void init()
    {
        program_ = std::make_unique<TestProgram>();
        exposures_ = std::make_unique<FirstExposures>();
    }

    void cleanup()
    {
        delete frmLogin;
        frmLogin = nullptr;
        if (frmC)
            frmC->close();
        program_.reset();
        exposures_.reset();
    }

    void windowsGetTheirOuterSizeCentred_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* kind : {"login", "main", "editor", "password"})
            QTest::newRow(kind) << QString::fromLatin1(kind);
    }

    void windowsGetTheirOuterSizeCentred()
    {
        QFETCH(QString, kind);
        const auto [window, size, centre] = open(kind);
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QString first = offBy(exposures_->of(window).outer, size, centre);
        if (desktop_ == Desktop::FramedUnannounced) {
            // Framed unannounced, the window first shows its client area at the outer size.
            QVERIFY2(!first.isEmpty(), "the window manager was asked for the frame after all");
        } else {
            QVERIFY2(first.isEmpty(), qPrintable(u"when first seen: "_s + first));
        }
        const QString settled = settles(window, size, centre);
        QVERIFY2(settled.isEmpty(), qPrintable(settled));
        QTest::qWait(300);
        const QString later = offBy(onScreen(window).outer, size, centre);
        QVERIFY2(later.isEmpty(), qPrintable(u"later: "_s + later));
    }

    void boxesAreCentredOnTheScreen_data()
    {
        QTest::addColumn<std::function<void()>>("show");
        QTest::newRow("notice") << std::function<void()>([] { Dialogs::notice(u"账户名称 不能为空！"_s); });
        QTest::newRow("long notice") << std::function<void()>([] {
            Dialogs::notice(u"打印文件已保存：/home/someone/Documents/墨柘密码本 2026-12-08 14-03-05 (12).pdf"_s);
        });
        QTest::newRow("error") << std::function<void()>([] { Dialogs::error(u"no such table: U_P"_s); });
        QTest::newRow("confirmation") << std::function<void()>(
            [] { Dialogs::askYesNo(u"您确认要退出 墨柘密码本 吗？  ^_^  "_s, u"确认退出"_s, Dialogs::Button::Yes); });
        QTest::newRow("second copy") << std::function<void()>(
            [] { Dialogs::warning(u"墨柘密码本 已经打开了！"_s, u"警告"_s); });
    }

    void boxesAreCentredOnTheScreen()
    {
        QFETCH(std::function<void()>, show);
        const auto [first, settled] = runBox(show);
        QVERIFY(!settled.outer.isEmpty());
        const QPointF centre = QRectF(desktop()).center();
        QVERIFY(settled.outer.contains(settled.client));
        const QString off = offBy(settled.outer, settled.outer.size(), centre);
        QVERIFY2(off.isEmpty(), qPrintable(off));
        if (desktop_ != Desktop::FramedUnannounced) {
            const QString firstOff = offBy(first.outer, first.outer.size(), centre);
            QVERIFY2(firstOff.isEmpty(), qPrintable(u"when first seen: "_s + firstOff));
        }
    }

    void aWindowMovedOrResizedStaysSo_data()
    {
        QTest::addColumn<QRect>("change");  // the client area asked for; an empty one keeps the size
        QTest::addColumn<bool>("showAgain");
        QTest::newRow("moved") << QRect(40, 50, 0, 0) << false;
        QTest::newRow("resized") << QRect(0, 0, 420, 330) << false;
        QTest::newRow("moved, hidden and shown again") << QRect(40, 50, 0, 0) << true;
    }

    // The user can move or resize a window only once it has appeared.
    void aWindowMovedOrResizedStaysSo()
    {
        QFETCH(QRect, change);
        QFETCH(bool, showAgain);
        frmLogin = new TfrmLogin;
        frmLogin->show();
        QVERIFY(QTest::qWaitForWindowExposed(frmLogin));
        const QString off = settles(frmLogin, QSize(300, 280), QRectF(desktop()).center());
        QVERIFY2(off.isEmpty(), qPrintable(off));
        QRect wanted = frmLogin->geometry();
        if (change.width() > 0)
            wanted.setSize(change.size());
        else
            wanted.moveTopLeft(change.topLeft());
        frmLogin->setGeometry(wanted);
        QTRY_COMPARE_WITH_TIMEOUT(onScreen(frmLogin).client, wanted, 5000);
        if (showAgain) {
            frmLogin->hide();
            QTRY_VERIFY(!frmLogin->windowHandle()->isExposed());
            frmLogin->show();
            QVERIFY(QTest::qWaitForWindowExposed(frmLogin));
        }
        QTest::qWait(500);
        QCOMPARE(onScreen(frmLogin).client, wanted);
        QCOMPARE(frmLogin->geometry(), wanted);
    }
};

int main(int argc, char** argv)
{
    // ctest asks for the offscreen platform; this test needs X11, on a server of its own.
    auto session = std::make_unique<XSession>();
    const QString display = session->startServer();
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display.toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);
    Application::setTitle(u"墨柘密码本"_s);
    initTestResources();
    int failures = 0;
    const auto run = [&](Desktop desktop, const QString& skipReason) {
        TestPlacement test(desktop, skipReason);
        failures += QTest::qExec(&test, argc, argv);
    };
    if (display.isEmpty()) {
        run(Desktop::Bare, u"Xvfb could not be started"_s);
    } else {
        run(Desktop::Bare, {});
        if (session->startWindowManager()) {
            run(Desktop::Framed, {});
            run(Desktop::FramedUnannounced, {});
        } else {
            run(Desktop::Framed, u"openbox could not be started"_s);
        }
    }
    return failures;
}

#include "test_placement.moc"
