#pragma once

#include "column.h"

#include <QString>
#include <QStringView>

#include <cstdint>

// One item row: six text fields, each absent or holding a string (possibly empty).
//
// A file of a million rows must stay close to the size of its text, so a row is one pointer to
// one block that holds the end offset of each field and then all of its fields' text (one
// allocation), and a row with every field absent (an empty line) holds no block at all. Field
// i starts one character after the end of field i - 1: the character in between is a
// separator, which the block does not keep.
class ItemRow
{
public:
    ItemRow() = default;
    ItemRow(const ItemRow &other);
    ItemRow(ItemRow &&other) noexcept;
    ItemRow &operator=(const ItemRow &other);
    ItemRow &operator=(ItemRow &&other) noexcept;
    ~ItemRow();

    // Builds a row from text whose fields are separated by `separator`: part i becomes field i,
    // parts after the sixth are dropped, fields without a part stay absent. Empty text has no
    // parts at all, so every field stays absent.
    static ItemRow fromSeparated(QStringView text, QChar separator);

    bool isPresent(Column column) const { return (present() & bit(column)) != 0; }
    // A null QString for an absent field, a non-null (possibly empty) one otherwise.
    QString field(Column column) const;
    QStringView fieldView(Column column) const;
    void setField(Column column, const QString &value);

    // True when no field holds any text: all absent or empty.
    bool isBlank() const;

private:
    struct Block;

    static constexpr std::uint8_t bit(Column column)
    {
        return std::uint8_t(1u << position(column));
    }
    std::uint8_t present() const;

    Block *m_block = nullptr;
};
