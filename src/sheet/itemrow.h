#pragma once

#include "column.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <limits>
#include <optional>

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
    // The most text a row holds, in UTF-16 code units of all its fields together: the block
    // keeps its lengths in 32 bits. Tests lower it to reach the limit without gigabytes of
    // text.
    static inline qsizetype maxLength = std::numeric_limits<std::uint32_t>::max();

    ItemRow() = default;
    ItemRow(const ItemRow &other);
    ItemRow(ItemRow &&other) noexcept;
    ItemRow &operator=(const ItemRow &other);
    ItemRow &operator=(ItemRow &&other) noexcept;
    ~ItemRow();

    // Builds a row from text whose fields are separated by `separator`: part i becomes field i,
    // parts after the sixth are dropped, fields without a part stay absent. Empty text has no
    // parts at all, so every field stays absent. Text longer than maxLength gives no row.
    static std::optional<ItemRow> fromSeparated(QStringView text, QChar separator);

    bool isPresent(Column column) const { return (present() & bit(column)) != 0; }
    // A null QString for an absent field, a non-null (possibly empty) one otherwise.
    QString field(Column column) const;
    QStringView fieldView(Column column) const;
    // Whether the row stays within maxLength with `value` in place of the field.
    bool fits(Column column, QStringView value) const;
    // Fails, and leaves the row as it was, when the row would not fit.
    bool setField(Column column, const QString &value);

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
