// The banners' web view (see htmlview.h).
#include "platform/htmlview.h"

#include "product.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QStringDecoder>
#include <optional>

// The style sheet lives in this static library's resources, which are loaded by hand, from
// outside any namespace.
static void loadBannerResources() { Q_INIT_RESOURCE(banner); }

namespace {

// Larger pictures would take more memory to unpack than a banner is worth.
constexpr qint64 kImagePixelLimit = 4096 * 4096;

const QColor kPlaceholderBackground(0xee, 0xf3, 0xf8);
const QColor kPlaceholderText(0x5a, 0x6b, 0x7d);

// The defaults every page starts from, read once, when the first page arrives.
litehtml::context& htmlContext()
{
    static litehtml::context context = [] {
        loadBannerResources();
        litehtml::context made;
        QFile defaults(QStringLiteral(":/html/defaults.css"));
        if (defaults.open(QIODevice::ReadOnly))
            made.load_master_stylesheet(defaults.readAll().constData());
        return made;
    }();
    return context;
}

bool isHtml(const QByteArray& mediaType) { return mediaType == "text/html" || mediaType == "application/xhtml+xml"; }

// How a file's bytes become text: in the encoding the server names or, failing that, for a
// page the one the page names itself (UTF-8 when it names none), for a style sheet its page's.
QStringDecoder decoderFor(const Fetched& file, const QByteArray& pageEncoding)
{
    if (!file.charset.isEmpty())
        return QStringDecoder(file.charset.constData());
    if (pageEncoding.isEmpty())
        return QStringDecoder::decoderForHtml(file.body);
    return QStringDecoder(pageEncoding.constData());
}

// The file as UTF-8; nothing when its bytes are not text in the decoder's encoding.
std::optional<QByteArray> utf8Text(const QByteArray& bytes, QStringDecoder& decoder)
{
    if (!decoder.isValid())
        return std::nullopt;
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || text.contains(QChar::Null))
        return std::nullopt;
    return text.toUtf8();
}

// The picture, or a null image when the bytes are no picture or one too large to unpack.
QImage decodedImage(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > kImagePixelLimit)
        return QImage();
    return reader.read();
}

}  // namespace

HtmlView::HtmlView(QWidget* parent) : WebView(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    container_.onLinkClicked = [](const QUrl& url) {
        if (isWebAddress(url))
            Website::openInBrowser(url.toString());
    };
    container_.onCursor = [this](Qt::CursorShape shape) { setCursor(shape); };
}

void HtmlView::navigate(const QUrl& url)
{
    fetcher_.cancelAll();
    document_.reset();
    container_.reset(url);
    state_ = State::Loading;
    finished_ = false;
    filesAsked_ = styleSheetsDue_ = imagesDue_ = 0;
    update();
    if (!fetcher_.fetch(url, [this](const Fetched& page) { pageArrived(page); }))
        fail();
}

void HtmlView::pageArrived(const Fetched& page)
{
    if (!page.ok() || !isHtml(page.mediaType))
        return fail();
    QStringDecoder decoder = decoderFor(page, QByteArray());
    const std::optional<QByteArray> text = utf8Text(page.body, decoder);
    if (!text)
        return fail();
    html_ = *text;
    pageEncoding_ = decoder.name();
    container_.reset(page.url);
    buildDocument();
}

// The document is made again each time style sheets arrive, since litehtml reads them while
// it parses the page; it is shown once none is missing.
void HtmlView::buildDocument()
{
    document_ = litehtml::document::createFromUTF8(html_.constData(), &container_, &htmlContext());
    if (!document_ || !fetchWanted())
        return fail();
    if (styleSheetsDue_ > 0) {
        document_.reset();
        return;
    }
    state_ = State::Page;
    layOut();
    update();
    finishIfComplete();
}

bool HtmlView::fetchWanted()
{
    for (const QUrl& url : container_.takeWantedStyleSheets()) {
        if (!fetchFile(url, &HtmlView::styleSheetArrived))
            return false;
        ++styleSheetsDue_;
    }
    for (const QUrl& url : container_.takeWantedImages()) {
        if (!fetchFile(url, &HtmlView::imageArrived))
            return false;
        ++imagesDue_;
    }
    return true;
}

