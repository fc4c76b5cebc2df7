#include "refusedcells.h"

#include "filemessages.h"
#include "itemtable.h"

#include <QPainter>
#include <QPolygon>
#include <QRect>

#include <algorithm>
#include <tuple>

namespace {

// Dark enough to read on the cells' pale yellow, and on the selection colour of light and dark
// themes alike.
constexpr QRgb MarkRed = 0xd00000;
constexpr int TriangleSide = 7;
constexpr int LineWidth = 2;

// The one place that reads a value out of a row, for every check of the cells.
FieldText valueOf(const ItemRow &row, Column column)
{
    return row.text(column);
}

auto key(const ItemCsv::RefusedValue &refused)
{
    return std::tuple(refused.row, position(refused.column));
}

} // namespace

RefusedCells::RefusedCells(ItemTable &table, QObject *parent)
    : QObject(parent)
    , m_table(table)
{
    table.setRowCheck(&ItemCsv::mayHoldRefusedValues);
    connect(&table, &ItemTable::dataChanged, this,
        [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
            const qsizetype before = count();
            check(topLeft.row(), bottomRight.row(), topLeft.column(), bottomRight.column());
            tellCount(before);
        });
    connect(
        &table, &ItemTable::rowsInserted, this, [this](const QModelIndex &, int first, int last) {
            const qsizetype before = count();
            moveRows(first, last - first + 1);
            check(first, last, 0, ColumnCount - 1);
            tellCount(before);
        });
    connect(&table, &ItemTable::rowsRemoved, this,
        [this](const QModelIndex &, int first, int last) { removeRows(first, last); });
    connect(&table, &ItemTable::modelReset, this, [this] {
        const qsizetype before = count();
        m_refused.clear();
        if (m_table.size() > 0)
            check(0, m_table.size() - 1, 0, ColumnCount - 1);
        tellCount(before);
    });
    if (table.size() > 0)
        check(0, table.size() - 1, 0, ColumnCount - 1);
}

std::vector<ItemCsv::RefusedValue>::const_iterator RefusedCells::find(int row, int column) const
{
    const auto at = std::lower_bound(m_refused.begin(), m_refused.end(), std::tuple(row, column),
        [](const ItemCsv::RefusedValue &refused, const auto &cell) { return key(refused) < cell; });
    return at != m_refused.end() && key(*at) == std::tuple(row, column) ? at : m_refused.end();
}

bool RefusedCells::isRefused(const QModelIndex &cell) const
{
    return !m_refused.empty() && find(cell.row(), cell.column()) != m_refused.end();
}

QString RefusedCells::reason(const QModelIndex &cell) const
{
    const auto refused = find(cell.row(), cell.column());
    return refused != m_refused.end() ? FileMessages::reasons(*refused) : QString();
}

QModelIndex RefusedCells::nextRefused(const QModelIndex &cell, bool forward) const
{
    if (m_refused.empty())
        return {};
    const auto toIndex = [this](const ItemCsv::RefusedValue &refused) {
        return m_table.index(refused.row, position(refused.column));
    };
    if (!cell.isValid())
        return toIndex(forward ? m_refused.front() : m_refused.back());
    const auto here = std::tuple(cell.row(), cell.column());
    if (forward) {
        const auto after = std::upper_bound(m_refused.begin(), m_refused.end(), here,
            [](const auto &cellKey, const ItemCsv::RefusedValue &refused) {
                return cellKey < key(refused);
            });
        return toIndex(after != m_refused.end() ? *after : m_refused.front());
    }
    const auto atOrAfter = std::lower_bound(m_refused.begin(), m_refused.end(), here,
        [](const ItemCsv::RefusedValue &refused, const auto &cellKey) {
            return key(refused) < cellKey;
        });
    return toIndex(atOrAfter != m_refused.begin() ? *std::prev(atOrAfter) : m_refused.back());
}

void RefusedCells::paintMark(QPainter &painter, const QRect &cell)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgb(MarkRed));
    const QPoint corner = cell.topRight() + QPoint(1, 0);
    painter.drawPolygon(
        QPolygon({corner, corner - QPoint(TriangleSide, 0), corner + QPoint(0, TriangleSide)}));
    painter.fillRect(QRect(cell.left(), cell.bottom() + 1 - LineWidth, cell.width(), LineWidth),
        QColor::fromRgb(MarkRed));
    painter.restore();
}

void RefusedCells::check(int firstRow, int lastRow, int firstColumn, int lastColumn)
{
    const auto rowStart = [this](int row) {
        return std::lower_bound(m_refused.begin(), m_refused.end(), row,
            [](const ItemCsv::RefusedValue &refused, int value) { return refused.row < value; });
    };
    const auto begin = rowStart(firstRow);
    const auto end = rowStart(lastRow + 1);
    std::vector<ItemCsv::RefusedValue> found;
    auto kept = begin;
    const auto checkRow = [&](int row) {
        while (kept != end && kept->row < row)
            ++kept;
        // One check of the row instead of six keeps this from slowing the Open of a
        // million rows; a row with refused values of its own goes on, to keep those it does not
        // check.
        if ((kept == end || kept->row != row) && !ItemCsv::mayHoldRefusedValues(m_table.row(row)))
            return;
        for (int column = 0; column < ColumnCount; ++column) {
            while (kept != end && key(*kept) < std::tuple(row, column))
                ++kept;
            const bool inRange = column >= firstColumn && column <= lastColumn;
            if (!inRange && kept != end && key(*kept) == std::tuple(row, column))
                found.push_back(*kept);
            else if (inRange)
                checkValue(row, columnAt(column), found);
        }
    };
    // The rows that the table's row check cleared hold no refused value in any column, so what
    // was kept of them goes too.
    if (const std::vector<int> *toCheck = m_table.rowsToCheck()) {
        for (const int offset : *toCheck)
            checkRow(firstRow + offset);
    } else {
        for (int row = firstRow; row <= lastRow; ++row)
            checkRow(row);
    }
    if (found.empty() && begin == end)
        return;
    const auto at = m_refused.erase(begin, end);
    m_refused.insert(at, found.begin(), found.end());
}

void RefusedCells::checkValue(int row, Column column, std::vector<ItemCsv::RefusedValue> &found)
{
    std::optional<ItemCsv::RefusedValue> refused
        = ItemCsv::checkValue(valueOf(m_table.row(row), column));
    if (!refused)
        return;
    refused->row = row;
    refused->column = column;
    found.push_back(std::move(*refused));
}

void RefusedCells::moveRows(int from, int by)
{
    for (auto &refused : m_refused) {
        if (refused.row >= from)
            refused.row += by;
    }
}

void RefusedCells::removeRows(int first, int last)
{
    const qsizetype before = count();
    std::erase_if(m_refused, [first, last](const ItemCsv::RefusedValue &refused) {
        return refused.row >= first && refused.row <= last;
    });
    moveRows(last + 1, first - last - 1);
    tellCount(before);
}

void RefusedCells::tellCount(qsizetype before)
{
    if (count() != before)
        Q_EMIT countChanged(count());
}
