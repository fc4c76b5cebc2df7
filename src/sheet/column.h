#pragma once

#include <QString>

#include <array>

// The six columns of an item row. Their order is the order of the grid's columns, of a row's
// fields and of the values on a line of the file, so a column's position is the same number
// everywhere.
enum class Column { ItemName, Group, Price, ItemType, Store, AisleNo };

inline constexpr int ColumnCount = 6;
inline constexpr std::array<Column, ColumnCount> AllColumns {Column::ItemName, Column::Group,
    Column::Price, Column::ItemType, Column::Store, Column::AisleNo};

constexpr int position(Column column)
{
    return int(column);
}

// The column at a position from 0 to ColumnCount - 1.
constexpr Column columnAt(int position)
{
    return AllColumns[std::size_t(position)];
}

// The column's heading in the grid, which is also its field's name.
QString heading(Column column);
