#include "saver.h"

#include "backups.h"
#include "descriptordevice.h"
#include "openedfile.h"
#include "systemnames.h"

#include <QScopeGuard>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#ifdef __linux__
#include <linux/fs.h>
#endif

// The steps of a save, in their order, once saveTable() has checked every value and the name:
// 1. The name is opened as a path, the kernel following its links: anything but a regular file
//    is NotAFile. A name that leads nowhere gets a new file (create()); a link that leads
//    nowhere gets a file made through it, which goes again if the save fails.
// 2. The file is opened to read and write (to write alone where it cannot be read), which
//    answers for its permissions, a read-only mount and an immutable file; it is locked against
//    another save (Busy), and its folder found, else the name must still lead to it (Replaced).
// 3. A file of one name is replaced where its folder and file system allow a new file beside it
//    to take over its inode flags, owner, group, permissions, access control list and extended
//    attributes (takesOver()): the new file gets them before the rows, is synced, and swaps
//    names with the old one in one step, only while the name still leads to the old one.
// 4. Any other file is written in place, and only if it can be read: its old bytes go to a
//    synced backup first (BackupFailed), room is reserved, and the rows are written, cut to
//    length and synced. On a failure the old bytes and length go back; where that fails too,
//    the file is Damaged and the backup kept. A name that changed meanwhile: SavedToReplacedFile.
// A failed sync of the folder after a rename gives SavedUnconfirmed.

