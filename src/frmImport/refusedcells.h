#pragma once

#include "valuecheck.h"

#include <QModelIndex>
#include <QObject>
#include <QString>

#include <vector>

class ItemTable;
class QPainter;
class QRect;

// The cells of the item table whose values Save would refuse, each value checked once, when it
// enters the table (typed, pasted, opened, undone or done again), and its reasons kept by its
// cell. The marks, the count and F8 read what is kept and never check a value again, so they
// cost the same with a million rows. Few values are ever refused, so only the refused ones are
// kept. The cells give the table their row check, so that of the rows Open and a paste build
// they check only those that the check could not clear, while the rows were at hand.
class RefusedCells : public QObject
{
    Q_OBJECT

public:
    explicit RefusedCells(ItemTable &table, QObject *parent = nullptr);

    // How many values Save would refuse.
    qsizetype count() const { return qsizetype(m_refused.size()); }
    bool isRefused(const QModelIndex &cell) const;
    // Why Save would refuse the cell's value, as Save's list of refused values says it; empty
    // for a value that Save takes.
    QString reason(const QModelIndex &cell) const;
    // The refused cell after `cell` in table order (row by row), or before it when not
    // `forward`, going round from the last to the first; without a cell, the first or the
    // last. None when no cell is refused.
    QModelIndex nextRefused(const QModelIndex &cell, bool forward) const;

    // Draws the mark over a cell drawn in `cell`: a red triangle in its top right corner and a
    // red line along its bottom. The triangle is a shape that reads without its colour.
    static void paintMark(QPainter &painter, const QRect &cell);

Q_SIGNALS:
    void countChanged(qsizetype count);

private:
    // The values of rows [firstRow, lastRow] are checked again in the columns [firstColumn,
    // lastColumn], and what is kept of the others stays.
    void check(int firstRow, int lastRow, int firstColumn, int lastColumn);
    void checkValue(int row, Column column, std::vector<ItemCsv::RefusedValue> &found);
    void moveRows(int from, int by);
    void removeRows(int first, int last);
    std::vector<ItemCsv::RefusedValue>::const_iterator find(int row, int column) const;
    void tellCount(qsizetype before);

    const ItemTable &m_table;
    // Sorted by row, then column.
    std::vector<ItemCsv::RefusedValue> m_refused;
};
