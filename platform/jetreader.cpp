// The reader of older data files (see jetreader.h).
#include "platform/jetreader.h"

#include "platform/executable.h"

#include <QElapsedTimer>
#include <QThread>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace JetProtocol;

namespace {

// A Jet file begins 00 01 00 00, the engine's name in 16 bytes, and at 0x14 its version.
constexpr char kFileMagic[] = {0, 1, 0, 0};
constexpr char kJetEngine[] = "Standard Jet DB";  // with its zero, 16 bytes
constexpr char kAceEngine[] = "Standard ACE DB";
constexpr qsizetype kVersionAt = 0x14;

QByteArray& programForTesting()
{
    static QByteArray program;
    return program;
}

QByteArray readerProgram()
{
    return programForTesting().isEmpty() ? executableFolder() + "mzjetreader" : programForTesting();
}

QByteArray firstBytes(const QByteArray& path, qsizetype count)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return QByteArray();
    QByteArray bytes(count, '\0');
    const ssize_t got = ::pread(fd, bytes.data(), std::size_t(count), 0);
    ::close(fd);
    return bytes.left(got < 0 ? 0 : got);
}

// The reader started on the file with no environment, told which process it reads for (it dies
// with that process, and does not run at all when that process is already gone); its standard
// input the file, its output the pipe whose other end goes to out, its error /dev/null, and
// nothing else of the program's. Spawned rather than forked, so that the program's pages are not
// copied only to be thrown away. -1 when it cannot be started.
pid_t startReader(int file, int& out)
{
    int pipe[2];
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0 || ::pipe2(pipe, O_CLOEXEC) != 0) {
        if (null >= 0)
            ::close(null);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, file, STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, null, STDERR_FILENO);
    ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    const QByteArray reader = readerProgram();
    const QByteArray program = QByteArray::number(::getpid());
    char* const argv[] = {const_cast<char*>(reader.constData()), const_cast<char*>(program.constData()), nullptr};
    char* const environment[] = {nullptr};
    pid_t child = -1;
    if (::posix_spawn(&child, reader.constData(), &actions, nullptr, argv, environment) != 0)
        child = -1;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    ::close(null);
    if (child < 0) {
        ::close(pipe[0]);
        return -1;
    }
    out = pipe[0];
    return child;
}

// Reads the reply until the reader closes its end; false when the deadline comes first or the
// reply breaks.
bool collect(int out, JetReplyReader& reply, const QElapsedTimer& clock)
{
    std::array<char, 64 * 1024> buffer;
    for (;;) {
        const qint64 left = kTimeLimitSeconds * 1000 - clock.elapsed();
        pollfd wanted{out, POLLIN, 0};
        const int ready = left > 0 ? ::poll(&wanted, 1, int(left)) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = ::read(out, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return true;
        if (!reply.take(buffer.data(), got))
            return false;
    }
}

// The reader's end: its status once it has ended, killed when it has not by the deadline.
int reap(pid_t reader, const QElapsedTimer& clock, bool kill)
{
    int status = 0;
    while (!kill) {
        const pid_t ended = ::waitpid(reader, &status, WNOHANG);
        if (ended == reader || (ended < 0 && errno != EINTR))
            return status;
        kill = clock.elapsed() > kTimeLimitSeconds * 1000;
        QThread::usleep(500);
    }
    ::kill(reader, SIGKILL);
    while (::waitpid(reader, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

QString tableName(TableId table) { return table == TableId::Accounts ? u"U_P"_s : u"S_U"_s; }

QString refusalText(const Frame& refusal)
{
    const QString table = tableName(refusal.table);
    switch (Refusal(refusal.count)) {
    case Refusal::NotJet4:
        return u"它不是 Jet 4.0 格式的文件"_s;
    case Refusal::NoTables:
        return u"其中没有账户表 U_P 和登录表 S_U，它不是本程序的数据文件"_s;
    case Refusal::MissingColumn:
        return u"%1 表缺少本程序的列"_s.arg(table);
    case Refusal::ColumnType:
        return u"%1 表中有一列的类型本程序不能保存"_s.arg(table);
    case Refusal::DamagedRow:
        return u"%1 表第 %2 行已损坏"_s.arg(table).arg(refusal.bytes);
    case Refusal::RowCount:
        return u"%1 表读出的行数与表中记载的不符，文件已损坏"_s.arg(table);
    case Refusal::TooLarge:
        return u"文件或其中的数据太大"_s;
    case Refusal::Unreadable:
        break;
    }
    return u"它的目录或表的定义无法读取，文件已损坏"_s;
}

QString failureText(const JetReplyReader& reply, bool collected, int status)
{
    if (!reply.error().isEmpty())
        return u"读取程序送回的数据不合规范"_s;
    if (!collected)
        return u"读取超过了 %1 秒"_s.arg(kTimeLimitSeconds);
    if (reply.refusal())
        return refusalText(*reply.refusal());
    if (WIFSIGNALED(status) || WEXITSTATUS(status) != 0)
        return u"读取程序意外中止，文件可能已损坏"_s;
    return u"读取程序送回的数据不完整"_s;
}

}  // namespace

DataFileFormat dataFileFormat(const QByteArray& path)
{
    const QByteArray head = firstBytes(path, kVersionAt + 1);
    if (head.size() <= kVersionAt || !head.startsWith(QByteArrayView(kFileMagic, sizeof kFileMagic)))
        return DataFileFormat::Other;
    const QByteArrayView engine(head.constData() + sizeof kFileMagic, sizeof kJetEngine);
    if (engine == QByteArrayView(kAceEngine, sizeof kAceEngine))
        return DataFileFormat::Ace;
    if (engine != QByteArrayView(kJetEngine, sizeof kJetEngine))
        return DataFileFormat::Other;
    switch (head[kVersionAt]) {
    case 0:
        return DataFileFormat::Jet3;
    case 1:
        return DataFileFormat::Jet4;
    default:
        return DataFileFormat::Other;
    }
}

namespace JetReader {

Reading read(const QByteArray& path, const std::function<void()>& started)
{
    const int file = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (file < 0)
        return Reading{false, {}, QString::fromLocal8Bit(std::strerror(errno))};
    int out = -1;
    const pid_t reader = startReader(file, out);
    ::close(file);
    if (reader < 0)
        return Reading{false, {}, u"读取程序 %1 无法启动"_s.arg(QString::fromLocal8Bit(readerProgram()))};
    if (started)
        started();
    QElapsedTimer clock;
    clock.start();
    JetReplyReader reply;
    const bool collected = collect(out, reply, clock);
    ::close(out);
    const int status = reap(reader, clock, !collected);
    if (collected && reply.isComplete() && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return Reading{true, reply.takeTables(), QString()};
    return Reading{false, {}, failureText(reply, collected, status)};
}

void setProgramForTesting(const QByteArray& path) { programForTesting() = path; }

}  // namespace JetReader
