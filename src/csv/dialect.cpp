#include "dialect.h"

namespace ItemCsv {

ColumnMap Dialect::columnsByPosition()
{
    return {AllColumns.begin(), AllColumns.end()};
}

std::optional<Column> columnNamed(QStringView name)
{
    const QStringView trimmed = name.trimmed();
    for (const Column column : AllColumns) {
        if (trimmed.compare(heading(column), Qt::CaseInsensitive) == 0)
            return column;
    }
    return std::nullopt;
}

ColumnMap columnsByHeading(const QStringList &headings)
{
    ColumnMap columns;
    for (const QString &name : headings) {
        std::optional<Column> column = columnNamed(name);
        if (column && columns.contains(column))
            column.reset();
        columns.append(column);
    }
    return columns;
}

int headingCount(QStringView line)
{
    if (line.size() > LongestHeadingLine)
        return 0;
    QString text = line.toString();
    text.remove(u'"');
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u',' && text[i] != u';' && text[i] != u'\t')
            continue;
        if (columnNamed(QStringView(text).sliced(start, i - start)))
            ++count;
        start = i + 1;
    }
    return count;
}

} // namespace ItemCsv
