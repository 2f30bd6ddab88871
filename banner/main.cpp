// mzbanner: the password book's banner helper. It fetches the banner pages, lays them out and
// draws them with litehtml in a process of its own, fenced in, and hands the password book
// nothing but pixels and link areas through its standard input and output (see README).
// Usage: mzbanner [fetch time limit in milliseconds, at most the default]
#include "fence/fence.h"
#include "pagefetcher.h"
#include "server.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <malloc.h>

using namespace Qt::StringLiterals;

namespace {

// The font database read, and a Latin and a Chinese face found and drawn, while files may
// still be opened the way fontconfig opens them.
void prepareFonts()
{
    QFontDatabase::families();
    QImage sample(64, 16, QImage::Format_RGB32);
    QPainter painter(&sample);
    painter.drawText(0, 12, u"Banner 横幅"_s);
}

}  // namespace

int main(int argc, char** argv)
{
    Fence::enclose();
    // Two heaps for all threads keep the address space within the fence's limit.
    ::mallopt(M_ARENA_MAX, 2);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc > 1)
        PageFetcher::setTimeLimit(QByteArray(argv[1]).toInt());
    prepareFonts();
    if (!Fence::installSyscallFilter())
        return 1;
    Server server;
    return QGuiApplication::exec();
}
