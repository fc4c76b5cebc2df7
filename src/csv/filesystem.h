#pragma once

#include <QByteArray>
#include <QList>

#include <sys/stat.h>
#include <sys/types.h>

// The system calls that Save and Open make, each behind a function of its own, so that a test
// can make any one of them fail and see the order they come in. Each function returns what the
// call returns and leaves the reason for a failure in errno, as the call does.
//
// Names are never followed by hand: a name is given to the kernel as it stands, and the
// kernel follows its links with the protections it applies. Work in a folder goes through a
// descriptor of that folder (`folder`, or AT_FDCWD for a name as given).
//
// The calls that only Linux has (path descriptors, unnamed files, reserving room, locks of an
// open file, inode flags, access control lists, extended attributes, exchanging two names)
// live here too; where a system lacks one, the function fails with ENOTSUP and Save takes the
// path that works without it.
namespace ItemCsv {

class FileSystem
{
public:
    FileSystem() = default;
    FileSystem(const FileSystem &) = delete;
    FileSystem &operator=(const FileSystem &) = delete;
    virtual ~FileSystem();

    // The one that the program uses.
    static FileSystem &system();

    virtual int fstat(int descriptor, struct stat *status);
    // What the entry `name` of `folder` is itself, a link not followed.
    virtual int statEntry(int folder, const char *name, struct stat *status);
    virtual int openAt(int folder, const char *name, int flags, mode_t mode = 0);
    // Opens the file that a path descriptor (O_PATH) stands for, with `flags`: never another
    // file that has taken its name since.
    virtual int reopen(int pathDescriptor, int flags);
    // The kernel's own name of the open file, from the root: "/home/ann/items.csv".
    virtual int nameOf(int descriptor, QByteArray &name);
    // A new file in `folder` that has no name yet, open for reading and writing.
    virtual int openUnnamed(int folder, mode_t mode);
    // Gives a file opened by openUnnamed() the name `name` in `folder`, which must not exist.
    virtual int giveName(int descriptor, int folder, const char *name);
    virtual ssize_t read(int descriptor, void *buffer, size_t size);
    virtual ssize_t write(int descriptor, const void *buffer, size_t size);
    virtual off_t seek(int descriptor, off_t offset);
    // Reserves room on the disk for `length` bytes without changing the file's length.
    virtual int reserve(int descriptor, off_t length);
    virtual int truncate(int descriptor, off_t length);
    virtual int sync(int descriptor);
    virtual int close(int descriptor);
    // Takes a lock of type F_RDLCK or F_WRLCK on the whole file for this open file, or gives
    // it up (F_UNLCK), without waiting: EAGAIN when another open file holds one that stands in
    // the way.
    virtual int lock(int descriptor, short type);
    virtual int changeOwner(int descriptor, uid_t owner, gid_t group);
    virtual int changeMode(int descriptor, mode_t mode);
    // The inode flags that chattr sets (FS_IOC_GETFLAGS and FS_IOC_SETFLAGS).
    virtual int getFlags(int descriptor, int *flags);
    virtual int setFlags(int descriptor, int flags);
    // Copies the access control list, or does nothing where `from` has none to give.
    virtual int copyAccessControl(int from, int to);
    // Copies the extended attributes other than the access control list, likewise.
    virtual int copyExtendedAttributes(int from, int to);
    virtual int setAttribute(int descriptor, const char *name, const QByteArray &value);
    virtual int getAttribute(int descriptor, const char *name, QByteArray &value);
    // renameat2() within one folder: `flags` 0, RENAME_NOREPLACE or RENAME_EXCHANGE.
    virtual int renameAt(int folder, const char *from, const char *to, unsigned flags);
    virtual int unlinkAt(int folder, const char *name);
    // The names in the folder `name` of `folder`, but "." and "..".
    virtual int listFolder(int folder, const char *name, QList<QByteArray> &names);
    virtual int makeFolder(const char *path, mode_t mode);
    // The user whose files the program makes.
    virtual uid_t userId();
};

} // namespace ItemCsv
