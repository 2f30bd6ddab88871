// The maker's web site (see website.h).
#include "platform/website.h"

#include <QDesktopServices>

using namespace Qt::StringLiterals;

namespace Website {

namespace {

std::function<void(const QUrl&)>& browserOpener()
{
    static std::function<void(const QUrl&)> opener;
    return opener;
}

}  // namespace

QString homePage(bool trailingSlash)
{
    return u"http://"_s + QLatin1String(kHost) + (trailingSlash ? u"/"_s : QString());
}

QUrl page(const QString& path) { return QUrl(homePage(true) + path); }

void openInBrowser(const QString& address)
{
    const QUrl url(address);
    if (browserOpener())
        browserOpener()(url);
    else
        QDesktopServices::openUrl(url);
}

void setBrowserOpenerForTesting(std::function<void(const QUrl&)> opener) { browserOpener() = std::move(opener); }

}  // namespace Website
