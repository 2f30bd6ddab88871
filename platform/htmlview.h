// The banners' web view: a page laid out by litehtml and drawn by the view itself. It runs no
// scripts, keeps nothing on disk, and never takes the keyboard focus. A page that cannot be
// shown whole (not fetched, not HTML, over a limit, a style sheet or an image missing or
// broken) gives way to a quiet placeholder with the product's name.
#pragma once

#include "platform/litehtmlcontainer.h"
#include "platform/pagefetcher.h"
#include "platform/website.h"

#include <QByteArray>
#include <litehtml/litehtml.h>

class HtmlView : public WebView {
    Q_OBJECT
public:
    // The style sheets and images one page may ask for.
    static constexpr int kFileLimit = 32;

    explicit HtmlView(QWidget* parent = nullptr);

    void navigate(const QUrl& url) override;

signals:
    // Once for each navigation: true when the page and all its files are shown, false when
    // the placeholder is.
    void loadFinished(bool ok);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class State { Loading, Page, Placeholder };
    using MouseHandler = bool (litehtml::document::*)(int x, int y, int clientX, int clientY,
                                                      litehtml::position::vector& redrawBoxes);

    void pageArrived(const Fetched& page);
    void styleSheetArrived(const QUrl& url, const Fetched& sheet);
    void imageArrived(const QUrl& url, const Fetched& file);
    void buildDocument();
    bool fetchWanted();
    bool fetchFile(const QUrl& url, void (HtmlView::*arrived)(const QUrl&, const Fetched&));
    void layOut();
    void finishIfComplete();
    void fail();
    void paintPlaceholder(QPainter& painter) const;
    void tellDocument(MouseHandler handler, const QPoint& at);
    bool showsPage() const { return state_ == State::Page && document_; }

    PageFetcher fetcher_;
    LitehtmlContainer container_;
    litehtml::document::ptr document_;
    QByteArray html_;          // the page as UTF-8
    QByteArray pageEncoding_;  // what the page was written in
    State state_ = State::Loading;
    bool finished_ = false;
    int filesAsked_ = 0;
    int styleSheetsDue_ = 0;
    int imagesDue_ = 0;
};
