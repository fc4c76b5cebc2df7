#pragma once

#include "column.h"
#include "progress.h"

#include <QString>
#include <QStringView>

#include <array>

// Cells on the clipboard as spreadsheets put them there: a Tab between the values of a row, a
// line break after each row, and a cell that holds a Tab, a line break or a quote written in
// double quotes with its quotes doubled, so that copy and paste keep every value, here and in a
// spreadsheet. Copy and paste both go by this one rule.
namespace ClipboardCells {

// Appends a value as a cell.
void appendCell(QString &text, QStringView value);

// The cells of one line of text.
struct Line
{
    std::array<QStringView, ColumnCount> values;
    int count = 0;
    // The values of cells in quotes, and one more for those past the cells kept.
    std::array<QString, ColumnCount + 1> unquoted;
};

// Reads the cells of the line that begins at `start`, separated by `separator`, keeping the
// first `kept` in `line`. A cell in quotes (a value that holds a Tab, a line break or a "" and
// whose closing quote is followed by the separator, a line end or the end of the text) is one
// value without its quotes, and may hold line breaks; any other cell is plain text, "Milk" and a
// quote that never closes included. Returns where the line ends, or -1 when `progress`, told of
// the position in the text each time it passes `nextReport` (which `progress` moves on), says
// stop.
qsizetype readLine(QStringView text, qsizetype start, QChar separator, int kept, Line &line,
    const qsizetype &nextReport, const Progress &progress);

} // namespace ClipboardCells
