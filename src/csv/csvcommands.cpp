#include "csvcommands.h"

#include "itemtable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
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
// writes, and the links stay links.
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

// An open file descriptor as a device, every read and write going through the file system.
// Writes are retried until every byte is taken or the system gives a reason.
class DescriptorDevice : public QIODevice
{
public:
    DescriptorDevice(FileSystem &fileSystem, int descriptor, qint64 size = 0)
        : m_fileSystem(fileSystem)
        , m_descriptor(descriptor)
        , m_size(size)
    {
    }
    bool isSequential() const override { return true; }
    // What the file's status said, for progress: a sequential device has no size of its own.
    qint64 size() const override { return m_size; }
    // The reason for the last failed read or write.
    int error() const { return m_error; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        for (;;) {
            const ssize_t read = m_fileSystem.read(m_descriptor, data, size_t(maxSize));
            if (read >= 0)
                return read;
            if (errno != EINTR)
                return failed(errno);
        }
    }
    qint64 writeData(const char *data, qint64 maxSize) override
    {
        qint64 done = 0;
        while (done < maxSize) {
            const ssize_t written
                = m_fileSystem.write(m_descriptor, data + done, size_t(maxSize - done));
            if (written < 0 && errno == EINTR)
                continue;
            // A write that takes nothing and gives no reason would repeat for ever.
            if (written <= 0)
                return failed(written < 0 ? errno : EIO);
            done += written;
        }
        return done;
    }

private:
    qint64 failed(int error)
    {
        m_error = error;
        setErrorString(systemError(error));
        return -1;
    }

    FileSystem &m_fileSystem;
    int m_descriptor;
    qint64 m_size;
    int m_error = 0;
};

// A name in `folder` that nothing has yet, made of `prefix` and eight random letters: short, so
// that a file whose own name is as long as the system allows can still be saved beside it.
QByteArray freshName(const QByteArray &folder, const char *prefix)
{
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray suffix(8, Qt::Uninitialized);
    for (char &letter : suffix)
        letter = Letters[QRandomGenerator::global()->bounded(int(sizeof(Letters) - 1))];
    return folder + '/' + prefix + suffix;
}

