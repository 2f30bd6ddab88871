// The web view a banner holds: it is told where to go and shows what it gets.
#pragma once

#include <QUrl>
#include <QWidget>

// What a banner needs of a web view.
class WebView : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    virtual void navigate(const QUrl& url) = 0;
};
