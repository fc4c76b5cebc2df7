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

// Where the plain cell that begins at `from` ends, or -1 when `progress` says stop. A paste of
// a million lines passes every character here: an ordinary one costs a comparison or two, and
// progress is asked only where the next report is due.
qsizetype plainCellEnd(QStringView text, qsizetype from, QChar separator,
    const qsizetype &nextReport, const Progress &progress)
{
    const char16_t *const characters = text.utf16();
    const char16_t cut = separator.unicode();
    qsizetype at = from;
    for (;;) {
        const qsizetype stop = std::min(text.size(), std::max(nextReport, at + 1));
        while (at < stop
            && (characters[at] > u'\r' ? characters[at] != cut
                                       : !isLineBreak(characters[at]) && characters[at] != cut))
            ++at;
        if (at < stop)
            return at;
        if (at >= nextReport && !progress(at, text.size()))
            return -1;
        if (at == text.size())
            return at;
    }
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
            cellEnd = plainCellEnd(text, end, separator, nextReport, progress);
            if (cellEnd < 0)
                return -1;
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
