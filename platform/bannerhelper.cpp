// The banner helper process (see bannerhelper.h).
#include "platform/bannerhelper.h"

#include "platform/bannerview.h"
#include "platform/executable.h"

#include <QCoreApplication>
#include <QProcess>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

using namespace BannerProtocol;

namespace {

// The processor goes to the password book first.
constexpr int kNiceness = 10;

struct Program {
    QString path;
    QStringList arguments;
};

Program& programForTesting()
{
    static Program program;
    return program;
}

// The helper beside the executable is started from the executable's folder, entered in the child
// by the folder's bytes: its name need not be text (a folder named in GBK), and Qt would pass a
// path to the system as UTF-8.
constexpr char kHelperBeside[] = "./mzbanner";

QString helperPath()
{
    const QString& path = programForTesting().path;
    return path.isEmpty() ? QString::fromLatin1(kHelperBeside) : path;
}

QByteArray helperFolder() { return programForTesting().path.isEmpty() ? executableFolder() : QByteArray(); }

bool isPassedOn(const QString& name)
{
    static const QStringList proxies = {u"http_proxy"_s, u"https_proxy"_s, u"no_proxy"_s, u"all_proxy"_s};
    return proxies.contains(name.toLower()) || name == QLatin1String("LANG") || name == QLatin1String("LANGUAGE")
           || name.startsWith(QLatin1String("LC_")) || name.startsWith(QLatin1String("FONTCONFIG_"));
}

// The helper's environment: the proxy, the locale and the fonts' configuration; no path,
// folder or setting of the program's.
QProcessEnvironment helperEnvironment()
{
    const QProcessEnvironment all = QProcessEnvironment::systemEnvironment();
    QProcessEnvironment kept;
    for (const QString& name : all.keys())
        if (isPassedOn(name))
            kept.insert(name, all.value(name));
    return kept;
}

// In the child, between fork and exec: it dies with the program, and does not run at all when
// the program is already gone; it enters the helper's folder (the helper leaves it at once);
// it gains no privileges; every file of the program's but the
// pipes closes on exec; the program comes first for the processor.
void fenceChild(pid_t program, const QByteArray& folder)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() != program || (!folder.isEmpty() && ::chdir(folder.constData()) != 0))
        ::_exit(1);
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    ::setpriority(PRIO_PROCESS, 0, kNiceness);
}

QByteArray requestBytes(const RequestHeader& header, const QByteArray& url = QByteArray())
{
    QByteArray bytes(sizeof header, Qt::Uninitialized);
    store(header, bytes.data());
    return bytes + url;
}

QPointer<BannerHelper>& current()
{
    static QPointer<BannerHelper> helper;
    return helper;
}

}  // namespace

QSize BannerHelper::Request::pixels() const
{
    return QSize(int(scaled(quint32(size.width()), scaleMilli)), int(scaled(quint32(size.height()), scaleMilli)));
}

BannerHelper::Request BannerHelper::requestFor(const QUrl& url, const QSize& size, qreal devicePixelRatio)
{
    Request request{url, size.boundedTo(QSize(kMaxCssWidth, kMaxCssHeight)).expandedTo(QSize(1, 1))};
    request.scaleMilli =
        quint32(std::clamp(std::lround(devicePixelRatio * 1000), long(kMinScaleMilli), long(kMaxScaleMilli)));
    // The largest size at the smallest scale fits, so this ends.
    while (qint64(request.pixels().width()) * request.pixels().height() > kMaxPixels)
        request.scaleMilli = std::max(kMinScaleMilli, request.scaleMilli - 50);
    return request;
}

BannerHelper& BannerHelper::instance()
{
    if (!current())
        current() = new BannerHelper(QCoreApplication::instance());
    return *current();
}

void BannerHelper::release(quint32 view)
{
    if (current())
        current()->remove(view);
}

BannerHelper::BannerHelper(QObject* parent) : QObject(parent)
{
    clock_.start();
    startTimer_.setSingleShot(true);
    connect(&startTimer_, &QTimer::timeout, this, &BannerHelper::start);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &BannerHelper::checkDeadline);
}

