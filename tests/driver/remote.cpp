// The test's side of the driver (see remote.h).
#include "tests/driver/remote.h"

#include "data/schema.h"
#include "tests/fixture.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QThread>
#include <arpa/inet.h>
#include <grp.h>
#include <mutex>
#include <netinet/in.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QString joinedFields(const QStringList& fields)
{
    QStringList encoded;
    for (const QString& field : fields)
        encoded << QString::fromLatin1(field.toUtf8().toPercentEncoding());
    return encoded.join(QLatin1Char(' '));
}

}  // namespace

double processMemoryMiB(qint64 pid, const char* file, const char* field)
{
    QFile source(u"/proc/%1/%2"_s.arg(pid).arg(QLatin1String(file)));
    if (!source.open(QIODevice::ReadOnly))
        return 0;
    const QRegularExpression line(u"(?:^|\\n)%1:\\s+(\\d+) kB"_s.arg(QLatin1String(field)));
    return line.match(QString::fromLatin1(source.readAll())).captured(1).toDouble() / 1024;
}

ProgramCopy::ProgramCopy()
{
    QDir top(dir_.path());
    for (const char* folder : {"program", "home/Documents", "runtime"})
        top.mkpath(QLatin1String(folder));
    QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!QFile::copy(QString::fromUtf8(MZ_PROGRAM_PATH), program())
        || !QFile::copy(QString::fromUtf8(MZ_BANNER_PATH), folder() + u"mzbanner"_s)
        || !QFile::copy(QString::fromUtf8(MZ_JETREADER_PATH), folder() + u"mzjetreader"_s))
        throw RemoteError("cannot copy the program");
    if (QProcess::execute(QString::fromUtf8(MKDB_PATH), {database()}) != 0)
        throw RemoteError("the build tool made no database");
}

QString ProgramCopy::root() const { return dir_.path(); }
QString ProgramCopy::folder() const { return root() + u"/program/"_s; }
QString ProgramCopy::program() const { return folder() + u"mzpwdbook"_s; }
QString ProgramCopy::database() const { return folder() + u"Data/db.mzx"_s; }
QString ProgramCopy::home() const { return root() + u"/home"_s; }
QString ProgramCopy::runtime() const { return root() + u"/runtime"_s; }

QList<QStringList> ProgramCopy::rows(const char* sql) const
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(database().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    schema::applyKey(db, schema::kDatabasePassword);
    const QList<QStringList> result = fetchRows(db, QString::fromUtf8(sql));
    sqlite3_close(db);
    return result;
}

QStringList ProgramCopy::column(const char* sql) const
{
    QStringList values;
    for (const QStringList& row : rows(sql))
        values << row.value(0);
    return values;
}

void ProgramCopy::giveTo(uid_t user, gid_t group) const
{
    const QByteArray top = root().toLocal8Bit();
    if (::chown(top.constData(), user, group) != 0)
        throw RemoteError("cannot hand the folder over");
    QDirIterator it(root(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        if (::chown(it.next().toLocal8Bit().constData(), user, group) != 0)
            throw RemoteError("cannot hand the folder over");
}

RemoteProgram::RemoteProgram(const ProgramCopy& copy, Options options) : copy_(copy), options_(std::move(options))
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, copy.home());
    env.insert(u"XDG_RUNTIME_DIR"_s, copy.runtime());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_DOCUMENTS_DIR"})
        env.remove(QLatin1String(name));
    if (!env.contains(u"QT_QPA_PLATFORM"_s))
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    if (options_.driven) {
        env.insert(u"LD_PRELOAD"_s, QString::fromUtf8(MZ_DRIVER_PATH));
        env.insert(u"MZ_DRIVER_SOCKET"_s, copy.root() + u"/driver.sock"_s);
    }
    for (const QString& pair : options_.environment) {
        if (pair.contains(QLatin1Char('=')))
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        else
            env.remove(pair);
    }
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(copy.home());
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardOutputFile(copy.root() + u"/program.log"_s, QIODevice::Append);
    if (options_.user) {
        const uid_t user = *options_.user;
        const gid_t group = options_.group.value_or(user);
        process_.setChildProcessModifier([user, group] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(group) != 0 || ::setuid(user) != 0)
                ::_exit(126);
        });
    }
}

RemoteProgram::~RemoteProgram() { kill(); }

void RemoteProgram::start(const QString& program)
{
    if (options_.driven) {
        const QString name = copy_.root() + u"/driver.sock"_s;
        QLocalServer::removeServer(name);
        server_.setSocketOptions(QLocalServer::WorldAccessOption);
        if (!server_.listen(name))
            throw RemoteError("cannot listen on the driver socket");
    }
    process_.start(program.isEmpty() ? copy_.program() : program, {});
    if (!process_.waitForStarted())
        throw RemoteError("the program did not start");
    if (!options_.driven)
        return;
    if (!server_.waitForNewConnection(30000))
        throw RemoteError(("the driver did not join: " + log()).toStdString());
    socket_ = server_.nextPendingConnection();
}

