#pragma once

#include "column.h"
#include "dialect.h"

#include <QtGlobal>

#include <array>
#include <cstdint>
#include <type_traits>

// What one pass over a line's characters finds out: where it ends, where its first commas are,
// and what tells an item file from a spreadsheet's export. Reading a million lines passes over
// each character once, so the pass looks at most characters only to find them ordinary.
namespace ItemCsv {

struct LineLayout
{
    // Where the line's first five commas are, from its start: enough to cut it into six parts.
    std::array<qsizetype, ColumnCount - 1> cuts {};
    // For each separator, in the order of Separators: how many the line holds, quotes or not,
    // and how many of the values they separate are empty (at the line's start, between two of
    // them, at its end).
    std::array<qsizetype, Separators.size()> separators {};
    std::array<qsizetype, Separators.size()> emptyValues {};
    // The characters of the line.
    qsizetype length = 0;
    bool quote = false;
    // A byte of 0x80 or more, or a UTF-16 character past ASCII.
    bool beyondAscii = false;
    // A control character but Tab and the line ends: a byte below 0x20, DEL, or a byte that
    // Windows-1252 leaves unassigned, which reads as a C1 control. A value never holds a comma or
    // a line end of its item file's line, so a line of Windows-1252 bytes without one of these
    // holds no value that Save refuses.
    bool control = false;
    // Where the last separator of each kind is: -1 for none, so that one at the start leaves an
    // empty value before it.
    std::array<qsizetype, Separators.size()> lastSeparator {-1, -1, -1};

    // How many values the line has at the separator, quotes as text: an empty line has none.
    qsizetype values(std::size_t separator) const
    {
        return length == 0 ? 0 : separators[separator] + 1;
    }
    qsizetype nonEmptyValues(std::size_t separator) const
    {
        return values(separator) - emptyValues[separator]
            - (length > 0 && lastSeparator[separator] == length - 1 ? 1 : 0);
    }
};

namespace Scan {

enum Kind : std::uint8_t { Ordinary, Comma, Semicolon, Tab, Quote, BeyondAscii, Control, LineEnd };

constexpr std::array<std::uint8_t, 256> kinds()
{
    std::array<std::uint8_t, 256> table {};
    table[','] = Comma;
    table[';'] = Semicolon;
    table['"'] = Quote;
    for (std::size_t byte = 0; byte < 0x20; ++byte)
        table[byte] = Control;
    table[0x7F] = Control;
    table['\t'] = Tab;
    table['\r'] = LineEnd;
    table['\n'] = LineEnd;
    for (std::size_t byte = 0x80; byte < table.size(); ++byte)
        table[byte] = BeyondAscii;
    for (const std::size_t unassigned : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        table[unassigned] = Control;
    return table;
}
inline constexpr std::array<std::uint8_t, 256> Kinds = kinds();

template<typename Char> std::uint8_t kindOf(Char character)
{
    const auto code = std::make_unsigned_t<Char>(character);
    if constexpr (sizeof(Char) > 1) {
        if (code > 0xFF)
            return BeyondAscii;
    }
    return Kinds[code];
}

} // namespace Scan

// Goes on over a line from `text[from]`, the line having begun `before` characters before it,
// until the line ends (CR or LF) or `to`, adding what it finds to `layout`. Returns where it
// stopped: the line end, or `to`.
template<typename Char>
qsizetype scanLine(
    const Char *text, qsizetype from, qsizetype to, qsizetype before, LineLayout &layout)
{
    // Kept in locals while the characters go by: the text's characters may alias the layout.
    LineLayout found = layout;
    const qsizetype start = before - from; // where text[0] would be in the line
    qsizetype i = from;
    for (; i < to; ++i) {
        const std::uint8_t kind = Scan::kindOf(text[i]);
        if (kind == Scan::Ordinary) [[likely]]
            continue;
        if (kind <= Scan::Tab) {
            const auto separator = std::size_t(kind - Scan::Comma);
            const qsizetype at = start + i;
            if (separator == 0 && found.separators[0] < qsizetype(found.cuts.size()))
                found.cuts[std::size_t(found.separators[0])] = at;
            found.emptyValues[separator] += at == found.lastSeparator[separator] + 1 ? 1 : 0;
            found.lastSeparator[separator] = at;
            ++found.separators[separator];
        } else if (kind == Scan::Quote) {
            found.quote = true;
        } else if (kind == Scan::BeyondAscii) {
            found.beyondAscii = true;
        } else if (kind == Scan::Control) {
            found.control = true;
            found.beyondAscii = found.beyondAscii || std::make_unsigned_t<Char>(text[i]) >= 0x80;
        } else {
            break;
        }
    }
    found.length = start + i;
    layout = found;
    return i;
}

} // namespace ItemCsv
