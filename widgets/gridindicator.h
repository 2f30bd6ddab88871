// The data grid's row indicator: a narrow column at the left, without numbers, that marks the
// current row with a small arrow. Presses on it do nothing.
#pragma once

#include <QHeaderView>

class GridIndicator : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int kWidth = 11;

    explicit GridIndicator(QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    void drawArrow(QPainter* painter, const QRect& rect) const;
};
