// The real program as a screen reader meets it over AT-SPI. A copy runs on an X display and a
// session bus of the test's own, on which the accessibility bus starts when the program's Qt asks
// for it; tests/screenreader.py reads with pyatspi what Orca would read: the windows' roles, the
// inputs' names and the hints that describe them, the links and their actions, the banners, the
// check boxes and their keys, the account table by its name without its hidden ID column, the
// popup menu's items, and the objects that take the focus or become selected as the keys move
// them. The keys come through the driver, under X11's key bindings, in which a line edit takes
// Ctrl+E for itself.
#include "tests/driver/remote.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The first line a process writes, or empty after a few seconds.
QString firstLine(QProcess& process)
{
    QByteArray line;
    while (!line.contains('\n') && process.waitForReadyRead(10000))
        line += process.readAllStandardOutput();
    return QString::fromUtf8(line).trimmed();
}

void stop(QProcess& process)
{
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(1000);
}

// An X server and a session bus of the test's own. The accessibility bus that the session bus
// starts on demand makes its socket in the runtime folder, named after the display.
class Desktop {
public:
    Desktop()
    {
        xvfb_.start(u"Xvfb"_s,
                    {u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s, u"1280x1024x24"_s, u"-nolisten"_s, u"tcp"_s});
        display_ = u':' + firstLine(xvfb_);
        QFile::setPermissions(runtime_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DISPLAY"_s, display_);
        environment.insert(u"XDG_RUNTIME_DIR"_s, runtime_.path());
        bus_.setProcessEnvironment(environment);
        bus_.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        bus_address_ = firstLine(bus_);
    }
    ~Desktop()
    {
        stop(bus_);
        stop(xvfb_);
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool runs() const { return display_.size() > 1 && !bus_address_.isEmpty(); }
    QStringList environment() const
    {
        return {u"DISPLAY="_s + display_, u"DBUS_SESSION_BUS_ADDRESS="_s + bus_address_};
    }

private:
    QTemporaryDir runtime_;
    QProcess xvfb_;
    QProcess bus_;
    QString display_;
    QString bus_address_;
};

QProcess* screenReader(const Desktop& desktop, const QString& mode)
{
    auto* reader = new QProcess;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& pair : desktop.environment())
        environment.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    reader->setProcessEnvironment(environment);
    reader->start(u"/usr/bin/python3"_s, {QString::fromUtf8(MZ_SOURCE_DIR "/tests/screenreader.py"), mode});
    return reader;
}

// Each object of the program's windows: window, role, name, actions, "focused", table columns.
QList<QStringList> readTree(const Desktop& desktop)
{
    std::unique_ptr<QProcess> reader(screenReader(desktop, u"tree"_s));
    reader->waitForFinished(60000);
    QList<QStringList> objects;
    for (const QString& line : QString::fromUtf8(reader->readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        objects << line.split(u'\t');
    if (objects.isEmpty())
        qWarning().noquote() << reader->readAllStandardError();
    return objects;
}

// One field of each object of a role in a window (see screenreader.py): 6 its description, 7 its
// key binding.
QStringList fieldOf(const QList<QStringList>& objects, const QString& window, const QString& role, int field)
{
    QStringList found;
    for (const QStringList& object : objects)
        if (object.value(0) == window && object.value(1) == role)
            found << object.value(field);
    return found;
}

// The objects of a role in a window, as name and actions.
QStringList named(const QList<QStringList>& objects, const QString& window, const QString& role)
{
    QStringList found;
    for (const QStringList& object : objects)
        if (object.value(0) == window && object.value(1) == role)
            found << object.value(2) + (object.value(3).isEmpty() ? QString() : u" / "_s + object.value(3));
    return found;
}

}  // namespace

class TestProgramScreenReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aScreenReaderHearsWhatTheEyeSees()
    {
        Desktop desktop;
        QVERIFY2(desktop.runs(), "Xvfb or dbus-daemon could not be started");
        ProgramCopy copy;
        copy.rows("insert into U_P(F1,F2,F3,F4,F5) values ('2024-01-02','bank','bob','pw2','')");
        copy.rows("insert into U_P(F1,F2,F3,F4,F5) values ('2024-05-06','mail','ann','pw1','')");
        const QStringList ids = copy.column("select ID from U_P");
        RemoteProgram::Options options;
        options.environment =
            desktop.environment() + QStringList{u"QT_QPA_PLATFORM=xcb"_s, u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"_s};
        RemoteProgram program(copy, options);
        program.start();
        program.waitVisible(u"frmLogin/Edit1"_s);

        const QString login = u"系统登录"_s;
        QList<QStringList> objects = readTree(desktop);
        QCOMPARE(named(objects, login, u"dialog"_s), QStringList{login});
        QCOMPARE(named(objects, login, u"password text"_s), QStringList{u"密码 / SetFocus"_s});
        QCOMPARE(named(objects, login, u"link"_s), QStringList{u"如果您忘记登录密码了，请与我们联系！ / Press"_s});
        // A banner is one picture, named; the view inside it is no filler of its own.
        QCOMPARE(named(objects, login, u"image"_s), QStringList{u"网页横幅"_s});

        program.click(u"frmLogin/Edit1"_s);
        program.keys(u"admin"_s);
        program.key(u"Return"_s);
        program.waitVisible(u"frmMain"_s);
        const QString main = u"墨柘密码本"_s;
        objects = readTree(desktop);
        QCOMPARE(named(objects, main, u"frame"_s).value(0), main);
        QCOMPARE(named(objects, main, u"text"_s), (QStringList{u"条件 / SetFocus"_s, u"内容 / SetFocus"_s}));
        QCOMPARE(named(objects, main, u"combo box"_s), QStringList{u"条件 / ShowMenu,Press"_s});
        QCOMPARE(named(objects, main, u"spin button"_s),
                 (QStringList{u"注册日期 / SetFocus,Increase,Decrease"_s, u"至 / SetFocus,Increase,Decrease"_s}));
        QCOMPARE(named(objects, main, u"link"_s), QStringList{u"软件开发：http://mozhe.example/ / Press"_s});
        QVERIFY(named(objects, main, u"push button"_s).contains(u"关于我们 / Press"_s));
        QCOMPARE(named(objects, main, u"check box"_s),
                 (QStringList{u"注册日期 / Toggle,SetFocus"_s, u"条件 / Toggle,SetFocus"_s}));
        QCOMPARE(fieldOf(objects, main, u"check box"_s, 7), (QStringList{u"Alt+1"_s, u"Alt+2"_s}));
        QCOMPARE(named(objects, main, u"image"_s), QStringList{u"网页横幅"_s});
        QCOMPARE(named(objects, main, u"table"_s), QStringList{u"账户列表 / SetFocus"_s});
        QVERIFY(!std::any_of(objects.begin(), objects.end(),
                             [](const QStringList& object) { return object.value(1) == u"filler"_s; }));
        QCOMPARE(named(objects, main, u"table column header"_s),
                 (QStringList{u"注册日期"_s, u"账户名称"_s, u"用户名"_s, u"密码"_s, u"描述"_s}));
        const QStringList cells = named(objects, main, u"table cell"_s);
        QCOMPARE(cells.size(), 2 * 5);
        for (const QString& id : ids)
            QVERIFY(!cells.contains(id));
        const auto table = std::find_if(objects.begin(), objects.end(),
                                        [](const QStringList& object) { return object.value(1) == u"table"_s; });
        QVERIFY(table != objects.end());
        QCOMPARE(table->value(5), u"5"_s);

        // The program tells of the focus once it knows that someone listens: the focus goes
        // between two edits until the screen reader hears it come into the content edit. Then
        // F6 takes it into the list, which announces its current cell after itself; the next
        // account's cell is selected and focused; the popup menu's first item is heard without
        // its access key, which is its key binding with the window's key; Esc closes the menu
        // back into the list; F6 goes back to the edit, from where Ctrl+Up selects the account
        // before; Alt+1 ticks the date condition's box, which takes the focus; Ctrl+E opens the
        // editor, whose first edit is heard with its hint. Each key is pressed once the one before
        // has been heard.
        std::unique_ptr<QProcess> focus(screenReader(desktop, u"focus"_s));
        QCOMPARE(firstLine(*focus), u"listening"_s);
        const auto hear = [&focus](QStringList& lines, qsizetype count, int timeoutMs) {
            QElapsedTimer waited;
            waited.start();
            while (lines.size() < count && waited.elapsed() < timeoutMs) {
                focus->waitForReadyRead(100);
                while (focus->canReadLine())
                    lines << QString::fromUtf8(focus->readLine()).chopped(1);
            }
        };
        QStringList heard;
        for (int tries = 0; tries < 20 && heard.isEmpty(); ++tries) {
            program.click(tries % 2 ? u"frmMain/Edit1"_s : u"frmMain/ComboBox1"_s);
            hear(heard, 1, 1000);
        }
        // The last click's announcements are in once the screen reader has heard nothing new for
        // half a second.
        program.click(u"frmMain/Edit1"_s);
        for (qsizetype before = -1; heard.size() > before && heard.size() < 100;) {
            before = heard.size();
            hear(heard, before + 1, 500);
        }
        QCOMPARE(heard.value(heard.size() - 1), u"text\t内容"_s);
        const QList<std::pair<QString, QStringList>> steps = {
            {u"F6"_s, {u"table\t账户列表"_s, u"table cell\t2024-05-06"_s}},
            {u"Ctrl+Down"_s, {u"table cell\t2024-01-02\tselected"_s, u"table cell\t2024-01-02"_s}},
            {u"Menu"_s, {}},
            {u"Down"_s, {u"menu item\t新增账户\tN;;Ctrl+N"_s}},
            {u"Escape"_s, {u"table\t账户列表"_s, u"table cell\t2024-01-02"_s}},
            {u"F6"_s, {u"text\t内容"_s}},
            {u"Ctrl+Up"_s, {u"table cell\t2024-05-06\tselected"_s}},
            {u"Alt+1"_s, {u"check box\t注册日期\t注册日期（Alt+1）\tAlt+1"_s}},
            {u"Ctrl+E"_s, {u"text\t账户名称\t如QQ、电子邮箱、银行名称、论坛名称、博客名称等"_s}},
        };
        heard.clear();
        QStringList expected;
        for (const auto& [key, announced] : steps) {
            expected << announced;
            program.key(key);
            // The menu takes the keys once it is shown, which is a moment after the key.
            if (key == u"Menu"_s)
                program.waitVisible(u"PopupMenu1"_s);
            hear(heard, expected.size(), 10000);
        }
        focus->closeWriteChannel();
        focus->waitForFinished(5000);
        for (const QString& line : std::as_const(heard))
            qInfo().noquote() << u"heard:"_s << line;
        QCOMPARE(heard, expected);
        program.waitVisible(u"frmC"_s);
        // Each hint is the description of the edit it stands beside.
        objects = readTree(desktop);
        QCOMPARE(
            fieldOf(objects, u"修改 账户"_s, u"text"_s, 6),
            (QStringList{u"如QQ、电子邮箱、银行名称、论坛名称、博客名称等"_s, u"如QQ号码、银行账户、电子邮箱登录名等"_s,
                         u"不建议录入真实密码，建议录入密码提示，如通用密码、我的生日等"_s, QString()}));
        program.click(u"frmC/BitBtn2"_s);
    }
};

QTEST_GUILESS_MAIN(TestProgramScreenReader)
#include "test_program_screenreader.moc"
