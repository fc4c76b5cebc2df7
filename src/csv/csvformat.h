#pragma once

#include "progress.h"

class ItemTable;
class QIODevice;

// The item CSV file that the handheld imports: Windows-1252 text without a byte-order mark or
// header, one line per row, the six fields joined by commas with no quoting, every line ended
// by CR LF. Absent and empty fields are both written as nothing.
namespace ItemCsv {

enum class WriteOutcome { Written, DeviceFailed, Cancelled };

// Writes every row of the table, in table order and in the file's code page, to a device open
// for writing; the table and its cursor stay as they are. An empty table writes nothing.
// Every value must have passed findRefusedValues(). Progress counts rows. The reason for
// DeviceFailed is the device's errorString().
WriteOutcome writeFile(const ItemTable &table, QIODevice &device, const Progress &progress = {});
// How many bytes writeFile() writes for the table, whose values have all passed
// findRefusedValues(): one byte a character, five commas and CR LF a row.
qint64 fileSize(const ItemTable &table);

} // namespace ItemCsv
