// Readable colours and pictures (see readable.h).
#include "widgets/readable.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHash>
#include <QIcon>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// Calls update when the widget is shown, and when its palette or style changes while it is shown.
class PaletteFollower : public QObject {
public:
    PaletteFollower(QWidget* widget, std::function<void()> update)
        : QObject(widget), widget_(widget), update_(std::move(update))
    {
        widget->installEventFilter(this);
        if (widget->isVisible())
            update_();
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Show
            || ((type == QEvent::PaletteChange || type == QEvent::StyleChange) && widget_->isVisible()))
            update_();
        return false;
    }

private:
    QWidget* widget_;
    std::function<void()> update_;
};

// Every pixel of the picture that does not reach the picture contrast against the background, in
// the readable shade of its colour; its opacity is kept.
QImage readableImage(QImage image, const QList<QColor>& backgrounds)
{
    image.convertTo(QImage::Format_ARGB32);
    QHash<QRgb, QRgb> shades;  // a picture holds few colours: each is worked out once
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) == 0)
                continue;
            const QRgb opaque = line[x] | 0xff000000u;
            auto shade = shades.find(opaque);
            if (shade == shades.end())
                shade = shades.insert(opaque, readableOn(QColor(opaque), backgrounds, kPictureContrast).rgb());
            line[x] = (*shade & 0x00ffffffu) | (line[x] & 0xff000000u);
        }
    }
    return image;
}

// A picture drawn readable on a background, each size and mode worked out once.
class ReadablePictureEngine : public QIconEngine {
public:
    ReadablePictureEngine(const QIcon& picture, const QList<QColor>& backgrounds)
        : picture_(picture), backgrounds_(backgrounds)
    {}

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        const auto key = std::make_tuple(size.width(), size.height(), int(mode), int(state));
        const auto known = done_.find(key);
        if (known != done_.end())
            return known->second;
        // A button asks for a few sizes; anything beyond that is worked out without being kept.
        constexpr std::size_t kKept = 16;
        QPixmap result =
            QPixmap::fromImage(readableImage(picture_.pixmap(size, 1.0, mode, state).toImage(), backgrounds_));
        if (done_.size() < kKept)
            done_.emplace(key, result);
        return result;
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatio() : 1.0;
        painter->drawPixmap(rect, pixmap(rect.size() * scale, mode, state));
    }

    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return picture_.actualSize(size, mode, state);
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        return picture_.availableSizes(mode, state);
    }

    QIconEngine* clone() const override { return new ReadablePictureEngine(picture_, backgrounds_); }
    QString key() const override { return u"ReadablePictureEngine"_s; }

private:
    QIcon picture_;
    QList<QColor> backgrounds_;
    std::map<std::tuple<int, int, int, int>, QPixmap> done_;
};

}  // namespace

QColor namedColourOn(const QColor& colour, const QList<QColor>& backgrounds)
{
    if (backgrounds.isEmpty() || !isDark(backgrounds.first()))
        return colour;
    return readableOn(colour, backgrounds);
}

QList<QColor> backgroundBehind(const QWidget* widget, int height)
{
    QImage behind(widget->size().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    behind.fill(widget->window()->palette().color(QPalette::Window));
    if (QWidget* parent = widget->parentWidget())
        parent->render(&behind, QPoint(), QRegion(widget->geometry()), QWidget::DrawWindowBackground);
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        QStyleOptionButton face;
        face.initFrom(button);
        QPainter painter(&behind);
        button->style()->drawControl(QStyle::CE_PushButtonBevel, &face, &painter, button);
    }
    const QPoint centre = behind.rect().center();
    const int half = std::clamp(height / 2, 0, centre.y());
    return {behind.pixelColor(centre.x(), centre.y() - half), behind.pixelColor(centre.x(), centre.y() + half)};
}

void showTextIn(QWidget* widget, const QColor& colour)
{
    const auto drawTextIn = [widget](const QColor& shade) {
        QPalette colours = widget->palette();
        colours.setColor(widget->foregroundRole(), shade);
        widget->setPalette(colours);
    };
    // Until it is shown, nothing is behind the widget yet.
    drawTextIn(colour);
    new PaletteFollower(
        widget, [=] { drawTextIn(namedColourOn(colour, backgroundBehind(widget, widget->fontMetrics().height()))); });
}

QIcon readablePicture(const QIcon& picture, const QList<QColor>& backgrounds)
{
    if (backgrounds.isEmpty() || !isDark(backgrounds.first()))
        return picture;
    return QIcon(new ReadablePictureEngine(picture, backgrounds));
}

void keepPicturesReadable(QWidget* window)
{
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        const QIcon picture = button->icon();
        if (!picture.isNull())
            new PaletteFollower(button, [button, picture] {
                button->setIcon(readablePicture(picture, backgroundBehind(button, button->iconSize().height())));
            });
    }
}
