// A label that acts as a link.
#pragma once

#include <QLabel>

// A label that acts as a link: blue (a shade of it that reads on the window), underlined, with a
// hand cursor; emits clicked().
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};
