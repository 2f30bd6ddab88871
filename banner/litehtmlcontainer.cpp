// Drawing a litehtml document with QPainter (see litehtmlcontainer.h).
#include "litehtmlcontainer.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <litehtml/el_td.h>
#include <string>

namespace {

// CSS pixels: 96 to the inch, 72 points to the inch.
constexpr int kPixelsPerInch = 96;
constexpr int kPointsPerInch = 72;
// A clip edge that no page reaches, for an axis the page does not clip.
constexpr int kUnbounded = 1 << 24;

struct Font {
    QFont font;
    QFontMetrics metrics;
};

Font& fontOf(litehtml::uint_ptr handle) { return *reinterpret_cast<Font*>(handle); }

QColor colorOf(const litehtml::web_color& color) { return QColor(color.red, color.green, color.blue, color.alpha); }

QRect rectOf(const litehtml::position& pos) { return QRect(pos.x, pos.y, pos.width, pos.height); }

// "Arial, 'Microsoft YaHei', sans-serif" gives the names without quotes, in order.
QStringList familiesOf(const litehtml::tchar_t* faceName)
{
    QStringList families;
    for (const QString& part : QString::fromUtf8(faceName).split(QLatin1Char(','))) {
        QString family = part.trimmed();
        const bool quoted = family.size() >= 2 && (family.front() == u'"' || family.front() == u'\'')
                            && family.back() == family.front();
        if (quoted)
            family = family.mid(1, family.size() - 2);
        if (!family.isEmpty())
            families << family;
    }
    return families;
}

QFont::StyleHint styleHintOf(const QStringList& families)
{
    for (const QString& family : families) {
        if (family == QLatin1String("serif"))
            return QFont::Serif;
        if (family == QLatin1String("monospace"))
            return QFont::Monospace;
        if (family == QLatin1String("cursive"))
            return QFont::Cursive;
        if (family == QLatin1String("fantasy"))
            return QFont::Fantasy;
    }
    return QFont::SansSerif;
}

// Every drawing call runs with the painter the view handed over, inside the document's clip;
// the painter is left as it was found.
class Canvas {
public:
    Canvas(litehtml::uint_ptr hdc, const std::vector<QRect>& clips) : painter_(*reinterpret_cast<QPainter*>(hdc))
    {
        painter_.save();
        if (!clips.empty())
            painter_.setClipRect(clips.back());
    }
    ~Canvas() { painter_.restore(); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    QPainter* operator->() { return &painter_; }
    QPainter& painter() { return painter_; }

private:
    QPainter& painter_;
};

QPainterPath roundedBox(const QRectF& box, const litehtml::border_radiuses& r)
{
    QPainterPath path;
    const qreal left = box.left(), top = box.top(), right = box.right(), bottom = box.bottom();
    path.moveTo(left + r.top_left_x, top);
    path.lineTo(right - r.top_right_x, top);
    path.quadTo(right, top, right, top + r.top_right_y);
    path.lineTo(right, bottom - r.bottom_right_y);
    path.quadTo(right, bottom, right - r.bottom_right_x, bottom);
    path.lineTo(left + r.bottom_left_x, bottom);
    path.quadTo(left, bottom, left, bottom - r.bottom_left_y);
    path.lineTo(left, top + r.top_left_y);
    path.quadTo(left, top, left + r.top_left_x, top);
    path.closeSubpath();
    return path;
}

bool hasRadius(const litehtml::border_radiuses& r)
{
    return r.top_left_x || r.top_left_y || r.top_right_x || r.top_right_y || r.bottom_right_x || r.bottom_right_y
           || r.bottom_left_x || r.bottom_left_y;
}

bool isDrawn(const litehtml::border& side)
{
    return side.width > 0 && side.style != litehtml::border_style_none && side.style != litehtml::border_style_hidden;
}

bool sameSide(const litehtml::border& a, const litehtml::border& b)
{
    return a.width == b.width && a.style == b.style && a.color.red == b.color.red && a.color.green == b.color.green
           && a.color.blue == b.color.blue && a.color.alpha == b.color.alpha;
}

// One side of a border: the trapezoid it covers, and the line along its middle for dotted and
// dashed styles.
void drawSide(QPainter& painter, const litehtml::border& side, const QPolygonF& area, const QLineF& middle)
{
    if (!isDrawn(side))
        return;
    if (side.style == litehtml::border_style_dotted || side.style == litehtml::border_style_dashed) {
        painter.save();
        QPainterPath clip;
        clip.addPolygon(area);
        painter.setClipPath(clip, Qt::IntersectClip);
        QPen pen(colorOf(side.color), side.width,
                 side.style == litehtml::border_style_dotted ? Qt::DotLine : Qt::DashLine, Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(middle);
        painter.restore();
        return;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(colorOf(side.color));
    painter.drawPolygon(area);
}

void drawRoundedBorder(QPainter& painter, const litehtml::borders& b, const QRectF& box)
{
    litehtml::border_radiuses inner = b.radius;
    litehtml::margins widths;
    widths.left = b.left.width;
    widths.top = b.top.width;
    widths.right = b.right.width;
    widths.bottom = b.bottom.width;
    inner -= widths;
    QPainterPath ring = roundedBox(box, b.radius);
    ring.addPath(roundedBox(box.adjusted(widths.left, widths.top, -widths.right, -widths.bottom), inner));
    ring.setFillRule(Qt::OddEvenFill);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colorOf(b.top.color));
    painter.drawPath(ring);
}

void drawSides(QPainter& painter, const litehtml::borders& b, const QRectF& box)
{
    const qreal l = b.left.width, t = b.top.width, r = b.right.width, w = b.bottom.width;
    const QPointF tl = box.topLeft(), tr = box.topRight(), br = box.bottomRight(), bl = box.bottomLeft();
    const QPointF itl = tl + QPointF(l, t), itr = tr + QPointF(-r, t);
    const QPointF ibr = br + QPointF(-r, -w), ibl = bl + QPointF(l, -w);
    drawSide(painter, b.top, QPolygonF({tl, tr, itr, itl}), QLineF(tl + QPointF(0, t / 2), tr + QPointF(0, t / 2)));
    drawSide(painter, b.right, QPolygonF({tr, br, ibr, itr}), QLineF(tr - QPointF(r / 2, 0), br - QPointF(r / 2, 0)));
    drawSide(painter, b.bottom, QPolygonF({br, bl, ibl, ibr}), QLineF(bl - QPointF(0, w / 2), br - QPointF(0, w / 2)));
    drawSide(painter, b.left, QPolygonF({bl, tl, itl, ibl}), QLineF(tl + QPointF(l / 2, 0), bl + QPointF(l / 2, 0)));
}

// The image at its place in the background, repeated as the page asks, through a brush whose
// origin is the image's first copy and whose transform scales it to the size the page gives:
// the painter samples the picture where it lands, so however large the page draws it, no
// scaled copy is ever made.
void drawBackgroundImage(QPainter& painter, const litehtml::background_paint& bg, const QImage& image)
{
    const QSize size = bg.image_size.width > 0 && bg.image_size.height > 0
                           ? QSize(bg.image_size.width, bg.image_size.height)
                           : image.size();
    const QRect clip = rectOf(bg.clip_box);
    QRect area;
    switch (bg.repeat) {
    case litehtml::background_repeat_no_repeat:
        area = QRect(QPoint(bg.position_x, bg.position_y), size);
        break;
    case litehtml::background_repeat_repeat_x:
        area = QRect(clip.left(), bg.position_y, clip.width(), size.height());
        break;
    case litehtml::background_repeat_repeat_y:
        area = QRect(bg.position_x, clip.top(), size.width(), clip.height());
        break;
    case litehtml::background_repeat_repeat:
        area = clip;
        break;
    }
    QBrush brush(image);
    brush.setTransform(
        QTransform::fromScale(qreal(size.width()) / image.width(), qreal(size.height()) / image.height()));
    painter.setBrushOrigin(bg.position_x, bg.position_y);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.fillRect(area & clip, brush);
}

// litehtml hands over the address of `@import "sheet.css"` with its quotes.
std::string unquoted(const std::string& address)
{
    const bool quoted =
        address.size() >= 2 && (address.front() == '"' || address.front() == '\'') && address.back() == address.front();
    return quoted ? address.substr(1, address.size() - 2) : address;
}

// A table cell whose column and row spans stay within what a banner's table can need: litehtml
// gives its table a grid cell for every column and row a cell spans.
class ClampedCell : public litehtml::el_td {
public:
    static constexpr long kSpanLimit = 100;

    using el_td::el_td;

    void set_attr(const litehtml::tchar_t* name, const litehtml::tchar_t* value) override
    {
        if (!value || (std::strcmp(name, "colspan") != 0 && std::strcmp(name, "rowspan") != 0))
            return el_td::set_attr(name, value);
        errno = 0;
        const long span = std::strtol(value, nullptr, 10);
        const std::string clamped = std::to_string(std::clamp(errno == 0 ? span : kSpanLimit, 1L, kSpanLimit));
        el_td::set_attr(name, clamped.c_str());
    }
};

}  // namespace

void LitehtmlContainer::reset(const QUrl& pageUrl)
{
    pageUrl_ = baseUrl_ = pageUrl;
    styleSheets_.clear();
    images_.clear();
    asked_.clear();
    wantedStyleSheets_.clear();
    wantedImages_.clear();
    clips_.clear();
}

void LitehtmlContainer::beginDocument()
{
    importedBy_.clear();
    imports_ = 0;
}

// Whether the sheet may be parsed inside the importer: walks the importers up to the page, at
// most as deep as imports may go.
bool LitehtmlContainer::mayImport(const QUrl& sheet, const QUrl& importer) const
{
    if (imports_ >= kImportLimit)
        return false;
    QUrl above = importer;
    for (int depth = 1; !above.isEmpty(); ++depth) {
        if (above == sheet || depth >= kImportDepth)
            return false;
        above = importedBy_.value(above);
    }
    return true;
}

void LitehtmlContainer::addStyleSheet(const QUrl& url, const QString& text) { styleSheets_.insert(url, text); }

void LitehtmlContainer::addImage(const QUrl& url, const QImage& image) { images_.insert(url, image); }

QUrl LitehtmlContainer::resolve(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl) const
{
    const QUrl base = baseurl && *baseurl ? baseUrl_.resolved(QUrl(QString::fromUtf8(baseurl))) : baseUrl_;
    return base.resolved(QUrl(QString::fromUtf8(src).trimmed()));
}

const QImage* LitehtmlContainer::image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl) const
{
    if (!src || !*src)
        return nullptr;
    const auto found = images_.constFind(resolve(src, baseurl));
    return found == images_.cend() ? nullptr : &found.value();
}

litehtml::uint_ptr LitehtmlContainer::create_font(const litehtml::tchar_t* faceName, int size, int weight,
                                                  litehtml::font_style italic, unsigned int decoration,
                                                  litehtml::font_metrics* fm)
{
    QFont font;
    const QStringList families = familiesOf(faceName);
    font.setFamilies(families);
    font.setStyleHint(styleHintOf(families));
    font.setPixelSize(std::max(1, size));
    font.setWeight(QFont::Weight(std::clamp(weight, 1, 1000)));
    font.setItalic(italic == litehtml::fontStyleItalic);
    font.setUnderline(decoration & litehtml::font_decoration_underline);
    font.setStrikeOut(decoration & litehtml::font_decoration_linethrough);
    font.setOverline(decoration & litehtml::font_decoration_overline);
    auto* made = new Font{font, QFontMetrics(font)};
    if (fm) {
        fm->ascent = made->metrics.ascent();
        fm->descent = made->metrics.descent();
        fm->height = made->metrics.height();
        fm->x_height = made->metrics.xHeight();
        fm->draw_spaces = italic == litehtml::fontStyleItalic || decoration != litehtml::font_decoration_none;
    }
    return reinterpret_cast<litehtml::uint_ptr>(made);
}

void LitehtmlContainer::delete_font(litehtml::uint_ptr hFont) { delete &fontOf(hFont); }

int LitehtmlContainer::text_width(const litehtml::tchar_t* text, litehtml::uint_ptr hFont)
{
    return fontOf(hFont).metrics.horizontalAdvance(QString::fromUtf8(text));
}

void LitehtmlContainer::draw_text(litehtml::uint_ptr hdc, const litehtml::tchar_t* text, litehtml::uint_ptr hFont,
                                  litehtml::web_color color, const litehtml::position& pos)
{
    Canvas canvas(hdc, clips_);
    const Font& font = fontOf(hFont);
    canvas->setFont(font.font);
    canvas->setPen(colorOf(color));
    canvas->drawText(QPoint(pos.left(), pos.bottom() - font.metrics.descent()), QString::fromUtf8(text));
}

int LitehtmlContainer::pt_to_px(int pt) const { return pt * kPixelsPerInch / kPointsPerInch; }

int LitehtmlContainer::get_default_font_size() const { return 16; }

const litehtml::tchar_t* LitehtmlContainer::get_default_font_name() const { return "sans-serif"; }

void LitehtmlContainer::draw_list_marker(litehtml::uint_ptr hdc, const litehtml::list_marker& marker)
{
    Canvas canvas(hdc, clips_);
    const QRect box = rectOf(marker.pos);
    if (const QImage* picture = image(marker.image.c_str(), marker.baseurl)) {
        canvas->drawImage(box, *picture);
        return;
    }
    canvas->setRenderHint(QPainter::Antialiasing);
    const QColor color = colorOf(marker.color);
    switch (marker.marker_type) {
    case litehtml::list_style_type_none:
        break;
    case litehtml::list_style_type_circle:
        canvas->setPen(QPen(color, 1));
        canvas->setBrush(Qt::NoBrush);
        canvas->drawEllipse(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
        break;
    case litehtml::list_style_type_square:
        canvas->fillRect(box, color);
        break;
    default:
        canvas->setPen(Qt::NoPen);
        canvas->setBrush(color);
        canvas->drawEllipse(box);
        break;
    }
}

void LitehtmlContainer::load_image(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl, bool)
{
    if (!src || !*src)
        return;
    const QUrl url = resolve(src, baseurl);
    if (!asked_.contains(url)) {
        asked_.insert(url);
        wantedImages_ << url;
    }
}

void LitehtmlContainer::get_image_size(const litehtml::tchar_t* src, const litehtml::tchar_t* baseurl,
                                       litehtml::size& sz)
{
    const QImage* picture = image(src, baseurl);
    sz.width = picture ? picture->width() : 0;
    sz.height = picture ? picture->height() : 0;
}

void LitehtmlContainer::draw_background(litehtml::uint_ptr hdc, const litehtml::background_paint& bg)
{
    Canvas canvas(hdc, clips_);
    if (hasRadius(bg.border_radius)) {
        canvas->setRenderHint(QPainter::Antialiasing);
        canvas->setClipPath(roundedBox(rectOf(bg.border_box), bg.border_radius), Qt::IntersectClip);
    }
    canvas->setClipRect(rectOf(bg.clip_box), Qt::IntersectClip);
    if (bg.color.alpha)
        canvas->fillRect(rectOf(bg.clip_box), colorOf(bg.color));
    if (const QImage* picture = image(bg.image.c_str(), bg.baseurl.c_str()))
        drawBackgroundImage(canvas.painter(), bg, *picture);
}

void LitehtmlContainer::draw_borders(litehtml::uint_ptr hdc, const litehtml::borders& borders,
                                     const litehtml::position& draw_pos, bool)
{
    Canvas canvas(hdc, clips_);
    const QRectF box = rectOf(draw_pos);
    const bool uniform = sameSide(borders.left, borders.top) && sameSide(borders.top, borders.right)
                         && sameSide(borders.right, borders.bottom);
    if (uniform && isDrawn(borders.top) && borders.top.style == litehtml::border_style_solid
        && hasRadius(borders.radius))
        drawRoundedBorder(canvas.painter(), borders, box);
    else
        drawSides(canvas.painter(), borders, box);
}

void LitehtmlContainer::set_caption(const litehtml::tchar_t*) {}

void LitehtmlContainer::set_base_url(const litehtml::tchar_t* base_url)
{
    baseUrl_ = base_url && *base_url ? pageUrl_.resolved(QUrl(QString::fromUtf8(base_url).trimmed())) : pageUrl_;
}

void LitehtmlContainer::link(const std::shared_ptr<litehtml::document>&, const litehtml::element::ptr&) {}

// Links and cursors are the password book's: it gets the link areas with each picture.
void LitehtmlContainer::on_anchor_click(const litehtml::tchar_t*, const litehtml::element::ptr&) {}

void LitehtmlContainer::set_cursor(const litehtml::tchar_t*) {}

void LitehtmlContainer::transform_text(litehtml::tstring& text, litehtml::text_transform tt)
{
    QString changed = QString::fromStdString(text);
    switch (tt) {
    case litehtml::text_transform_uppercase:
        changed = changed.toUpper();
        break;
    case litehtml::text_transform_lowercase:
        changed = changed.toLower();
        break;
    case litehtml::text_transform_capitalize:
        for (qsizetype i = 0; i < changed.size(); ++i)
            if (i == 0 || changed[i - 1].isSpace())
                changed[i] = changed[i].toUpper();
        break;
    case litehtml::text_transform_none:
        break;
    }
    text = changed.toStdString();
}

void LitehtmlContainer::import_css(litehtml::tstring& text, const litehtml::tstring& url, litehtml::tstring& baseurl)
{
    const QUrl sheet = resolve(unquoted(url).c_str(), baseurl.c_str());
    const QUrl importer = baseurl.empty() ? QUrl() : QUrl(QString::fromStdString(baseurl));
    if (!mayImport(sheet, importer))
        return;
    const auto found = styleSheets_.constFind(sheet);
    if (found != styleSheets_.cend()) {
        text = found.value().toStdString();
        baseurl = sheet.toString().toStdString();
        importedBy_.insert(sheet, importer);
        ++imports_;
    } else if (!asked_.contains(sheet)) {
        asked_.insert(sheet);
        wantedStyleSheets_ << sheet;
    }
}

void LitehtmlContainer::set_clip(const litehtml::position& pos, const litehtml::border_radiuses&, bool valid_x,
                                 bool valid_y)
{
    QRect box = rectOf(pos);
    if (!valid_x) {
        box.setLeft(-kUnbounded);
        box.setRight(kUnbounded);
    }
    if (!valid_y) {
        box.setTop(-kUnbounded);
        box.setBottom(kUnbounded);
    }
    clips_.push_back(clips_.empty() ? box : clips_.back() & box);
}

void LitehtmlContainer::del_clip()
{
    if (!clips_.empty())
        clips_.pop_back();
}

void LitehtmlContainer::get_client_rect(litehtml::position& client) const
{
    client = litehtml::position(0, 0, viewport_.width(), viewport_.height());
}

std::shared_ptr<litehtml::element> LitehtmlContainer::create_element(const litehtml::tchar_t* tag_name,
                                                                     const litehtml::string_map&,
                                                                     const std::shared_ptr<litehtml::document>& doc)
{
    if (std::strcmp(tag_name, "td") == 0 || std::strcmp(tag_name, "th") == 0)
        return std::make_shared<ClampedCell>(doc);
    return nullptr;
}

void LitehtmlContainer::get_media_features(litehtml::media_features& media) const
{
    media.type = litehtml::media_type_screen;
    media.width = media.device_width = viewport_.width();
    media.height = media.device_height = viewport_.height();
    media.color = 8;
    media.monochrome = 0;
    media.color_index = 256;
    media.resolution = kPixelsPerInch;
}

void LitehtmlContainer::get_language(litehtml::tstring& language, litehtml::tstring& culture) const
{
    language = "zh";
    culture = "zh-CN";
}
