// One banner page in the helper: the page and the style sheets and pictures it names, fetched
// once from the page's own origin within their limits; its document measured before litehtml
// builds it; and then laid out and drawn at each size asked for, with its link areas. No script
// runs. A page that cannot be drawn whole (not fetched, not HTML, over a limit, a file missing,
// broken or on another origin) fails, and the password book shows its placeholder.
#pragma once

#include "litehtmlcontainer.h"
#include "pagefetcher.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QTimer>
#include <litehtml/litehtml.h>

class BannerPage : public QObject {
    Q_OBJECT
public:
    // The style sheets and pictures one page may ask for.
    static constexpr int kFileLimit = 32;
    // The pixels of one picture, and of all a page's pictures together, once unpacked.
    static constexpr qint64 kPixelLimit = 4096 * 4096;
    // The time a page has to arrive whole, with all its files.
    static constexpr int kTimeLimitMs = 20000;

    enum class State { Loading, Shown, Complete, Failed };

    struct Link {
        QRect area;  // CSS pixels
        QByteArray address;
    };
    struct Drawing {
        QImage picture;
        QList<Link> links;
    };

    // The page is built under the media rules of the size first asked for.
    BannerPage(const QUrl& url, const QSize& size, QObject* parent = nullptr);

    QUrl url() const { return requested_; }
    // Shown: laid out while pictures are still on their way; Complete: with all of them.
    State state() const { return state_; }
    // The page laid out at a size in CSS pixels and drawn into a picture of so many pixels;
    // a null picture when that size needs style sheets the page does not have yet (a media
    // query), which makes the page Loading again, or when the page fails.
    Drawing draw(const QSize& size, const QSize& pixels);

Q_SIGNALS:
    void stateChanged();

private:
    void pageArrived(const Fetched& page);
    void styleSheetArrived(const QUrl& url, const Fetched& sheet);
    void imageArrived(const QUrl& url, const Fetched& file);
    void buildDocument();
    bool fetchWanted();
    bool fetchFile(const QUrl& url, void (BannerPage::*arrived)(const QUrl&, const Fetched&));
    void layOut(const QSize& size);
    State settled() const;
    void setState(State state);
    void fail();
    QList<Link> links(const QSize& size) const;

    QUrl requested_;
    QUrl origin_;  // where the page came from at last
    PageFetcher fetcher_;
    LitehtmlContainer container_;
    litehtml::document::ptr document_;
    QByteArray html_;          // the page as UTF-8
    QByteArray pageEncoding_;  // what the page was written in
    QTimer timeLimit_;
    State state_ = State::Loading;
    int filesAsked_ = 0;
    int styleSheetsDue_ = 0;
    int imagesDue_ = 0;
    qint64 pixels_ = 0;
};
