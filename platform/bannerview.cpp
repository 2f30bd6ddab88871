// The banners' web view (see bannerview.h).
#include "platform/bannerview.h"

#include "platform/contrast.h"
#include "platform/website.h"
#include "product.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

using BannerProtocol::ReplyStatus;

namespace {

struct QuietColours {
    QColor background;
    QColor text;
};

// A pale blue-grey in a light palette, a dark one in a dark palette; the name keeps a contrast
// of at least 4.5:1 on either (4.9:1 and 7.6:1).
QuietColours quietColours(const QPalette& palette)
{
    if (isDark(palette.color(QPalette::Window)))
        return {QColor(0x26, 0x2e, 0x38), QColor(0xb4, 0xc2, 0xd0)};
    return {QColor(0xee, 0xf3, 0xf8), QColor(0x5a, 0x6b, 0x7d)};
}

}  // namespace

BannerView::BannerView(QWidget* parent) : WebView(parent), id_(BannerHelper::instance().add(this))
{
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

BannerView::~BannerView() { BannerHelper::release(id_); }

// Each navigation fetches the page afresh; a picture still on its way for the one before is
// not shown.
void BannerView::navigate(const QUrl& url)
{
    if (!asked_.url.isEmpty())
        BannerHelper::instance().forget(id_);
    navigatedSinceAsked_ = pending_ != 0;
    url_ = url;
    state_ = State::Loading;
    finished_ = false;
    picture_ = QImage();
    links_.clear();
    pressedLink_ = -1;
    unsetCursor();
    update();
    if (!BannerProtocol::isWebAddress(url))
        return finish(false);
    requestPicture();
}

// A picture for the view as it is now, unless it has one. One request at a time: a change while
// one is on its way is asked for once it is answered.
void BannerView::requestPicture()
{
    if (state_ == State::Placeholder || url_.isEmpty() || size().isEmpty() || !isVisible())
        return;
    const BannerHelper::Request request = BannerHelper::requestFor(url_, size(), devicePixelRatioF());
    if (pending_ != 0) {
        outdated_ = outdated_ || request != asked_;
        return;
    }
    if (state_ == State::Page && request == shown_)
        return;
    outdated_ = false;
    asked_ = request;
    pending_ = BannerHelper::instance().draw(id_, request);
    if (pending_ == 0)
        finish(false);
}

// A picture of the page at a size it no longer has still shows until the one at its new size
// comes; one of the page before the last navigation never does.
void BannerView::showReply(const BannerReplyReader::Reply& reply)
{
    if (reply.serial != pending_)
        return;
    const bool last = reply.status != ReplyStatus::Partial;
    if (last)
        pending_ = 0;
    if (navigatedSinceAsked_) {
        navigatedSinceAsked_ = !last;
        if (last)
            requestPicture();
        return;
    }
    if (reply.status == ReplyStatus::Placeholder)
        return finish(false);
    state_ = State::Page;
    picture_ = reply.picture;
    shown_ = asked_;
    links_ = reply.links;
    update();
    if (reply.status == ReplyStatus::Complete)
        finish(true);
    if (last && outdated_)
        requestPicture();
}

void BannerView::showPlaceholder()
{
    pending_ = 0;
    finish(false);
}

void BannerView::finish(bool ok)
{
    if (!ok) {
        state_ = State::Placeholder;
        picture_ = QImage();
        links_.clear();
        unsetCursor();
        update();
    }
    if (finished_)
        return;
    finished_ = true;
    Q_EMIT loadFinished(ok);
}

void BannerView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (state_ != State::Page) {
        paintQuietBackground(painter, rect());
        if (state_ == State::Placeholder) {
            QFont font(u"sans-serif"_s);
            font.setStyleHint(QFont::SansSerif);
            font.setPixelSize(18);
            font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
            painter.setFont(font);
            painter.setPen(quietColours(palette()).text);
            painter.drawText(rect(), Qt::AlignCenter, kProductName);
        }
        return;
    }
    // A picture drawn at another size shows where it reaches until its successor comes.
    const QRect drawn(QPoint(0, 0), shown_.size);
    painter.drawImage(drawn, picture_);
    for (const QRect& uncovered : QRegion(rect()).subtracted(drawn))
        paintQuietBackground(painter, uncovered);
}

void BannerView::paintQuietBackground(QPainter& painter, const QRect& area) const
{
    painter.fillRect(area, quietColours(palette()).background);
}

void BannerView::showEvent(QShowEvent* event)
{
    WebView::showEvent(event);
    requestPicture();
}

void BannerView::resizeEvent(QResizeEvent* event)
{
    WebView::resizeEvent(event);
    requestPicture();
}

void BannerView::changeEvent(QEvent* event)
{
    WebView::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        update();
}

int BannerView::linkAt(const QPointF& at) const
{
    for (qsizetype i = 0; i < links_.size(); ++i)
        if (QRectF(links_[i].area).contains(at))
            return int(i);
    return -1;
}

void BannerView::mouseMoveEvent(QMouseEvent* event)
{
    if (linkAt(event->position()) >= 0)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void BannerView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        pressedLink_ = linkAt(event->position());
}

// A link opens when the button is let go over the link it was pressed on.
void BannerView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int link = linkAt(event->position());
    if (link >= 0 && link == pressedLink_)
        Website::openInBrowser(links_[link].address.toString());
    pressedLink_ = -1;
}

void BannerView::leaveEvent(QEvent* event)
{
    WebView::leaveEvent(event);
    unsetCursor();
}
