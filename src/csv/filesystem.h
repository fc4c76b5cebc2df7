#pragma once

#include <sys/stat.h>
#include <sys/types.h>

// The system calls that Save and Open make, each behind a function of its own, so that a test
// can make any one of them fail and see the order they come in. Each function returns what the
// call returns and leaves the reason for a failure in errno, as the call does.
//
// The calls that only Linux has (unnamed files, reserving room, access control lists, extended
// attributes) live here too; where a system lacks one, the function fails with ENOTSUP and
// Save takes the path that works without it.
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

    virtual int stat(const char *path, struct stat *status);
    virtual int fstat(int descriptor, struct stat *status);
    virtual int open(const char *path, int flags, mode_t mode = 0);
    // A new file in `folder` that has no name yet, open for reading and writing.
    virtual int openUnnamed(const char *folder, mode_t mode);
    // Gives a file opened by openUnnamed() the name `path`, which must not exist yet.
    virtual int giveName(int descriptor, const char *path);
    virtual ssize_t read(int descriptor, void *buffer, size_t size);
    virtual ssize_t write(int descriptor, const void *buffer, size_t size);
    virtual off_t seek(int descriptor, off_t offset);
    // Reserves room on the disk for `length` bytes without changing the file's length.
    virtual int reserve(int descriptor, off_t length);
    virtual int truncate(int descriptor, off_t length);
    virtual int sync(int descriptor);
    virtual int close(int descriptor);
    virtual int changeOwner(int descriptor, uid_t owner, gid_t group);
    virtual int changeMode(int descriptor, mode_t mode);
    // Copies the access control list, or does nothing where `from` has none to give.
    virtual int copyAccessControl(int from, int to);
    // Copies the extended attributes other than the access control list, likewise.
    virtual int copyExtendedAttributes(int from, int to);
    virtual int rename(const char *from, const char *to);
    virtual int unlink(const char *path);
};

} // namespace ItemCsv
