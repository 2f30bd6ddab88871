// The table model behind the data grid: its rows are the positions of the linked query's
// current order, its columns the query's result columns. It owns what the grid shows of each
// column's title (name, declared type, colour, weight) and tells its views of every change of
// the query in Qt's begin/end pairs. A value becomes text only when it is asked for, which a
// view does for the cells it paints.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QFont>
#include <QPointer>
#include <vector>

class TADOQuery;

class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject* parent);

    // Shows the rows of query, or nothing when it is null or closed.
    void setQuery(TADOQuery* query);
    TADOQuery* query() const { return query_; }

    QString columnName(int column) const;
    QString columnType(int column) const;
    // An invalid colour draws the title in the view's own colour.
    QColor titleColor(int column) const;
    void setTitleColor(int column, const QColor& color);
    bool titleBold(int column) const;
    void setTitleBold(int column, bool bold);
    // The font titles are drawn in, before their weight is applied.
    QFont titleFont(int column) const;
    void setTitleFont(const QFont& font);

    QString text(int row, int column) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Column {
        QString name;
        QString declType;
        QColor titleColor;
        bool titleBold = false;
    };

    bool showsRows() const;
    void takeColumns();
    void followNewOrder(const std::vector<int>& newPositions);

    QPointer<TADOQuery> query_;
    std::vector<Column> columns_;
    QFont titleFont_;
};
