#include "filesystem.h"

#include <QByteArray>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef __linux__
#include <sys/acl.h>
#include <sys/xattr.h>
#endif

namespace ItemCsv {

namespace {

#ifdef __linux__
// A file system without access control lists or extended attributes has none to copy.
bool hasNone(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// The names of the extended attributes of a file, one after another, each ended by a NUL.
bool attributeNames(int descriptor, QByteArray &names)
{
    for (;;) {
        const ssize_t size = ::flistxattr(descriptor, nullptr, 0);
        if (size < 0)
            return false;
        names.resize(size);
        const ssize_t listed = ::flistxattr(descriptor, names.data(), size_t(names.size()));
        if (listed >= 0) {
            names.resize(listed);
            return true;
        }
        // The list grew between the two calls.
        if (errno != ERANGE)
            return false;
    }
}
#endif

} // namespace

FileSystem::~FileSystem() = default;

FileSystem &FileSystem::system()
{
    static FileSystem system;
    return system;
}

int FileSystem::stat(const char *path, struct stat *status)
{
    return ::stat(path, status);
}

int FileSystem::fstat(int descriptor, struct stat *status)
{
    return ::fstat(descriptor, status);
}

int FileSystem::open(const char *path, int flags, mode_t mode)
{
    return ::open(path, flags | O_CLOEXEC, mode);
}

int FileSystem::openUnnamed(const char *folder, mode_t mode)
{
#ifdef O_TMPFILE
    return ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
#else
    Q_UNUSED(folder)
    Q_UNUSED(mode)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::giveName(int descriptor, const char *path)
{
#ifdef __linux__
    // AT_EMPTY_PATH would need a capability that ordinary users lack; the descriptor's link in
    // /proc does not.
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
    return ::linkat(AT_FDCWD, link, AT_FDCWD, path, AT_SYMLINK_FOLLOW);
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(path)
    errno = ENOTSUP;
    return -1;
#endif
}

ssize_t FileSystem::read(int descriptor, void *buffer, size_t size)
{
    return ::read(descriptor, buffer, size);
}

ssize_t FileSystem::write(int descriptor, const void *buffer, size_t size)
{
    return ::write(descriptor, buffer, size);
}

off_t FileSystem::seek(int descriptor, off_t offset)
{
    return ::lseek(descriptor, offset, SEEK_SET);
}

int FileSystem::reserve(int descriptor, off_t length)
{
#ifdef __linux__
    return ::fallocate(descriptor, FALLOC_FL_KEEP_SIZE, 0, length);
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(length)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::truncate(int descriptor, off_t length)
{
    return ::ftruncate(descriptor, length);
}

int FileSystem::sync(int descriptor)
{
    return ::fsync(descriptor);
}

int FileSystem::close(int descriptor)
{
    return ::close(descriptor);
}

int FileSystem::changeOwner(int descriptor, uid_t owner, gid_t group)
{
    return ::fchown(descriptor, owner, group);
}

int FileSystem::changeMode(int descriptor, mode_t mode)
{
    return ::fchmod(descriptor, mode);
}

int FileSystem::copyAccessControl(int from, int to)
{
#ifdef __linux__
    acl_t list = ::acl_get_fd(from);
    if (list == nullptr)
        return hasNone(errno) ? 0 : -1;
    const int result = ::acl_set_fd(to, list);
    const int error = errno;
    ::acl_free(list);
    errno = error;
    return result;
#else
    Q_UNUSED(from)
    Q_UNUSED(to)
    return 0;
#endif
}

int FileSystem::copyExtendedAttributes(int from, int to)
{
#ifdef __linux__
    QByteArray names;
    if (!attributeNames(from, names))
        return hasNone(errno) ? 0 : -1;
    QByteArray value;
    for (qsizetype at = 0; at < names.size();) {
        const char *name = names.constData() + at;
        at += qsizetype(std::strlen(name)) + 1;
        // The access control list is copied whole by copyAccessControl().
        if (std::strncmp(name, "system.posix_acl_", 17) == 0)
            continue;
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0)
            return -1;
        value.resize(size);
        const ssize_t got = ::fgetxattr(from, name, value.data(), size_t(value.size()));
        if (got < 0 || ::fsetxattr(to, name, value.constData(), size_t(got), 0) != 0)
            return -1;
    }
    return 0;
#else
    Q_UNUSED(from)
    Q_UNUSED(to)
    return 0;
#endif
}

int FileSystem::rename(const char *from, const char *to)
{
    return ::rename(from, to);
}

int FileSystem::unlink(const char *path)
{
    return ::unlink(path);
}

} // namespace ItemCsv
