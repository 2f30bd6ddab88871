// The banners' web view. It shows the pictures the banner helper draws of a page (no web
// page's bytes ever reach it), points the cursor at the page's links and opens them in the
// browser, and never takes the keyboard focus. It asks for a new picture when it is shown or
// resized, without waiting for it, and shows the picture it has meanwhile. While the first
// picture is on its way it shows a quiet background, and where a page cannot be shown whole,
// a placeholder with the product's name in colours that follow the palette.
#pragma once

#include "platform/bannerhelper.h"
#include "platform/webview.h"

class BannerView : public WebView {
    Q_OBJECT
public:
    explicit BannerView(QWidget* parent = nullptr);
    ~BannerView() override;

    void navigate(const QUrl& url) override;

    // From the helper.
    void showReply(const BannerReplyReader::Reply& reply);
    void showPlaceholder();

Q_SIGNALS:
    // Once for each navigation: true when the page and all its files are shown, false when
    // the placeholder is.
    void loadFinished(bool ok);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    enum class State { Loading, Page, Placeholder };

    void requestPicture();
    void finish(bool ok);
    int linkAt(const QPointF& at) const;
    void paintQuietBackground(QPainter& painter, const QRect& area) const;

    quint32 id_;
    QUrl url_;
    State state_ = State::Loading;
    bool finished_ = false;
    QImage picture_;
    BannerHelper::Request shown_;  // what the picture is of
    QList<BannerReplyReader::Link> links_;
    BannerHelper::Request asked_;
    quint32 pending_ = 0;               // the serial of the request on its way, if any
    bool outdated_ = false;             // the view has changed since it was asked
    bool navigatedSinceAsked_ = false;  // and its answer is of the page before
    int pressedLink_ = -1;
};