// The program is ending: the helper goes with it, as its parent-death signal would see to.
BannerHelper::~BannerHelper()
{
    if (!process_)
        return;
    process_->disconnect();
    process_->kill();
    process_->waitForFinished(1000);
}

quint32 BannerHelper::add(BannerView* view)
{
    views_.insert(++lastView_, view);
    return lastView_;
}

void BannerHelper::remove(quint32 view)
{
    views_.remove(view);
    forget(view);
}

void BannerHelper::forget(quint32 view)
{
    if (state_ == State::StartDue || state_ == State::Running)
        send(requestBytes(RequestHeader{kRequestMagic, RequestKind::Forget, view}));
}

quint32 BannerHelper::draw(quint32 view, const Request& request)
{
    const QByteArray url = request.url.toEncoded();
    if (state_ == State::Failed || !isWebAddress(request.url) || url.size() > qsizetype(kUrlLimit))
        return 0;
    const quint32 serial = ++lastSerial_;
    reader_.expect(view, serial, request.size, request.pixels(), clock_.elapsed());
    send(requestBytes(RequestHeader{kRequestMagic, RequestKind::Draw, view, serial, quint32(request.size.width()),
                                    quint32(request.size.height()), request.scaleMilli, quint32(url.size())},
                      url));
    if (state_ == State::Idle) {
        state_ = State::StartDue;
        startTimer_.start(kStartDelayMs);
    } else if (state_ == State::Ended) {
        start();
    }
    armDeadline();
    return serial;
}

void BannerHelper::start()
{
    ++starts_;
    state_ = State::Running;
    process_ = std::make_unique<QProcess>();
    QProcess* process = process_.get();
    process->setProgram(helperPath());
    process->setArguments(programForTesting().arguments);
    process->setProcessEnvironment(helperEnvironment());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->setChildProcessModifier([program = ::getpid(), folder = helperFolder()] { fenceChild(program, folder); });
    connect(process, &QProcess::started, this, [this] { process_->write(std::exchange(queued_, QByteArray())); });
    connect(process, &QProcess::readyReadStandardOutput, this, &BannerHelper::readReplies);
    // From the event loop, and only while this process is the helper.
    connect(
        process, &QProcess::errorOccurred, process, [this] { fail(); }, Qt::QueuedConnection);
    connect(
        process, &QProcess::finished, process, [this] { fail(); }, Qt::QueuedConnection);
    process->start();
}

void BannerHelper::send(const QByteArray& bytes)
{
    if (process_ && process_->state() == QProcess::Running)
        process_->write(bytes);
    else
        queued_ += bytes;
}

void BannerHelper::readReplies()
{
    const QByteArray bytes = process_->readAllStandardOutput();
    QList<BannerReplyReader::Reply> done;
    if (!reader_.take(bytes.constData(), bytes.size(), clock_.elapsed(), done))
        return fail();
    for (const BannerReplyReader::Reply& reply : std::as_const(done))
        if (BannerView* view = views_.value(reply.view))
            view->showReply(reply);
    armDeadline();
}

void BannerHelper::checkDeadline()
{
    if (reader_.isLate(clock_.elapsed()))
        return fail();
    armDeadline();
}

void BannerHelper::armDeadline()
{
    const qint64 next = reader_.nextDeadline();
    if (next < 0)
        deadline_.stop();
    else
        deadline_.start(int(std::max<qint64>(0, next - clock_.elapsed())) + 1);
}

void BannerHelper::fail()
{
    if (process_) {
        // Killed now, deleted once the system reports it gone.
        QProcess* ended = process_.release();
        ended->disconnect();
        if (ended->state() == QProcess::NotRunning) {
            ended->deleteLater();
        } else {
            connect(ended, &QProcess::finished, ended, &QObject::deleteLater);
            ended->kill();
        }
    }
    reader_ = BannerReplyReader();
    queued_.clear();
    startTimer_.stop();
    deadline_.stop();
    state_ = starts_ < kStartLimit ? State::Ended : State::Failed;
    for (const QPointer<BannerView>& view : std::as_const(views_))
        if (view)
            view->showPlaceholder();
}

void BannerHelper::setProgramForTesting(const QString& path, const QStringList& arguments)
{
    programForTesting() = Program{path, arguments};
}
