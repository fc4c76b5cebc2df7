#pragma once

#include "csvformat.h"

#include <QString>

#include <optional>

class ItemTable;

// The file side of Save File and Open File. They report what went wrong; the window tells the
// user.
namespace ItemCsv {

// What stands at a path that is not a regular file.
enum class FileKind { Folder, Fifo, Socket, CharacterDevice, BlockDevice, Other };

struct SaveResult
{
    // How many of the values the file cannot carry a refused save names.
    static constexpr qsizetype ListedProblems = 10;
    // Values the file cannot carry: nothing was written.
    UnwritableValues refused;
    // The name is taken by something that is not a regular file: nothing was written.
    std::optional<FileKind> notAFile;
    // The file could not be written (the system's reason): the old file, if any, is as it was.
    QString error;
    // Progress asked to stop: the old file, if any, is as it was.
    bool cancelled = false;
    // The first value the file cannot carry, if any.
    std::optional<ValueProblem> problem() const
    {
        return refused.listed.isEmpty() ? std::nullopt : std::optional(refused.listed.first());
    }
    bool succeeded() const
    {
        return refused.count == 0 && !notAFile && error.isEmpty() && !cancelled;
    }
};

// Checks every value, commits a pending row (the cursor stays where it is), then writes the
// whole table to a new file beside `fileName` and puts it in the place of `fileName` only once
// every byte of it is on the disk. A symbolic link is followed: the file it points to is
// replaced. A name taken by anything but a regular file (a folder, a FIFO, a device) is
// refused before anything is opened. Progress counts rows.
SaveResult saveTable(ItemTable &table, const QString &fileName, const Progress &progress = {});
// The same, onto a device that is open for writing.
SaveResult saveTable(ItemTable &table, QIODevice &device, const Progress &progress = {});

struct OpenResult
{
    // The file could not be opened: the table is as it was.
    bool opened = true;
    // The name is taken by something that is not a regular file, which is not opened.
    std::optional<FileKind> notAFile;
    // Why it could not be opened or read (the system's reason), or empty. After a read that
    // failed part-way the rows of the lines before the failure were added.
    QString error;
    // Progress asked to stop, or the rows did not fit in memory: the table is as it was.
    bool cancelled = false;
    bool outOfMemory = false;
    // The number of a line too long to open, or 0: the table is as it was.
    qint64 tooLongLine = 0;
    qint64 lines = 0;
    Encoding encoding = Encoding::Windows1252;
    bool succeeded() const
    {
        return opened && error.isEmpty() && !cancelled && !outOfMemory && tooLongLine == 0;
    }
};

// Reads every line of the file and only then changes the table: the file's rows take the place
// of a completely blank first row (such as the one a fresh sheet holds) and follow the other
// rows. Progress counts bytes.
// Whether a completely blank first row gives way to the file's rows.
enum class BlankFirstRow { Replace, Keep };
OpenResult openTable(ItemTable &table, const QString &fileName, const Progress &progress = {},
    BlankFirstRow firstRow = BlankFirstRow::Replace);
// The same, from a device that is open for reading.
OpenResult openTable(ItemTable &table, QIODevice &device, const Progress &progress = {},
    BlankFirstRow firstRow = BlankFirstRow::Replace);

} // namespace ItemCsv
