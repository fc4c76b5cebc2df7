#pragma once

#include "itemtable.h"

#include <QStringList>

#include <utility>

// How the tests write a row: its six fields joined by "|", an absent field as "<absent>".
inline const QString absent = QStringLiteral("<absent>");
inline const QString blankRow
    = QStringLiteral("<absent>|<absent>|<absent>|<absent>|<absent>|<absent>");

// A row whose Item Name is `name` and whose other fields are absent, as typed or read from a
// line without commas.
QString rowWithName(const QString &name);
// The same row committed by Update Row, which set its Item Type to "Item".
QString committedRowWithName(const QString &name);

QString describe(const ItemRow &row);
QStringList describe(const ItemTable &table);
// Appends one row for each text written as above, as AddNew and then its fields.
void fill(ItemTable &table, const QStringList &rows);

// Lowers the most text a row holds while it lives, so that a test reaches the limit with a few
// characters instead of gigabytes.
class RowLengthLimit
{
public:
    explicit RowLengthLimit(qsizetype length)
        : m_before(std::exchange(ItemRow::maxLength, length))
    {
    }
    ~RowLengthLimit() { ItemRow::maxLength = m_before; }
    RowLengthLimit(const RowLengthLimit &) = delete;
    RowLengthLimit &operator=(const RowLengthLimit &) = delete;

private:
    qsizetype m_before;
};
