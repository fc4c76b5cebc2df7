#include "itemrow.h"

#include <algorithm>

ItemRow ItemRow::fromSeparated(QString text, QChar separator)
{
    ItemRow row;
    if (text.isEmpty())
        return row;
    qsizetype start = 0;
    for (int field = 0; field < FieldCount; ++field) {
        const qsizetype next = text.indexOf(separator, start);
        row.m_present |= std::uint8_t(1u << field);
        if (next < 0) {
            row.m_end[field] = std::uint32_t(text.size());
            for (int rest = field + 1; rest < FieldCount; ++rest)
                row.m_end[rest] = std::uint32_t(text.size());
            break;
        }
        if (field == FieldCount - 1) {
            text.truncate(next);
            text.squeeze();
        }
        row.m_end[field] = std::uint32_t(next);
        start = next + 1;
    }
    row.m_text = std::move(text);
    return row;
}

qsizetype ItemRow::begin(int field) const
{
    if (field == 0)
        return 0;
    return std::min<qsizetype>(qsizetype(m_end[field - 1]) + 1, m_text.size());
}

QStringView ItemRow::fieldView(int field) const
{
    const qsizetype from = begin(field);
    return QStringView(m_text).sliced(from, std::max<qsizetype>(qsizetype(m_end[field]) - from, 0));
}

QString ItemRow::field(int field) const
{
    if (!isPresent(field))
        return {};
    const QStringView view = fieldView(field);
    return view.isEmpty() ? QStringLiteral("") : view.toString();
}

void ItemRow::setField(int field, const QString &value)
{
    std::array<QString, FieldCount> fields;
    for (int i = 0; i < FieldCount; ++i)
        fields[i] = i == field ? value : this->field(i);

    QString text;
    qsizetype length = FieldCount - 1;
    for (const QString &f : fields)
        length += f.size();
    text.reserve(length);
    m_present = 0;
    for (int i = 0; i < FieldCount; ++i) {
        if (i > 0)
            text += u',';
        text += fields[i];
        m_end[i] = std::uint32_t(text.size());
        if (!fields[i].isNull())
            m_present |= std::uint8_t(1u << i);
    }
    m_text = std::move(text);
}

bool ItemRow::isBlank() const
{
    for (int i = 0; i < FieldCount; ++i) {
        if (!fieldView(i).isEmpty())
            return false;
    }
    return true;
}
