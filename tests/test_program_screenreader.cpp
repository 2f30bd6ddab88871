// The real program as a screen reader meets it over AT-SPI. A copy runs on an X display and a
// session bus of the test's own, on which the accessibility bus starts when the program's Qt asks
// for it; tests/screenreader.py reads with pyatspi what Orca would read: the windows' roles, the
// inputs' names, the links and their actions, the account table without its hidden ID column,
// and the objects that take the focus as the keys move it. The keys come through the driver,
// under X11's key bindings, in which a line edit takes Ctrl+E for itself.
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
        // account's cell follows; F6 goes back to the edit, where Ctrl+E opens the editor. Each
        // key is pressed once the one before has been heard.
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
            {u"F6"_s, {u"table\t"_s, u"table cell\t2024-05-06"_s}},
            {u"Ctrl+Down"_s, {u"table cell\t2024-01-02"_s}},
            {u"F6"_s, {u"text\t内容"_s}},
            {u"Ctrl+E"_s, {u"text\t账户名称"_s}},
        };
        heard.clear();
        QStringList expected;
        for (const auto& [key, announced] : steps) {
            expected << announced;
            program.key(key);
            hear(heard, expected.size(), 10000);
        }
        focus->closeWriteChannel();
        focus->waitForFinished(5000);
        QCOMPARE(heard, expected);
        program.waitVisible(u"frmC"_s);
        program.click(u"frmC/BitBtn2"_s);
    }
};

QTEST_GUILESS_MAIN(TestProgramScreenReader)
#include "test_program_screenreader.moc"
