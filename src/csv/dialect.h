#pragma once

#include "column.h"

#include <QList>
#include <QStringList>

#include <array>
#include <optional>

// How a file of separated values is written, so that Open can read what spreadsheets export as
// well as the handheld's own item files, which are one dialect among them.
namespace ItemCsv {

enum class Quoting {
    // A quote is a character like any other, as in the handheld's own files.
    Text,
    // As spreadsheets write them: a value that begins with a quote, at the start of a line or
    // right after a separator, ends at a quote followed by the separator or the line end; it may
    // hold separators and line breaks, "" inside it is one quote, and the enclosing quotes are
    // not part of the value.
    Spreadsheet,
};

// The grid column that each of the file's columns goes to, by position; none leaves the column
// out.
using ColumnMap = QList<std::optional<Column>>;

struct Dialect
{
    // ',', ';' or '\t'.
    char separator = ',';
    Quoting quoting = Quoting::Text;
    // The first line names the columns and gives no row.
    bool headingLine = false;
    // Columns past the end of the map are left out.
    ColumnMap columns = columnsByPosition();
    // A Price of digits with one comma has the comma read as a decimal point: "1,15" is 1.15.
    bool decimalComma = false;

    // The handheld's own file: split at every comma, quotes are text, the first six columns
    // in the grid's order.
    bool isItemFile() const { return *this == Dialect(); }
    bool operator==(const Dialect &) const = default;

    // The grid's six columns in their order.
    static ColumnMap columnsByPosition();
};

// The separators a file may use, in the order every count of them is kept.
inline constexpr std::array<char, 3> Separators {',', ';', '\t'};

// The grid column whose heading `name` is, ignoring case and spaces at the ends.
std::optional<Column> columnNamed(QStringView name);
// Each of the file's columns to the grid column its heading names; a heading that names none,
// or a column already named by an earlier one, is left out.
ColumnMap columnsByHeading(const QStringList &headings);
// How many values of a line, taken as headings, name a grid column: the line with its quotes
// removed and split at every comma, semicolon and Tab. A line longer than LongestHeadingLine
// names none.
inline constexpr qsizetype LongestHeadingLine = 4096;
int headingCount(QStringView line);

} // namespace ItemCsv