// Creates a new file under a fresh name in `folder`; `name` is set to the name taken.
int createNamed(FileSystem &fileSystem, const QByteArray &folder, const char *prefix, mode_t mode,
    QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = freshName(folder, prefix);
        const int descriptor = fileSystem.open(
            name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, mode);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

// Whether a failure to make or put in place a new file means only that this file cannot be
// replaced by another (the folder is not the user's to write, the name is a mount point, the
// file system does not allow it), so that writing into the file itself is the way.
bool cannotReplace(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == EXDEV || error == EBUSY;
}

// Saves a table into a file through the file system, keeping the file what it was.
class Saver
{
public:
    Saver(FileSystem &fileSystem, const ItemTable &table, const Progress &progress,
        const QString &target)
        : m_fileSystem(fileSystem)
        , m_table(table)
        , m_progress(progress)
        , m_name(QFile::encodeName(target))
        , m_folder(QFile::encodeName(QFileInfo(target).absolutePath()))
    {
    }

    SaveResult save()
    {
        struct stat named
        {
        };
        // Nothing is opened before this: opening a FIFO waits until another program opens its
        // other end, and writing to a device is not a save.
        if (m_fileSystem.stat(m_name.constData(), &named) != 0)
            return errno == ENOENT ? create() : failed(errno);
        if (const std::optional<FileKind> kind = kindOf(named.st_mode))
            return notAFile(*kind);
        // Opening the file for writing answers at once for its permissions, its access control
        // list, a read-only mount and an immutable file. Never with O_CREAT, which a sticky
        // folder refuses on another user's file that the user may write.
        bool readable = true;
        int descriptor = m_fileSystem.open(m_name.constData(), O_RDWR | O_NONBLOCK | O_NOCTTY);
        if (descriptor < 0 && errno == EACCES) {
            readable = false;
            descriptor = m_fileSystem.open(m_name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY);
        }
        if (descriptor < 0)
            return failed(errno);
        // The file is on the disk before it is closed, so a failure to close it says nothing.
        const auto closeFile = qScopeGuard([&] { m_fileSystem.close(descriptor); });
        struct stat old
        {
        };
        if (m_fileSystem.fstat(descriptor, &old) != 0)
            return failed(errno);
        // Something else may have taken the name since the stat().
        if (const std::optional<FileKind> kind = kindOf(old.st_mode))
            return notAFile(*kind);
        if (replace(descriptor, old) == Attempt::Done)
            return m_result;
        // Writing into the file without its old bytes kept aside would leave no way back.
        if (!readable)
            return failed(EACCES);
        return writeInPlace(descriptor);
    }

private:
    enum class Attempt { Done, CannotReplace };

    SaveResult failed(int error)
    {
        m_result.outcome = SaveOutcome::Failed;
        m_result.error = systemError(error);
        return m_result;
    }
    SaveResult notAFile(FileKind kind)
    {
        m_result.outcome = SaveOutcome::NotAFile;
        m_result.kind = kind;
        return m_result;
    }

    // A new name: created with 0666, so that the umask and the folder's default access control
    // list decide, as for any new file.
    SaveResult create()
    {
        QByteArray temporaryName;
        const int descriptor = createInFolder(0666, temporaryName);
        if (descriptor < 0)
            return failed(errno);
        if (writeAndSync(descriptor)) {
            if (const int error = putInPlace(descriptor, temporaryName))
                return failed(error);
            return m_result;
        }
        discard(descriptor, temporaryName);
        return m_result;
    }

    // Replaces the file by a new one, but only where the new one can be made indistinguishable
    // from it. Its owner, group, permissions and access control list are set before its first
    // byte, so that no one who may not read the old file can read the new one.
    Attempt replace(int original, const struct stat &old)
    {
        // The other names of the file would keep the old contents.
        if (old.st_nlink > 1)
            return Attempt::CannotReplace;
        QByteArray temporaryName;
        const int descriptor = createInFolder(S_IRUSR | S_IWUSR, temporaryName);
        if (descriptor < 0) {
            if (cannotReplace(errno))
                return Attempt::CannotReplace;
            failed(errno);
            return Attempt::Done;
        }
        struct stat made
        {
        };
        const mode_t mode = old.st_mode & 07777;
        // A dropped setgid bit, or a group the user is not in, shows in the new file's status.
        if (m_fileSystem.changeOwner(descriptor, old.st_uid, old.st_gid) != 0
            || m_fileSystem.changeMode(descriptor, mode) != 0
            || m_fileSystem.copyAccessControl(original, descriptor) != 0
            || m_fileSystem.copyExtendedAttributes(original, descriptor) != 0
            || m_fileSystem.fstat(descriptor, &made) != 0 || made.st_uid != old.st_uid
            || made.st_gid != old.st_gid || (made.st_mode & 07777) != mode) {
            discard(descriptor, temporaryName);
            return Attempt::CannotReplace;
        }
        if (!writeAndSync(descriptor)) {
            discard(descriptor, temporaryName);
            return Attempt::Done;
        }
        if (const int error = putInPlace(descriptor, temporaryName)) {
            if (cannotReplace(error))
                return Attempt::CannotReplace;
            failed(error);
        }
        return Attempt::Done;
    }

    // A new file in the target's folder. Unnamed where the file system allows, so that nothing
    // is left behind if the program is killed while writing it; `temporaryName` is empty then.
    int createInFolder(mode_t mode, QByteArray &temporaryName)
    {
        temporaryName.clear();
        const int descriptor = m_fileSystem.openUnnamed(m_folder.constData(), mode);
        if (descriptor >= 0)
            return descriptor;
        return createNamed(m_fileSystem, m_folder, ".pantrovo-", mode, temporaryName);
    }

    void discard(int descriptor, const QByteArray &temporaryName)
    {
        m_fileSystem.close(descriptor);
        if (!temporaryName.isEmpty())
            m_fileSystem.unlink(temporaryName.constData());
    }

    // Puts the written file at the target's name, and returns 0 or the reason it could not.
    int putInPlace(int descriptor, QByteArray &temporaryName)
    {
        int error = 0;
        // An unnamed file gets a name only now: a name cannot be given over another file's.
        for (int attempt = 0; attempt < 100 && temporaryName.isEmpty(); ++attempt) {
            const QByteArray name = freshName(m_folder, ".pantrovo-");
            if (m_fileSystem.giveName(descriptor, name.constData()) == 0)
                temporaryName = name;
            else if ((error = errno) != EEXIST)
                break;
        }
        if (temporaryName.isEmpty()) {
            m_fileSystem.close(descriptor);
            return error;
        }
        if (m_fileSystem.close(descriptor) != 0
            || m_fileSystem.rename(temporaryName.constData(), m_name.constData()) != 0) {
            error = errno;
            m_fileSystem.unlink(temporaryName.constData());
            return error;
        }
        syncFolder();
        return 0;
    }

    // Until the folder is on the disk, the file's new name may not be.
    void syncFolder()
    {
        const int folder = m_fileSystem.open(m_folder.constData(), O_RDONLY | O_DIRECTORY);
        // A folder the user may not read cannot be synced; the save stands.
        if (folder < 0)
            return;
        if (m_fileSystem.sync(folder) != 0) {
            m_result.outcome = SaveOutcome::SavedUnconfirmed;
            m_result.error = systemError(errno);
        }
        m_fileSystem.close(folder);
    }

    // Writes the table from the file's start and makes sure it reached the disk; the file is
    // cut to the table's length first where it may be longer.
    bool writeAndSync(int descriptor, bool truncate = false)
    {
        DescriptorDevice device(m_fileSystem, descriptor);
        device.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        switch (writeFile(m_table, device, m_progress)) {
        case WriteOutcome::Written:
            break;
        case WriteOutcome::DeviceFailed:
            failed(device.error());
            return false;
        case WriteOutcome::Cancelled:
            m_result.outcome = SaveOutcome::Cancelled;
            return false;
        }
        // A file system may accept the bytes and fail only when it writes them out (a full
        // disk with delayed allocation, a network share).
        if ((truncate && m_fileSystem.truncate(descriptor, fileSize(m_table)) != 0)
            || m_fileSystem.sync(descriptor) != 0) {
            failed(errno);
            return false;
        }
        return true;
    }

    // Writes into the file itself, which keeps everything about it. Its old bytes are kept in
    // a backup until the new ones are on the disk, and put back with the old length if anything
    // fails on the way.
    SaveResult writeInPlace(int descriptor)
    {
        QByteArray backupName;
        const int backup = createBackup(backupName);
        if (backup < 0)
            return failed(errno);
        const auto closeBackup = qScopeGuard([&] { m_fileSystem.close(backup); });
        const qint64 oldLength = copy(descriptor, backup);
        if (oldLength < 0 || m_fileSystem.sync(backup) != 0) {
            const int error = errno;
            m_fileSystem.unlink(backupName.constData());
            return failed(error);
        }
        // A full disk is found before the first byte of the file changes, where the file
        // system can reserve room.
        const qint64 newLength = fileSize(m_table);
        if (newLength > oldLength && m_fileSystem.reserve(descriptor, off_t(newLength)) != 0
            && errno != EOPNOTSUPP && errno != ENOTSUP) {
            const int error = errno;
            m_fileSystem.unlink(backupName.constData());
            return failed(error);
        }
        if (m_fileSystem.seek(descriptor, 0) != 0) {
            failed(errno);
        } else if (writeAndSync(descriptor, true)) {
            m_fileSystem.unlink(backupName.constData());
            return m_result;
        }
        // Failed or cancelled part-way: the old bytes and the old length go back.
        if (copy(backup, descriptor) == oldLength
            && m_fileSystem.truncate(descriptor, off_t(oldLength)) == 0
            && m_fileSystem.sync(descriptor) == 0) {
            m_fileSystem.unlink(backupName.constData());
            return m_result;
        }
        if (m_result.error.isEmpty())
            m_result.error = systemError(errno);
        m_result.outcome = SaveOutcome::Damaged;
        m_result.backup = QFile::decodeName(backupName);
        return m_result;
    }

    // A new file only the user may read, for the file's old bytes: beside the file where the
    // folder allows, else in the user's cache folder.
    int createBackup(QByteArray &name)
    {
        const int descriptor
            = createNamed(m_fileSystem, m_folder, ".pantrovo-backup-", S_IRUSR | S_IWUSR, name);
        if (descriptor >= 0 || (!cannotReplace(errno) && errno != ENAMETOOLONG))
            return descriptor;
        const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        if (cache.isEmpty() || !QDir().mkpath(cache)) {
            errno = EACCES;
            return -1;
        }
        return createNamed(
            m_fileSystem, QFile::encodeName(cache), "pantrovo-backup-", S_IRUSR | S_IWUSR, name);
    }

    // Copies every byte of one file into another from their starts, and gives the number of
    // bytes, or -1 with the reason in errno.
    qint64 copy(int from, int to)
    {
        if (m_fileSystem.seek(from, 0) != 0 || m_fileSystem.seek(to, 0) != 0)
            return -1;
        DescriptorDevice source(m_fileSystem, from);
        DescriptorDevice target(m_fileSystem, to);
        source.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        target.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        QByteArray buffer(qsizetype(1) << 16, Qt::Uninitialized);
        qint64 copied = 0;
        for (;;) {
            const qint64 read = source.read(buffer.data(), buffer.size());
            if (read < 0) {
                errno = source.error();
                return -1;
            }
            if (read == 0)
                return copied;
            if (target.write(buffer.constData(), read) != read) {
                errno = target.error();
                return -1;
            }
            copied += read;
        }
    }

    FileSystem &m_fileSystem;
    const ItemTable &m_table;
    const Progress &m_progress;
    const QByteArray m_name;
    const QByteArray m_folder;
    SaveResult m_result;
};

// The file's rows take the place of the blank first row of a fresh sheet; a first row that holds
// any text is the user's and stays.
void appendRows(
    ItemTable &table, std::vector<ItemRow> &&rows, BlankFirstRow firstRow, OpenResult &result)
{
    try {
        if (firstRow == BlankFirstRow::Replace && table.MoveFirst()
            && table.row(table.currentRow()).isBlank())
            table.Delete();
        table.appendRows(std::move(rows));
    } catch (const std::bad_alloc &) {
        result.outcome = OpenOutcome::OutOfMemory;
    }
}

} // namespace