namespace ItemCsv {
namespace {

#ifdef __linux__
// The inode flags that a replacement takes over: no dump, no access times, synchronous writes
// and no copy on write (which holds only when set before the first byte). The others come with
// any new file, or forbid writing the file at all.
constexpr int CopiedFlags = FS_NODUMP_FL | FS_NOATIME_FL | FS_SYNC_FL | FS_NOCOW_FL;
#else
constexpr int CopiedFlags = 0;
#endif

// The system or the file system cannot swap two names in one step.
bool cannotExchange(int error)
{
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

bool hasNoFlags(int error)
{
    return error == ENOTTY || error == ENOTSUP || error == EOPNOTSUPP;
}

// What openTarget() gives for a name that nothing has yet.
constexpr int NoFile = -2;

// Saves a table into a file through the file system, keeping the file what it was.
class Saver
{
public:
    Saver(FileSystem &fileSystem, const ItemTable &table, const Progress &progress, QByteArray name)
        : m_fileSystem(fileSystem)
        , m_table(table)
        , m_progress(progress)
        , m_name(std::move(name))
        , m_folder(fileSystem)
    {
    }

    SaveResult save()
    {
        struct stat old
        {
        };
        const int descriptor = openTarget(old);
        if (descriptor == NoFile)
            return create();
        if (descriptor < 0)
            return m_result;
        // The file is on the disk before it is closed, so a failure to close it says nothing.
        const auto closeFile = qScopeGuard([&] { m_fileSystem.close(descriptor); });
        // Another program's save of the same file would mix with this one.
        if (m_fileSystem.lock(descriptor, F_WRLCK) != 0 && !hasNoLocks(errno))
            return isLockedOut(errno) ? stopped(SaveOutcome::Busy) : failed(errno);
        const auto dropMadeFile = qScopeGuard([&] { removeMadeFile(old); });
        if (!m_folder.findOf(descriptor, old) && !stillNamed(old))
            return stopped(SaveOutcome::Replaced);
        m_result.earlierBackups = earlierBackups(m_fileSystem, m_folder, old);
        if (!m_folder.isOpen() || replace(descriptor, old) == Attempt::CannotReplace) {
            // Writing into the file without its old bytes kept aside would leave no way back.
            if (!m_readable)
                return failed(EACCES);
            writeInPlace(descriptor, old);
        }
        return m_result;
    }

private:
    enum class Attempt { Done, CannotReplace };

    SaveResult stopped(SaveOutcome outcome)
    {
        m_result.outcome = outcome;
        return m_result;
    }
    SaveResult failed(int error)
    {
        m_result.error = systemError(error);
        return stopped(SaveOutcome::Failed);
    }

    // Opens the file that the name leads to, the kernel following its links, and nothing but
    // a regular file. Gives NoFile for a name that leads nowhere, or -1 with the result set.
    int openTarget(struct stat &status)
    {
        std::optional<FileKind> kind;
        const int path = openPath(m_fileSystem, m_name, status, kind);
        if (kind) {
            m_result.kind = *kind;
            stopped(SaveOutcome::NotAFile);
            return -1;
        }
        if (path < 0)
            return errno == ENOENT ? makeLinkedFile(status) : (failed(errno), -1);
        // Opening the file for writing answers at once for its permissions, its access control
        // list, a read-only mount and an immutable file.
        int descriptor = m_fileSystem.reopen(path, O_RDWR | O_NONBLOCK | O_NOCTTY);
        if (descriptor < 0 && errno == EACCES) {
            m_readable = false;
            descriptor = m_fileSystem.reopen(path, O_WRONLY | O_NONBLOCK | O_NOCTTY);
        }
        const int error = errno;
        m_fileSystem.close(path);
        if (descriptor < 0)
            failed(error);
        return descriptor;
    }

    // A link to a name that does not exist: the kernel follows it and makes the file there, as
    // for any program that writes through the link, and that file is saved like any other.
    // Without O_EXCL, which never follows a link.
    int makeLinkedFile(struct stat &status)
    {
        struct stat entry
        {
        };
        if (m_fileSystem.statEntry(AT_FDCWD, m_name.constData(), &entry) != 0
            || !S_ISLNK(entry.st_mode))
            return NoFile;
        const int descriptor = m_fileSystem.openAt(
            AT_FDCWD, m_name.constData(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY, 0666);
        if (descriptor < 0 || m_fileSystem.fstat(descriptor, &status) != 0) {
            failed(errno);
        } else if (const std::optional<FileKind> kind = kindOf(status.st_mode)) {
            m_result.kind = *kind;
            stopped(SaveOutcome::NotAFile);
        } else {
            m_madeFile = true;
            return descriptor;
        }
        if (descriptor >= 0)
            m_fileSystem.close(descriptor);
        return -1;
    }

    // A file made through a link for a save that wrote nothing goes again, if it is still
    // there: a new file that took its place holds the rows.
    void removeMadeFile(const struct stat &made)
    {
        const SaveOutcome outcome = m_result.outcome;
        if (m_madeFile && outcome != SaveOutcome::Saved && outcome != SaveOutcome::SavedUnconfirmed
            && outcome != SaveOutcome::Damaged && m_folder.isOpen()
            && m_folder.holds(m_folder.entry(), made))
            m_fileSystem.unlinkAt(m_folder.descriptor(), m_folder.entry());
    }

    // Whether the name as given still leads to the file that was opened.
    bool stillNamed(const struct stat &opened)
    {
        struct stat now
        {
        };
        std::optional<FileKind> kind;
        const int path = openPath(m_fileSystem, m_name, now, kind);
        if (path < 0)
            return false;
        m_fileSystem.close(path);
        return isSameFile(now, opened);
    }

    // A new name: created with 0666, so that the umask and the folder's default access control
    // list decide, as for any new file. It takes the name only if nothing else has meanwhile.
    SaveResult create()
    {
        if (!m_folder.openOfName(m_name))
            return failed(errno);
        QByteArray temporaryName;
        const int descriptor = createInFolder(0666, temporaryName);
        if (descriptor < 0)
            return failed(errno);
        if (!writeAndSync(descriptor)) {
            discard(descriptor, temporaryName);
            return m_result;
        }
        if (const int error = nameFile(descriptor, temporaryName))
            return failed(error);
        const int folder = m_folder.descriptor();
        int renamed = m_fileSystem.renameAt(
            folder, temporaryName.constData(), m_folder.entry(), RENAME_NOREPLACE);
        if (renamed != 0 && cannotExchange(errno))
            renamed = m_fileSystem.renameAt(folder, temporaryName.constData(), m_folder.entry(), 0);
        if (renamed != 0) {
            const int error = errno;
            m_fileSystem.unlinkAt(folder, temporaryName.constData());
            return error == EEXIST ? stopped(SaveOutcome::Replaced) : failed(error);
        }
        syncFolder();
        return m_result;
    }

    // Replaces the file by a new one, but only where the new one can be made indistinguishable
    // from it.
    Attempt replace(int original, const struct stat &old)
    {
        // The other names of the file would keep the old contents.
        int flags = 0;
        if (old.st_nlink > 1
            || (m_fileSystem.getFlags(original, &flags) != 0 && !hasNoFlags(errno)))
            return Attempt::CannotReplace;
        QByteArray temporaryName;
        const int descriptor = createInFolder(S_IRUSR | S_IWUSR, temporaryName);
        if (descriptor < 0) {
            if (cannotReplace(errno))
                return Attempt::CannotReplace;
            failed(errno);
            return Attempt::Done;
        }
        if (!takesOver(original, descriptor, old, flags & CopiedFlags)) {
            discard(descriptor, temporaryName);
            return Attempt::CannotReplace;
        }
        if (!writeAndSync(descriptor)) {
            discard(descriptor, temporaryName);
            return Attempt::Done;
        }
        if (const int error = nameFile(descriptor, temporaryName)) {
            if (cannotReplace(error))
                return Attempt::CannotReplace;
            failed(error);
            return Attempt::Done;
        }
        return exchange(temporaryName, old);
    }

    // Gives the new file what makes the old one what it is, before its first byte, so that no
    // one who may not read the old file reads the new one: the inode flags (set while the file
    // is still the user's), owner, group, permissions, access control list and other extended
    // attributes. A dropped setgid bit, or a group the user is not in, shows in its status.
    bool takesOver(int original, int descriptor, const struct stat &old, int flags)
    {
        const mode_t mode = old.st_mode & 07777;
        int madeFlags = 0;
        struct stat made
        {
        };
        return (flags == 0
                   || (m_fileSystem.getFlags(descriptor, &madeFlags) == 0
                       && m_fileSystem.setFlags(descriptor, madeFlags | flags) == 0))
            && m_fileSystem.changeOwner(descriptor, old.st_uid, old.st_gid) == 0
            && m_fileSystem.changeMode(descriptor, mode) == 0
            && m_fileSystem.copyAccessControl(original, descriptor) == 0
            && m_fileSystem.copyExtendedAttributes(original, descriptor) == 0
            && m_fileSystem.fstat(descriptor, &made) == 0 && made.st_uid == old.st_uid
            && made.st_gid == old.st_gid && (made.st_mode & 07777) == mode;
    }

    // Puts the new file, by now under `temporaryName`, in the opened file's place in one step,
    // and only while the name leads to the opened file: the two entries swap, and what came
    // out is checked. Whatever another program put there meanwhile goes back, and nothing is
    // written.
    Attempt exchange(const QByteArray &temporaryName, const struct stat &old)
    {
        const int folder = m_folder.descriptor();
        const char *temporary = temporaryName.constData();
        if (!stillNamed(old)) {
            m_fileSystem.unlinkAt(folder, temporary);
            stopped(SaveOutcome::Replaced);
            return Attempt::Done;
        }
        if (m_fileSystem.renameAt(folder, temporary, m_folder.entry(), RENAME_EXCHANGE) != 0) {
            const int error = errno;
            m_fileSystem.unlinkAt(folder, temporary);
            if (cannotReplace(error) || cannotExchange(error))
                return Attempt::CannotReplace;
            error == ENOENT ? stopped(SaveOutcome::Replaced) : failed(error);
            return Attempt::Done;
        }
        if (!m_folder.holds(temporary, old)) {
            if (m_fileSystem.renameAt(folder, temporary, m_folder.entry(), RENAME_EXCHANGE) == 0)
                m_fileSystem.unlinkAt(folder, temporary);
            stopped(SaveOutcome::Replaced);
            return Attempt::Done;
        }
        // The old file, under the temporary name now.
        m_fileSystem.unlinkAt(folder, temporary);
        syncFolder();
        return Attempt::Done;
    }

    // A new file in the target's folder. Unnamed where the file system allows, so that nothing
    // is left behind if the program is killed while writing it; `temporaryName` is empty then.
    int createInFolder(mode_t mode, QByteArray &temporaryName)
    {
        temporaryName.clear();
        const int descriptor = m_fileSystem.openUnnamed(m_folder.descriptor(), mode);
        if (descriptor >= 0)
            return descriptor;
        return createNamed(m_fileSystem, m_folder.descriptor(), ".pantrovo-", mode, temporaryName);
    }

    void discard(int descriptor, const QByteArray &temporaryName)
    {
        m_fileSystem.close(descriptor);
        if (!temporaryName.isEmpty())
            m_fileSystem.unlinkAt(m_folder.descriptor(), temporaryName.constData());
    }

    // Gives the written file a name of its own, if it has none yet, and closes it; gives 0 or
    // the reason it could not, with nothing left behind then.
    int nameFile(int descriptor, QByteArray &temporaryName)
    {
        int error = 0;
        // An unnamed file gets a name only now: a name cannot be given over another file's.
        for (int attempt = 0; attempt < 100 && temporaryName.isEmpty(); ++attempt) {
            const QByteArray name = freshName(".pantrovo-");
            error = m_fileSystem.giveName(descriptor, m_folder.descriptor(), name.constData());
            if (error == 0)
                temporaryName = name;
            else if ((error = errno) != EEXIST)
                break;
        }
        if (m_fileSystem.close(descriptor) != 0 && error == 0)
            error = errno;
        if (error != 0 && !temporaryName.isEmpty())
            m_fileSystem.unlinkAt(m_folder.descriptor(), temporaryName.constData());
        return error;
    }

    // Until the folder is on the disk, the file's new name may not be.
    void syncFolder()
    {
        const int folder = m_fileSystem.openAt(m_folder.descriptor(), ".", O_RDONLY | O_DIRECTORY);
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
            stopped(SaveOutcome::Cancelled);
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

    void writeInPlace(int descriptor, const struct stat &old);
    qint64 copy(int from, int to);

    FileSystem &m_fileSystem;
    const ItemTable &m_table;
    const Progress &m_progress;
    const QByteArray m_name;
    FileFolder m_folder;
    // Whether the file could be opened for reading, so that its old bytes can be kept aside.
    bool m_readable = true;
    // Whether the file was made for this save, through a link that led nowhere.
    bool m_madeFile = false;
    SaveResult m_result;
};

// Writes into the file itself, which keeps everything about it. Its old bytes are kept in a
// backup until the new ones are on the disk, and put back with the old length if anything fails
// on the way.
void Saver::writeInPlace(int descriptor, const struct stat &old)
{
    Backup backup(m_fileSystem);
    const QByteArray filePath
        = m_folder.isOpen() ? joinPath(m_folder.path(), m_folder.entry()) : m_name;
    qint64 oldLength = -1;
    if (!backup.create(m_folder, old, filePath)
        || (oldLength = copy(descriptor, backup.descriptor())) < 0
        || m_fileSystem.sync(backup.descriptor()) != 0) {
        const int error = errno;
        if (backup.descriptor() >= 0)
            backup.remove();
        failed(error);
        m_result.place = backup.folder();
        stopped(SaveOutcome::BackupFailed);
        return;
    }
    // A full disk is found before the first byte of the file changes, where the file system
    // can reserve room.
    const qint64 newLength = fileSize(m_table);
    if (newLength > oldLength && m_fileSystem.reserve(descriptor, off_t(newLength)) != 0
        && errno != EOPNOTSUPP && errno != ENOTSUP) {
        const int error = errno;
        backup.remove();
        failed(error);
        return;
    }
    if (m_fileSystem.seek(descriptor, 0) != 0) {
        failed(errno);
    } else if (writeAndSync(descriptor, true)) {
        backup.remove();
        if (!stillNamed(old))
            stopped(SaveOutcome::SavedToReplacedFile);
        return;
    }
    // Failed or cancelled part-way: the old bytes and the old length go back.
    if (copy(backup.descriptor(), descriptor) == oldLength
        && m_fileSystem.truncate(descriptor, off_t(oldLength)) == 0
        && m_fileSystem.sync(descriptor) == 0) {
        backup.remove();
        return;
    }
    if (m_result.error.isEmpty())
        m_result.error = systemError(errno);
    m_result.backup = backup.fileName();
    markMentioned(m_result.backup);
    stopped(SaveOutcome::Damaged);
}

// Copies every byte of one file into another from their starts, and gives the number of
// bytes, or -1 with the reason in errno.
qint64 Saver::copy(int from, int to)
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

} // namespace

SaveResult saveToFile(FileSystem &fileSystem, const ItemTable &table, const Progress &progress,
    const QByteArray &name)
{
    return Saver(fileSystem, table, progress, name).save();
}

} // namespace ItemCsv
