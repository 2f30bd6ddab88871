// Benchmark of bringing an older data file across: the time from starting the executable on a
// Jet 4.0 file of 20 000 accounts (jet4-20000 of the shared fixtures) to its login window taking
// keys, the notice that follows the move answered at once, against starting on a data file of our
// own with the same 20 000 accounts (the one the move made), the two alternated in the same run.
// Usage: bench_olderfile [runs]   (QT_QPA_PLATFORM decides the display; offscreen by default)
#include "tests/driver/remote.h"
#include "tests/fixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void replace(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw RemoteError("cannot write the data file");
}

// The older file alone in the copy's Data folder, as the user puts it there.
void putOlderFile(const ProgramCopy& copy, const QByteArray& older)
{
    const QDir data(QFileInfo(copy.database()).path());
    for (const QString& name : data.entryList(QDir::Files))
        QFile::remove(data.filePath(name));
    replace(copy.database(), older);
}

// Milliseconds from starting the program until a key typed into the login window shows; the
// notice of a move is answered as soon as it is up.
double startUntilTyping(const ProgramCopy& copy, const HeldSite& site, bool answerNotice)
{
    RemoteProgram remote(copy, {{site.proxyEnvironment()}, {}, {}, true});
    QElapsedTimer timer;
    timer.start();
    remote.start();
    if (answerNotice) {
        remote.waitBox();
        remote.answer(u"OK"_s);
    }
    remote.keys(u"x"_s);
    remote.waitUntil([&] { return remote.text(u"frmLogin/Edit1"_s) == u"x"_s; }, 60000);
    return double(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    const HeldSite site;
    QFile fixture(jetFixture(u"jet4-20000.mdb"_s));
    if (!fixture.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray older = fixture.readAll();
    ProgramCopy moving;
    ProgramCopy own;
    putOlderFile(moving, older);
    startUntilTyping(moving, site, true);
    QFile moved(moving.database());
    if (!moved.open(QIODevice::ReadOnly))
        return 1;
    replace(own.database(), moved.readAll());

    std::vector<double> move, start;
    for (int i = 0; i < runs; ++i) {
        // Alternated, so that both meet the machine in the same state.
        putOlderFile(moving, older);
        move.push_back(startUntilTyping(moving, site, true));
        start.push_back(startUntilTyping(own, site, false));
    }
    const double m = median(move), s = median(start);
    std::printf("start to login window taking keys, 20 000 accounts, medians of %d runs:\n", runs);
    std::printf("  brought across from a Jet 4.0 file: %.0f ms\n", m);
    std::printf("  a data file of our own:             %.0f ms\n", s);
    std::printf("  ratio %.2f (goal: under 2)\n", m / s);
    return 0;
}