QStringList RemoteProgram::call(const QStringList& command)
{
    if (!socket_)
        throw RemoteError("the program is not driven");
    socket_->write(joinedFields(command).toUtf8() + '\n');
    socket_->flush();
    while (!socket_->canReadLine())
        if (!socket_->waitForReadyRead(30000))
            throw RemoteError(("no answer to " + command.join(QLatin1Char(' ')) + ": " + log()).toStdString());
    QStringList fields;
    for (const QByteArray& field : socket_->readLine().trimmed().split(' '))
        fields << QString::fromUtf8(QByteArray::fromPercentEncoding(field));
    const QString status = fields.takeFirst();
    if (status != QLatin1String("ok"))
        throw RemoteError((command.join(QLatin1Char(' ')) + ": " + fields.join(QLatin1Char(' '))).toStdString());
    return fields;
}

void RemoteProgram::typeInto(const QString& path, const QString& text)
{
    click(path);
    key(u"Ctrl+A"_s);
    key(u"Backspace"_s);
    keys(text);
}

QSize RemoteProgram::outerSize(const QString& window)
{
    const QStringList size = call({u"outer-size"_s, window});
    return QSize(size.value(0).toInt(), size.value(1).toInt());
}

QString RemoteProgram::cell(const QString& grid, int row, int column)
{
    return call({u"cell"_s, grid, QString::number(row), QString::number(column)}).value(0);
}

QStringList RemoteProgram::column(const QString& grid, int column)
{
    QStringList texts = call({u"column"_s, grid, QString::number(column)});
    for (QString& text : texts)
        text.remove(0, 1);
    return texts;
}

bool RemoteProgram::waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(5);
    }
    return true;
}

void RemoteProgram::waitVisible(const QString& path)
{
    if (!waitUntil([&] { return visible(path); }))
        throw RemoteError(("never shown: " + path).toStdString());
}

QStringList RemoteProgram::waitBox()
{
    QStringList box;
    if (!waitUntil([&] { return !(box = call({u"box"_s})).isEmpty(); }))
        throw RemoteError("no message box came");
    return box;
}

void RemoteProgram::expectBox(const QString& text, const QString& button)
{
    const QStringList box = waitBox();
    if (box.value(1) != text)
        throw RemoteError(
            ("expected the box \"" + text + "\", got \"" + box.join(QLatin1String(" / ")) + "\"").toStdString());
    answer(button);
}

bool RemoteProgram::waitForExit(int timeoutMs)
{
    return process_.state() == QProcess::NotRunning || process_.waitForFinished(timeoutMs);
}

void RemoteProgram::kill()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished();
    }
    delete socket_;
    socket_ = nullptr;
    server_.close();
}

QString RemoteProgram::log() const
{
    QFile file(copy_.root() + u"/program.log"_s);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).right(3000) : QString();
}

struct HeldSite::State {
    int listener = -1;
    int port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    QStringList paths;
    std::vector<int> clients;
    QHash<QString, QByteArray> answers;  // whole HTTP answers, by address
};

namespace {

QString requestPath(int client)
{
    char buffer[4096];
    const ssize_t n = ::recv(client, buffer, sizeof buffer - 1, 0);
    if (n <= 0)
        return QString();
    const QByteArray request(buffer, int(n));
    return QString::fromLatin1(request.split(' ').value(1));
}

// Sends the whole answer, unless the program hangs up or stops reading for seconds.
void answer(int client, const QByteArray& bytes)
{
    const timeval patience{5, 0};
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    for (qsizetype sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(client, bytes.constData() + sent, std::size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    ::close(client);
}

}  // namespace

HeldSite::HeldSite() : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(s.listener, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(s.listener, 16) != 0
        || ::getsockname(s.listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw RemoteError("the local web site cannot listen");
    s.port = ntohs(address.sin_port);
    s.thread = std::thread([&s] {
        for (;;) {
            const int client = ::accept(s.listener, nullptr, nullptr);
            if (client < 0)
                return;
            const QString path = requestPath(client);
            std::unique_lock lock(s.mutex);
            s.paths << path;
            const auto served = s.answers.constFind(path);
            if (served == s.answers.cend()) {
                s.clients.push_back(client);
                continue;
            }
            const QByteArray bytes = served.value();
            lock.unlock();
            answer(client, bytes);
        }
    });
}

void HeldSite::serve(const QString& address, const QByteArray& mediaType, const QByteArray& body)
{
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: " + mediaType + "\r\nContent-Length: "
                            + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n";
    std::lock_guard lock(state_->mutex);
    state_->answers.insert(address, head + body);
}

HeldSite::~HeldSite()
{
    ::shutdown(state_->listener, SHUT_RDWR);
    ::close(state_->listener);
    state_->thread.join();
    for (int client : state_->clients)
        ::close(client);
}

QStringList HeldSite::proxyEnvironment() const
{
    return {u"http_proxy=http://127.0.0.1:%1"_s.arg(state_->port), u"no_proxy="_s};
}

QStringList HeldSite::requestedPaths() const
{
    std::lock_guard lock(state_->mutex);
    return state_->paths;
}
