#include "csvformat.h"

#include "itemtable.h"

#include <QIODevice>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

namespace ItemCsv {
namespace {

constexpr auto CodePageName = "windows-1252";

// A file write can take part of the bytes and report no error (a disk filling up); asking it
// for the rest makes it fail and say why.
bool writeAll(QIODevice &device, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 written = device.write(bytes.data(), bytes.size());
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

} // namespace

WriteOutcome writeFile(const ItemTable &table, QIODevice &device, const Progress &progress)
{
    // A slice of rows at a time, encoded into one reused buffer: the text of a million rows
    // never exists whole in memory, once as UTF-16 and again as bytes.
    constexpr int RowsPerSlice = 8192;
    const int rowCount = table.size();
    QStringEncoder encoder(CodePageName);
    QString text;
    QByteArray bytes;
    qsizetype used = 0;
    const auto makeRoom = [&](qsizetype more) {
        if (used + more > bytes.size())
            bytes.resize(std::max(2 * bytes.size(), used + more));
    };
    for (int first = 0; first < rowCount; first += RowsPerSlice) {
        const int last = std::min(first + RowsPerSlice, rowCount);
        used = 0;
        for (int index = first; index < last; ++index) {
            const ItemRow &row = table.row(index);
            makeRoom(row.length() + ColumnCount + 1);
            char *out = bytes.data() + used;
            if (row.isOneByte()) {
                // The row keeps the very bytes the file holds.
                for (const Column column : AllColumns) {
                    if (column != Column::ItemName)
                        *out++ = ',';
                    const QByteArrayView field = row.text(column).bytes();
                    if (!field.isEmpty())
                        std::memcpy(out, field.data(), std::size_t(field.size()));
                    out += field.size();
                }
                *out++ = '\r';
                *out++ = '\n';
                used = out - bytes.constData();
                continue;
            }
            // A row of UTF-16 has a character without a byte, which only a row that the check
            // refused has: it goes through the converter whole.
            text.clear();
            for (const Column column : AllColumns) {
                if (column != Column::ItemName)
                    text += u',';
                text += row.text(column).utf16();
            }
            text += u"\r\n";
            makeRoom(encoder.requiredSpace(text.size()));
            used = encoder.appendToBuffer(bytes.data() + used, text) - bytes.constData();
        }
        if (!writeAll(device, QByteArrayView(bytes.constData(), used)))
            return WriteOutcome::DeviceFailed;
        if (progress && !progress(last, rowCount))
            return WriteOutcome::Cancelled;
    }
    return WriteOutcome::Written;
}

qint64 fileSize(const ItemTable &table)
{
    qint64 size = 0;
    for (int index = 0; index < table.size(); ++index)
        size += ColumnCount + 1 + table.row(index).length();
    return size;
}

} // namespace ItemCsv
