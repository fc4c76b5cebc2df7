#pragma once

#include "column.h"

#include <QString>

#include <array>
#include <cstdint>

// One item row: six text fields, each absent or holding a string (possibly empty).
//
// A file of a million rows must stay close to the size of its text, so a row keeps all of its
// fields in one string (one allocation) with the end offset of each field, instead of six
// separate strings. Field i starts one character after the end of field i - 1: the character
// in between is a separator whose value does not matter.
class ItemRow
{
public:
    ItemRow() = default;

    // Builds a row from text whose fields are separated by `separator`: part i becomes field i,
    // parts after the sixth are dropped (and their text released), fields without a part stay
    // absent. Empty text has no parts at all, so every field stays absent.
    static ItemRow fromSeparated(QString text, QChar separator);

    bool isPresent(Column column) const { return (m_present & bit(column)) != 0; }
    // A null QString for an absent field, a non-null (possibly empty) one otherwise.
    QString field(Column column) const;
    QStringView fieldView(Column column) const;
    void setField(Column column, const QString &value);

    // True when no field holds any text: all absent or empty.
    bool isBlank() const;

private:
    static constexpr std::uint8_t bit(Column column)
    {
        return std::uint8_t(1u << position(column));
    }
    qsizetype begin(int field) const;
    qsizetype end(int field) const { return qsizetype(m_end[std::size_t(field)]); }

    QString m_text;
    std::array<std::uint32_t, ColumnCount> m_end {};
    std::uint8_t m_present = 0;
};
