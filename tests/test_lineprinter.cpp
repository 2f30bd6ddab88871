// The line printer (pen, line heights, tabs, wrapping, page breaks) and the printing service.
#include "platform/lineprinter.h"
#include "platform/printservice.h"
#include "widgets/formstyle.h"

#include <QDateTime>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPaintEngine>
#include <QPdfWriter>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBoundaryFinder>

using namespace Qt::StringLiterals;

namespace {

// A printer that records the text drawn on it, run by run, instead of printing it.
class RecordingPrinter : public QPrinter {
public:
    struct Run {
        int page;
        QPointF baseline;
        QString text;
        int pointSize;
    };

    explicit RecordingPrinter(QSize page, int dpi = 600) : engine_(page, dpi) { setEngines(&engine_, &engine_); }
    const QList<Run>& runs() const { return engine_.runs; }

    // The text of each printed row, a row being the runs of one page drawn on one baseline.
    QStringList rows() const
    {
        QStringList rows;
        const Run* previous = nullptr;
        for (const Run& run : runs()) {
            if (!previous || run.page != previous->page || run.baseline.y() != previous->baseline.y())
                rows.append(QString());
            rows.last() += run.text;
            previous = &run;
        }
        return rows;
    }

private:
    class Engine : public QPaintEngine, public QPrintEngine {
    public:
        Engine(QSize page, int dpi) : QPaintEngine(AllFeatures), page_(page), dpi_(dpi) {}
        QList<Run> runs;

        bool begin(QPaintDevice*) override { return active_ = true; }
        bool end() override { return !(active_ = false); }
        void updateState(const QPaintEngineState&) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
        void drawTextItem(const QPointF& p, const QTextItem& item) override
        {
            runs.append({pages_, p, item.text(), item.font().pointSize()});
        }
        Type type() const override { return User; }

        void setProperty(PrintEnginePropertyKey, const QVariant&) override {}
        QVariant property(PrintEnginePropertyKey) const override { return {}; }
        bool newPage() override { return ++pages_; }
        bool abort() override { return false; }
        QPrinter::PrinterState printerState() const override { return active_ ? QPrinter::Active : QPrinter::Idle; }
        int metric(QPaintDevice::PaintDeviceMetric metric) const override
        {
            switch (metric) {
            case QPaintDevice::PdmWidth:
                return page_.width();
            case QPaintDevice::PdmHeight:
                return page_.height();
            case QPaintDevice::PdmWidthMM:
                return page_.width() * 254 / dpi_ / 10;
            case QPaintDevice::PdmHeightMM:
                return page_.height() * 254 / dpi_ / 10;
            case QPaintDevice::PdmDevicePixelRatio:
                return 1;
            case QPaintDevice::PdmDevicePixelRatioScaled:
                return int(QPaintDevice::devicePixelRatioFScale());
            case QPaintDevice::PdmNumColors:
                return INT_MAX;
            case QPaintDevice::PdmDepth:
                return 32;
            default:
                return dpi_;  // the four resolutions
            }
        }

    private:
        QSize page_;
        int dpi_;
        bool active_ = false;
        int pages_ = 1;
    };

    Engine engine_;
};

const QFont latin(u"Liberation Sans"_s, 12);

// Metrics of a font on any recording printer, in its device pixels.
QFontMetrics recordedMetrics(const QFont& font)
{
    const RecordingPrinter probe(QSize(1, 1));
    return QFontMetrics(font, &probe);
}

// A line printer in the Latin test font, open on a recording printer.
struct OpenPrinter {
    explicit OpenPrinter(QSize page) : device(page), printer(device)
    {
        printer.setFont(latin);
        printer.open();
    }
    RecordingPrinter device;
    LinePrinter printer;
};

// The rows a text wraps into from the left edge, found the slow way: dropping one character
// at a time from the end until the rest fits, and keeping at least one character.
QStringList wrapped(QString rest, const QFontMetrics& metrics, int pageWidth)
{
    QStringList rows;
    while (!rest.isEmpty()) {
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, rest);
        qsizetype length = rest.size();
        while (length > 0 && metrics.horizontalAdvance(rest.left(length)) > pageWidth) {
            characters.setPosition(length);
            length = characters.toPreviousBoundary();
        }
        if (length <= 0) {
            characters.toStart();
            length = characters.toNextBoundary();
        }
        rows << rest.left(length);
        rest = rest.mid(length);
    }
    return rows;
}

