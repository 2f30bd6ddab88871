// One bounded HTTP GET (see httpget.h).
#include "httpget.h"

#include "webproxy.h"

#include <QNetworkProxy>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The longest line of a chunk's size that is read at all.
constexpr qsizetype kChunkSizeLine = 1024;

QByteArray headerValue(const QByteArray& line) { return line.mid(line.indexOf(':') + 1).trimmed(); }

bool isHeader(const QByteArray& line, const char* name)
{
    const qsizetype colon = line.indexOf(':');
    return colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0;
}

// An announced length; -1 for one that is not a number.
qint64 lengthOf(const QByteArray& value)
{
    bool ok = false;
    const qint64 length = value.toLongLong(&ok);
    return ok && length >= 0 ? length : -1;
}

// "/path?query" straight to the host; the whole address through a proxy.
QByteArray requestTarget(const QUrl& url, bool proxied)
{
    if (proxied)
        return url.toEncoded(QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    const QByteArray path = url.path(QUrl::FullyEncoded).toLatin1();
    const QByteArray query = url.hasQuery() ? "?" + url.query(QUrl::FullyEncoded).toLatin1() : QByteArray();
    return (path.isEmpty() ? QByteArray("/") : path) + query;
}

QByteArray hostHeader(const QUrl& url)
{
    const QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    return url.port() < 0 || url.port() == 80 ? host : host + ':' + QByteArray::number(url.port());
}

}  // namespace

HttpGet::HttpGet(const QUrl& url, qint64 sizeLimit, Done done, QObject* parent)
    : QObject(parent), url_(url), sizeLimit_(sizeLimit), done_(std::move(done))
{
    // The socket's own buffer stays small, so a flood is read and refused a piece at a time.
    socket_.setReadBufferSize(kHeaderBytes);
    socket_.setProxy(QNetworkProxy::NoProxy);
    connect(&socket_, &QTcpSocket::connected, this, &HttpGet::send);
    connect(&socket_, &QTcpSocket::readyRead, this, &HttpGet::readArrived);
    connect(&socket_, &QTcpSocket::disconnected, this, &HttpGet::closed);
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return closed();
        finish(socket_.errorString());
    });
    const auto proxy = WebProxy::forHost(url.host());
    socket_.connectToHost(proxy ? proxy->host : url.host(), proxy ? proxy->port : quint16(url.port(80)));
}

void HttpGet::send()
{
    const bool proxied = WebProxy::forHost(url_.host()).has_value();
    socket_.write("GET " + requestTarget(url_, proxied) + " HTTP/1.1\r\nHost: " + hostHeader(url_)
                  + "\r\nAccept: */*\r\nConnection: close\r\n\r\n");
}

void HttpGet::readArrived()
{
    while (stage_ != Stage::Done && socket_.bytesAvailable() > 0) {
        pending_ += socket_.read(kHeaderBytes);
        while (stage_ != Stage::Done && parseNext()) {
        }
    }
}

// The server has closed: a body it never announced ends here; anything else was cut short.
void HttpGet::closed()
{
    readArrived();
    if (stage_ == Stage::UntilClose)
        return finish();
    finish(stage_ == Stage::Head ? u"no answer"_s : u"the connection closed before the end"_s);
}

// The next line, without its end; false while it has not arrived whole. A line of the head or
// the trailers counts against their limits, a chunk's size line against its own.
bool HttpGet::takeLine(QByteArray& line, bool head)
{
    const qsizetype end = pending_.indexOf('\n');
    const qsizetype length = end < 0 ? pending_.size() : end + 1;
    if (length > (head ? kHeaderBytes - headBytes_ : kChunkSizeLine)) {
        finish(head ? u"headers over %1 bytes"_s.arg(kHeaderBytes) : u"a broken chunk"_s);
        return false;
    }
    if (end < 0)
        return false;
    if (head && ++headLines_ > kHeaderLines) {
        finish(u"more than %1 header lines"_s.arg(kHeaderLines));
        return false;
    }
    if (head)
        headBytes_ += length;
    line = pending_.left(end);
    pending_.remove(0, length);
    if (line.endsWith('\r'))
        line.chop(1);
    return true;
}

