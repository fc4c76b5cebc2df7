#include "csvcommands.h"

#include "backups.h"
#include "descriptordevice.h"
#include "heldsignals.h"
#include "itemtable.h"
#include "openedfile.h"
#include "saver.h"
#include "systemnames.h"

#include <QIODevice>
#include <QScopeGuard>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <new>
#include <utility>

namespace ItemCsv {
namespace {

// The file's rows take the place of the blank first row of a fresh sheet; a first row that holds
// any text is the user's and stays.
void appendRows(ItemTable &table, std::vector<ItemRow> &&rows,
    const std::optional<std::vector<int>> &rowsToCheck, BlankFirstRow firstRow, OpenResult &result)
{
    try {
        if (firstRow == BlankFirstRow::Replace && table.MoveFirst()
            && table.row(table.currentRow()).isBlank())
            table.Delete();
        table.appendRows(std::move(rows), rowsToCheck ? &*rowsToCheck : nullptr);
    } catch (const std::bad_alloc &) {
        result.outcome = OpenOutcome::OutOfMemory;
    }
}

// Adds the rows read to the table as openTable() describes; the text of a file that is not an
// item file goes into the result instead.
OpenResult addRows(ItemTable &table, ReadResult read, BlankFirstRow firstRow, OpenResult result)
{
    result.error = read.error;
    result.tooLongLine = read.tooLongLine;
    result.encoding = read.encoding;
    result.lineEncodings = read.lines;
    result.lines = read.text ? read.text->lineCount() : qint64(read.rows.size());
    result.text = std::move(read.text);
    result.dialect = read.dialect;
    switch (read.outcome) {
    case ReadOutcome::Read:
        break;
    case ReadOutcome::NotItemFile:
        result.outcome = OpenOutcome::NeedsDialect;
        return result;
    case ReadOutcome::NotText:
        result.outcome = OpenOutcome::NotText;
        return result;
    case ReadOutcome::Failed:
        result.outcome = OpenOutcome::ReadStopped;
        if (result.text)
            return result;
        break;
    case ReadOutcome::Cancelled:
        result.outcome = OpenOutcome::Cancelled;
        return result;
    case ReadOutcome::OutOfMemory:
        result.outcome = OpenOutcome::OutOfMemory;
        return result;
    case ReadOutcome::LineTooLong:
        result.outcome = OpenOutcome::LineTooLong;
        return result;
    }
    appendRows(table, std::move(read.rows), read.rowsToCheck, firstRow, result);
    return result;
}

// Opens the file that the name leads to for reading, and nothing but a regular file: opening a
// FIFO waits for a writer, and opening some devices has effects of their own. Without
// blocking: a file whose reads would wait (/proc/kmsg) fails its first read instead of
// freezing the window. Gives -1 with the result set when it cannot.
int openForReading(
    FileSystem &fileSystem, const QString &fileName, struct stat &status, OpenResult &result)
{
    if (isUnreadableName(fileSystem, fileName)) {
        result.outcome = OpenOutcome::UnreadableName;
        return -1;
    }
    std::optional<FileKind> kind;
    const int path = openPath(fileSystem, systemName(fileName), status, kind);
    const int descriptor
        = path < 0 ? -1 : fileSystem.reopen(path, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    const int error = errno;
    if (path >= 0)
        fileSystem.close(path);
    if (kind) {
        result.outcome = OpenOutcome::NotAFile;
        result.kind = *kind;
    } else if (descriptor < 0) {
        result.outcome = OpenOutcome::CannotOpen;
        result.error = systemError(error);
    }
    return descriptor;
}

} // namespace

void prepareProcess()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

SaveResult saveTable(ItemTable &table, QIODevice &device, const Progress &progress)
{
    SaveResult result;
    result.refused = findRefusedValues(table, SaveResult::ListedRefusedValues);
    if (result.refused.count > 0) {
        result.outcome = SaveOutcome::Refused;
        return result;
    }
    table.Update();
    switch (writeFile(table, device, progress)) {
    case WriteOutcome::Written:
        break;
    case WriteOutcome::Cancelled:
        result.outcome = SaveOutcome::Cancelled;
        break;
    case WriteOutcome::DeviceFailed:
        result.outcome = SaveOutcome::Failed;
        result.error = device.errorString();
        break;
    }
    return result;
}

SaveResult saveTable(
    ItemTable &table, const QString &fileName, const Progress &progress, FileSystem &fileSystem)
{
    // Every value is checked before any file is touched.
    SaveResult result;
    result.refused = findRefusedValues(table, SaveResult::ListedRefusedValues);
    if (result.refused.count > 0) {
        result.outcome = SaveOutcome::Refused;
        return result;
    }
    if (isUnreadableName(fileSystem, fileName)) {
        result.outcome = SaveOutcome::UnreadableName;
        return result;
    }
    // The blank row kept at the end for typing is written like any other row.
    table.Update();
    const HeldSignals heldSignals;
    return saveToFile(fileSystem, table, progress, systemName(fileName));
}

OpenResult openTable(
    ItemTable &table, QIODevice &device, const Progress &progress, BlankFirstRow firstRow)
{
    return addRows(table, readFile(device, progress, table.rowCheck()), firstRow, {});
}

OpenResult appendText(ItemTable &table, const FileText &text, const Dialect &dialect,
    const Progress &progress, BlankFirstRow firstRow)
{
    TextReading read = readText(text, dialect, progress, table.rowCheck());
    OpenResult result;
    result.tooLongLine = read.tooLongLine;
    result.lines = text.lineCount();
    switch (read.outcome) {
    case ReadOutcome::Read:
        appendRows(table, std::move(read.rows), read.rowsToCheck, firstRow, result);
        break;
    case ReadOutcome::Cancelled:
        result.outcome = OpenOutcome::Cancelled;
        break;
    case ReadOutcome::LineTooLong:
        result.outcome = OpenOutcome::LineTooLong;
        break;
    // A reading of text in memory ends in none of the others but running out of memory.
    case ReadOutcome::OutOfMemory:
    case ReadOutcome::NotItemFile:
    case ReadOutcome::NotText:
    case ReadOutcome::Failed:
        result.outcome = OpenOutcome::OutOfMemory;
        break;
    }
    return result;
}

OpenResult openTable(ItemTable &table, const QString &fileName, const Progress &progress,
    BlankFirstRow firstRow, FileSystem &fileSystem)
{
    OpenResult result;
    struct stat status
    {
    };
    const int descriptor = openForReading(fileSystem, fileName, status, result);
    if (descriptor < 0)
        return result;
    ReadResult read;
    {
        const auto closeFile = qScopeGuard([&] { fileSystem.close(descriptor); });
        // Another program's save of the file would change it under the reading. The lock goes
        // with the descriptor, as soon as the reading ends.
        if (fileSystem.lock(descriptor, F_RDLCK) != 0 && !hasNoLocks(errno)) {
            result.outcome = isLockedOut(errno) ? OpenOutcome::Busy : OpenOutcome::CannotOpen;
            result.error = systemError(errno);
            return result;
        }
        FileFolder folder(fileSystem);
        folder.findOf(descriptor, status);
        result.earlierBackups = earlierBackups(fileSystem, folder, status);
        DescriptorDevice device(fileSystem, descriptor, qint64(status.st_size));
        device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        read = readFile(device, progress, table.rowCheck());
    }
    return addRows(table, std::move(read), firstRow, std::move(result));
}

} // namespace ItemCsv
