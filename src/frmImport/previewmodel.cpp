#include "previewmodel.h"

#include "filemessages.h"
#include "itemtable.h"
#include "refusedcells.h"

#include <QApplication>
#include <QPalette>

#include <algorithm>
#include <climits>

void PreviewModel::show(ItemCsv::TextReading &reading, const ItemCsv::Dialect &dialect)
{
    beginResetModel();
    m_rows = std::move(reading.rows);
    m_values = std::move(reading.values);
    m_headings = dialect.headingLine ? reading.headings : QStringList();
    m_columns = dialect.columns;
    // A column that shows nothing still shows where the first six values would go.
    m_columnCount = int(std::clamp<qsizetype>(reading.columns, 1, INT_MAX));
    endResetModel();
}

std::optional<Column> PreviewModel::columnOf(int section) const
{
    return section < m_columns.size() ? m_columns[section] : std::nullopt;
}

std::optional<ItemCsv::RefusedValue> PreviewModel::refusedValue(const QModelIndex &index) const
{
    const std::optional<Column> column = columnOf(index.column());
    if (!index.isValid() || !column)
        return std::nullopt;
    return ItemCsv::checkValue(m_rows[std::size_t(index.row())].text(*column));
}

int PreviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PreviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_columnCount;
}

QVariant PreviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const std::optional<Column> column = columnOf(index.column());
    switch (role) {
    case Qt::DisplayRole:
        if (column) {
            return m_rows[std::size_t(index.row())].text(*column).toString(
                ItemTable::DisplayLength);
        }
        return m_values.value(index.row()).value(index.column());
    case Qt::ForegroundRole:
        if (!column)
            return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::ToolTipRole:
        if (const std::optional<ItemCsv::RefusedValue> found = refusedValue(index))
            return FileMessages::reasons(*found);
        if (!column)
            return tr("This column is left out.");
        return {};
    default:
        return {};
    }
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return section < m_headings.size() ? m_headings[section] : tr("Column %1").arg(section + 1);
}

void PreviewDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const auto *model = qobject_cast<const PreviewModel *>(index.model());
    if (model && model->refusedValue(index))
        RefusedCells::paintMark(*painter, option.rect);
}
