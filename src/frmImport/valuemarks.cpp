#include "valuemarks.h"

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

// The one place that reads a value out of a row, for every check of the marks.
FieldText valueOf(const ItemRow &row, Column column)
{
    return row.text(column);
}

auto key(const ItemCsv::ValueProblem &mark)
{
    return std::tuple(mark.row, position(mark.column));
}

} // namespace

ValueMarks::ValueMarks(const ItemTable &table, QObject *parent)
    : QObject(parent)
    , m_table(table)
{
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
        m_marks.clear();
        if (m_table.size() > 0)
            check(0, m_table.size() - 1, 0, ColumnCount - 1);
        tellCount(before);
    });
    if (table.size() > 0)
        check(0, table.size() - 1, 0, ColumnCount - 1);
}

std::vector<ItemCsv::ValueProblem>::const_iterator ValueMarks::find(int row, int column) const
{
    const auto at = std::lower_bound(m_marks.begin(), m_marks.end(), std::tuple(row, column),
        [](const ItemCsv::ValueProblem &mark, const auto &cell) { return key(mark) < cell; });
    return at != m_marks.end() && key(*at) == std::tuple(row, column) ? at : m_marks.end();
}

bool ValueMarks::isMarked(const QModelIndex &cell) const
{
    return !m_marks.empty() && find(cell.row(), cell.column()) != m_marks.end();
}

QString ValueMarks::reason(const QModelIndex &cell) const
{
    const auto mark = find(cell.row(), cell.column());
    return mark != m_marks.end() ? FileMessages::valueFault(*mark) : QString();
}

QModelIndex ValueMarks::nextMarked(const QModelIndex &cell, bool forward) const
{
    if (m_marks.empty())
        return {};
    const auto toIndex = [this](const ItemCsv::ValueProblem &mark) {
        return m_table.index(mark.row, position(mark.column));
    };
    if (!cell.isValid())
        return toIndex(forward ? m_marks.front() : m_marks.back());
    const auto here = std::tuple(cell.row(), cell.column());
    if (forward) {
        const auto after = std::upper_bound(m_marks.begin(), m_marks.end(), here,
            [](const auto &cellKey, const ItemCsv::ValueProblem &mark) {
                return cellKey < key(mark);
            });
        return toIndex(after != m_marks.end() ? *after : m_marks.front());
    }
    const auto atOrAfter = std::lower_bound(m_marks.begin(), m_marks.end(), here,
        [](const ItemCsv::ValueProblem &mark, const auto &cellKey) { return key(mark) < cellKey; });
    return toIndex(atOrAfter != m_marks.begin() ? *std::prev(atOrAfter) : m_marks.back());
}

void ValueMarks::paint(QPainter &painter, const QRect &cell)
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

void ValueMarks::check(int firstRow, int lastRow, int firstColumn, int lastColumn)
{
    const auto rowStart = [this](int row) {
        return std::lower_bound(m_marks.begin(), m_marks.end(), row,
            [](const ItemCsv::ValueProblem &mark, int value) { return mark.row < value; });
    };
    const auto begin = rowStart(firstRow);
    const auto end = rowStart(lastRow + 1);
    std::vector<ItemCsv::ValueProblem> found;
    auto kept = begin;
    for (int row = firstRow; row <= lastRow; ++row) {
        const ItemRow &itemRow = m_table.row(row);
        while (kept != end && kept->row < row)
            ++kept;
        // One check of the row instead of six keeps the marks from slowing the Open of a
        // million rows; a row with marks of its own goes on, to keep those it does not check.
        if ((kept == end || kept->row != row) && !ItemCsv::mayHaveProblems(itemRow))
            continue;
        for (int column = 0; column < ColumnCount; ++column) {
            while (kept != end && key(*kept) < std::tuple(row, column))
                ++kept;
            if (column < firstColumn || column > lastColumn) {
                if (kept != end && key(*kept) == std::tuple(row, column))
                    found.push_back(*kept);
                continue;
            }
            const Column field = columnAt(column);
            if (std::optional<ItemCsv::ValueProblem> problem
                = ItemCsv::problemWith(valueOf(itemRow, field))) {
                problem->row = row;
                problem->column = field;
                found.push_back(*problem);
            }
        }
    }
    if (found.empty() && begin == end)
        return;
    const auto at = m_marks.erase(begin, end);
    m_marks.insert(at, found.begin(), found.end());
}

void ValueMarks::moveRows(int from, int by)
{
    for (auto &mark : m_marks) {
        if (mark.row >= from)
            mark.row += by;
    }
}

void ValueMarks::removeRows(int first, int last)
{
    const qsizetype before = count();
    std::erase_if(m_marks, [first, last](const ItemCsv::ValueProblem &mark) {
        return mark.row >= first && mark.row <= last;
    });
    moveRows(last + 1, first - last - 1);
    tellCount(before);
}

void ValueMarks::tellCount(qsizetype before)
{
    if (count() != before)
        Q_EMIT countChanged(count());
}
