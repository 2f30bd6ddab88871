// The maker's web site: the banner pages some windows show and the home page the links open.
#pragma once

#include <QString>
#include <QUrl>
#include <QWidget>
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

// What a banner needs of a web view.
class WebView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void navigate(const QUrl& url) = 0;
};

// A window's embedded web banner. It holds a web view made by the current factory: the
// program's own view of pictures drawn by the banner helper (platform/bannerview.h), a
// recording stand-in in tests.
class TWebBrowser : public QWidget {
    Q_OBJECT
public:
    explicit TWebBrowser(QWidget* parent = nullptr);

    void Navigate(const QUrl& url);
    WebView* view() const { return view_; }

    // Where the banner stays as its parent is resized: along the top across the parent's full
    // width, or at the parent's right end; always inside the parent's frame.
    enum class Align { Top, Right };
    void setAlign(Align align);

    using Factory = std::function<WebView*(QWidget* parent)>;
    static void setFactory(Factory factory);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void followParent();

    WebView* view_;
    Align align_ = Align::Top;
};