// Points the user's documents folder into a temporary folder for as long as it lives.
class TemporaryDocuments {
public:
    TemporaryDocuments() : home_(qgetenv("HOME")), config_(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("HOME", dir_.path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
    }
    ~TemporaryDocuments()
    {
        qputenv("HOME", home_);
        if (!config_.isEmpty())
            qputenv("XDG_CONFIG_HOME", config_);
    }
    QString folder() const { return dir_.filePath(u"Documents"_s); }
    QStringList files() const { return QDir(folder()).entryList(QDir::Files); }

private:
    QTemporaryDir dir_;
    QByteArray home_;
    QByteArray config_;
};

QString printoutName(const QDateTime& time)
{
    return u"墨柘密码本 "_s + time.toString(u"yyyy-MM-dd HH-mm-ss"_s) + u".pdf"_s;
}

}  // namespace

class TestLinePrinter : public QObject {
    Q_OBJECT

private:
    QList<QUrl> opened_;

    static void skipIfAPrinterIsInstalled()
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("a printer is installed: the job would go to it");
    }

private Q_SLOTS:
    void initTestCase()
    {
        installFontSubstitutes();
        PrintJob::setFileOpener([this](const QUrl& url) {
            opened_ << url;
            return true;
        });
    }

    void init() { opened_.clear(); }

    void penFollowsTheWrittenLines()
    {
        OpenPrinter open(QSize(4000, 6000));
        auto& [device, printer] = open;
        const QFontMetrics metrics = recordedMetrics(latin);
        const int height = metrics.height();
        QCOMPARE(printer.pageSize(), QSize(4000, 6000));

        printer.writeLine(u"abc"_s);
        QCOMPARE(device.runs().at(0).baseline, QPointF(0, metrics.ascent()));
        QCOMPARE(printer.x(), 0);
        QCOMPARE(printer.y(), height + 2);
        QCOMPARE(printer.lineHeight(), 0);

        printer.writeLine(QString());  // nothing drawn: the line is as high as the font
        const int third = 2 * height + 2;
        QCOMPARE(printer.y(), third);

        printer.writeLine(u"x\ry\nz"_s);
        QCOMPARE(device.rows(), QStringList({"abc", "xy", "z"}));
        QCOMPARE(device.runs().at(2).baseline, QPointF(metrics.horizontalAdvance(u"x"_s), third + metrics.ascent()));
        QCOMPARE(device.runs().at(3).baseline, QPointF(0, third + height + 2 + metrics.ascent()));

        printer.close();
        QVERIFY_THROWS_EXCEPTION(EPrinterError, printer.writeLine(u"late"_s));
    }

    void tabsMoveToTheNextStop()
    {
        const QFontMetrics metrics = recordedMetrics(latin);
        const int step = 8 * metrics.averageCharWidth();
        OpenPrinter open(QSize(2 * step + step / 2, 6000));
        auto& [device, printer] = open;

        printer.writeLine(u"\tx"_s);
        QCOMPARE(device.runs().at(0).baseline.x(), step);
        printer.writeLine(u"ab\tx"_s);
        QCOMPARE(device.runs().at(2).baseline.x(), (metrics.horizontalAdvance(u"ab"_s) + step + 1) / step * step);

        // The third stop lies beyond the page: the text goes on at the start of a new line,
        // which advances by the font's height as nothing was drawn on the line left.
        const int y = printer.y();
        printer.writeLine(u"\t\t\tx"_s);
        QCOMPARE(device.runs().at(3).baseline, QPointF(0, y + metrics.height() + metrics.ascent()));
    }

    void longLinesWrapAtTheRightEdge_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("narrowestPage");
        QTest::addColumn<int>("widthStep");
        // Several page widths each, so that the right edge falls inside every kind of character.
        QTest::newRow("latin") << u"The quick brown fox jumps over the lazy dog. "_s.repeated(4) << 1000 << 16;
        QTest::newRow("chinese") << u"墨柘密码本账户名称用户名密码描述"_s.repeated(4) << 1000 << 16;
        QTest::newRow("surrogate pairs") << u"a😀𠀀b𠀁"_s.repeated(12) << 1000 << 16;
        QTest::newRow("combining marks and flags") << u"e\u0301🇨🇳a\u0308o\u0302\u0323"_s.repeated(15) << 1000 << 16;
        QTest::newRow("characters wider than the page") << u"W墨😀"_s << 5 << 5;
    }

    void longLinesWrapAtTheRightEdge()
    {
        QFETCH(QString, text);
        QFETCH(int, narrowestPage);
        QFETCH(int, widthStep);
        for (int width = narrowestPage; width < narrowestPage + 16 * widthStep; width += widthStep) {
            OpenPrinter open(QSize(width, 60000));
            auto& [device, printer] = open;
            printer.writeLine(text);

            const QStringList rows = device.rows();
            QVERIFY(rows.size() > 2);
            QCOMPARE(rows, wrapped(text, recordedMetrics(latin), width));
            qreal previousY = -1;
            for (const RecordingPrinter::Run& run : device.runs()) {
                if (run.baseline.y() != previousY)
                    QCOMPARE(run.baseline.x(), 0.0);
                previousY = run.baseline.y();
            }
        }
    }

    void formFeedStartsANewPage()
    {
        OpenPrinter open(QSize(4000, 6000));
        auto& [device, printer] = open;
        bool repainted = false;
        QMetaObject::invokeMethod(
            this, [&] { repainted = true; }, Qt::QueuedConnection);

        printer.writeLine(u"a\fb"_s);
        QVERIFY(repainted);  // pending events ran at the page break
        QCOMPARE(printer.pageCount(), 2);
        const RecordingPrinter::Run& b = device.runs().at(1);
        QCOMPARE(b.page, 2);
        QCOMPARE(b.baseline, QPointF(0, recordedMetrics(latin).ascent()));
    }

    void pageBreaksWhenTheNextLineWouldNotFit_data()
    {
        QTest::addColumn<int>("spare");
        QTest::addColumn<int>("linesOnFirstPage");
        // With lines H high, the page breaks once Y passes the page height less 2 H.
        QTest::newRow("page of 6 H less 1") << -1 << 4;
        QTest::newRow("page of 6 H") << 0 << 5;
    }

    void pageBreaksWhenTheNextLineWouldNotFit()
    {
        QFETCH(int, spare);
        QFETCH(int, linesOnFirstPage);
        const QFontMetrics metrics = recordedMetrics(latin);
        OpenPrinter open(QSize(4000, 6 * (metrics.height() + 2) + spare));
        auto& [device, printer] = open;
        for (int line = 1; line <= linesOnFirstPage + 1; ++line)
            printer.writeLine(QString::number(line));

        QCOMPARE(printer.pageCount(), 2);
        const RecordingPrinter::Run& first = device.runs().at(linesOnFirstPage - 1);
        QCOMPARE(first.page, 1);
        const RecordingPrinter::Run& next = device.runs().at(linesOnFirstPage);
        QCOMPARE(next.page, 2);
        QCOMPARE(next.baseline.y(), metrics.ascent());
    }

    void fontChangeAffectsLaterLinesOnly()
    {
        OpenPrinter open(QSize(4000, 6000));
        auto& [device, printer] = open;
        QFont big = latin;
        big.setPointSize(18);
        printer.setFont(big);
        printer.writeLine(u"big"_s);
        printer.setFontSize(12);
        printer.writeLine(u"small"_s);

        QCOMPARE(device.runs().at(0).pointSize, 18);
        QCOMPARE(device.runs().at(1).pointSize, 12);
        QCOMPARE(printer.y(), recordedMetrics(big).height() + 2 + recordedMetrics(latin).height() + 2);
    }

    void pdfReadsBackAsWritten()
    {
        if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
            QSKIP("pdftotext is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(u"list.pdf"_s);
        QString description;
        for (int word = 1; word <= 120; ++word)
            description += u"w%1 "_s.arg(word);
        {
            QPdfWriter writer(path);
            writer.setPageMargins(QMarginsF());
            LinePrinter printer(writer);
            printer.open();
            printer.setFont(QFont(u"黑体"_s));
            printer.setFontSize(18);
            printer.writeLine(QString());
            printer.writeLine(u"        墨柘密码本"_s);
            printer.setFontSize(12);
            printer.writeLine(u"    1-----------------------------------"_s);
            printer.writeLine(u"    账户名称：邮箱\f    描    述："_s + description.trimmed());
            printer.close();
            QCOMPARE(printer.pageCount(), 2);
        }

        QProcess pdftotext;
        pdftotext.start(u"pdftotext"_s, {u"-layout"_s, path, u"-"_s});
        QVERIFY(pdftotext.waitForFinished());
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        const QStringList pages = text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
        QCOMPARE(pages.size(), 2);
        QVERIFY(pages[0].contains(u"墨柘密码本\n1-----------------------------------\n账户名称：邮箱"_s));

        // The description wraps: its rest starts rows at the left edge, and no word is lost.
        QStringList rows = pages[1].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(rows.size() > 2);
        QVERIFY(rows[0].contains(u"述：w1 "_s));
        QVERIFY(!rows[0].contains(u"w120"_s));
        QVERIFY(!rows[1].startsWith(QLatin1Char(' ')));
        const QRegularExpression space(u"\\s"_s);
        QCOMPARE(rows.join(QString()).section(u"："_s, 1).remove(space), QString(description).remove(space));
    }

    void heitiIsAChineseFont()
    {
        const QString family = QFontInfo(QFont(u"黑体"_s)).family();
        QVERIFY2(QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese), qPrintable(family));
    }

    void withoutPrinterTheJobBecomesAPdfThatIsOpened()
    {
        skipIfAPrinterIsInstalled();
        TemporaryDocuments documents;
        QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), documents.folder());

        auto job = PrintJob::start();
        const QFileInfo file(job->pdfFile());
        QCOMPARE(file.absolutePath(), documents.folder());
        QVERIFY2(QRegularExpression(u"^墨柘密码本 \\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.pdf$"_s)
                     .match(file.fileName())
                     .hasMatch(),
                 qPrintable(file.fileName()));
        job->printer().writeLine(u"墨柘密码本"_s);
        QVERIFY(opened_.isEmpty());
        QVERIFY(job->finish());

        QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(file.absoluteFilePath())});
        QFile pdf(file.absoluteFilePath());
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.readAll().startsWith("%PDF"));
    }

    void anInterruptedJobIsAbandoned()
    {
        skipIfAPrinterIsInstalled();
        TemporaryDocuments documents;
        // Earlier printouts bearing this second's or the next's name are kept.
        QVERIFY(QDir().mkpath(documents.folder()));
        const QDateTime now = QDateTime::currentDateTime();
        const QStringList earlier = {printoutName(now), printoutName(now.addSecs(1))};
        for (const QString& name : earlier) {
            QFile file(documents.folder() + QLatin1Char('/') + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("earlier");
        }

        auto job = PrintJob::start();
        QVERIFY(!earlier.contains(QFileInfo(job->pdfFile()).fileName()));
        QVERIFY_THROWS_EXCEPTION(EPrinterError, PrintJob::start());  // printing in progress
        job->printer().writeLine(u"half a list"_s);
        job.reset();

        QCOMPARE(documents.files(), earlier);
        QVERIFY(opened_.isEmpty());

        job = PrintJob::start();
        QVERIFY(job->finish());
        QCOMPARE(documents.files().size(), 3);
    }
};

QTEST_MAIN(TestLinePrinter)
#include "test_lineprinter.moc"
