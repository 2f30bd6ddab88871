// Printing the account list. With no printer installed the job becomes a PDF file in the
// documents folder, read back here with "pdftotext -bbox". pdftotext's plain text drops the
// spaces that start a line and collapses runs of spaces, so each line is rebuilt from the boxes
// of its words: the gap before a word is so many space advances of the line's font.
#include "data/dateformat.h"
#include "data/query.h"
#include "forms/main.h"
#include "platform/printservice.h"
#include "tests/fixture.h"
#include "tests/messageboxrecorder.h"
#include "widgets/application.h"
#include "widgets/dialogs.h"
#include "widgets/formstyle.h"

#include <QApplication>
#include <QDir>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QXmlStreamReader>
#include <cmath>
#include <csignal>
#include <memory>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

QString documents() { return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation); }

QStringList printouts() { return QDir(documents()).entryList(QDir::Files); }

// Per point of the printing font's size: the advance of a space and the height of a line.
std::pair<double, double> fontShape()
{
    QFont font(u"黑体"_s);
    font.setPixelSize(1000);
    const QFontMetricsF metrics(font);
    return {metrics.horizontalAdvance(u' ') / 1000, (metrics.ascent() + metrics.descent()) / 1000};
}

// The lines with words on them, spaces included, and the top of the first one, in points.
std::pair<QStringList, double> readBack(const QString& pdf)
{
    QProcess pdftotext;
    pdftotext.start(u"pdftotext"_s, {u"-bbox"_s, pdf, u"-"_s});
    pdftotext.waitForFinished();
    const auto [space, height] = fontShape();
    QStringList lines;
    double firstTop = -1, top = -1, right = 0, spaceWidth = 1;
    QXmlStreamReader xml(pdftotext.readAllStandardOutput());
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"word")
            continue;
        const auto at = [&](const char* name) { return xml.attributes().value(QLatin1String(name)).toDouble(); };
        const double left = at("xMin"), wordTop = at("yMin"), wordRight = at("xMax"), bottom = at("yMax");
        if (std::abs(wordTop - top) > 0.5) {  // a new line; its font size follows from its height
            spaceWidth = std::round((bottom - wordTop) / height) * space;
            lines.append(QString());
            right = 0;
            top = wordTop;
            if (firstTop < 0)
                firstTop = top;
        }
        lines.last() += QString(qRound((left - right) / spaceWidth), u' ') + xml.readElementText();
        right = wordRight;
    }
    return {lines, firstTop};
}

QStringList expectedLines(const QList<QStringList>& rows)
{
    QStringList lines{u"        墨柘密码本"_s};
    for (int n = 1; n <= rows.size(); ++n) {
        const QStringList& row = rows[n - 1];
        lines << u"    "_s + QString::number(n) + QString(35, u'-') << u"    注册日期："_s + row[0]
              << u"    账户名称："_s + row[1] << u"    用 户 名："_s + row[2] << u"    密    码："_s + row[3]
              << u"    描    述："_s + row[4];
    }
    return lines << u"    "_s + QString(37, u'-') << u"    软件开发：http://mozhe.example/"_s;
}

}  // namespace

class TestPrinting : public QObject {
    Q_OBJECT

    std::unique_ptr<TestProgram> db_;
    QList<QUrl> opened_;
    bool viewerStarts_ = true;

