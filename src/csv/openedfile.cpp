#include "openedfile.h"

#include <QRandomGenerator>

#include <fcntl.h>

#include <cerrno>
#include <cstring>

namespace ItemCsv {

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

bool hasNoLocks(int error)
{
    return error == ENOLCK || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP;
}

bool isLockedOut(int error)
{
    return error == EAGAIN || error == EACCES;
}

bool cannotReplace(int error)
{
    return error == EACCES || error == EPERM || error == EROFS || error == EXDEV || error == EBUSY;
}

int openPath(FileSystem &fileSystem, const QByteArray &name, struct stat &status,
    std::optional<FileKind> &kind)
{
#ifdef O_PATH
    const int descriptor = fileSystem.openAt(AT_FDCWD, name.constData(), O_PATH);
#else
    const int descriptor = fileSystem.openAt(AT_FDCWD, name.constData(), O_RDONLY | O_NONBLOCK);
#endif
    if (descriptor < 0)
        return -1;
    if (fileSystem.fstat(descriptor, &status) != 0 || (kind = kindOf(status.st_mode))) {
        const int error = errno;
        fileSystem.close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

QByteArray freshName(const char *prefix)
{
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = prefix;
    for (int i = 0; i < 8; ++i)
        name += Letters[QRandomGenerator::global()->bounded(int(sizeof(Letters) - 1))];
    return name;
}

int createNamed(
    FileSystem &fileSystem, int folder, const char *prefix, mode_t mode, QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = freshName(prefix);
        const int descriptor = fileSystem.openAt(
            folder, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY, mode);
        if (descriptor >= 0 || errno != EEXIST)
            return descriptor;
    }
    return -1;
}

FileFolder::~FileFolder()
{
    if (m_descriptor >= 0)
        m_fileSystem.close(m_descriptor);
}

bool FileFolder::findOf(int descriptor, const struct stat &status)
{
    QByteArray name;
    if (m_fileSystem.nameOf(descriptor, name) != 0 || !name.startsWith('/') || !open(name))
        return false;
    if (holds(entry(), status))
        return true;
    m_fileSystem.close(m_descriptor);
    m_descriptor = -1;
    return false;
}

bool FileFolder::openOfName(const QByteArray &name)
{
    return open(name.contains('/') ? name : "./" + name);
}

bool FileFolder::open(const QByteArray &name)
{
    const qsizetype slash = name.lastIndexOf('/');
    m_path = slash == 0 ? QByteArray("/") : name.left(slash);
    m_entry = name.mid(slash + 1);
#ifdef O_PATH
    m_descriptor = m_fileSystem.openAt(AT_FDCWD, m_path.constData(), O_PATH | O_DIRECTORY);
#else
    m_descriptor = m_fileSystem.openAt(AT_FDCWD, m_path.constData(), O_RDONLY | O_DIRECTORY);
#endif
    return m_descriptor >= 0;
}

bool FileFolder::holds(const char *name, const struct stat &file) const
{
    struct stat status
    {
    };
    return m_fileSystem.statEntry(m_descriptor, name, &status) == 0 && isSameFile(status, file);
}

} // namespace ItemCsv