// Reads what it can of the pending bytes; false when it needs more, or has finished.
bool HttpGet::parseNext()
{
    QByteArray line;
    switch (stage_) {
    case Stage::Head:
        return takeLine(line, true) && headLine(line);
    case Stage::Length:
    case Stage::ChunkData:
    case Stage::UntilClose:
        return !pending_.isEmpty() && takeBody(pending_.size());
    case Stage::ChunkSize: {
        if (!takeLine(line, false))
            return false;
        const qsizetype extension = line.indexOf(';');
        bool ok = false;
        remaining_ = (extension < 0 ? line : line.left(extension)).trimmed().toLongLong(&ok, 16);
        if (!ok || remaining_ < 0 || remaining_ > sizeLimit_ - response_.body.size()) {
            finish(u"a broken or oversized chunk"_s);
            return false;
        }
        stage_ = remaining_ == 0 ? Stage::Trailers : Stage::ChunkData;
        return true;
    }
    case Stage::ChunkEnd:
        if (!takeLine(line, false))
            return false;
        stage_ = Stage::ChunkSize;
        return true;
    case Stage::Trailers:
        if (!takeLine(line, true))
            return false;
        if (line.isEmpty())
            finish();
        return stage_ != Stage::Done;
    case Stage::Done:
        break;
    }
    return false;
}

bool HttpGet::headLine(const QByteArray& line)
{
    if (response_.status == 0) {
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        response_.status = parts.value(1).toInt(&ok);
        if (!parts.value(0).startsWith("HTTP/1.") || !ok || response_.status < 100 || response_.status > 999) {
            finish(u"not an HTTP response"_s);
            return false;
        }
        return true;
    }
    if (!line.isEmpty()) {
        if (isHeader(line, "content-type"))
            response_.contentType = headerValue(line);
        else if (isHeader(line, "location"))
            response_.location = headerValue(line);
        else if (isHeader(line, "content-length"))
            remaining_ = lengthOf(headerValue(line));
        else if (isHeader(line, "transfer-encoding"))
            chunked_ = headerValue(line).toLower().contains("chunked");
        return true;
    }
    // An interim answer (100 Continue) is followed by the real one.
    if (response_.status < 200) {
        response_ = Response();
        remaining_ = -1;
        chunked_ = false;
        return true;
    }
    return startBody();
}

bool HttpGet::startBody()
{
    if (response_.status == 204 || response_.status == 304 || (!chunked_ && remaining_ == 0)) {
        finish();
        return false;
    }
    if (!chunked_ && remaining_ > sizeLimit_) {
        finish(u"over the size limit"_s);
        return false;
    }
    stage_ = chunked_ ? Stage::ChunkSize : remaining_ > 0 ? Stage::Length : Stage::UntilClose;
    return true;
}

bool HttpGet::takeBody(qsizetype size)
{
    const qsizetype taken = remaining_ >= 0 ? qsizetype(std::min<qint64>(size, remaining_)) : size;
    response_.body += pending_.left(taken);
    pending_.remove(0, taken);
    if (response_.body.size() > sizeLimit_) {
        finish(u"over the size limit"_s);
        return false;
    }
    if (remaining_ >= 0)
        remaining_ -= taken;
    if (remaining_ != 0)
        return false;
    if (stage_ == Stage::ChunkData) {
        stage_ = Stage::ChunkEnd;
        return true;
    }
    finish();
    return false;
}

void HttpGet::finish(const QString& error)
{
    if (stage_ == Stage::Done)
        return;
    stage_ = Stage::Done;
    response_.error = error;
    socket_.disconnect(this);
    socket_.abort();
    pending_.clear();
    if (Done done = std::exchange(done_, nullptr))
        done(response_);
}
