#pragma once

#include "filesystem.h"
#include "openedfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ItemCsv {

// A copy of a file's old bytes, kept while the file is written in place: beside the file where
// its folder allows, else in the user's cache folder. It records in an extended attribute of
// its own which file it belongs to, so that if the save never ends (the computer stops, the
// program is killed), the next Open or Save of that file can say where the old bytes are.
class Backup
{
public:
    explicit Backup(FileSystem &fileSystem)
        : m_fileSystem(fileSystem)
    {
    }
    ~Backup();
    Backup(const Backup &) = delete;
    Backup &operator=(const Backup &) = delete;

    // Creates the backup, only the user may read it, for the file `file` known as `filePath`;
    // false with errno set, and folder() naming where it could not be made.
    bool create(const FileFolder &beside, const struct stat &file, const QByteArray &filePath);
    int descriptor() const { return m_descriptor; }
    QString folder() const;
    QString fileName() const;
    void remove();

private:
    bool createIn(int folder, const char *prefix);

    FileSystem &m_fileSystem;
    int m_descriptor = -1;
    int m_folder = -1;
    bool m_ownsFolder = false;
    QByteArray m_folderPath;
    QByteArray m_name;
};

// The backups of the user's own, beside the file in `folder` (where open) or in the cache
// folder, that saves of the file which never ended left behind: each is named once in a run
// of the program, and those of other users are never named.
QStringList earlierBackups(
    FileSystem &fileSystem, const FileFolder &folder, const struct stat &file);
// A backup that the user has been told of already.
void markMentioned(const QString &backup);

} // namespace ItemCsv
