#include "itemrow.h"

#include <algorithm>

ItemRow ItemRow::fromSeparated(QString text, QChar separator)
{
    ItemRow row;
    if (text.isEmpty())
        return row;
    qsizetype start = 0;
    for (int field = 0; field < ColumnCount; ++field) {
        const qsizetype next = text.indexOf(separator, start);
        row.m_present |= bit(columnAt(field));
        if (next < 0) {
            for (int rest = field; rest < ColumnCount; ++rest)
                row.m_end[std::size_t(rest)] = std::uint32_t(text.size());
            break;
        }
        if (field == ColumnCount - 1) {
            text.truncate(next);
            text.squeeze();
        }
        row.m_end[std::size_t(field)] = std::uint32_t(next);
        start = next + 1;
    }
    row.m_text = std::move(text);
    return row;
}

qsizetype ItemRow::begin(int field) const
{
    if (field == 0)
        return 0;
    return std::min<qsizetype>(end(field - 1) + 1, m_text.size());
}

QStringView ItemRow::fieldView(Column column) const
{
    const int field = position(column);
    const qsizetype from = begin(field);
    return QStringView(m_text).sliced(from, std::max<qsizetype>(end(field) - from, 0));
}

QString ItemRow::field(Column column) const
{
    if (!isPresent(column))
        return {};
    const QStringView view = fieldView(column);
    return view.isEmpty() ? QStringLiteral("") : view.toString();
}

void ItemRow::setField(Column column, const QString &value)
{
    std::array<QString, ColumnCount> fields;
    for (const Column each : AllColumns)
        fields[std::size_t(position(each))] = each == column ? value : field(each);

    QString text;
    qsizetype length = ColumnCount - 1;
    for (const QString &f : fields)
        length += f.size();
    text.reserve(length);
    m_present = 0;
    for (const Column each : AllColumns) {
        const QString &f = fields[std::size_t(position(each))];
        if (each != Column::ItemName)
            text += u',';
        text += f;
        m_end[std::size_t(position(each))] = std::uint32_t(text.size());
        if (!f.isNull())
            m_present |= bit(each);
    }
    m_text = std::move(text);
}

bool ItemRow::isBlank() const
{
    return std::all_of(AllColumns.begin(), AllColumns.end(),
        [this](Column column) { return fieldView(column).isEmpty(); });
}
