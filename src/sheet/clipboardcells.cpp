#include "clipboardcells.h"

#include <algorithm>

namespace ClipboardCells {
namespace {

bool isLineBreak(QChar character)
{
    return character == u'\r' || character == u'\n';
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

} // namespace ClipboardCells
