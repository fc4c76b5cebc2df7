#include "filereader.h"

#include "detection.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <optional>

namespace ItemCsv {
namespace {

constexpr qint64 ChunkSize = 1 << 20;
// Long work tells progress at least this often, so that Cancel works throughout.
constexpr qint64 LinesPerReport = 65536;

// Receives the lines of a file as they are read: judges the file, and builds the rows of an item
// file or keeps the text of any other. A file is taken for an item file until its lines look
// otherwise; from then on its text is kept, the rows read until then becoming their lines again,
// so that an item file of a million lines never holds its text and its rows at once.
class LineSink : public LineReceiver
{
public:
    LineSink(ReadResult &result, qint64 deviceSize, const Progress &progress, RowCheck check)
        : m_result(result)
        , m_deviceSize(deviceSize)
        , m_check(check)
        , m_keepGoing([this, &progress](qint64, qint64) {
            m_stopped = m_stopped || (progress && !progress(m_bytesRead, m_deviceSize));
            return !m_stopped;
        })
        , m_rows(m_itemFile, m_reading, std::numeric_limits<qsizetype>::max(), m_keepGoing, false,
              check)
    {
    }

    bool addLine(QByteArrayView windows1252, const LineLayout &layout) override
    {
        return add(windows1252, layout);
    }
    bool addLine(QStringView utf16, const LineLayout &layout) override
    {
        return add(utf16, layout);
    }
    void nextLineTooLong() override { m_tooLongLine = m_lines + 1; }

    // After the last line read: the rows of an item file, or the text of any other.
    void finish();

    void setBytesRead(qint64 bytesRead) { m_bytesRead = bytesRead; }
    const Progress &keepGoing() const { return m_keepGoing; }
    bool stopped() const { return m_stopped; }
    // The number of the first line too long for a row, or 0.
    qint64 tooLongLine() const { return m_tooLongLine; }

private:
    template<typename View> bool add(View line, const LineLayout &layout)
    {
        ++m_lines;
        if (m_lines % LinesPerReport == 0 && !m_keepGoing(m_bytesRead, m_deviceSize))
            return false;
        m_detector.addLine(line, layout);
        if (!m_text && m_detector.isNotItemFile() && !keepText())
            return false;
        if (m_text) {
            m_text->appendLine(line);
            return true;
        }
        if (m_reading.rows.size() == m_reading.rows.capacity())
            reserveMore();
        if (m_rows.addLine(line, layout, m_lines))
            return true;
        m_tooLongLine = m_reading.tooLongLine;
        return false;
    }

    bool keepText();
    void reserveMore();

