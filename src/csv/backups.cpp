#include "backups.h"

#include "systemnames.h"

#include <QSet>
#include <QStandardPaths>

#include <fcntl.h>

#include <cerrno>

namespace ItemCsv {
namespace {

constexpr char BesidePrefix[] = ".pantrovo-backup-";
constexpr char CachePrefix[] = "pantrovo-backup-";
// "device inode path" of the file a backup belongs to, the numbers in decimal.
constexpr char OwnerAttribute[] = "user.pantrovo.backup-of";

QByteArray cacheFolder()
{
    return systemName(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
}

QByteArray ownerOf(const struct stat &file)
{
    return QByteArray::number(quint64(file.st_dev)) + ' '
        + QByteArray::number(quint64(file.st_ino));
}

// Makes a folder and the folders above it that are missing, as mkdir -p does.
bool makePath(FileSystem &fileSystem, const QByteArray &path)
{
    if (fileSystem.makeFolder(path.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    const qsizetype slash = path.lastIndexOf('/');
    if (errno != ENOENT || slash <= 0)
        return false;
    return makePath(fileSystem, path.left(slash))
        && (fileSystem.makeFolder(path.constData(), 0700) == 0 || errno == EEXIST);
}

QSet<QString> &mentioned()
{
    static QSet<QString> backups;
    return backups;
}

// Whether the entry `name` of `folder` is a backup of the user's own that belongs to `file`.
bool belongsTo(FileSystem &fileSystem, int folder, const char *name, const struct stat &file)
{
    struct stat status
    {
    };
    if (fileSystem.statEntry(folder, name, &status) != 0 || !S_ISREG(status.st_mode)
        || status.st_uid != fileSystem.userId())
        return false;
    const int descriptor = fileSystem.openAt(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0)
        return false;
    QByteArray owner;
    const bool recorded = fileSystem.getAttribute(descriptor, OwnerAttribute, owner) == 0;
    fileSystem.close(descriptor);
    return recorded && owner.startsWith(ownerOf(file) + ' ');
}

void findIn(FileSystem &fileSystem, int folder, const QByteArray &path, const char *prefix,
    const struct stat &file, QStringList &found)
{
    QList<QByteArray> names;
    if (fileSystem.listFolder(folder, ".", names) != 0)
        return;
    for (const QByteArray &name : names) {
        const QString backup = nameFromSystem(joinPath(path, name));
        if (name.startsWith(prefix) && !mentioned().contains(backup)
            && belongsTo(fileSystem, folder, name.constData(), file)) {
            markMentioned(backup);
            found.append(backup);
        }
    }
}

} // namespace

Backup::~Backup()
{
    if (m_descriptor >= 0)
        m_fileSystem.close(m_descriptor);
    if (m_ownsFolder)
        m_fileSystem.close(m_folder);
}

bool Backup::create(const FileFolder &beside, const struct stat &file, const QByteArray &filePath)
{
    if (beside.isOpen()) {
        m_folderPath = beside.path();
        if (createIn(beside.descriptor(), BesidePrefix))
            m_folder = beside.descriptor();
        else if (!cannotReplace(errno) && errno != ENAMETOOLONG)
            return false;
    }
    if (m_descriptor < 0) {
        m_folderPath = cacheFolder();
        if (m_folderPath.isEmpty()) {
            errno = ENOENT;
            return false;
        }
        if (!makePath(m_fileSystem, m_folderPath))
            return false;
        m_folder = m_fileSystem.openAt(AT_FDCWD, m_folderPath.constData(), O_RDONLY | O_DIRECTORY);
        m_ownsFolder = m_folder >= 0;
        if (m_folder < 0 || !createIn(m_folder, CachePrefix))
            return false;
    }
    // A file system without extended attributes of users keeps the backup all the same; only
    // a save that never ends cannot name it later.
    m_fileSystem.setAttribute(m_descriptor, OwnerAttribute, ownerOf(file) + ' ' + filePath);
    return true;
}

bool Backup::createIn(int folder, const char *prefix)
{
    m_descriptor = createNamed(m_fileSystem, folder, prefix, S_IRUSR | S_IWUSR, m_name);
    return m_descriptor >= 0;
}

QString Backup::folder() const
{
    return nameFromSystem(m_folderPath);
}

QString Backup::fileName() const
{
    return nameFromSystem(joinPath(m_folderPath, m_name));
}

void Backup::remove()
{
    m_fileSystem.unlinkAt(m_folder, m_name.constData());
}

QStringList earlierBackups(
    FileSystem &fileSystem, const FileFolder &folder, const struct stat &file)
{
    QStringList found;
    if (folder.isOpen())
        findIn(fileSystem, folder.descriptor(), folder.path(), BesidePrefix, file, found);
    const QByteArray cache = cacheFolder();
    const int cached = cache.isEmpty()
        ? -1
        : fileSystem.openAt(AT_FDCWD, cache.constData(), O_RDONLY | O_DIRECTORY);
    if (cached >= 0) {
        findIn(fileSystem, cached, cache, CachePrefix, file, found);
        fileSystem.close(cached);
    }
    return found;
}

void markMentioned(const QString &backup)
{
    mentioned().insert(backup);
}

} // namespace ItemCsv
