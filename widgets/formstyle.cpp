// What every window shares (see formstyle.h).
#include "widgets/formstyle.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <optional>

namespace {

// Places the window once, when it is first shown. The frame the window manager adds is known
// only after the window is mapped, so the size is corrected once more when it is.
class FirstShowPlacer : public QObject {
public:
    FirstShowPlacer(QWidget* window, QSize outer, Placement placement, QWidget* owner)
        : QObject(window), window_(window), outer_(outer), placement_(placement), owner_(owner)
    {
        window->resize(outer);
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == window_ && event->type() == QEvent::Show && !applied_) {
            place();
            QTimer::singleShot(0, this, [this] { place(); });
        }
        return false;
    }

private:
    QMargins frame() const
    {
        return window_->windowHandle() ? window_->windowHandle()->frameMargins() : QMargins();
    }

    void place()
    {
        const QMargins margins = frame();
        if (applied_ == margins)
            return;
        applied_ = margins;
        window_->resize(outer_.shrunkBy(margins));
        QRect area = window_->screen() ? window_->screen()->availableGeometry() : QRect();
        if (placement_ == Placement::OwnerCenter && owner_ && owner_->isVisible())
            area = owner_->frameGeometry();
        QRect outerRect(QPoint(), outer_);
        outerRect.moveCenter(area.center());
        window_->move(outerRect.topLeft());
    }

    QWidget* window_;
    QSize outer_;
    Placement placement_;
    QWidget* owner_;
    std::optional<QMargins> applied_;  // the frame the window was last placed for
};

}  // namespace

QFont formFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    return font;
}

void setUpForm(QWidget* window, QSize outer, Placement placement, QWidget* owner)
{
    window->setFont(formFont());
    new FirstShowPlacer(window, outer, placement, owner);
}

void fitLabelsToText(std::initializer_list<QLabel*> labels)
{
    for (QLabel* label : labels)
        label->adjustSize();
}

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent)
{
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, Qt::blue);
    setPalette(colours);
    // Only the underline is set here: family and size still come from the window.
    QFont underlined;
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}
