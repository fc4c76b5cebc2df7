#pragma once

#include "dialect.h"
#include "textreader.h"
#include "valuecheck.h"

#include <QAbstractTableModel>
#include <QStyledItemDelegate>

#include <optional>
#include <vector>

// The first rows of a file that is not an item file, as its preview shows them: a column for
// each of the file's columns, each cell holding the value as it will be added to the grid
// column its file column goes to, or the file's own value, greyed, in a column left out.
class PreviewModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    using QAbstractTableModel::QAbstractTableModel;

    // Takes over the rows and values of a preview reading of the text in the dialect.
    void show(ItemCsv::TextReading &reading, const ItemCsv::Dialect &dialect);
    // What Save would refuse in the cell's value, checked as Save checks it; none for a value
    // that goes to no grid column.
    std::optional<ItemCsv::RefusedValue> refusedValue(const QModelIndex &index) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::optional<Column> columnOf(int section) const;

    std::vector<ItemRow> m_rows;
    QList<QStringList> m_values;
    QStringList m_headings;
    ItemCsv::ColumnMap m_columns;
    int m_columnCount = 0;
};

// Draws over a preview's cells the marks of the values that Save would refuse, as the grid does.
class PreviewDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
};
