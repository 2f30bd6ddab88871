// A user's whole day with the real program, worked by keys and clicks: log in, add accounts
// whose texts are built to break statements, change one, filter, sort, print, delete one and
// change the login password; then start again and find only the new password opening it and
// every account exactly as typed. Run as the current user and, when that is root, also as an
// ordinary one.
#include "platform/website.h"
#include "tests/driver/remote.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

struct Account {
    QString name, user, password, description;
};

const QList<Account> typedAccounts = {
    {u"银行 O'Brien"_s, u"user\"; DROP TABLE U_P;--"_s, u"pw'--%_\\secret1"_s, u"工资卡 😀 主账户"_s},
    {u"Forum' OR '1'='1"_s, u"张三"_s, u"pw%' OR F1 LIKE '%secret2"_s, u"100% _real_ 'quoted'"_s},
    {u"Mail"_s, u"x@y.z"_s, u"'; DELETE FROM S_U; --secret3"_s, QString()},
};
const QString changedPassword = u"pw\"changed\"' ||'secret4"_s;
const QString newLoginPassword = u"new'login\"--秘密"_s;

const QString grid = u"frmMain/DBGrid1"_s;

QStringList accountTexts(const Account& a) { return {a.name, a.user, a.password, a.description}; }

// The accounts the grid shows, columns 账户名称 to 描述, sorted so that order does not matter.
QList<QStringList> shownAccounts(RemoteProgram& program)
{
    QList<QStringList> shown;
    const int rows = program.rowCount(grid);
    for (int row = 0; row < rows; ++row) {
        QStringList texts;
        for (int column = 2; column <= 5; ++column)
            texts << program.cell(grid, row, column);
        shown << texts;
    }
    std::sort(shown.begin(), shown.end());
    return shown;
}

QList<QStringList> sortedTexts(const QList<Account>& accounts)
{
    QList<QStringList> texts;
    for (const Account& a : accounts)
        texts << accountTexts(a);
    std::sort(texts.begin(), texts.end());
    return texts;
}

void logIn(RemoteProgram& program, const QString& password)
{
    program.waitVisible(u"frmLogin/Edit1"_s);
    program.typeInto(u"frmLogin/Edit1"_s, password);
    program.click(u"frmLogin/BitBtn1"_s);
}

void addAccount(RemoteProgram& program, const Account& account)
{
    program.click(u"frmMain/SpeedButton1"_s);
    program.waitVisible(u"frmC/Edit1"_s);
    const QStringList texts = accountTexts(account);
    for (int i = 0; i < 4; ++i)
        program.typeInto(u"frmC/Edit"_s + QString::number(i + 1), texts[i]);
    program.click(u"frmC/BitBtn1"_s);
    program.expectBox(u"恭喜！恭喜！ 账户信息 保存成功！"_s);
}

int rowNamed(RemoteProgram& program, const QString& name)
{
    for (int row = 0; row < program.rowCount(grid); ++row)
        if (program.cell(grid, row, 2) == name)
            return row;
    throw RemoteError("no such row");
}

void selectRow(RemoteProgram& program, int row)
{
    program.call({u"row-click"_s, grid, QString::number(row)});
    program.waitUntil([&] { return program.call({u"rows"_s, grid}).value(1).toInt() == row; });
}

void changePassword(RemoteProgram& program, const QString& name, const QString& password)
{
    selectRow(program, rowNamed(program, name));
    program.click(u"frmMain/SpeedButton2"_s);
    program.waitVisible(u"frmC/Edit3"_s);
    program.typeInto(u"frmC/Edit3"_s, password);
    program.click(u"frmC/BitBtn1"_s);
    program.expectBox(u"恭喜！恭喜！ 账户信息 保存成功！"_s);
}

QStringList columnTexts(RemoteProgram& program, int column)
{
    QStringList texts;
    for (int row = 0; row < program.rowCount(grid); ++row)
        texts << program.cell(grid, row, column);
    return texts;
}

void filterByName(RemoteProgram& program, const QString& text)
{
    program.typeInto(u"frmMain/Edit1"_s, text);
    program.click(u"frmMain/BitBtn1"_s);
}

QStringList printouts(const ProgramCopy& copy)
{
    return QDir(copy.home() + u"/Documents"_s).entryList({u"*.pdf"_s}, QDir::Files);
}

// Every file the program may have written, besides the printouts, searched for the secrets in
// the encodings a program writes text in.
QStringList filesHolding(const ProgramCopy& copy, const QStringList& secrets)
{
    QStringList found;
    QDirIterator it(copy.root(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(u".pdf"_s) || path == copy.program())
            continue;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        for (const QString& secret : secrets) {
            const QByteArray utf16(reinterpret_cast<const char*>(secret.utf16()), secret.size() * 2);
            if (bytes.contains(secret.toUtf8()) || bytes.contains(utf16))
                found << path + u": "_s + secret;
        }
    }
    return found;
}

int modeOf(const QString& path)
{
    struct stat info;
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
}

}  // namespace

class ProgramDayTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeDay_data()
    {
        QTest::addColumn<bool>("asOrdinaryUser");
        QTest::newRow("as this user") << false;
        QTest::newRow("as an ordinary user") << true;
    }

    void wholeDay()
    {
        QFETCH(bool, asOrdinaryUser);
        if (asOrdinaryUser && ::geteuid() != 0)
            QSKIP("only root can start the program as another user");
        ProgramCopy copy;
        HeldSite site;
        RemoteProgram::Options options{{site.proxyEnvironment()}, {}, {}, true};
        // No program on the path: no viewer takes the printout, and a notice says where it is.
        options.environment << u"PATH="_s + copy.root() + u"/empty"_s;
        if (asOrdinaryUser) {
            options.user = 65534;  // nobody
            options.group = 65534;
            copy.giveTo(65534, 65534);
        }

        RemoteProgram first(copy, options);
        first.start();
        first.waitVisible(u"frmLogin/Edit1"_s);
        QCOMPARE(first.text(u"frmLogin/Label1"_s), u"上次登录日：，总登录数：0"_s);
        // Typing works at once; the banner asks for its page afterwards and never gets it.
        first.keys(u"adm"_s);
        QVERIFY(first.waitUntil([&] { return first.text(u"frmLogin/Edit1"_s) == u"adm"_s; }));
        QVERIFY2(first.waitUntil(
                     [&] { return site.requestedPaths().contains(Website::page(u"SoftIndex.html"_s).toString()); }),
                 qPrintable(site.requestedPaths().join(u' ') + first.log()));
        QCOMPARE(first.text(u"frmLogin/Edit1"_s), u"adm"_s);
        first.keys(u"in"_s);
        first.click(u"frmLogin/BitBtn1"_s);
        first.waitVisible(u"frmMain/DBGrid1"_s);

        for (const Account& account : typedAccounts)
            addAccount(first, account);
        QCOMPARE(first.text(u"frmMain/Label1"_s), u"账户数量：3"_s);
        QList<Account> expected = typedAccounts;
        changePassword(first, expected[1].name, changedPassword);
        expected[1].password = changedPassword;
        QCOMPARE(shownAccounts(first), sortedTexts(expected));

        filterByName(first, u"' OR '1'='1"_s);
        QCOMPARE(columnTexts(first, 2), QStringList{expected[1].name});
        filterByName(first, QString());
        QCOMPARE(first.rowCount(grid), 3);

        first.call({u"title-click"_s, grid, u"3"_s});
        QStringList users = columnTexts(first, 3);
        QCOMPARE(users.size(), 3);
        QVERIFY(std::is_sorted(users.begin(), users.end(), [](const QString& a, const QString& b) {
            return QString::localeAwareCompare(a, b) < 0;
        }));

        first.click(u"frmMain/BitBtn2"_s);
        QVERIFY(first.waitUntil([&] { return printouts(copy).size() == 1; }));
        const QString printout = copy.home() + u"/Documents/"_s + printouts(copy).first();
        QVERIFY(first.waitUntil([&] {
            QFile pdf(printout);
            return pdf.open(QIODevice::ReadOnly) && pdf.readAll().trimmed().endsWith("%%EOF");
        }));
        QCOMPARE(modeOf(printout), 0600);
        first.expectBox(u"打印文件已保存："_s + printout);

        selectRow(first, rowNamed(first, expected[2].name));
        first.click(u"frmMain/SpeedButton3"_s);
        first.expectBox(u"确认要删除账户信息吗？该删除将不可恢复！"_s, u"Yes"_s);
        QVERIFY(first.waitUntil([&] { return first.rowCount(grid) == 2; }));
        expected.removeAt(2);

        first.click(u"frmMain/SpeedButton6"_s);
        first.waitVisible(u"frmP/Edit1"_s);
        first.typeInto(u"frmP/Edit1"_s, u"admin"_s);
        first.typeInto(u"frmP/Edit2"_s, newLoginPassword);
        first.typeInto(u"frmP/Edit3"_s, newLoginPassword);
        first.click(u"frmP/BitBtn1"_s);
        first.expectBox(u"密码修改成功，请重新登录！"_s);
        QVERIFY(first.waitForExit());
        QCOMPARE(first.exitCode(), 0);
        first.kill();

        RemoteProgram second(copy, options);
        second.start();
        logIn(second, u"admin"_s);
        second.expectBox(u"密码错误，请重新录入密码！"_s);
        second.typeInto(u"frmLogin/Edit1"_s, newLoginPassword);
        second.click(u"frmLogin/BitBtn1"_s);
        second.waitVisible(u"frmMain/DBGrid1"_s);
        QCOMPARE(shownAccounts(second), sortedTexts(expected));
        second.click(u"frmMain/BitBtn3"_s);
        second.expectBox(u"您确认要退出 墨柘密码本 吗？  ^_^  "_s, u"Yes"_s);
        QVERIFY(second.waitForExit());
        QCOMPARE(second.exitCode(), 0);

        QList<QStringList> stored = copy.rows("select F2,F3,F4,F5 from U_P");
        std::sort(stored.begin(), stored.end());
        QCOMPARE(stored, sortedTexts(expected));
        QCOMPARE(modeOf(copy.database()), 0600);
        QCOMPARE(modeOf(copy.folder() + u"Data"_s), 0700);
        QStringList secrets{newLoginPassword, changedPassword};
        for (const Account& a : typedAccounts)
            secrets << a.password << a.name << a.description;
        // Short texts turn up in any large file by chance.
        secrets.removeIf([](const QString& s) { return s.size() < 8; });
        QCOMPARE(filesHolding(copy, secrets), QStringList());
    }
};

QTEST_GUILESS_MAIN(ProgramDayTest)
#include "test_program_day.moc"