bool HtmlView::fetchFile(const QUrl& url, void (HtmlView::*arrived)(const QUrl&, const Fetched&))
{
    return ++filesAsked_ <= kFileLimit
           && fetcher_.fetch(url, [this, url, arrived](const Fetched& file) { (this->*arrived)(url, file); });
}

void HtmlView::styleSheetArrived(const QUrl& url, const Fetched& sheet)
{
    --styleSheetsDue_;
    QStringDecoder decoder = decoderFor(sheet, pageEncoding_);
    const std::optional<QByteArray> text = sheet.ok() ? utf8Text(sheet.body, decoder) : std::nullopt;
    if (!text)
        return fail();
    container_.addStyleSheet(url, QString::fromUtf8(*text));
    if (styleSheetsDue_ == 0)
        buildDocument();
}

void HtmlView::imageArrived(const QUrl& url, const Fetched& file)
{
    --imagesDue_;
    const QImage image = file.ok() ? decodedImage(file.body) : QImage();
    if (image.isNull())
        return fail();
    container_.addImage(url, image);
    if (showsPage()) {
        layOut();
        update();
    }
    finishIfComplete();
}

void HtmlView::layOut()
{
    container_.setViewport(size());
    document_->render(width());
}

void HtmlView::finishIfComplete()
{
    if (showsPage() && !finished_ && styleSheetsDue_ == 0 && imagesDue_ == 0) {
        finished_ = true;
        emit loadFinished(true);
    }
}

void HtmlView::fail()
{
    if (state_ == State::Placeholder)
        return;
    fetcher_.cancelAll();
    document_.reset();
    state_ = State::Placeholder;
    unsetCursor();
    update();
    finished_ = true;
    emit loadFinished(false);
}

void HtmlView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    if (!showsPage())
        return paintPlaceholder(painter);
    // A page that sets no background is drawn on white, as browsers do.
    painter.fillRect(rect(), Qt::white);
    const QRect area = event->rect();
    const litehtml::position clip(area.x(), area.y(), area.width(), area.height());
    document_->draw(reinterpret_cast<litehtml::uint_ptr>(&painter), 0, 0, &clip);
}

// While the page loads only the quiet background shows; the name comes when the page fails.
void HtmlView::paintPlaceholder(QPainter& painter) const
{
    painter.fillRect(rect(), kPlaceholderBackground);
    if (state_ != State::Placeholder)
        return;
    QFont font(QStringLiteral("sans-serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(18);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    painter.setFont(font);
    painter.setPen(kPlaceholderText);
    painter.drawText(rect(), Qt::AlignCenter, kProductName);
}

void HtmlView::resizeEvent(QResizeEvent* event)
{
    WebView::resizeEvent(event);
    if (!showsPage())
        return;
    container_.setViewport(size());
    if (document_->media_changed() && !fetchWanted())
        return fail();
    layOut();
    update();
}

void HtmlView::mouseMoveEvent(QMouseEvent* event)
{
    if (showsPage())
        tellDocument(&litehtml::document::on_mouse_over, event->position().toPoint());
}

void HtmlView::mousePressEvent(QMouseEvent* event)
{
    if (showsPage() && event->button() == Qt::LeftButton)
        tellDocument(&litehtml::document::on_lbutton_down, event->position().toPoint());
}

void HtmlView::mouseReleaseEvent(QMouseEvent* event)
{
    if (showsPage() && event->button() == Qt::LeftButton)
        tellDocument(&litehtml::document::on_lbutton_up, event->position().toPoint());
}

// The document's view and client coordinates are the same: the page never scrolls.
void HtmlView::tellDocument(MouseHandler handler, const QPoint& at)
{
    litehtml::position::vector changed;
    if (((*document_).*handler)(at.x(), at.y(), at.x(), at.y(), changed))
        update();
}

void HtmlView::leaveEvent(QEvent* event)
{
    WebView::leaveEvent(event);
    if (!showsPage())
        return;
    litehtml::position::vector changed;
    if (document_->on_mouse_leave(changed))
        update();
    unsetCursor();
}
