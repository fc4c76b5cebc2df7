#include "tablerows.h"

QString rowWithName(const QString &name)
{
    return name + QStringLiteral("|<absent>|<absent>|<absent>|<absent>|<absent>");
}

QString committedRowWithName(const QString &name)
{
    return name + QStringLiteral("|<absent>|<absent>|Item|<absent>|<absent>");
}

QString describe(const ItemRow &row)
{
    QStringList fields;
    for (const Column column : AllColumns)
        fields.append(row.isPresent(column) ? row.field(column) : absent);
    return fields.join(u'|');
}

QStringList describe(const ItemTable &table)
{
    QStringList rows;
    for (int index = 0; index < table.size(); ++index)
        rows.append(describe(table.row(index)));
    return rows;
}

void fill(ItemTable &table, const QStringList &rows)
{
    for (const QString &row : rows) {
        table.AddNew();
        const QStringList fields = row.split(u'|');
        for (int field = 0; field < fields.size(); ++field) {
            if (fields[field] != absent)
                table.setFieldValue(columnAt(field), fields[field]);
        }
    }
}
