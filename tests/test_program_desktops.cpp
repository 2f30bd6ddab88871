// The real program on the desktops its users have, on an X server of the test's own: the keys of
// every window (Enter, Esc, the default buttons, the query conditions' boxes, the date pickers'
// calendars) under each platform theme Qt picks on Linux desktops, and a whole session under a
// Wayland compositor (weston, nested in that X server, which gives it a seat).
#include "tests/driver/remote.h"
#include "tests/xdisplay.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kWrongPassword = u"密码错误，请重新录入密码！"_s;

// A Wayland compositor in a window of the X server, its socket in the runtime folder given.
class Weston {
public:
    Weston(const QString& display, const QString& runtime) : socket_(runtime + u"/mz-wayland"_s)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DISPLAY"_s, display);
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        endWithThisProcess(process_);
        process_.start(u"weston"_s, {u"--backend=x11-backend.so"_s, u"--use-pixman"_s, u"--socket=mz-wayland"_s,
                                     u"--no-config"_s, u"--idle-time=0"_s, u"--width=1280"_s, u"--height=1024"_s});
        [[maybe_unused]] const bool settled = QTest::qWaitFor(
            [this] { return QFile::exists(socket_) || process_.state() == QProcess::NotRunning; }, 15000);
    }

    ~Weston()
    {
        process_.terminate();
        if (!process_.waitForFinished(5000))
            process_.kill();
        process_.waitForFinished(1000);
    }

    bool runs() const { return process_.state() == QProcess::Running && QFile::exists(socket_); }
    QString log() { return QString::fromLocal8Bit(process_.readAll()).right(2000); }

private:
    QString socket_;
    QProcess process_;
};

bool boxShown(RemoteProgram& program) { return !program.call({u"box"_s}).isEmpty(); }

// Waits until the key has closed the box; fails the test when it does not.
void closeBoxWith(RemoteProgram& program, const QString& key)
{
    program.key(key);
    if (!program.waitUntil([&] { return !boxShown(program); }, 5000))
        throw RemoteError((key + u" left the box open"_s).toStdString());
}

// The calendar a date picker drops down (Qt names its window so).
const QString kCalendar = u"qt_datetimedit_calendar"_s;

// The window gets its outer size once it is first exposed.
void checkOuterSize(RemoteProgram& program, const QString& window, QSize size)
{
    program.waitUntil([&] { return program.outerSize(window) == size; }, 5000);
    QCOMPARE(program.outerSize(window), size);
}

}  // namespace

class TestProgramDesktops : public QObject {
    Q_OBJECT

    std::unique_ptr<VirtualDisplay> display_;

    // A dialog of the main window that no button of which answers Enter or Esc while an edit has
    // the focus; its own "退出" closes it.
    void checkDialogIgnoresEnterAndEsc(RemoteProgram& program, const QString& button, const QString& dialog)
    {
        program.click(u"frmMain/"_s + button);
        program.waitVisible(dialog + u"/Edit1"_s);
        program.keys(u"x"_s);
        for (const QString& key : {u"Return"_s, u"Enter"_s, u"Escape"_s})
            program.key(key);
        QVERIFY2(program.visible(dialog) && !boxShown(program), qPrintable(dialog));
        program.click(dialog + u"/BitBtn2"_s);
        QVERIFY(program.waitUntil([&] { return !program.visible(dialog); }));
    }

private Q_SLOTS:
    void initTestCase()
    {
        display_ = std::make_unique<VirtualDisplay>();
        if (display_->name().isEmpty())
            QSKIP("Xvfb could not be started");
    }

    void keysUnderEveryTheme_data()
    {
        QTest::addColumn<QStringList>("environment");
        QTest::newRow("no theme") << QStringList{u"QT_QPA_PLATFORMTHEME="_s};
        QTest::newRow("GNOME, gtk3") << QStringList{u"QT_QPA_PLATFORMTHEME=gtk3"_s, u"XDG_CURRENT_DESKTOP=GNOME"_s};
        QTest::newRow("qt6ct") << QStringList{u"QT_QPA_PLATFORMTHEME=qt6ct"_s};
    }

