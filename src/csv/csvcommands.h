#pragma once

#include "csvformat.h"
#include "filereader.h"
#include "filesystem.h"
#include "valuecheck.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class ItemTable;

// The file side of Save File and Open File. They report what went wrong; the window tells the
// user.
namespace ItemCsv {

// What stands at a path that is not a regular file.
enum class FileKind { Folder, Fifo, Socket, CharacterDevice, BlockDevice, Other };

// How a save ended.
enum class SaveOutcome {
    // Every byte is on the disk, in the same file (owner, group, permissions, access control
    // list and other links as they were) or in a new one.
    Saved,
    // The file holds the new rows, but the system could not confirm that its new name is on
    // the disk (`error` says why).
    SavedUnconfirmed,
    // Refused values (`refused`): nothing was written.
    Refused,
    // The name is taken by something that is not a regular file (`kind`): nothing was written.
    NotAFile,
    // The file could not be written (`error`, the system's reason): the old file, if any, is as
    // it was.
    Failed,
    // Writing into the file failed (`error`), and so did putting its old contents back: the
    // file may be damaged, and its old contents are in `backup`.
    Damaged,
    // Progress asked to stop: the old file, if any, is as it was.
    Cancelled,
    // Another program holds a lock on the file while it saves it: nothing was written.
    Busy,
    // The name no longer led to the file that was opened: another program put something else
    // there. Nothing was written.
    Replaced,
    // The rows are in the file that was opened, written into it, but the name leads to
    // another file that another program put there meanwhile.
    SavedToReplacedFile,
    // The old contents could not be kept aside in `place` (`error`): nothing was written.
    BackupFailed,
    // The name stands for a file whose own name is not valid UTF-8 (isUnreadableName()):
    // nothing was opened.
    UnreadableName,
};

struct SaveResult
{
    // How many of its refused values a refused save names.
    static constexpr qsizetype ListedRefusedValues = 10;
    SaveOutcome outcome = SaveOutcome::Saved;
    RefusedValues refused;
    FileKind kind = FileKind::Other;
    QString error;
    QString backup;
    QString place;
    // Backups of the file's old contents that saves which never ended left (earlierBackups()).
    QStringList earlierBackups;
    // The first refused value, if any.
    std::optional<RefusedValue> firstRefusedValue() const
    {
        return refused.listed.isEmpty() ? std::nullopt : std::optional(refused.listed.first());
    }
    bool succeeded() const { return outcome == SaveOutcome::Saved; }
};

// Makes a write past the file size limit (`ulimit -f`) fail with "File too large", as a full
// disk fails, instead of ending the program with every row the user typed. Programs that save
// call it once at start-up.
void prepareProcess();

// Checks every value, commits a pending row (the cursor stays where it is), then replaces the
// contents of the file that `fileName` leads to with the whole table, or creates it. The
// kernel follows the links in the name, with its protections, and the file it reaches is
// saved; the links stay. The file stays the same file: where a new file written beside it
// cannot be given the old one's owner, group, permissions, access control list, extended
// attributes and inode flags (or the file has other links, or its name cannot be taken over),
// the table is written into the file itself, with its old contents kept aside until every byte
// is on the disk. A file that the user may not write is refused, and so is one that another
// program is saving (a lock). Nothing but a regular file is opened. The save never says Saved
// when the name does not lead to the rows. SIGTERM, SIGHUP and SIGINT wait until it ends.
// Progress counts rows. Every system call goes through `fileSystem`.
SaveResult saveTable(ItemTable &table, const QString &fileName, const Progress &progress = {},
    FileSystem &fileSystem = FileSystem::system());
// The same, onto a device that is open for writing.
SaveResult saveTable(ItemTable &table, QIODevice &device, const Progress &progress = {});

// How an Open ended.
enum class OpenOutcome {
    // Every line of the file was added.
    Opened,
    // The file is not written as an item file: no row was added, and `text` waits to be read
    // in a dialect the user confirms (appendText), the one it seems written in being `dialect`.
    NeedsDialect,
    // Reading failed part-way (`error`, the system's reason): the rows of the `lines` before
    // the failure were added, or for a file not written as an item file, wait in `text`.
    ReadStopped,
    // The file holds a NUL byte near its start: it is not text, and no row was added.
    NotText,
    // The name is taken by something that is not a regular file (`kind`), which is not opened.
    NotAFile,
    // The file could not be opened (`error`): the table is as it was.
    CannotOpen,
    // Progress asked to stop: the table is as it was.
    Cancelled,
    // The rows did not fit in memory: the table is as it was.
    OutOfMemory,
    // Line `tooLongLine` is longer than a row can hold: the table is as it was.
    LineTooLong,
    // Another program holds a lock on the file while it saves it: the table is as it was.
    Busy,
    // The name stands for a file whose own name is not valid UTF-8 (isUnreadableName()):
    // nothing was opened, and the table is as it was.
    UnreadableName,
};

struct OpenResult
{
    OpenOutcome outcome = OpenOutcome::Opened;
    FileKind kind = FileKind::Other;
    QString error;
    qint64 tooLongLine = 0;
    // The lines read, and so the rows added where the outcome adds any.
    qint64 lines = 0;
    Encoding encoding = Encoding::Windows1252;
    LineEncodings lineEncodings;
    std::shared_ptr<const FileText> text;
    Dialect dialect;
    // Backups of the file's old contents that saves which never ended left (earlierBackups()).
    QStringList earlierBackups;
    bool succeeded() const { return outcome == OpenOutcome::Opened; }
};

// Whether a completely blank first row gives way to the file's rows.
enum class BlankFirstRow { Replace, Keep };

// Reads the lines of the file and then adds them to the table: the file's rows take the place
// of a completely blank first row (such as the one a fresh sheet holds) and follow the other
// rows. A file that cannot be read whole, for want of memory or with a line too long, adds no
// row; a read that fails part-way adds the rows of the lines before the failure. Only regular
// files are opened, the kernel following the links in the name, without ever waiting on them;
// none that another program is saving, and none that it may swap in after the check. Progress
// counts bytes. Every system call goes through `fileSystem`.
OpenResult openTable(ItemTable &table, const QString &fileName, const Progress &progress = {},
    BlankFirstRow firstRow = BlankFirstRow::Replace, FileSystem &fileSystem = FileSystem::system());
// The same, from a device that is open for reading.
OpenResult openTable(ItemTable &table, QIODevice &device, const Progress &progress = {},
    BlankFirstRow firstRow = BlankFirstRow::Replace);
// Reads a file's text in a dialect and adds its rows as openTable adds an item file's: all of
// them, or none when the text cannot be read whole (Cancelled, OutOfMemory, LineTooLong).
// Progress counts characters.
OpenResult appendText(ItemTable &table, const FileText &text, const Dialect &dialect,
    const Progress &progress = {}, BlankFirstRow firstRow = BlankFirstRow::Replace);

} // namespace ItemCsv
