// mzbanner: the password book's banner helper. It fetches the banner pages, lays them out and
// draws them with litehtml in a process of its own, fenced in, and hands the password book
// nothing but pixels and link areas through its standard input and output (see README).
// Usage: mzbanner ORIGIN-PORT [fetch time limit in milliseconds, at most the default]
// Its test build, mzbanner_probe, also takes --without-landlock, --installed-in FOLDER (a folder
// the fence must keep unreadable, as if the helper were installed there) and --probe NAME
// [ARGUMENT] (fence/probes.h).
#include "bannerfence.h"
#include "pagefetcher.h"
#include "server.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstring>
#include <malloc.h>

#ifdef MZ_FENCE_TESTING
#include "fence/probes.h"
#endif

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

struct Arguments {
    std::uint16_t originPort = 80;
    int timeLimitMs = PageFetcher::kDefaultTimeLimitMs;
    const char* probe = nullptr;
    const char* probeArgument = nullptr;
    const char* installedIn = nullptr;  // in test builds, a folder to take as the helper's own
};

Arguments read(int argc, char** argv)
{
    Arguments arguments;
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
#ifdef MZ_FENCE_TESTING
        if (std::strcmp(argv[i], "--without-landlock") == 0) {
            Fence::Probes::withoutLandlock();
            continue;
        }
        if (std::strcmp(argv[i], "--installed-in") == 0 && i + 1 < argc) {
            arguments.installedIn = argv[++i];
            continue;
        }
        if (std::strcmp(argv[i], "--probe") == 0 && i + 1 < argc) {
            arguments.probe = argv[++i];
            arguments.probeArgument = i + 1 < argc ? argv[++i] : nullptr;
            continue;
        }
#endif
        const int value = QByteArray(argv[i]).toInt();
        if (positional++ == 0)
            arguments.originPort = std::uint16_t(value);
        else
            arguments.timeLimitMs = value;
    }
    return arguments;
}

// In test builds, the probe asked for, once the fence is up.
void probe([[maybe_unused]] const Arguments& arguments)
{
#ifdef MZ_FENCE_TESTING
    if (arguments.probe && !Fence::Probes::run(arguments.probe, arguments.probeArgument))
        ::_exit(3);
#endif
}

// Where the kernel cannot fence the helper's files, no web page is fetched at all: every
// banner gets its placeholder, and the helper starts no more than an event loop for that.
int answerWithPlaceholders(int argc, char** argv, const Fence::Profile& fence, const Arguments& arguments)
{
    QCoreApplication app(argc, argv);
    if (!Fence::filterCalls(fence))
        return 1;
    probe(arguments);
    Server server(Server::Pages::Placeholders);
    return QCoreApplication::exec();
}

}  // namespace

int main(int argc, char** argv)
{
    const Arguments arguments = read(argc, argv);
    Fence::Profile fence = BannerFence::profile(arguments.originPort);
    if (arguments.installedIn)
        fence.privateFolders.emplace_back(arguments.installedIn);
    const bool filesFenced = Fence::enclose(fence);
    // Two heaps for all threads keep the address space within the fence's limit.
    ::mallopt(M_ARENA_MAX, 2);
    if (!filesFenced)
        return answerWithPlaceholders(argc, argv, fence, arguments);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    PageFetcher::setTimeLimit(arguments.timeLimitMs);
    prepareFonts();
    if (!Fence::filterCalls(fence))
        return 1;
    probe(arguments);
    Server server(Server::Pages::Drawn);
    return QGuiApplication::exec();
}