    void keysUnderEveryTheme()
    {
        QFETCH(QStringList, environment);
        ProgramCopy copy;
        // No session bus: GLib would start one for the display, and GTK an accessibility bus, which
        // outlive the program.
        environment << u"QT_QPA_PLATFORM=xcb"_s << u"DISPLAY="_s + display_->name()
                    << u"DBUS_SESSION_BUS_ADDRESS=unix:path="_s + copy.root() + u"/no-bus"_s << u"NO_AT_BRIDGE=1"_s;
        RemoteProgram program(copy, {environment, {}, {}, true});
        program.start();
        program.waitVisible(u"frmLogin/Edit1"_s);
        // The login window: Esc does not close it; Enter presses "打开"; Enter and Esc close a notice.
        program.key(u"Escape"_s);
        QVERIFY(program.visible(u"frmLogin"_s));
        program.keys(u"wrong"_s);
        program.key(u"Return"_s);
        QCOMPARE(program.waitBox().value(1), kWrongPassword);
        closeBoxWith(program, u"Return"_s);
        program.key(u"Enter"_s);
        QCOMPARE(program.waitBox().value(1), kWrongPassword);
        closeBoxWith(program, u"Escape"_s);
        program.typeInto(u"frmLogin/Edit1"_s, u"admin"_s);
        program.key(u"Return"_s);
        program.waitVisible(u"frmMain/DBGrid1"_s);

        checkDialogIgnoresEnterAndEsc(program, u"SpeedButton1"_s, u"frmC"_s);
        checkDialogIgnoresEnterAndEsc(program, u"SpeedButton6"_s, u"frmP"_s);

        // F4 and Alt+Down drop the from date's calendar down, and leave the date as it was; Esc
        // closes it. Tab reaches the picker from the text, through the column.
        program.click(u"frmMain/Edit1"_s);
        program.key(u"Tab"_s);
        program.key(u"Tab"_s);
        const QString from = program.text(u"frmMain/DateTimePicker1"_s);
        for (const QString& key : {u"F4"_s, u"Alt+Down"_s}) {
            program.key(key);
            QVERIFY2(program.waitUntil([&] { return program.visible(kCalendar); }, 5000), qPrintable(key));
            program.key(u"Escape"_s);
            QVERIFY(program.waitUntil([&] { return !program.visible(kCalendar); }, 5000));
        }
        QCOMPARE(program.text(u"frmMain/DateTimePicker1"_s), from);
        // Alt+1 and Alt+2 tick the conditions' boxes and clear them again.
        for (const auto& [key, box] :
             {std::pair(u"Alt+1"_s, u"frmMain/CheckBox1"_s), std::pair(u"Alt+2"_s, u"frmMain/CheckBox2"_s)}) {
            QVERIFY(!program.checked(box));
            program.key(key);
            QVERIFY2(program.waitUntil([&] { return program.checked(box); }, 5000), qPrintable(key));
            program.key(key);
            QVERIFY2(program.waitUntil([&] { return !program.checked(box); }, 5000), qPrintable(key));
        }

        // The exit confirmation: Yes is the default.
        program.click(u"frmMain/BitBtn3"_s);
        QCOMPARE(program.waitBox().value(0), u"确认退出"_s);
        program.key(u"Return"_s);
        QVERIFY(program.waitForExit());
        QCOMPARE(program.exitCode(), 0);
    }

    // Every window gets its outer size once it is first shown (on Wayland the program draws the
    // frame itself); where the compositor places it is its own affair.
    void waylandSession()
    {
        ProgramCopy copy;
        Weston weston(display_->name(), copy.runtime());
        if (!weston.runs())
            QSKIP(qPrintable(u"weston could not be started: "_s + weston.log()));
        RemoteProgram program(copy, {{u"QT_QPA_PLATFORM=wayland"_s, u"WAYLAND_DISPLAY=mz-wayland"_s}, {}, {}, true});
        program.start();
        program.waitVisible(u"frmLogin/Edit1"_s);
        checkOuterSize(program, u"frmLogin"_s, QSize(300, 280));
        program.keys(u"admin"_s);
        program.key(u"Return"_s);
        program.waitVisible(u"frmMain/DBGrid1"_s);
        checkOuterSize(program, u"frmMain"_s, QSize(1000, 618));
        const QList<std::tuple<QString, QString, QSize>> dialogs = {{u"SpeedButton1"_s, u"frmC"_s, QSize(850, 380)},
                                                                    {u"SpeedButton6"_s, u"frmP"_s, QSize(290, 210)}};
        for (const auto& [button, dialog, size] : dialogs) {
            program.click(u"frmMain/"_s + button);
            program.waitVisible(dialog + u"/Edit1"_s);
            checkOuterSize(program, dialog, size);
            program.click(dialog + u"/BitBtn2"_s);
        }
    }
};

QTEST_GUILESS_MAIN(TestProgramDesktops)
#include "test_program_desktops.moc"
