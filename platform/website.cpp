// The maker's web site (see website.h).
#include "platform/website.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

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
    return QStringLiteral("http://") + QLatin1String(kHost) + (trailingSlash ? QStringLiteral("/") : QString());
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

namespace {

// A page that cannot load shows the product's name on a quiet background instead of the
// engine's error page.
const char* const kPlaceholderPage =
    "<html><body style=\"margin:0;background:#eef3f8;font-family:sans-serif;color:#5a6b7d;"
    "display:flex;align-items:center;justify-content:center;height:100vh;overflow:hidden\">"
    "<div style=\"font-size:18px;letter-spacing:2px\">墨柘密码本</div></body></html>";

// The banners keep nothing on disk: no cache, no cookies, no history of the maker's pages in
// the user's home. One profile serves every banner and ends with the application.
QWebEngineProfile* bannerProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile)
        profile = new QWebEngineProfile(qApp);
    return profile;
}

class EngineWebView : public WebView {
public:
    explicit EngineWebView(QWidget* parent) : WebView(parent), engine_(new QWebEngineView(this))
    {
        engine_->setPage(new QWebEnginePage(bannerProfile(), engine_));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(engine_);
        connect(engine_, &QWebEngineView::loadFinished, this, [this](bool ok) {
            if (!ok && !showingPlaceholder_) {
                showingPlaceholder_ = true;
                engine_->setHtml(QString::fromUtf8(kPlaceholderPage));
            }
        });
    }

    void navigate(const QUrl& url) override
    {
        showingPlaceholder_ = false;
        engine_->load(url);
    }

private:
    QWebEngineView* engine_;
    bool showingPlaceholder_ = false;
};

TWebBrowser::Factory& factory()
{
    static TWebBrowser::Factory current = [](QWidget* parent) -> WebView* { return new EngineWebView(parent); };
    return current;
}

}  // namespace

TWebBrowser::TWebBrowser(QWidget* parent) : QWidget(parent), view_(factory()(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

void TWebBrowser::Navigate(const QUrl& url) { view_->navigate(url); }

void TWebBrowser::setAlign(Align align)
{
    align_ = align;
    parentWidget()->installEventFilter(this);
    followParent();
}

bool TWebBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        followParent();
    return QWidget::eventFilter(watched, event);
}

void TWebBrowser::followParent()
{
    const QRect inside = parentWidget()->contentsRect();
    if (align_ == Align::Top)
        setGeometry(inside.left(), inside.top(), inside.width(), height());
    else
        move(inside.right() + 1 - width(), inside.top());
}

void TWebBrowser::setFactory(Factory newFactory) { factory() = std::move(newFactory); }

namespace {

// The engine's sandbox needs new user, process and network namespaces. Where the system
// denies them (some containers do), the engine cannot start its pages and ends the program.
bool sandboxCanRun()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::unshare(CLONE_NEWUSER | CLONE_NEWPID | CLONE_NEWNET) == 0 ? 0 : 1);
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

void prepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0 || !sandboxCanRun())
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}
