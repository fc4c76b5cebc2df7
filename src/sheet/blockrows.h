#pragma once

#include "clipboardcells.h"
#include "itemtable.h"

#include <array>
#include <cstdint>
#include <vector>

// The rows that ItemTable::setBlock puts in place, every one built from the text, in one pass,
// before the first row of the table changes: from the first existing row that changes to the
// last one (the rows in between that stay as they are copied, so that the change is one
// splice), then the new rows.
class BlockRows
{
public:
    using Result = ItemTable::BlockResult;

    // The block's top left cell is (row, column) of `table`.
    BlockRows(const ItemTable &table, int row, int column);

    // Reads the lines of the text into rows, as setBlock describes: Set when a row changes or
    // is added, Unchanged when none does.
    Result read(QStringView text, QChar separator, const Progress &progress);

    // The rows as they will be: the first `changed` take the place of the table's rows from the
    // block's row + `first` on, and the `added` after them go after the table's last row.
    std::vector<ItemRow> rows;
    int first = -1; // the line of the first existing row that changes
    int changed = 0;
    int added = 0;
    // With the table's row check: the rows that it could not clear, of the changed rows
    // (counted from the first of them) and of the added ones (from the first added).
    std::vector<int> changedToCheck;
    std::vector<int> addedToCheck;

private:
    // What the values of a line make of the existing row they land on.
    enum class Merge { Unchanged, Changed, TooLong };

    // Takes line `line`; Set when it is taken.
    Result addLine(int line, const ClipboardCells::Line &cells, const Progress &keepGoing);
    Merge merge(const ItemRow &current, const ClipboardCells::Line &cells);
    Result append(int at, const ClipboardCells::Line &cells, const Progress &keepGoing);
    // Takes a row built for the block, checked with the row check into `toCheck` as `index`.
    void take(ItemRow &&row, std::vector<int> &toCheck, int index);
    // Makes room for the rows that the rest of the text will likely give.
    void reserveMore();

    const ItemTable &m_table;
    const int m_row;
    const int m_column;
    // How far the text is read, and its size.
    qsizetype m_readTo = 0;
    qsizetype m_textSize = 0;
    RowArena m_arena;
    // Existing rows since the last change that stay as they are.
    int m_unchangedSince = 0;
    // The row being built, and for a value too long for it, the value's column.
    std::array<FieldText, ColumnCount> m_fields;
    std::uint8_t m_present = 0;
    int m_tooLongColumn = 0;
};
