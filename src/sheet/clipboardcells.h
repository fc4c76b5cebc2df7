#pragma once

#include <QString>
#include <QStringView>

// Cells on the clipboard as spreadsheets put them there: a Tab between the values of a row, a
// line break after each row, and a cell that holds a Tab, a line break or a quote written in
// double quotes with its quotes doubled, so that copy and paste keep every value, here and in a
// spreadsheet. Copy and paste both go by this one rule.
namespace ClipboardCells {

// Appends a value as a cell.
void appendCell(QString &text, QStringView value);

// Whether the cell that begins at `from` is a value in quotes, one that holds a Tab, a line
// break or a "" and whose closing quote is followed by the separator, a line end or the end of
// the text: then `value` is set to it without the quotes and the position after the closing
// quote is returned. Otherwise -1: the cell is plain text, "Milk" and a quote that never closes
// included.
qsizetype quotedCellEnd(QStringView text, qsizetype from, QChar separator, QString &value);

} // namespace ClipboardCells
