// Printing the account list: 10 000 account blocks (six lines each) written to a PDF file
// through the line printer, against a floor measured in the same run: the same lines drawn
// straight onto the same kind of PDF device, one drawText per line.
#include "platform/lineprinter.h"
#include "platform/printservice.h"
#include "widgets/formstyle.h"

#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int accounts = 10000;
constexpr int runs = 5;

// The six lines of each account block, as the list prints them.
QStringList accountLines()
{
    QStringList lines;
    lines.reserve(accounts * 6);
    for (int n = 1; n <= accounts; ++n) {
        lines << u"    %1-----------------------------------"_s.arg(n)
              << u"    注册日期：2024-%1-%2"_s.arg(1 + n % 12, 2, 10, QLatin1Char('0'))
                     .arg(1 + n % 28, 2, 10, QLatin1Char('0'))
              << u"    账户名称：网上银行账户 %1"_s.arg(n) << u"    用 户 名：user%1@example.com"_s.arg(n)
              << u"    密    码：Pa55-word-%1"_s.arg(n * 7919)
              << u"    描    述：工资卡，绑定手机 138%1"_s.arg(n, 8, 10, QLatin1Char('0'));
    }
    return lines;
}

QFont listFont()
{
    QFont font(u"黑体"_s);
    font.setPointSize(12);
    return font;
}

void throughLinePrinter(QPdfWriter& writer, const QStringList& lines)
{
    LinePrinter printer(writer);
    printer.open();
    printer.setFont(listFont());
    for (const QString& line : lines)
        printer.writeLine(line);
    printer.close();
}

void bareDrawText(QPdfWriter& writer, const QStringList& lines)
{
    QPainter painter(&writer);
    painter.setFont(listFont());
    const QFontMetrics metrics(painter.font(), &writer);
    const int lineHeight = metrics.height() + 2;
    int y = 0;
    for (const QString& line : lines) {
        if (y + lineHeight > writer.height()) {
            writer.newPage();
            y = 0;
        }
        painter.drawText(QPoint(0, y + metrics.ascent()), line);
        y += lineHeight;
    }
}

// Milliseconds of one print into a new PDF file, the file written out included.
double timePrint(const std::function<void(QPdfWriter&, const QStringList&)>& print, const QStringList& lines,
                 const QString& path)
{
    QElapsedTimer timer;
    timer.start();
    {
        QPdfWriter writer(path);
        writer.setPageMargins(QMarginsF());
        print(writer, lines);
    }
    return timer.nsecsElapsed() / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    installFontSubstitutes();
    QTemporaryDir dir;
    const QString path = dir.filePath(u"list.pdf"_s);
    const QStringList lines = accountLines();

    QList<double> printer;
    QList<double> floor;
    for (int run = 0; run < runs; ++run) {  // interleaved, so that both see the same machine load
        printer << timePrint(throughLinePrinter, lines, path);
        floor << timePrint(bareDrawText, lines, path);
    }
    std::printf("%d accounts (%lld lines) to PDF, median of %d runs\n", accounts, static_cast<long long>(lines.size()),
                runs);
    std::printf("  line printer      %8.1f ms\n", median(printer));
    std::printf("  bare drawText     %8.1f ms  (floor)\n", median(floor));
    std::printf("  ratio             %8.2f\n", median(printer) / median(floor));
    return 0;
}
