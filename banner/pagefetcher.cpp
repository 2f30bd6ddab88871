// Fetching a banner page and its files (see pagefetcher.h).
#include "pagefetcher.h"

#include "protocol/banner.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
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

// One manager serves every banner; it is made on the first fetch and ends with the
// application. A manager has no cache unless one is given to it, and none is.
QNetworkAccessManager* network()
{
    static QPointer<QNetworkAccessManager> manager;
    if (!manager)
        manager = new QNetworkAccessManager(QCoreApplication::instance());
    return manager;
}

bool isFetchable(const QUrl& url, const QUrl& origin)
{
    return (BannerProtocol::isWebAddress(url) && isSameOrigin(url, origin))
           || (url.isValid() && url.scheme() == QLatin1String("data"));
}

int defaultPort(const QUrl& url) { return url.scheme() == QLatin1String("https") ? 443 : 80; }

// Redirects wait for a yes from the fetcher; cookies are neither sent nor kept.
QNetworkRequest bannerRequest(const QUrl& url)
{
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    return request;
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

QString statusError(const QNetworkReply* reply)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid() || (status.toInt() >= 200 && status.toInt() < 300))
        return QString();
    return u"HTTP status %1"_s.arg(status.toInt());
}

const char* const kOverTheSizeLimit = "over the size limit";

// Takes what the reply has ready; false once the file has grown over the size limit.
bool takeArrived(QNetworkReply* reply, Fetched& result)
{
    if (reply->isOpen())
        result.body += reply->readAll();
    return result.body.size() <= PageFetcher::kSizeLimit;
}

// What a finished reply amounts to: the first failure seen, else the whole file.
void complete(QNetworkReply* reply, Fetched& result)
{
    if (!takeArrived(reply, result) && result.error.isEmpty())
        result.error = QLatin1String(kOverTheSizeLimit);
    if (result.error.isEmpty() && reply->error() != QNetworkReply::NoError)
        result.error = reply->errorString();
    if (result.error.isEmpty())
        result.error = statusError(reply);
    result.url = reply->url();
    readContentType(reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), result);
}

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
    watch(network()->get(bannerRequest(url)), origin, std::move(done));
    return true;
}

void PageFetcher::watch(QNetworkReply* reply, const QUrl& origin, Done done)
{
    replies_.insert(reply);
    connect(reply, &QObject::destroyed, this, [this, reply] { replies_.remove(reply); });
    auto result = std::make_shared<Fetched>();
    const auto fail = [reply, result](const QString& why) {
        if (result->error.isEmpty())
            result->error = why;
        reply->abort();
    };
    QTimer::singleShot(timeLimitMs(), reply, [fail] { fail(u"no answer within the time limit"_s); });
    connect(reply, &QNetworkReply::redirected, reply, [reply, fail, origin](const QUrl& to) {
        if (BannerProtocol::isWebAddress(to) && isSameOrigin(to, origin))
            Q_EMIT reply->redirectAllowed();
        else
            fail(u"redirected to another origin: "_s + to.toString());
    });
    connect(reply, &QNetworkReply::readyRead, reply, [reply, result, fail] {
        if (!takeArrived(reply, *result))
            fail(QLatin1String(kOverTheSizeLimit));
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, result, done = std::move(done)] {
        replies_.remove(reply);
        reply->deleteLater();
        complete(reply, *result);
        done(*result);
    });
}

void PageFetcher::cancelAll()
{
    const QSet<QNetworkReply*> replies = std::exchange(replies_, {});
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void PageFetcher::setTimeLimit(int milliseconds) { timeLimitMs() = std::clamp(milliseconds, 1, kDefaultTimeLimitMs); }
