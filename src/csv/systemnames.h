#pragma once

#include "filesystem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names as the system has them: bytes, most often UTF-8 but not always. A name is
// carried in a QString; a byte that is not part of valid UTF-8 is kept as the lone surrogate
// U+DC80 to U+DCFF, so that the name goes back to the very same bytes. (A name that Qt decodes
// itself, as the file dialog does, has U+FFFD for such bytes instead, and leads to no file.)
namespace ItemCsv {

QByteArray systemName(QStringView name);
QString nameFromSystem(QByteArrayView bytes);
// The name as the user reads it: U+FFFD for each byte that is not valid UTF-8.
QString shownName(QStringView name);

// Whether `fileName` holds U+FFFD where its folder holds a name that is not valid UTF-8 and
// that Qt decodes to the same text: the name stands for that file, which it cannot reach, and
// not for another that happens to hold U+FFFD.
bool isUnreadableName(FileSystem &fileSystem, const QString &fileName);

} // namespace ItemCsv
