// A window's embedded web banner (see webbrowser.h).
#include "platform/webbrowser.h"

#include "platform/bannerview.h"

#include <QEvent>
#include <QVBoxLayout>

namespace {

TWebBrowser::Factory& factory()
{
    static TWebBrowser::Factory current = [](QWidget* parent) -> WebView* { return new BannerView(parent); };
    return current;
}

}  // namespace

TWebBrowser::TWebBrowser(QWidget* parent) : QWidget(parent), view_(factory()(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
}

void TWebBrowser::Navigate(const QUrl& url) { view_->navigate(url); }

void TWebBrowser::setAlign(Align align)
{
    align_ = align;
    parentWidget()->installEventFilter(this);
    followParent();
}

bool TWebBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        followParent();
    return QWidget::eventFilter(watched, event);
}

void TWebBrowser::followParent()
{
    const QRect inside = parentWidget()->contentsRect();
    if (align_ == Align::Top)
        setGeometry(inside.left(), inside.top(), inside.width(), height());
    else
        move(inside.right() + 1 - width(), inside.top());
}

void TWebBrowser::setFactory(Factory newFactory) { factory() = std::move(newFactory); }
