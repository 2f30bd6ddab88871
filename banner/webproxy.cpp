// The helper's web proxy (see webproxy.h).
#include "webproxy.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace WebProxy {

namespace {

constexpr int kDefaultPort = 8080;

bool bypasses(const QString& host)
{
    const QString listed = qEnvironmentVariable("no_proxy");
    for (QString entry : listed.split(u',', Qt::SkipEmptyParts)) {
        entry = entry.trimmed().toLower();
        if (entry == u"*"_s)
            return true;
        if (entry.startsWith(u'.'))
            entry.remove(0, 1);
        if (!entry.isEmpty() && (host == entry || host.endsWith(u'.' + entry)))
            return true;
    }
    return false;
}

}  // namespace

std::optional<Address> configured()
{
    const QString named = qEnvironmentVariable("http_proxy").trimmed();
    if (named.isEmpty())
        return std::nullopt;
    const QUrl url = QUrl(named.contains(u"://"_s) ? named : u"http://"_s + named);
    if (url.scheme() != u"http"_s || url.host().isEmpty())
        return std::nullopt;
    return Address{url.host(), std::uint16_t(url.port(kDefaultPort))};
}

std::optional<Address> forHost(const QString& host)
{
    if (bypasses(host.toLower()))
        return std::nullopt;
    return configured();
}

}  // namespace WebProxy
