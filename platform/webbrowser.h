// A window's embedded web banner, and the factory of the web view it holds.
#pragma once

#include "platform/webview.h"

#include <QUrl>
#include <QWidget>
#include <functional>

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