void prepareProcess()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

SaveResult saveTable(ItemTable &table, QIODevice &device, const Progress &progress)
{
    SaveResult result;
    result.refused = findUnwritableValues(table, SaveResult::ListedProblems);
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
    SaveResult refusal;
    refusal.refused = findUnwritableValues(table, SaveResult::ListedProblems);
    if (refusal.refused.count > 0) {
        refusal.outcome = SaveOutcome::Refused;
        return refusal;
    }
    // The blank row kept at the end for typing is written like any other row.
    table.Update();
    return Saver(fileSystem, table, progress, linkedFile(fileName)).save();
}

OpenResult openTable(
    ItemTable &table, QIODevice &device, const Progress &progress, BlankFirstRow firstRow)
{
    ReadResult read = readFile(device, progress);
    OpenResult result;
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
    appendRows(table, std::move(read.rows), firstRow, result);
    return result;
}

OpenResult appendText(ItemTable &table, const FileText &text, const Dialect &dialect,
    const Progress &progress, BlankFirstRow firstRow)
{
    TextReading read = readText(text, dialect, progress);
    OpenResult result;
    result.tooLongLine = read.tooLongLine;
    result.lines = text.lineCount();
    switch (read.outcome) {
    case ReadOutcome::Read:
        appendRows(table, std::move(read.rows), firstRow, result);
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
    const auto cannotOpen = [&result](int error) {
        result.outcome = OpenOutcome::CannotOpen;
        result.error = systemError(error);
        return result;
    };
    const auto notAFile = [&result](FileKind kind) {
        result.outcome = OpenOutcome::NotAFile;
        result.kind = kind;
        return result;
    };
    const QByteArray name = QFile::encodeName(fileName);
    // Only regular files are read, and nothing else is even opened: opening a FIFO waits for a
    // writer, and opening some devices has effects of its own.
    struct stat named
    {
    };
    if (fileSystem.stat(name.constData(), &named) == 0) {
        if (const std::optional<FileKind> kind = kindOf(named.st_mode))
            return notAFile(*kind);
    }
    // Without blocking: a FIFO put in the file's place since the stat() opens at once and is
    // told apart below, and a file whose reads would wait (/proc/kmsg) fails its first read
    // instead of freezing the window.
    const int descriptor = fileSystem.open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0)
        return cannotOpen(errno);
    const auto closeFile = qScopeGuard([&] { fileSystem.close(descriptor); });
    struct stat opened
    {
    };
    if (fileSystem.fstat(descriptor, &opened) != 0)
        return cannotOpen(errno);
    if (const std::optional<FileKind> kind = kindOf(opened.st_mode))
        return notAFile(*kind);
    DescriptorDevice device(fileSystem, descriptor, qint64(opened.st_size));
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return openTable(table, device, progress, firstRow);
}

} // namespace ItemCsv
