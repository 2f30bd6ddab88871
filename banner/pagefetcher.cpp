// Fetching a banner page and its files (see pagefetcher.h).
#include "pagefetcher.h"

#include "httpget.h"

#include <QTimer>
#include <algorithm>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

int& timeLimitMs()
{
    static int limit = PageFetcher::kDefaultTimeLimitMs;
    return limit;
}

bool isDataAddress(const QUrl& url) { return url.isValid() && url.scheme() == QLatin1String("data"); }

bool isFetchable(const QUrl& url, const QUrl& origin)
{
    return (url.scheme() == QLatin1String("http") && url.isValid() && !url.host().isEmpty()
            && isSameOrigin(url, origin))
           || isDataAddress(url);
}

int defaultPort(const QUrl& url) { return url.scheme() == QLatin1String("https") ? 443 : 80; }

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// "text/html; charset=UTF-8" gives "text/html" and "utf-8".
void readContentType(const QByteArray& header, Fetched& into)
{
    const QList<QByteArray> parts = header.split(';');
    into.mediaType = parts.value(0).trimmed().toLower();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray parameter = parts[i].trimmed().toLower();
        if (parameter.startsWith("charset="))
            into.charset = parameter.mid(8).replace('"', QByteArray());
    }
}

// "data:image/png;base64,iVBO..." or "data:text/css,p%20%7B%7D": the bytes and their type.
Fetched readDataAddress(const QUrl& url)
{
    Fetched result;
    result.url = url;
    const QByteArray whole = url.toEncoded().mid(5);
    const qsizetype comma = whole.indexOf(',');
    QByteArray header = comma < 0 ? QByteArray() : whole.left(comma);
    const QByteArray payload = QByteArray::fromPercentEncoding(whole.mid(comma + 1));
    const bool base64 = header.toLower().endsWith(";base64");
    if (base64)
        header.chop(7);
    readContentType(header.isEmpty() ? QByteArray("text/plain") : QByteArray::fromPercentEncoding(header), result);
    const auto decoded = base64 ? QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors)
                                : QByteArray::FromBase64Result{payload, QByteArray::Base64DecodingStatus::Ok};
    if (comma < 0 || !decoded)
        result.error = u"a broken data address"_s;
    else if (decoded.decoded.size() > PageFetcher::kSizeLimit)
        result.error = u"over the size limit"_s;
    else
        result.body = decoded.decoded;
    return result;
}

// One file on its way: its request and the redirects it follows on its origin, all within one
// time limit, or a data address read in place. It answers from the event loop, and is deleted
// from there once it has answered or been cancelled, never inside its own work.
class Fetch : public QObject {
public:
    Fetch(const QUrl& url, const QUrl& origin, PageFetcher::Done done, QObject* parent)
        : QObject(parent), origin_(origin), done_(std::move(done))
    {
        timeLimit_.setSingleShot(true);
        connect(&timeLimit_, &QTimer::timeout, this, [this] { fail(u"no answer within the time limit"_s); });
        timeLimit_.start(timeLimitMs());
        if (isDataAddress(url))
            QTimer::singleShot(0, this, [this, url] { finish(readDataAddress(url)); });
        else
            get(url);
    }

    // Its done function is never called.
    void cancel()
    {
        done_ = nullptr;
        finish(Fetched());
    }

private:
    void get(const QUrl& url)
    {
        url_ = url;
        request_ = std::make_unique<HttpGet>(url, PageFetcher::kSizeLimit,
                                             [this](const HttpGet::Response& response) { arrived(response); });
    }

    void arrived(const HttpGet::Response& response)
    {
        if (!response.error.isEmpty())
            return fail(response.error);
        if (!isRedirect(response.status))
            return answer(response);
        const QUrl to = url_.resolved(QUrl::fromEncoded(response.location));
        if (!isFetchable(to, origin_) || isDataAddress(to))
            return fail(u"redirected to another origin: "_s + to.toString());
        if (++redirects_ > PageFetcher::kRedirectLimit)
            return fail(u"more than %1 redirects"_s.arg(PageFetcher::kRedirectLimit));
        request_.release()->deleteLater();
        get(to);
    }

    void answer(const HttpGet::Response& response)
    {
        Fetched result;
        result.url = url_;
        result.body = response.body;
        readContentType(response.contentType, result);
        if (response.status < 200 || response.status >= 300)
            result.error = u"HTTP status %1"_s.arg(response.status);
        finish(result);
    }

    void fail(const QString& why)
    {
        Fetched result;
        result.url = url_;
        result.error = why;
        finish(result);
    }

    void finish(const Fetched& result)
    {
        timeLimit_.stop();
        if (request_)
            request_.release()->deleteLater();
        deleteLater();
        if (PageFetcher::Done done = std::exchange(done_, nullptr))
            done(result);
    }

    QUrl url_;
    QUrl origin_;
    PageFetcher::Done done_;
    QTimer timeLimit_;
    std::unique_ptr<HttpGet> request_;
    int redirects_ = 0;
};

}  // namespace

bool isSameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port(defaultPort(a)) == b.port(defaultPort(b));
}

PageFetcher::PageFetcher(QObject* parent) : QObject(parent) {}

PageFetcher::~PageFetcher() { cancelAll(); }

bool PageFetcher::fetch(const QUrl& url, const QUrl& origin, Done done)
{
    if (!isFetchable(url, origin))
        return false;
    new Fetch(url, origin, std::move(done), this);
    return true;
}

// Every fetch under way is a child of the fetcher.
void PageFetcher::cancelAll()
{
    for (QObject* child : children())
        if (auto* fetch = dynamic_cast<Fetch*>(child))
            fetch->cancel();
}

void PageFetcher::setTimeLimit(int milliseconds) { timeLimitMs() = std::clamp(milliseconds, 1, kDefaultTimeLimitMs); }
