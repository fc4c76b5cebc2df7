#pragma once

#include "csvcommands.h"

#include <QByteArray>

namespace ItemCsv {

// Saves a table whose values have all been checked into the file that `name` leads to, as
// saveTable() describes.
SaveResult saveToFile(FileSystem &fileSystem, const ItemTable &table, const Progress &progress,
    const QByteArray &name);

} // namespace ItemCsv
