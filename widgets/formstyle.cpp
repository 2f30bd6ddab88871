// What every window shares (see formstyle.h).
#include "widgets/formstyle.h"

#include "platform/windowframe.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Places a window once, when it is first shown: its outer rectangle, frame included, centred on
// an area. It is placed just before it is mapped, for the frame the window manager says it
// will add, so that it appears where it belongs. When the window manager could not say, or
// framed it otherwise, the window is placed once more for the real frame the moment it is
// first exposed, before the user can have moved it; after that it is left where it is.
class FirstShowPlacer : public QObject {
public:
    // An invalid outer size keeps the window's own size, with the frame around it.
    FirstShowPlacer(QWidget* window, QSize outer, std::function<QRect()> area)
        : QObject(window), window_(window), outer_(outer), area_(std::move(area))
    {
        if (outer.isValid())
            window->resize(outer);
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The widget's show event comes once its native window exists; the native window's
        // own show event comes after the widget has taken its size and before the mapping.
        if (watched == window_ && event->type() == QEvent::Show) {
            window_->removeEventFilter(this);
            if (QWindow* handle = window_->windowHandle())
                handle->installEventFilter(this);
        } else if (watched == window_->windowHandle()) {
            QWindow* handle = window_->windowHandle();
            if (event->type() == QEvent::Show) {
                place(announcedFrame(handle).value_or(handle->frameMargins()));
            } else if (event->type() == QEvent::Expose && handle->isExposed()) {
                handle->removeEventFilter(this);
                if (handle->frameMargins() != placedFor_)
                    place(handle->frameMargins());
            }
        }
        return false;
    }

private:
    void place(QMargins frame)
    {
        QRect outer(QPoint(), outer_.isValid() ? outer_ : window_->size().grownBy(frame));
        outer.moveCenter(area_().center());
        window_->setGeometry(outer.marginsRemoved(frame));
        placedFor_ = frame;
    }

    QWidget* window_;
    QSize outer_;
    std::function<QRect()> area_;
    QMargins placedFor_;  // the frame the window was placed for
};

QRect desktopOf(const QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

QFont formFont()
{
    QFont font(u"Arial"_s);
    font.setPixelSize(11);
    return font;
}

void installFontSubstitutes()
{
    QFont::insertSubstitution(u"Arial"_s, u"Liberation Sans"_s);
    QFont::insertSubstitutions(u"黑体"_s, {u"WenQuanYi Micro Hei"_s, u"Noto Sans CJK SC"_s, u"Droid Sans Fallback"_s});
}

void placeWhenShown(QWidget* window, QSize outer, Placement placement, QWidget* owner)
{
    new FirstShowPlacer(window, outer, [window, placement, owner] {
        if (placement == Placement::OwnerCenter && owner && owner->isVisible() && owner->windowHandle())
            return owner->windowHandle()->frameGeometry();
        return desktopOf(window);
    });
}

void centerOnScreenWhenShown(QWidget* window)
{
    new FirstShowPlacer(window, QSize(), [window] { return desktopOf(window); });
}

void fitLabelsToText(std::initializer_list<QLabel*> labels)
{
    for (QLabel* label : labels)
        label->adjustSize();
}
