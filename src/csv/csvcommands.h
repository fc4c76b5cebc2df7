#pragma once

#include "csvformat.h"

#include <QString>

#include <memory>
#include <optional>

class ItemTable;
class QFile;

// The file side of Save File and Open File. They report what went wrong; the window tells the
// user.
namespace ItemCsv {

struct SaveResult
{
    // A value the file cannot carry: nothing was written.
    std::optional<ValueProblem> problem;
    // The file could not be written: the old file, if any, is as it was.
    QString error;
    bool succeeded() const { return !problem && error.isEmpty(); }
};

// Checks every value, then writes the whole table to `fileName`, replacing the file at once
// and only when all of it has been written; a device that is not a plain file (/dev/null, a
// terminal) is written to directly and stays in its place. Leaves the cursor past the last row
// on success.
SaveResult saveTable(ItemTable &table, const QString &fileName);
// The same, onto a device that is open for writing.
SaveResult saveTable(ItemTable &table, QIODevice &device);

struct OpenedFile
{
    std::unique_ptr<QFile> file;
    QString error;
};

// Opens a file for reading, or says why it cannot be read.
OpenedFile openForReading(const QString &fileName);

} // namespace ItemCsv
