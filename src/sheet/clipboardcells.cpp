#include "clipboardcells.h"

#include <algorithm>

namespace ClipboardCells {
namespace {

bool isLineBreak(QChar character)
{
    return character == u'\r' || character == u'\n';
}

// Where the cell that begins at `from` ends if it is a value in quotes, with `value` set to it;
// otherwise -1.
qsizetype quotedCellEnd(QStringView text, qsizetype from, QChar separator, QString &value)
{
    if (from >= text.size() || text[from] != u'"')
        return -1;
    bool holdsSpecial = false;
    for (qsizetype i = from + 1; i < text.size(); ++i) {
        const QChar character = text[i];
        if (character == u'"') {
            if (i + 1 < text.size() && text[i + 1] == u'"') {
                holdsSpecial = true;
                ++i;
                continue;
            }
            const bool closes
                = i + 1 == text.size() || text[i + 1] == separator || isLineBreak(text[i + 1]);
            if (!closes || !holdsSpecial)
                return -1;
            value = text.sliced(from + 1, i - from - 1).toString();
            value.replace(QStringLiteral("\"\""), QStringLiteral("\""));
            return i + 1;
        }
        holdsSpecial = holdsSpecial || character == u'\t' || isLineBreak(character);
    }
    return -1;
}

} // namespace

void appendCell(QString &text, QStringView value)
{
    const bool quoted = std::any_of(value.begin(), value.end(), [](QChar character) {
        return character == u'\t' || character == u'"' || isLineBreak(character);
    });
    if (!quoted) {
        text += value;
        return;
    }
    text += u'"';
    for (const QChar character : value) {
        text += character;
        if (character == u'"')
            text += u'"';
    }
    text += u'"';
}

qsizetype readLine(QStringView text, qsizetype start, QChar separator, int kept, Line &line,
    const qsizetype &nextReport, const Progress &progress)
{
    line.count = 0;
    qsizetype end = start;
    for (;;) {
        const bool keep = line.count < kept;
        QString &unquoted = line.unquoted[std::size_t(keep ? line.count : ColumnCount)];
        qsizetype cellEnd = quotedCellEnd(text, end, separator, unquoted);
        QStringView value = unquoted;
        if (cellEnd < 0) {
            for (cellEnd = end; cellEnd < text.size() && text[cellEnd] != separator
                 && !isLineBreak(text[cellEnd]);) {
                if (++cellEnd >= nextReport && !progress(cellEnd, text.size()))
                    return -1;
            }
            value = text.sliced(end, cellEnd - end);
        }
        if (keep)
            line.values[std::size_t(line.count++)] = value;
        end = cellEnd;
        if (end == text.size() || text[end] != separator)
            return end;
        ++end;
    }
}

} // namespace ClipboardCells
