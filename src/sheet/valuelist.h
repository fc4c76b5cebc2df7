#pragma once

#include <QStringList>

// The distinct values of one column that committed rows have used in this run, oldest first.
// It only grows: values are never sorted, removed or replaced.
class ValueList
{
public:
    // Values are counted with a 16-bit index, so a list stops growing at this many entries.
    static constexpr int MaximumCount = 32768;

    // Remembers a value, unless it is absent or empty, already in the list (exact,
    // case-sensitive), or the list is full. An empty value is never remembered: no pick list
    // could offer it.
    void remember(const QString &value);

    // The values that contain `text`, ignoring letter case, in the order they were remembered.
    QStringList matching(QStringView text) const;

    const QStringList &values() const { return m_values; }

private:
    QStringList m_values;
};
