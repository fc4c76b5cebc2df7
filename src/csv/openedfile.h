#pragma once

#include "csvcommands.h"
#include "filesystem.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What Open and Save share in reaching a file: the name is given to the kernel as it stands, and
// everything after goes through descriptors of the file and of its folder.
namespace ItemCsv {

QString systemError(int error);
// What stands at a path, when it is not a regular file.
std::optional<FileKind> kindOf(mode_t mode);

// A name in a folder: "/home/ann" and "items.csv" give "/home/ann/items.csv".
inline QByteArray joinPath(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

inline bool isSameFile(const struct stat &one, const struct stat &other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// Whether a lock could not be taken because the file system has none: the work goes on
// without one.
bool hasNoLocks(int error);
// Whether another program holds a lock that stands in the way.
bool isLockedOut(int error);
// Whether a failure to make or put in place a new file means only that this file cannot be
// replaced by another (the folder is not the user's to write, the name is a mount point, the
// file system does not allow it), so that writing into the file itself is the way.
bool cannotReplace(int error);

// Opens what `name` leads to as a path descriptor, the kernel following its links with the
// protections it applies. It opens nothing for reading or writing: a FIFO would wait, and some
// devices act on being opened. Gives the descriptor of a regular file, with its status; or -1
// with `kind` set for anything else (closed again), or with errno set.
int openPath(FileSystem &fileSystem, const QByteArray &name, struct stat &status,
    std::optional<FileKind> &kind);

// A name that nothing in a folder is likely to have: `prefix` and eight random letters. Short,
// so that a file whose own name is as long as the system allows can still be saved beside it.
QByteArray freshName(const char *prefix);
// Creates a new file under a fresh name in `folder`;
// `name` is set to the name taken.
int createNamed(
    FileSystem &fileSystem, int folder, const char *prefix, mode_t mode, QByteArray &name);

// The folder that holds a file, open as a path descriptor, with the file's entry in it.
class FileFolder
{
public:
    explicit FileFolder(FileSystem &fileSystem)
        : m_fileSystem(fileSystem)
    {
    }
    ~FileFolder();
    FileFolder(const FileFolder &) = delete;
    FileFolder &operator=(const FileFolder &) = delete;

    // The folder of an open file, by the kernel's own name of it (its links resolved as the
    // kernel resolved them): true when that folder's entry is the file, false (and nothing
    // open) when the file has gone from there or lies where this process cannot name it.
    bool findOf(int descriptor, const struct stat &status);
    // The folder of a name as given, a relative one in the working folder, the kernel
    // following the links on the way; false with errno set.
    bool openOfName(const QByteArray &name);

    bool isOpen() const { return m_descriptor >= 0; }
    int descriptor() const { return m_descriptor; }
    const QByteArray &path() const { return m_path; }
    const char *entry() const { return m_entry.constData(); }
    // Whether the entry `name` is the file itself (not a link to it).
    bool holds(const char *name, const struct stat &file) const;

private:
    bool open(const QByteArray &name);

    FileSystem &m_fileSystem;
    int m_descriptor = -1;
    QByteArray m_path;
    QByteArray m_entry;
};

} // namespace ItemCsv
