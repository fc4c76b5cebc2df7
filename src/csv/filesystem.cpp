#include "filesystem.h"

#include <QByteArray>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef __linux__
#include <linux/fs.h>
#include <sys/acl.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#endif

namespace ItemCsv {

namespace {

#ifdef __linux__
// The link in /proc through which the kernel names an open file and opens it again.
std::array<char, 32> descriptorLink(int descriptor)
{
    std::array<char, 32> link {};
    std::snprintf(link.data(), link.size(), "/proc/self/fd/%d", descriptor);
    return link;
}

// A file system without access control lists or extended attributes has none to copy.
bool hasNone(int error)
{
    return error == ENOTSUP || error == EOPNOTSUPP;
}

// The whole of what `call` gives, asked first for its size (`call(nullptr, 0)`) and then for the
// bytes, again while they grow between the two calls.
template<typename Call> bool readWhole(QByteArray &bytes, Call call)
{
    for (;;) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        bytes.resize(size);
        const ssize_t got = call(bytes.data(), size_t(bytes.size()));
        if (got >= 0) {
            bytes.resize(got);
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
}

// The names of the extended attributes of a file, one after another, each ended by a NUL.
bool attributeNames(int descriptor, QByteArray &names)
{
    return readWhole(names,
        [descriptor](char *data, size_t size) { return ::flistxattr(descriptor, data, size); });
}

bool attributeValue(int descriptor, const char *name, QByteArray &value)
{
    return readWhole(value, [descriptor, name](char *data, size_t size) {
        return ::fgetxattr(descriptor, name, data, size);
    });
}
#endif

} // namespace

FileSystem::~FileSystem() = default;

FileSystem &FileSystem::system()
{
    static FileSystem system;
    return system;
}

int FileSystem::fstat(int descriptor, struct stat *status)
{
    return ::fstat(descriptor, status);
}

int FileSystem::statEntry(int folder, const char *name, struct stat *status)
{
    return ::fstatat(folder, name, status, AT_SYMLINK_NOFOLLOW);
}

int FileSystem::openAt(int folder, const char *name, int flags, mode_t mode)
{
    return ::openat(folder, name, flags | O_CLOEXEC, mode);
}

int FileSystem::reopen(int pathDescriptor, int flags)
{
#ifdef __linux__
    return ::open(descriptorLink(pathDescriptor).data(), flags | O_CLOEXEC);
#else
    Q_UNUSED(pathDescriptor)
    Q_UNUSED(flags)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::nameOf(int descriptor, QByteArray &name)
{
#ifdef __linux__
    const auto link = descriptorLink(descriptor);
    for (qsizetype size = 256;; size *= 2) {
        name.resize(size);
        const ssize_t length = ::readlink(link.data(), name.data(), size_t(size));
        if (length < 0)
            return -1;
        if (length < size) {
            name.resize(length);
            return 0;
        }
    }
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(name)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::openUnnamed(int folder, mode_t mode)
{
#ifdef O_TMPFILE
    return ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode);
#else
    Q_UNUSED(folder)
    Q_UNUSED(mode)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::giveName(int descriptor, int folder, const char *name)
{
#ifdef __linux__
    // AT_EMPTY_PATH would need a capability that ordinary users lack; the descriptor's link in
    // /proc does not.
    return ::linkat(AT_FDCWD, descriptorLink(descriptor).data(), folder, name, AT_SYMLINK_FOLLOW);
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(folder)
    Q_UNUSED(name)
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

int FileSystem::lock(int descriptor, short type)
{
#ifdef F_OFD_SETLK
    struct flock region
    {
    };
    region.l_type = type;
    region.l_whence = SEEK_SET;
    return ::fcntl(descriptor, F_OFD_SETLK, &region);
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(type)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::changeOwner(int descriptor, uid_t owner, gid_t group)
{
    return ::fchown(descriptor, owner, group);
}

int FileSystem::changeMode(int descriptor, mode_t mode)
{
    return ::fchmod(descriptor, mode);
}

int FileSystem::getFlags(int descriptor, int *flags)
{
#ifdef __linux__
    return ::ioctl(descriptor, FS_IOC_GETFLAGS, flags);
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(flags)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::setFlags(int descriptor, int flags)
{
#ifdef __linux__
    return ::ioctl(descriptor, FS_IOC_SETFLAGS, &flags);
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(flags)
    errno = ENOTSUP;
    return -1;
#endif
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
        if (!attributeValue(from, name, value)
            || ::fsetxattr(to, name, value.constData(), size_t(value.size()), 0) != 0)
            return -1;
    }
    return 0;
#else
    Q_UNUSED(from)
    Q_UNUSED(to)
    return 0;
#endif
}

int FileSystem::setAttribute(int descriptor, const char *name, const QByteArray &value)
{
#ifdef __linux__
    return ::fsetxattr(descriptor, name, value.constData(), size_t(value.size()), 0);
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(name)
    Q_UNUSED(value)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::getAttribute(int descriptor, const char *name, QByteArray &value)
{
#ifdef __linux__
    return attributeValue(descriptor, name, value) ? 0 : -1;
#else
    Q_UNUSED(descriptor)
    Q_UNUSED(name)
    Q_UNUSED(value)
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::renameAt(int folder, const char *from, const char *to, unsigned flags)
{
    if (flags == 0)
        return ::renameat(folder, from, folder, to);
#ifdef __linux__
    return ::renameat2(folder, from, folder, to, flags);
#else
    errno = ENOTSUP;
    return -1;
#endif
}

int FileSystem::unlinkAt(int folder, const char *name)
{
    return ::unlinkat(folder, name, 0);
}

int FileSystem::listFolder(int folder, const char *name, QList<QByteArray> &names)
{
    const int descriptor = ::openat(folder, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return -1;
    DIR *entries = ::fdopendir(descriptor);
    if (entries == nullptr) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    names.clear();
    errno = 0;
    while (const dirent *entry = ::readdir(entries)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(QByteArray(entry->d_name));
    }
    const int error = errno;
    ::closedir(entries);
    errno = error;
    return error == 0 ? 0 : -1;
}

int FileSystem::makeFolder(const char *path, mode_t mode)
{
    return ::mkdir(path, mode);
}

uid_t FileSystem::userId()
{
    return ::geteuid();
}

} // namespace ItemCsv
