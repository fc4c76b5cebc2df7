#pragma once

#include "column.h"

#include <QString>

#include <optional>

class ItemTable;
class QIODevice;

// The item CSV file that the handheld imports: Windows-1252 text without a byte-order mark or
// header, one line per row, the six fields joined by commas with no quoting, every line ended
// by CR LF. Absent and empty fields are both written as nothing.
namespace ItemCsv {

// A value that this format cannot carry: the reader on the handheld would split it, cut it or
// read another character.
struct ValueProblem
{
    int row = 0; // 0-based
    Column column = Column::ItemName;
    QString reason; // "contains a comma", ...
};

// The first value in table order that cannot be written, if any.
std::optional<ValueProblem> findUnwritableValue(const ItemTable &table);

// Writes the whole file, in the file's code page, to a device open for writing: moves to the
// first row (committing a pending row), writes every row in order and leaves the cursor past
// the last row. An empty table writes nothing. Every value must have passed
// findUnwritableValue(). False when the device fails.
bool writeFile(ItemTable &table, QIODevice &device);

struct ReadResult
{
    qint64 lines = 0;
    // Empty unless the device failed; the rows of the lines before the failure are kept.
    QString error;
};

// Reads lines from `device` up to its end, each line (ended by CR LF, LF or CR, or by the end
// of the device) appended to the table as one committed row: part i of the line split at every
// comma becomes field i, parts after the sixth are dropped, missing parts leave fields absent.
ReadResult appendLines(QIODevice &device, ItemTable &table);

} // namespace ItemCsv
