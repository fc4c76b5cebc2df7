// Arbitrary bytes as an item CSV file: read into a fresh item table through the reader the
// Open command uses, then saved through the checks and writer the Save command uses. Every
// input must give one row per line, the row holding the line's parts, and a save that
// succeeds must give back the file with its lines in the form the handheld reads.

#include "csvcommands.h"
#include "csvformat.h"
#include "itemtable.h"

#include <QBuffer>
#include <QByteArrayList>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_csvfile: %s\n", what);
    std::abort();
}

// A file that hands over at most `step` bytes per read, so that short inputs also cross the
// reader's chunk boundaries (a CR LF split between two reads, a line through many reads), as
// a file larger than a chunk does.
class TrickleDevice : public QIODevice
{
public:
    TrickleDevice(QByteArrayView bytes, qint64 step)
        : m_bytes(bytes)
        , m_step(step)
    {
    }

    qint64 size() const override { return m_bytes.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 size = std::min({maxSize, m_step, m_bytes.size() - m_position});
        std::copy_n(m_bytes.data() + m_position, size, data);
        m_position += size;
        return size;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArrayView m_bytes;
    qint64 m_step;
    qint64 m_position = 0;
};

// The lines of the file, split by the rule the reader states: CR LF, LF or CR ends a line, and
// text after the last line end is a line of its own.
QByteArrayList splitLines(QByteArrayView bytes)
{
    QByteArrayList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines.append(bytes.sliced(start, i - start).toByteArray());
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        lines.append(bytes.sliced(start).toByteArray());
    return lines;
}

// One decoder and encoder for all inputs: finding a code page by name costs more than a
// small input's whole run. Stateless, since each call is a whole text.
QString decode(const QByteArray &bytes)
{
    static QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

QByteArray encode(const QString &text)
{
    static QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

void checkRow(const ItemRow &row, const QByteArray &line)
{
    // An empty line has no parts; otherwise part i of the line is field i, up to six.
    const QByteArrayList parts = line.isEmpty() ? QByteArrayList() : line.split(',');
    for (int field = 0; field < ItemRow::FieldCount; ++field) {
        if (row.isPresent(field) != (field < parts.size()))
            fail("a field is present or absent against its line");
        if (row.isPresent(field) && row.fieldView(field) != decode(parts[field]))
            fail("a field does not hold its part of the line");
    }
}

// The file as a save of the rows read from `lines` writes it: each line cut or filled to six
// parts, ended by CR LF.
QByteArray savedForm(const QByteArrayList &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines) {
        QByteArrayList parts = line.split(',');
        parts.resize(ItemRow::FieldCount);
        bytes += parts.join(',') + "\r\n";
    }
    return bytes;
}

bool everyLineHasSixParts(const QByteArrayList &lines)
{
    return std::all_of(lines.begin(), lines.end(),
        [](const QByteArray &line) { return line.count(',') == ItemRow::FieldCount - 1; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The first byte sets how many bytes each read hands over; the rest is the file.
    if (size == 0)
        return 0;
    const qint64 step = data[0] == 0 ? qint64(size) : qint64(data[0]);
    const QByteArrayView file(data + 1, qsizetype(size - 1));

    ItemTable table;
    TrickleDevice device(file, step);
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const ItemCsv::OpenResult read = ItemCsv::openTable(table, device);
    if (!read.error.isEmpty())
        fail("reading from memory failed");

    const QByteArrayList lines = splitLines(file);
    if (read.lines != lines.size() || table.size() != lines.size())
        fail("the lines and the rows differ in number");
    for (qsizetype i = 0; i < lines.size(); ++i)
        checkRow(table.row(int(i)), lines[i]);

    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    const ItemCsv::SaveResult result = ItemCsv::saveTable(table, saved);
    if (!result.error.isEmpty())
        fail("writing to memory failed");
    if (table.RecordCount() != lines.size())
        fail("saving changed the number of rows");

    const QByteArray expected = savedForm(lines);
    if (result.problem) {
        // Refused: then some kept value must really not survive the code page, since commas
        // and line breaks cannot come out of a read.
        if (encode(decode(expected)) == expected)
            fail("the save refused a table that the file can carry");
        if (!saved.data().isEmpty())
            fail("a refused save wrote bytes");
        return 0;
    }
    if (saved.data() != expected)
        fail("the saved file differs from the lines read");
    // A file whose lines all hold six values comes back byte for byte, its line ends as CR LF.
    if (everyLineHasSixParts(lines)) {
        QByteArray sameLines;
        for (const QByteArray &line : lines)
            sameLines += line + "\r\n";
        if (saved.data() != sameLines)
            fail("a file of six-value lines did not come back unchanged");
    }
    return 0;
}