    // Prints from the main window and reads the printout back. The last line, the time of
    // printing, is checked here and left out. A viewer shows the printout, and no box is shown.
    QStringList print()
    {
        const qsizetype before = opened_.size();
        QDateTime start = QDateTime::currentDateTime();
        start = start.addMSecs(-start.time().msec());
        MessageBoxRecorder boxes;
        QTest::mouseClick(frmMain->ui.BitBtn2, Qt::LeftButton);
        const QDateTime end = QDateTime::currentDateTime();
        if (opened_.size() != before + 1)
            return {u"no printout opened"_s};
        if (!boxes.boxes().isEmpty())
            return {u"box shown: "_s + boxes.texts().join(u", "_s)};
        auto [lines, titleTop] = readBack(opened_.last().toLocalFile());
        // An empty line in the title's font comes before the title.
        if (std::abs(titleTop - 18 * fontShape().second) > 1.5)
            lines.prepend(u"title at %1 pt"_s.arg(titleTop));
        const QString stamp = lines.isEmpty() ? QString() : lines.takeLast();
        // The system's long time format without the zone: in both locales ctest runs this
        // test in, C.UTF-8 and zh_CN.UTF-8, 24-hour time with seconds.
        bool timeMatches = false;
        for (QDateTime t = start; t <= end && !timeMatches; t = t.addSecs(1))
            timeMatches = stamp == u"    打印时间："_s + t.toString(u"yyyy-MM-dd HH:mm:ss"_s);
        if (!timeMatches)
            lines << u"unexpected time: "_s + stamp;
        return lines;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty() || !QPrinterInfo::defaultPrinter().isNull())
            QSKIP("a printer is installed: the list would be printed on paper");
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
            QSKIP("pdftotext is not installed");
        installFontSubstitutes();
        PrintJob::setFileOpener([this](const QUrl& url) {
            opened_ << url;
            return viewerStarts_;
        });
    }

    void init()
    {
        opened_.clear();
        viewerStarts_ = true;
        db_ = std::make_unique<TestProgram>();
    }

    void cleanup()
    {
        db_.reset();
        for (const QString& file : printouts())
            QFile::remove(documents() + u'/' + file);
    }

    void emptyListPrintsNothing()
    {
        TestProgram::makeMainWindow();
        MessageBoxRecorder boxes;
        QTest::mouseClick(frmMain->ui.BitBtn2, Qt::LeftButton);
        QVERIFY(opened_.isEmpty());
        QVERIFY(printouts().isEmpty());
        QVERIFY(boxes.boxes().isEmpty());
    }

    void printsEveryAccountBetweenTitleAndFooter_data()
    {
        QTest::addColumn<int>("accounts");
        QTest::newRow("one") << 1;
        QTest::newRow("three") << 3;
    }

    void printsEveryAccountBetweenTitleAndFooter()
    {
        QFETCH(int, accounts);
        const QList<QStringList> rows =
            QList<QStringList>{
                {u"2024-03-01"_s, u"邮箱 mail"_s, u"me@example.com"_s, u"我的生日"_s, u"two  spaces"_s},
                {u"2023-07-15"_s, u"bank"_s, u"O'Brien"_s, u"p w"_s, QString()},
                {u"2022-01-09"_s, u"shop"_s, u"u3"_s, u"hint"_s, u"x"_s},
            }
                .mid(0, accounts);
        for (const QStringList& row : rows)
            db_->addAccount(row[0], row[1], row[2], row[3], row[4]);
        TestProgram::makeMainWindow();
        QCOMPARE(print(), expectedLines(rows));
        QCOMPARE(printouts().size(), 1);
        QCOMPARE(opened_.first(), QUrl::fromLocalFile(documents() + u'/' + printouts().first()));
        // The printout lists passwords: its owner alone may read it.
        const QFile::Permissions permissions = QFile::permissions(opened_.first().toLocalFile());
        QVERIFY(permissions.testFlag(QFile::ReadOwner));
        QVERIFY(!(permissions & (QFile::ReadGroup | QFile::ReadOther)));
        // The list's cursor went through every row: the last one is current.
        QCOMPARE(frmMain->ADOQuery1->RecNo(), accounts);
        QCOMPARE(frmMain->ui.DBGrid1->currentIndex().row(), accounts - 1);
    }

    void printsTheShownRowsInTheShownOrderEachTime()
    {
        const QList<QStringList> rows = {
            {u"2024-01-03"_s, u"mail a"_s, u"u3"_s, u"p3"_s, u"x"_s},
            {u"2024-01-01"_s, u"mail b"_s, u"u1"_s, u"p1"_s, u"z"_s},
            {u"2024-01-04"_s, u"mail c"_s, u"u4"_s, u"p4"_s, QString()},
            {u"2024-01-02"_s, u"bank"_s, u"u2"_s, u"p2"_s, u"y"_s},
        };
        for (const QStringList& row : rows)
            db_->addAccount(row[0], row[1], row[2], row[3], row[4]);
        TestProgram::makeMainWindow();
        QTest::keyClicks(frmMain->ui.Edit1, u"mail"_s);
        QTest::mouseClick(frmMain->ui.BitBtn1, Qt::LeftButton);
        frmMain->DBGrid1TitleClick(frmMain->ui.DBGrid1->column(2));
        frmMain->ADOQuery1->moveTo(1);

        QCOMPARE(print(), expectedLines(rows.mid(0, 3)));
        QCOMPARE(frmMain->ADOQuery1->RecNo(), 3);
        // The next print starts from the first row again, into a file of its own.
        QCOMPARE(print(), expectedLines(rows.mid(0, 3)));
        QCOMPARE(printouts().size(), 2);
        QVERIFY(opened_[0] != opened_[1]);
    }

    // With no viewer to show it, the printout stays in its file, and a notice says where.
    void aPrintoutNoViewerShowsIsNamedInANotice()
    {
        db_->addAccount(u"2024-03-01"_s, u"mail"_s, u"me"_s);
        TestProgram::makeMainWindow();
        viewerStarts_ = false;
        MessageBoxRecorder boxes;
        QTest::mouseClick(frmMain->ui.BitBtn2, Qt::LeftButton);

        QCOMPARE(printouts().size(), 1);
        const QString file = documents() + u'/' + printouts().first();
        QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(file)});
        QCOMPARE(boxes.texts(), QStringList{u"打印文件已保存："_s + file});
        QCOMPARE(boxes.boxes().first().caption, u"墨柘密码本"_s);
        QCOMPARE(boxes.boxes().first().icon, Dialogs::Icon::None);
        QVERIFY(QFileInfo(file).isAbsolute());
        QFile pdf(file);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.readAll().startsWith("%PDF"));
    }

    void theTimeOfPrintingLeavesOutTheZone_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zone after") << u"HH:mm:ss t"_s << u"HH:mm:ss"_s;
        QTest::newRow("zone before") << u"t HH:mm:ss"_s << u"HH:mm:ss"_s;
        QTest::newRow("zone in brackets") << u"Bh:mm:ss [t]"_s << u"Bh:mm:ss"_s;
        QTest::newRow("zone in parentheses") << u"H:mm:ss (t)"_s << u"H:mm:ss"_s;
        QTest::newRow("zone after a comma") << u"HH:mm:ss, t"_s << u"HH:mm:ss"_s;
        QTest::newRow("zone after quoted text") << u"H:mm:ss 'ч'. t"_s << u"H:mm:ss 'ч'."_s;
        QTest::newRow("quoted t kept") << u"HH 'h' mm 'min' ss 'st' tttt"_s << u"HH 'h' mm 'min' ss 'st'"_s;
        QTest::newRow("no zone") << u"HH:mm:ss"_s << u"HH:mm:ss"_s;
        QTest::newRow("no-break space") << u"h:mm:ss\u202fAP\u00a0t"_s << u"h:mm:ss\u202fAP"_s;
        // The locales' own long time formats, as the footer reads the system's.
        const auto longFormat = [](const char* name) {
            return QLocale(QLatin1String(name)).timeFormat(QLocale::LongFormat);
        };
        QTest::newRow("C locale") << longFormat("C") << u"HH:mm:ss"_s;
        QTest::newRow("zh_CN locale") << longFormat("zh_CN") << u"HH:mm:ss"_s;
        QTest::newRow("en_US locale") << longFormat("en_US") << u"h:mm:ss AP"_s;
        QTest::newRow("es_ES locale") << longFormat("es_ES") << u"H:mm:ss"_s;
    }

    void theTimeOfPrintingLeavesOutTheZone()
    {
        QFETCH(QString, format);
        QFETCH(QString, expected);
        QCOMPARE(withoutTimeZone(format), expected);
    }

    void aPrintoutThatCannotBeWrittenIsAnErrorAndTheNextPrintWorks_data()
    {
        QTest::addColumn<int>("accounts");
        QTest::newRow("failing at a page break") << 400;
        QTest::newRow("failing at the end") << 20;
    }

    // A printout that cannot be written whole (here: the disk takes no more than a few
    // kilobytes) is an error, not a success; nothing half-written is left or opened, and the
    // next print, with room again, works.
    void aPrintoutThatCannotBeWrittenIsAnErrorAndTheNextPrintWorks()
    {
        QFETCH(int, accounts);
        db_->addAccounts(accounts);
        TestProgram::makeMainWindow();
        struct rlimit normal;
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &normal), 0);
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit full = normal;
        full.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &full), 0);
        MessageBoxRecorder boxes;
        QTest::mouseClick(frmMain->ui.BitBtn2, Qt::LeftButton);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &normal), 0);

        QCOMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().icon, Dialogs::Icon::Stop);
        QVERIFY(opened_.isEmpty());
        QCOMPARE(printouts(), QStringList());

        QTest::mouseClick(frmMain->ui.BitBtn2, Qt::LeftButton);
        QCOMPARE(opened_.size(), 1);
        QCOMPARE(printouts().size(), 1);
    }
};

int main(int argc, char** argv)
{
    // The printouts go to the documents folder of a home of the test's own.
    const TemporaryHome home;
    QApplication app(argc, argv);
    Application::setTitle(u"墨柘密码本"_s);
    initTestResources();
    TestPrinting test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_printing.moc"
