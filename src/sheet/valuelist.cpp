#include "valuelist.h"

void ValueList::remember(const QString &value)
{
    if (value.isEmpty() || m_values.size() >= MaximumCount)
        return;
    if (!m_values.contains(value, Qt::CaseSensitive))
        m_values.append(value);
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