    ReadResult &m_result;
    qint64 m_deviceSize;
    const RowCheck m_check;
    qint64 m_bytesRead = 0;
    qint64 m_lines = 0;
    qint64 m_tooLongLine = 0;
    bool m_stopped = false;
    Progress m_keepGoing;
    const Dialect m_itemFile;
    TextReading m_reading;
    RowReader m_rows;
    DialectDetector m_detector;
    std::shared_ptr<FileText> m_text;
};

bool LineSink::keepText()
{
    m_text = std::make_shared<FileText>();
    // The text is hardly larger than the file. A device's size is only a hint, though (a
    // sparse file may claim a terabyte): room that cannot be had is not set aside.
    try {
        m_text->reserve(
            qsizetype(std::min<qint64>(m_deviceSize, std::numeric_limits<qsizetype>::max())));
    } catch (const std::bad_alloc &) {
        // The text grows by itself then, as far as memory allows.
    }
    for (std::size_t index = 0; index < m_reading.rows.size(); ++index) {
        if ((index + 1) % LinesPerReport == 0 && !m_keepGoing(m_bytesRead, m_deviceSize))
            return false;
        m_text->appendLine(m_reading.rows[index]);
    }
    std::vector<ItemRow>().swap(m_reading.rows);
    m_reading.rowsToCheck.reset();
    return true;
}

void LineSink::finish()
{
    m_detector.finish();
    if (m_detector.isNotItemFile()) {
        if (!m_text && !keepText())
            return;
        Dialect &dialect = m_result.dialect;
        dialect.separator = m_detector.separator();
        dialect.quoting = Quoting::Spreadsheet;
        dialect.headingLine = m_detector.hasHeadingLine();
        if (dialect.headingLine)
            dialect.columns
                = columnsByHeading(headingsOf(*m_text, dialect.separator, dialect.quoting));
        m_result.text = std::move(m_text);
        return;
    }
    if (!m_text) {
        m_result.rows = std::move(m_reading.rows);
        m_result.rowsToCheck = std::move(m_reading.rowsToCheck);
        return;
    }
    // Its lines looked like a spreadsheet's for a while, but the file is an item file after all.
    TextReading reading = readText(*m_text, m_itemFile, m_keepGoing, m_check);
    m_text.reset();
    if (reading.outcome == ReadOutcome::OutOfMemory)
        throw std::bad_alloc();
    m_tooLongLine = reading.tooLongLine;
    m_result.rows = std::move(reading.rows);
    m_result.rowsToCheck = std::move(reading.rowsToCheck);
}

// A large file would copy its rows over and over while they grow one by one, so the rows read so
// far and the device's size give a guess of the rows to come. The guess is only a hint: a
// device's size can be far from what it delivers (a sparse file, a line that ends just after the
// first chunk), so it never asks for more than twice the rows already read, and a reservation
// that cannot be had is skipped.
void LineSink::reserveMore()
{
    std::vector<ItemRow> &rows = m_reading.rows;
    const std::size_t rowCount = rows.size();
    if (rowCount == 0 || m_bytesRead <= 0 || m_deviceSize <= m_bytesRead)
        return;
    const double guess = double(rowCount) / double(m_bytesRead) * double(m_deviceSize) * 1.05;
    const std::size_t wanted = std::min(std::size_t(guess) + 1, 2 * rowCount);
    if (wanted <= rowCount)
        return;
    try {
        rows.reserve(wanted);
    } catch (const std::bad_alloc &) {
        // The vector grows by itself then, as far as memory allows.
    }
}

// Whether the file's first TextCheckLength bytes, `checked` of them seen before, go on without
// a NUL in `text`.
bool stillText(QByteArrayView bytes, qint64 &checked)
{
    const QByteArrayView looked = bytes.first(std::min(TextCheckLength - checked, bytes.size()));
    checked += looked.size();
    return !looked.contains('\0');
}
bool stillText(QStringView text, qint64 &checked)
{
    const QStringView looked = text.first(std::min((TextCheckLength - checked) / 2, text.size()));
    checked += 2 * looked.size();
    return !looked.contains(QChar(0));
}

// Reads the next chunk; the first is at least three bytes where the file has them, so that its
// byte-order mark is seen however few bytes a read gives.
qint64 readChunk(QIODevice &device, char *chunk, bool first)
{
    qint64 read = device.read(chunk, ChunkSize);
    while (first && read > 0 && read < 3) {
        const qint64 more = device.read(chunk + read, ChunkSize - read);
        if (more <= 0)
            return more < 0 ? more : read;
        read += more;
    }
    return read;
}

// Hands a chunk's text to the lines; false when the file turns out not to be text.
bool takeChunk(
    QByteArrayView bytes, bool atEnd, ByteOrder &byteOrder, LineSplitter &lines, qint64 &checked)
{
    if (!byteOrder.isUtf16()) {
        if (!stillText(bytes, checked))
            return false;
        lines.take(bytes);
        return true;
    }
    const QString text = byteOrder.decode(bytes, atEnd);
    if (!stillText(QStringView(text), checked))
        return false;
    lines.take(QStringView(text));
    return true;
}

// What a read that ended comes to: the lines read made into rows or kept as text, or dropped
// when the read was cancelled or found no text or a line too long.
void finishRead(ReadResult &result, LineSink &sink, LineSplitter *lines, const ByteOrder &byteOrder)
{
    const bool whole = result.outcome == ReadOutcome::Read;
    // After a failure the text read last may end anywhere: it is not taken as a line.
    if (whole && lines && sink.tooLongLine() == 0 && !sink.stopped())
        lines->finish();
    if (lines) {
        result.lines = lines->encodings();
        const bool utf8 = result.lines.utf8 > 0 && result.lines.windows1252 == 0;
        result.encoding
            = byteOrder.encoding().value_or(utf8 ? Encoding::Utf8 : Encoding::Windows1252);
    }
    if (whole || result.outcome == ReadOutcome::Failed) {
        if (sink.tooLongLine() == 0 && !sink.stopped())
            sink.finish();
    }
    if (sink.stopped())
        result.outcome = ReadOutcome::Cancelled;
    else if (sink.tooLongLine() != 0)
        result.outcome = ReadOutcome::LineTooLong;
    else if (whole && result.text)
        result.outcome = ReadOutcome::NotItemFile;
    result.tooLongLine = sink.tooLongLine();
    const bool keepsLines = result.outcome == ReadOutcome::Read
        || result.outcome == ReadOutcome::NotItemFile || result.outcome == ReadOutcome::Failed;
    if (!keepsLines) {
        std::vector<ItemRow>().swap(result.rows);
        result.rowsToCheck.reset();
        result.text.reset();
    }
}

} // namespace

ReadResult readFile(QIODevice &device, const Progress &progress, RowCheck check)
{
    ReadResult result;
    try {
        const qint64 deviceSize = device.size();
        LineSink sink(result, deviceSize, progress, check);
        std::optional<LineSplitter> lines;
        ByteOrder byteOrder;
        qint64 checked = 0;
        // Room in front of each chunk for a byte of UTF-16 held back from the one before.
        constexpr qsizetype Room = 4;
        QByteArray buffer(Room + ChunkSize, Qt::Uninitialized);
        char *const chunk = buffer.data() + Room;
        qint64 bytesRead = 0;
        for (;;) {
            const qint64 read = readChunk(device, chunk, !lines);
            if (read < 0) {
                result.outcome = ReadOutcome::Failed;
                result.error = device.errorString();
                break;
            }
            const qsizetype held = byteOrder.heldBack();
            QByteArrayView bytes(chunk - held, held + read);
            if (!lines) {
                bytes = bytes.sliced(byteOrder.take(bytes));
                lines.emplace(sink, sink.keepGoing(), byteOrder.encoding() == Encoding::Utf8);
            }
            bytesRead += read;
            sink.setBytesRead(bytesRead);
            if (!takeChunk(bytes, read == 0, byteOrder, *lines, checked)) {
                result.outcome = ReadOutcome::NotText;
                break;
            }
            if (read == 0 || sink.tooLongLine() != 0 || sink.stopped())
                break;
            // A held-back byte moves to the front of the next chunk.
            std::memmove(chunk - byteOrder.heldBack(), chunk + read - byteOrder.heldBack(),
                std::size_t(byteOrder.heldBack()));
            if (progress && !progress(bytesRead, deviceSize)) {
                result.outcome = ReadOutcome::Cancelled;
                break;
            }
        }
        finishRead(result, sink, lines ? &*lines : nullptr, byteOrder);
    } catch (const std::bad_alloc &) {
        result = {};
        result.outcome = ReadOutcome::OutOfMemory;
    }
    return result;
}

} // namespace ItemCsv
