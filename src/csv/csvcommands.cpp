#include "csvcommands.h"

#include "itemtable.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace ItemCsv {
namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

std::optional<FileKind> kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return std::nullopt;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    if (S_ISCHR(mode))
        return FileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    return FileKind::Other;
}

// The file that a chain of symbolic links ends at, existing or not: that file is the one a save
// replaces, and the links stay links.
QString linkedFile(const QString &fileName)
{
    QString name = fileName;
    // The system gives up after 40 links in a row (ELOOP); the stat() after this says so.
    for (int links = 0; links < 40; ++links) {
        const QFileInfo info(name);
        if (!info.isSymLink())
            break;
        name = info.symLinkTarget();
    }
    return name;
}

// A new, empty file in `folder` under a short name of its own. Short, so that a file whose
// name is already as long as the system allows can still be saved beside it.
int createTemporaryFile(const QString &folder, QByteArray &name)
{
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray suffix(8, Qt::Uninitialized);
        for (char &letter : suffix)
            letter = Letters[QRandomGenerator::global()->bounded(int(sizeof(Letters) - 1))];
        name = QFile::encodeName(folder) + "/.pantrovo-" + suffix;
        const int descriptor
            = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

// Writes the table into the file open as `descriptor` and makes sure it reached the disk.
// Every failure gives the system's reason, taken before anything else can change errno.
void writeToDisk(
    const ItemTable &table, int descriptor, const Progress &progress, SaveResult &result)
{
    {
        QFile file;
        // Unbuffered: each write reaches the system at once and fails there with its reason,
        // instead of in a flush at the end that may no longer know it.
        if (!file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered,
                QFileDevice::DontCloseHandle)) {
            result.error = file.errorString();
            return;
        }
        const WriteOutcome outcome = writeFile(table, file, progress);
        if (outcome == WriteOutcome::Cancelled) {
            result.cancelled = true;
            return;
        }
        if (outcome == WriteOutcome::DeviceFailed) {
            result.error = file.errorString();
            return;
        }
    }
    // A file system may accept the bytes and fail only when it writes them out (a full disk
    // with delayed allocation, a network share).
    if (::fsync(descriptor) != 0)
        result.error = systemError(errno);
}

SaveResult saveToFile(const ItemTable &table, const QString &fileName, const Progress &progress)
{
    SaveResult result;
    const QString target = linkedFile(fileName);
    const QByteArray targetName = QFile::encodeName(target);
    struct stat status
    {
    };
    // Nothing is opened before this: opening a FIFO waits until another program opens its
    // other end, and writing to a device is not a save.
    const bool exists = ::stat(targetName.constData(), &status) == 0;
    if (exists) {
        result.notAFile = kindOf(status.st_mode);
        if (result.notAFile)
            return result;
    } else if (errno != ENOENT) {
        result.error = systemError(errno);
        return result;
    }

    QByteArray temporaryName;
    const int descriptor = createTemporaryFile(QFileInfo(target).absolutePath(), temporaryName);
    if (descriptor < 0) {
        result.error = systemError(errno);
        return result;
    }
    if (exists && ::fchmod(descriptor, status.st_mode & 07777) != 0)
        result.error = systemError(errno);
    if (result.error.isEmpty())
        writeToDisk(table, descriptor, progress, result);
    if (::close(descriptor) != 0 && result.error.isEmpty() && !result.cancelled)
        result.error = systemError(errno);
    if (result.error.isEmpty() && !result.cancelled
        && std::rename(temporaryName.constData(), targetName.constData()) != 0)
        result.error = systemError(errno);
    if (!result.error.isEmpty() || result.cancelled)
        ::unlink(temporaryName.constData());
    return result;
}

} // namespace

SaveResult saveTable(ItemTable &table, QIODevice &device, const Progress &progress)
{
    SaveResult result;
    result.refused = findUnwritableValues(table, SaveResult::ListedProblems);
    if (result.refused.count > 0)
        return result;
    table.Update();
    const WriteOutcome outcome = writeFile(table, device, progress);
    result.cancelled = outcome == WriteOutcome::Cancelled;
    if (outcome == WriteOutcome::DeviceFailed)
        result.error = device.errorString();
    return result;
}

SaveResult saveTable(ItemTable &table, const QString &fileName, const Progress &progress)
{
    // Every value is checked before any file is touched.
    SaveResult refusal;
    refusal.refused = findUnwritableValues(table, SaveResult::ListedProblems);
    if (refusal.refused.count > 0)
        return refusal;
    // The blank row kept at the end for typing is written like any other row.
    table.Update();
    return saveToFile(table, fileName, progress);
}

OpenResult openTable(
    ItemTable &table, QIODevice &device, const Progress &progress, BlankFirstRow firstRow)
{
    ReadResult read = readFile(device, progress);
    OpenResult result;
    result.error = read.error;
    result.cancelled = read.cancelled;
    result.outOfMemory = read.outOfMemory;
    result.tooLongLine = read.tooLongLine;
    result.encoding = read.encoding;
    result.lines = qint64(read.rows.size());
    if (read.cancelled || read.outOfMemory || read.tooLongLine != 0)
        return result;
    try {
        // The file's rows take the place of the blank first row of a fresh sheet; a first row
        // that holds any text is the user's and stays.
        if (firstRow == BlankFirstRow::Replace && table.MoveFirst()
            && table.row(table.currentRow()).isBlank())
            table.Delete();
        table.appendRows(std::move(read.rows));
    } catch (const std::bad_alloc &) {
        result.outOfMemory = true;
    }
    return result;
}

OpenResult openTable(
    ItemTable &table, const QString &fileName, const Progress &progress, BlankFirstRow firstRow)
{
    OpenResult result;
    // Opening a FIFO would wait for a writer, and a device may never end: only regular files
    // are read.
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(fileName).constData(), &status) == 0) {
        result.notAFile = kindOf(status.st_mode);
        if (result.notAFile) {
            result.opened = false;
            return result;
        }
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        result.opened = false;
        result.error = file.errorString();
        return result;
    }
    return openTable(table, file, progress, firstRow);
}

} // namespace ItemCsv
