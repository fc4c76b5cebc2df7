#include "column.h"

#include <QCoreApplication>

QString heading(Column column)
{
    static constexpr std::array<const char *, ColumnCount> headings {
        QT_TRANSLATE_NOOP("Column", "Item Name"),
        QT_TRANSLATE_NOOP("Column", "Group"),
        QT_TRANSLATE_NOOP("Column", "Price"),
        QT_TRANSLATE_NOOP("Column", "Item Type"),
        QT_TRANSLATE_NOOP("Column", "Store"),
        QT_TRANSLATE_NOOP("Column", "Aisle No"),
    };
    return QCoreApplication::translate("Column", headings[std::size_t(position(column))]);
}
