#include "valuelist.h"

#include "itemtable.h"

void ValueList::remember(const ItemTable &table, QStringView fieldName)
{
    const std::optional<QString> value = table.fieldValue(fieldName);
    if (!value || value->isEmpty() || m_values.size() >= MaximumCount)
        return;
    if (!m_values.contains(*value, Qt::CaseSensitive))
        m_values.append(*value);
}

QStringList ValueList::matching(QStringView text) const
{
    QStringList found;
    for (const QString &value : m_values) {
        if (value.contains(text, Qt::CaseInsensitive))
            found.append(value);
    }
    return found;
}
