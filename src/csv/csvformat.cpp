#include "csvformat.h"

#include "itemtable.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace ItemCsv {
namespace {

constexpr auto CodePage = "windows-1252";
constexpr qint64 ChunkSize = 1 << 20;

// The characters of the code page's upper half, 0x80 to 0xFF, as its decoder reads them: the
// code page holds a character exactly when it is ASCII or one of these.
const std::array<char16_t, 128> &upperHalf()
{
    static const std::array<char16_t, 128> characters = [] {
        QByteArray bytes(128, Qt::Uninitialized);
        for (int i = 0; i < 128; ++i)
            bytes[i] = char(0x80 + i);
        const QString decoded = QStringDecoder(CodePage).decode(bytes);
        Q_ASSERT(decoded.size() == 128);
        std::array<char16_t, 128> result {};
        for (int i = 0; i < 128; ++i)
            result[std::size_t(i)] = decoded.at(i).unicode();
        return result;
    }();
    return characters;
}

bool isRepresentable(char16_t character)
{
    if (character < 0x80)
        return true;
    const auto &upper = upperHalf();
    if (character >= 0xA0 && character <= 0xFF && upper[character - 0x80] == character)
        return true;
    return std::find(upper.begin(), upper.end(), character) != upper.end();
}

std::optional<QString> problemWith(QStringView value)
{
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t character = value[i].unicode();
        if (character == u',')
            return QStringLiteral("contains a comma, which would split it into two fields");
        if (character == u'\r' || character == u'\n')
            return QStringLiteral("contains a line break, which would split the row in two");
        if (!isRepresentable(character)) {
            const char32_t codePoint = QChar::isHighSurrogate(character) && i + 1 < value.size()
                ? QChar::surrogateToUcs4(character, value[i + 1].unicode())
                : character;
            return QStringLiteral("contains the character \u201C%1\u201D (U+%2), which the "
                                  "file's character set, Windows-1252, cannot hold")
                .arg(QString::fromUcs4(&codePoint, 1),
                    QString::number(uint(codePoint), 16).toUpper().rightJustified(4, u'0'));
        }
    }
    return std::nullopt;
}

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

std::optional<ValueProblem> findUnwritableValue(const ItemTable &table)
{
    for (int row = 0; row < table.size(); ++row) {
        const ItemRow &itemRow = table.row(row);
        for (const Column column : AllColumns) {
            if (std::optional<QString> reason = problemWith(itemRow.fieldView(column)))
                return ValueProblem {row, column, *reason};
        }
    }
    return std::nullopt;
}

bool writeFile(ItemTable &table, QIODevice &device)
{
    if (!table.MoveFirst())
        return true;
    // A slice of rows at a time, encoded into one reused buffer: the text of a million rows
    // never exists whole in memory, once as UTF-16 and again as bytes. The caller writes to a
    // QSaveFile, so the file itself still changes only once all of it is written.
    constexpr int RowsPerSlice = 8192;
    const int rowCount = table.RecordCount();
    QStringEncoder encoder(CodePage);
    QByteArray bytes;
    for (int done = 0; done < rowCount; done += RowsPerSlice) {
        const std::optional<QString> text
            = table.GetString(std::min(RowsPerSlice, rowCount - done), u",", u"\r\n", u"");
        if (!text)
            return false;
        bytes.resize(encoder.requiredSpace(text->size()));
        const qsizetype size = encoder.appendToBuffer(bytes.data(), *text) - bytes.constData();
        if (!writeAll(device, QByteArrayView(bytes.constData(), size)))
            return false;
    }
    return true;
}

ReadResult appendLines(QIODevice &device, ItemTable &table)
{
    ReadResult result;
    QStringDecoder decoder(CodePage);
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    std::vector<ItemRow> rows;
    QString partialLine;
    bool skipLineFeed = false; // the chunk before ended with the CR of a CR LF
    bool reserved = false;

    const auto addLine = [&](QString line) {
        rows.push_back(ItemRow::fromSeparated(std::move(line), u','));
        ++result.lines;
    };

    for (;;) {
        const qint64 read = device.read(chunk.data(), ChunkSize);
        if (read < 0) {
            result.error = device.errorString();
            break;
        }
        if (read == 0)
            break;
        const QString text = decoder.decode(QByteArrayView(chunk.data(), read));
        qsizetype start = 0;
        if (skipLineFeed && !text.isEmpty() && text.front() == u'\n')
            start = 1;
        skipLineFeed = false;
        for (qsizetype i = start; i < text.size(); ++i) {
            const char16_t character = text[i].unicode();
            if (character != u'\r' && character != u'\n')
                continue;
            if (partialLine.isEmpty()) {
                addLine(text.mid(start, i - start));
            } else {
                partialLine.append(QStringView(text).sliced(start, i - start));
                partialLine.squeeze();
                addLine(std::exchange(partialLine, QString()));
            }
            if (character == u'\r') {
                if (i + 1 == text.size())
                    skipLineFeed = true;
                else if (text[i + 1] == u'\n')
                    ++i;
            }
            start = i + 1;
        }
        partialLine += QStringView(text).sliced(start);

        // One look at the first chunk tells how many rows a large file holds, so that the table
        // grows once instead of copying itself over and over.
        if (!reserved && device.size() > read && result.lines > 0) {
            const double perByte = double(result.lines) / double(read);
            table.reserve(
                std::size_t(table.size()) + std::size_t(perByte * double(device.size()) * 1.05));
            reserved = true;
        }
        table.appendRows(rows);
        rows.clear();
    }
    // After a failure the text read last may end anywhere: it is not taken as a line.
    if (!partialLine.isEmpty() && result.error.isEmpty())
        addLine(std::move(partialLine));
    table.appendRows(rows);
    return result;
}

} // namespace ItemCsv
