#pragma once

#include "itemtable.h"

#include <QStringList>

// How the tests write a row: its six fields joined by "|", an absent field as "<absent>".
inline const QString absent = QStringLiteral("<absent>");
inline const QString blankRow
    = QStringLiteral("<absent>|<absent>|<absent>|<absent>|<absent>|<absent>");

QString describe(const ItemRow &row);
QStringList describe(const ItemTable &table);
// Appends one row for each text written as above, as AddNew and then its fields.
void fill(ItemTable &table, const QStringList &rows);
