// The banner helper's fence, tried in a child process of the test: under the system call
// filter a thread and a read still work, while a new process or program, a file opened for
// writing, made or removed, a local socket, a signal or limit aimed at the parent, tracing and
// reading another process, and keys pushed into a terminal are all refused; and drawing that
// runs past its processor time ends the process.
#include "fence/fence.h"

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sys/ioctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

using Attempt = std::function<int()>;  // 0 when it worked, else the error

int outcome(long result) { return result >= 0 ? 0 : errno; }

// What an attempt comes to in a fenced child: its error number as the exit code, or minus the
// signal that ended the child.
int fencedOutcome(const Attempt& attempt)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (!Fence::installSyscallFilter())
            ::_exit(100);
        ::_exit(attempt());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? -WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

Q_DECLARE_METATYPE(Attempt)

class TestFence : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    QByteArray existingFile() const { return dir_.filePath(u"file"_s).toLocal8Bit(); }

private Q_SLOTS:
    void initTestCase()
    {
        QFile file(QString::fromLocal8Bit(existingFile()));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void refusesWhatDrawingDoesNotNeed_data()
    {
        QTest::addColumn<Attempt>("attempt");
        QTest::addColumn<int>("expected");
        const QByteArray file = existingFile();
        const QByteArray made = dir_.filePath(u"made"_s).toLocal8Bit();
        const auto open = [](QByteArray path, int flags) {
            return [path, flags] { return outcome(::open(path.constData(), flags, 0600)); };
        };
        QTest::newRow("a thread") << Attempt([] {
            std::thread([] {}).join();
            return 0;
        }) << 0;
        QTest::newRow("reading a file") << Attempt(open(file, O_RDONLY)) << 0;
        QTest::newRow("an internet socket") << Attempt([] { return outcome(::socket(AF_INET, SOCK_STREAM, 0)); }) << 0;
        QTest::newRow("a signal to itself") << Attempt([] { return outcome(::kill(::getpid(), 0)); }) << 0;
        QTest::newRow("a process") << Attempt([] { return outcome(::fork()); }) << EPERM;
        QTest::newRow("a process by clone3")
            << Attempt([] { return outcome(::syscall(SYS_clone3, nullptr, 0)); }) << ENOSYS;
        QTest::newRow("a program") << Attempt([] {
            char* const argv[] = {const_cast<char*>("true"), nullptr};
            return outcome(::execve("/bin/true", argv, nullptr));
        }) << EPERM;
        QTest::newRow("writing a file") << Attempt(open(file, O_WRONLY)) << EPERM;
        QTest::newRow("reading and writing a file") << Attempt(open(file, O_RDWR)) << EPERM;
        QTest::newRow("emptying a file") << Attempt(open(file, O_RDONLY | O_TRUNC)) << EPERM;
        QTest::newRow("making a file") << Attempt(open(made, O_RDONLY | O_CREAT)) << EPERM;
        QTest::newRow("removing a file") << Attempt([file] { return outcome(::unlink(file.constData())); }) << EPERM;
        QTest::newRow("a local socket") << Attempt([] { return outcome(::socket(AF_UNIX, SOCK_STREAM, 0)); }) << EPERM;
        QTest::newRow("a signal to the parent") << Attempt([] { return outcome(::kill(::getppid(), 0)); }) << EPERM;
        QTest::newRow("the parent's limits") << Attempt([] {
            rlimit limit{};
            return outcome(::prlimit(::getppid(), RLIMIT_NOFILE, nullptr, &limit));
        }) << EPERM;
        QTest::newRow("the parent's memory") << Attempt([] {
            char byte = 0;
            const iovec local{&byte, 1}, remote{&byte, 1};
            return outcome(::process_vm_readv(::getppid(), &local, 1, &remote, 1, 0));
        }) << EPERM;
        QTest::newRow("tracing") << Attempt([] { return outcome(::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr)); })
                                 << EPERM;
        QTest::newRow("keys into a terminal") << Attempt([] {
            const char key = 'x';
            return outcome(::ioctl(STDIN_FILENO, TIOCSTI, &key));
        }) << EPERM;
        QTest::newRow("drawing past its processor time") << Attempt([] {
            const Fence::CpuWatch watch;
            volatile unsigned long spin = 0;
            for (;;)
                spin = spin + 1;
            return 0;
        }) << -SIGPROF;
    }

    void refusesWhatDrawingDoesNotNeed()
    {
        QFETCH(Attempt, attempt);
        QFETCH(int, expected);
        QCOMPARE(fencedOutcome(attempt), expected);
    }
};

QTEST_APPLESS_MAIN(TestFence)
#include "test_fence.moc"
