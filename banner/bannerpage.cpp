// One banner page in the helper (see bannerpage.h).
#include "bannerpage.h"

#include "documentlimits.h"
#include "fence/fence.h"
#include "protocol/banner.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QStringDecoder>
#include <cstring>
#include <optional>
#include <vector>

using namespace Qt::StringLiterals;

// The style sheet lives in the helper's resources, which are loaded by hand, from outside any
// namespace.
static void loadBannerResources() { Q_INIT_RESOURCE(banner); }

namespace {

// The defaults every page starts from, read once, when the first page arrives.
litehtml::context& htmlContext()
{
    static litehtml::context context = [] {
        loadBannerResources();
        litehtml::context made;
        QFile defaults(u":/defaults.css"_s);
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

// The picture formats banners use, known by their first bytes; no other reader sees a page's
// bytes.
QByteArray pictureFormat(const QByteArray& data)
{
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (data.startsWith("\xff\xd8\xff"))
        return "jpeg";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return "gif";
    return QByteArray();
}

// The picture, or a null image when the bytes are no picture, or one that would take the page
// over its pixels; those it takes are added to pixels.
QImage decodedImage(const QByteArray& data, qint64& pixels)
{
    const QByteArray format = pictureFormat(data);
    if (format.isEmpty())
        return QImage();
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return QImage();
    const qint64 area = qint64(size.width()) * size.height();
    if (area > BannerPage::kPixelLimit - pixels)
        return QImage();
    pixels += area;
    return reader.read();
}

bool withinLimits(const QByteArray& html)
{
    const Fence::CpuWatch watch;
    return DocumentLimits::exceeded(html).isEmpty();
}

QRect rectOf(const litehtml::position& pos) { return QRect(pos.x, pos.y, pos.width, pos.height); }

// Where an element shows: the line boxes of an inline one, else its box with padding and
// border.
QList<QRect> areasOf(const litehtml::element::ptr& element)
{
    QList<QRect> areas;
    if (element->get_display() == litehtml::display_inline) {
        litehtml::position::vector boxes;
        element->get_inline_boxes(boxes);
        for (const litehtml::position& box : boxes)
            areas << rectOf(box);
        return areas;
    }
    const QRect content = rectOf(element->get_placement());
    areas << content.adjusted(
        -element->padding_left() - element->border_left(), -element->padding_top() - element->border_top(),
        element->padding_right() + element->border_right(), element->padding_bottom() + element->border_bottom());
    return areas;
}

}  // namespace

BannerPage::BannerPage(const QUrl& url, const QSize& size, QObject* parent)
    : QObject(parent), requested_(url), origin_(url)
{
    timeLimit_.setSingleShot(true);
    connect(&timeLimit_, &QTimer::timeout, this, &BannerPage::fail);
    timeLimit_.start(kTimeLimitMs);
    container_.reset(url);
    container_.setViewport(size);
    if (!BannerProtocol::isWebAddress(url)
        || !fetcher_.fetch(url, url, [this](const Fetched& page) { pageArrived(page); }))
        fail();
}

void BannerPage::pageArrived(const Fetched& page)
{
    if (!page.ok() || !isHtml(page.mediaType))
        return fail();
    QStringDecoder decoder = decoderFor(page, QByteArray());
    const std::optional<QByteArray> text = utf8Text(page.body, decoder);
    if (!text || !withinLimits(*text))
        return fail();
    html_ = *text;
    pageEncoding_ = decoder.name();
    origin_ = page.url;
    container_.reset(page.url);
    buildDocument();
}

// The document is made again each time style sheets arrive, since litehtml reads them while
// it parses the page; it is kept once none is missing, and laid out at each size drawn.
void BannerPage::buildDocument()
{
    {
        const Fence::CpuWatch watch;
        document_ = litehtml::document::createFromUTF8(html_.constData(), &container_, &htmlContext());
    }
    if (!document_ || !fetchWanted())
        return fail();
    if (styleSheetsDue_ > 0)
        document_.reset();
    setState(settled());
}

bool BannerPage::fetchWanted()
{
    for (const QUrl& url : container_.takeWantedStyleSheets()) {
        if (!fetchFile(url, &BannerPage::styleSheetArrived))
            return false;
        ++styleSheetsDue_;
    }
    for (const QUrl& url : container_.takeWantedImages()) {
        if (!fetchFile(url, &BannerPage::imageArrived))
            return false;
        ++imagesDue_;
    }
    return true;
}

bool BannerPage::fetchFile(const QUrl& url, void (BannerPage::*arrived)(const QUrl&, const Fetched&))
{
    return ++filesAsked_ <= kFileLimit
           && fetcher_.fetch(url, origin_, [this, url, arrived](const Fetched& file) { (this->*arrived)(url, file); });
}

void BannerPage::styleSheetArrived(const QUrl& url, const Fetched& sheet)
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

void BannerPage::imageArrived(const QUrl& url, const Fetched& file)
{
    --imagesDue_;
    const QImage image = file.ok() ? decodedImage(file.body, pixels_) : QImage();
    if (image.isNull())
        return fail();
    container_.addImage(url, image);
    if (document_)
        setState(settled());
}

// A new size may bring the page under other media rules, which may name files not fetched yet.
void BannerPage::layOut(const QSize& size)
{
    const Fence::CpuWatch watch;
    container_.setViewport(size);
    if (document_->media_changed() && !fetchWanted())
        return fail();
    document_->render(size.width());
}

BannerPage::State BannerPage::settled() const
{
    if (!document_ || styleSheetsDue_ > 0)
        return State::Loading;
    return imagesDue_ > 0 ? State::Shown : State::Complete;
}

BannerPage::Drawing BannerPage::draw(const QSize& size, const QSize& pixels)
{
    if (!document_)
        return {};
    layOut(size);
    if (state_ == State::Failed)
        return {};
    setState(settled());
    if (state_ == State::Loading)
        return {};
    QImage picture(pixels, QImage::Format_RGB32);
    // A page that sets no background is drawn on white, as browsers do.
    picture.fill(Qt::white);
    {
        const Fence::CpuWatch watch;
        QPainter painter(&picture);
        painter.scale(qreal(pixels.width()) / size.width(), qreal(pixels.height()) / size.height());
        const litehtml::position clip(0, 0, size.width(), size.height());
        document_->draw(reinterpret_cast<litehtml::uint_ptr>(&painter), 0, 0, &clip);
    }
    return {picture, links(size)};
}

// The page's links in document order, each an area it shows in and its absolute web address;
// links to anything else are left out.
QList<BannerPage::Link> BannerPage::links(const QSize& size) const
{
    QList<Link> found;
    const QRect page(QPoint(0, 0), size);
    std::vector<litehtml::element::ptr> pending{document_->root()};
    while (!pending.empty() && found.size() < qsizetype(BannerProtocol::kLinkLimit)) {
        const litehtml::element::ptr element = pending.back();
        pending.pop_back();
        if (!element || !element->is_visible())
            continue;
        const litehtml::tchar_t* href = element->get_attr("href");
        const QUrl address =
            href && *href && std::strcmp(element->get_tagName(), "a") == 0 ? container_.resolve(href) : QUrl();
        const QByteArray encoded = address.toEncoded();
        if (BannerProtocol::isWebAddress(address) && encoded.size() <= qsizetype(BannerProtocol::kUrlLimit))
            for (const QRect& area : areasOf(element))
                if (!(area & page).isEmpty() && found.size() < qsizetype(BannerProtocol::kLinkLimit))
                    found << Link{area & page, encoded};
        for (int i = int(element->get_children_count()) - 1; i >= 0; --i)
            pending.push_back(element->get_child(i));
    }
    return found;
}

void BannerPage::setState(State state)
{
    if (state == state_)
        return;
    state_ = state;
    if (state == State::Complete || state == State::Failed)
        timeLimit_.stop();
    else if (!timeLimit_.isActive())
        timeLimit_.start(kTimeLimitMs);
    Q_EMIT stateChanged();
}

void BannerPage::fail()
{
    if (state_ == State::Failed)
        return;
    fetcher_.cancelAll();
    document_.reset();
    setState(State::Failed);
}
