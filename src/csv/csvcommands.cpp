#include "csvcommands.h"

#include "itemtable.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace ItemCsv {

SaveResult saveTable(ItemTable &table, QIODevice &device)
{
    SaveResult result;
    result.problem = findUnwritableValue(table);
    if (!result.problem && !writeFile(table, device))
        result.error = device.errorString();
    return result;
}

SaveResult saveTable(ItemTable &table, const QString &fileName)
{
    SaveResult result;
    // Every value is checked before any file is touched.
    result.problem = findUnwritableValue(table);
    if (result.problem)
        return result;
    // QSaveFile writes a file beside the target and renames it over the target, which would
    // put a plain file in the place of a device such as /dev/full or /dev/null (and root may
    // do that in /dev). Whatever is not a plain file or a folder gets the bytes directly.
    const QFileInfo target(fileName);
    if (target.exists() && !target.isFile() && !target.isDir()) {
        QFile device(fileName);
        // Unbuffered, so that a write the device refuses fails here and says why.
        if (!device.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeFile(table, device))
            result.error = device.errorString();
        return result;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || !writeFile(table, file) || !file.commit())
        result.error = file.errorString();
    return result;
}

OpenedFile openForReading(const QString &fileName)
{
    OpenedFile opened;
    if (QFileInfo(fileName).isDir()) {
        opened.error = QStringLiteral("It is a folder, not a file.");
        return opened;
    }
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(QIODevice::ReadOnly))
        opened.error = file->errorString();
    else
        opened.file = std::move(file);
    return opened;
}

} // namespace ItemCsv
