// The maker's web site: the banner pages some windows show and the home page the links open.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

namespace Website {

// All banner pages live on this host; its root is the home page.
inline constexpr const char* kHost = "mozhe.example";

// "http://mozhe.example", or with a trailing "/".
QString homePage(bool trailingSlash);
QUrl page(const QString& path);

// Asks the desktop to open the address in the user's browser; the result is not examined.
void openInBrowser(const QString& address);

// Replaces the desktop's "open" for tests; an empty function restores it.
void setBrowserOpenerForTesting(std::function<void(const QUrl&)> opener);

}  // namespace Website
