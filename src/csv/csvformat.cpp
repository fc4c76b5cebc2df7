#include "csvformat.h"

#include "codepage.h"
#include "itemtable.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <type_traits>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ItemCsv {
namespace {

constexpr auto CodePageName = "windows-1252";
constexpr qint64 ChunkSize = 1 << 20;

// What a value of one byte a character holds that the handheld cannot take; the bytes
// themselves are all in the code page.
// Whether eight bytes are all printable ASCII other than a comma, without looking at each:
// the test of every value while a million rows are opened must cost next to nothing.
bool allPlain(std::uint64_t word)
{
    constexpr std::uint64_t Ones = 0x0101010101010101;
    constexpr std::uint64_t Highs = 0x8080808080808080;
    // A byte of 0x80 or more; with none, the tests below are exact.
    if ((word & Highs) != 0)
        return false;
    const auto hasZero = [](std::uint64_t bytes) {
        return ((bytes - Ones) & ~bytes & Highs) != 0;
    };
    const bool below20 = ((word - 0x20 * Ones) & ~word & Highs) != 0;
    return !below20 && !hasZero(word ^ (0x7F * Ones)) && !hasZero(word ^ (',' * Ones));
}

// Gathers the distinct faults of one value in the order the check meets them.
class FaultList
{
public:
    // The checks of the comma and line breaks that the character passes.
    void addCommaOrLineBreak(char16_t character)
    {
        add({character == u',' ? ValueFault::Comma : ValueFault::LineBreak, 0});
    }
    void add(const Fault &fault)
    {
        if (!m_seen.insert(quint32(fault.kind) << 24 | fault.character).second)
            return;
        if (m_problem.faults.size() < ValueProblem::ListedFaults)
            m_problem.faults.append(fault);
        ++m_problem.faultCount;
    }
    std::optional<ValueProblem> result()
    {
        if (m_problem.faultCount == 0)
            return std::nullopt;
        return std::move(m_problem);
    }

private:
    std::unordered_set<quint32> m_seen;
    ValueProblem m_problem;
};

// C0 but Tab, DEL and C1 (which the code page's unassigned bytes read as).
bool isRefusedControl(char16_t character)
{
    return (character < 0x20 && character != u'\t') || (character >= 0x7F && character < 0xA0);
}

std::optional<ValueProblem> problemWith(QByteArrayView value)
{
    const CodePage::Table &table = CodePage::windows1252();
    // Nearly every value Save meets is plain: it is passed over eight bytes at a time.
    qsizetype plain = 0;
    std::uint64_t word = 0;
    for (; plain + 8 <= value.size(); plain += 8) {
        std::memcpy(&word, value.data() + plain, sizeof word);
        if (!allPlain(word))
            break;
    }
    FaultList faults;
    for (const char byte : value.sliced(plain)) {
        const auto code = uchar(byte);
        // Nearly every byte Save meets; the checks below are for the rest.
        if (code >= 0x20 && code < 0x7F && code != ',')
            continue;
        const char16_t character = table.characterOf(byte);
        if (code == ',' || code == '\r' || code == '\n')
            faults.addCommaOrLineBreak(character);
        else if (isRefusedControl(character))
            faults.add({ValueFault::ControlCharacter, character});
    }
    return faults.result();
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

std::optional<ValueProblem> problemWith(QStringView value)
{
    const CodePage::Table &table = CodePage::windows1252();
    FaultList faults;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t character = value[i].unicode();
        // Nearly every character Save meets; the checks below are for the rest.
        if (character >= 0x20 && character < 0x7F && character != u',')
            continue;
        if (character == u',' || character == u'\r' || character == u'\n') {
            faults.addCommaOrLineBreak(character);
        } else if (isRefusedControl(character)) {
            faults.add({ValueFault::ControlCharacter, character});
        } else if (table.byteFor(character) < 0) {
            // A surrogate that is not half of a pair (from a damaged UTF-16 file) is named as
            // it stands.
            const bool pair = QChar::isHighSurrogate(character) && i + 1 < value.size()
                && QChar::isLowSurrogate(value[i + 1].unicode());
            const char32_t codePoint
                = pair ? QChar::surrogateToUcs4(character, value[++i].unicode()) : character;
            faults.add({ValueFault::UnrepresentableCharacter, codePoint});
        }
    }
    return faults.result();
}

std::optional<ValueProblem> problemWith(const FieldText &value)
{
    return value.visit([](auto text) { return problemWith(text); });
}

bool mayHaveProblems(const ItemRow &row)
{
    // The faults are single characters, so a row of Windows-1252 bytes with none in its whole
    // text has none in any value. (In UTF-16 a pair of surrogates could span two values.)
    return !row.isOneByte() || problemWith(row.allText()).has_value();
}

UnwritableValues findUnwritableValues(const ItemTable &table, qsizetype listed)
{
    UnwritableValues found;
    for (int row = 0; row < table.size(); ++row) {
        const ItemRow &itemRow = table.row(row);
        if (!mayHaveProblems(itemRow))
            continue;
        for (const Column column : AllColumns) {
            std::optional<ValueProblem> problem = problemWith(itemRow.text(column));
            if (!problem)
                continue;
            if (found.count++ < listed) {
                problem->row = row;
                problem->column = column;
                found.listed.append(*problem);
            }
        }
    }
    return found;
}

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

namespace {

// The text a line of this many characters, or this many rows, may take between two calls of
// the progress function, so that Cancel works throughout.
constexpr qsizetype CharactersPerReport = qsizetype(1) << 20;
constexpr std::size_t RowsPerReport = 65536;

// Cuts decoded text into lines and lines into rows, whatever the pieces the text comes in.
class LineSplitter
{
public:
    LineSplitter(std::vector<ItemRow> &rows, qint64 deviceSize, const Progress &progress)
        : m_rows(rows)
        , m_deviceSize(deviceSize)
        , m_keepGoing([this, &progress] {
            m_stopped = m_stopped || (progress && !progress(m_bytesRead, m_deviceSize));
            return !m_stopped;
        })
    {
    }

    // Stops at a line too long for a row; the line's number tells which. Text of the code
    // page comes as its bytes (QByteArrayView), which rows keep as they are, any other as
    // UTF-16 (QStringView).
    template<typename Text> void take(Text text, qint64 bytesRead)
    {
        m_bytesRead = bytesRead;
        // A read may give no whole character (half of a UTF-16 one): a CR before it still
        // waits for its LF.
        if (text.isEmpty() || m_tooLongLine != 0 || m_stopped)
            return;
        auto &partialLine = partial<Text>();
        qsizetype start = 0;
        if (m_skipLineFeed && unit(text.front()) == u'\n')
            start = 1;
        m_skipLineFeed = false;
        for (qsizetype i = start; i < text.size(); ++i) {
            const char16_t character = unit(text[i]);
            if (character != u'\r' && character != u'\n')
                continue;
            if (partialLine.isEmpty()) {
                if (!addLine(text.sliced(start, i - start)))
                    return;
            } else {
                if (!growPartialLine(text.sliced(start, i - start)) || !addLine(Text(partialLine)))
                    return;
                partialLine.clear();
            }
            if (character == u'\r') {
                if (i + 1 == text.size())
                    m_skipLineFeed = true;
                else if (unit(text[i + 1]) == u'\n')
                    ++i;
            }
            start = i + 1;
        }
        growPartialLine(text.sliced(start));
    }

    // From here on the text comes as the code page's bytes: the unfinished line, read as the
    // code page already, becomes its bytes too.
    void takeBytesFromNowOn()
    {
        const CodePage::Table &table = CodePage::windows1252();
        for (const QChar character : std::as_const(m_partialLine))
            m_partialBytes += char(table.bytes[character.unicode()]);
        m_partialLine.clear();
    }

    // Text after the last line end is a line of its own.
    void finish()
    {
        if (m_tooLongLine != 0 || m_stopped)
            return;
        if (!m_partialLine.isEmpty())
            addLine(QStringView(std::exchange(m_partialLine, QString())));
        else if (!m_partialBytes.isEmpty())
            addLine(QByteArrayView(std::exchange(m_partialBytes, QByteArray())));
    }

    // Reads every row and the text of the unfinished line, taken as UTF-8 so far, again as
    // Windows-1252: each character becomes the characters of its UTF-8 bytes. Commas and line
    // ends are the same bytes in both, so the fields stay as they are split.
    void readAgainAsCodePage()
    {
        // A character of several bytes becomes several characters: a line can grow too long.
        qsizetype sinceReport = 0;
        for (std::size_t index = 0; index < m_rows.size(); ++index) {
            if ((index + 1) % RowsPerReport == 0 || sinceReport >= CharactersPerReport) {
                sinceReport = 0;
                if (!m_keepGoing())
                    return;
            }
            ItemRow &row = m_rows[index];
            sinceReport += row.length();
            // ASCII reads the same either way.
            if (row.isOneByte() && isAscii(row))
                continue;
            QString line;
            for (const Column column : AllColumns) {
                if (!row.isPresent(column))
                    break;
                if (column != Column::ItemName)
                    line += u',';
                if (!appendReadAgain(row.text(column).toString(), line))
                    return;
            }
            std::optional<ItemRow> converted = m_arena.fromSeparated(line, u',', m_keepGoing);
            if (!converted) {
                if (!m_stopped)
                    m_tooLongLine = qint64(index) + 1;
                return;
            }
            row = std::move(*converted);
        }
        QString partial;
        if (appendReadAgain(m_partialLine, partial))
            m_partialLine = std::move(partial);
    }

    // The number of the first line too long for a row, or 0.
    qint64 tooLongLine() const { return m_tooLongLine; }
    // Whether progress asked to stop.
    bool stopped() const { return m_stopped; }

private:
    static bool isAscii(const ItemRow &row)
    {
        for (const Column column : AllColumns) {
            for (const char byte : row.text(column).bytes()) {
                if (uchar(byte) >= 0x80)
                    return false;
            }
        }
        return true;
    }

    // Appends `text` read again as Windows-1252 to `to`, a MiB at a time.
    bool appendReadAgain(QStringView text, QString &to)
    {
        QStringEncoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        for (qsizetype from = 0; from < text.size();) {
            qsizetype size = std::min(text.size() - from, CharactersPerReport);
            // A surrogate pair is encoded whole.
            if (from + size < text.size() && text[from + size - 1].isHighSurrogate())
                --size;
            FieldText(QByteArray(utf8.encode(text.sliced(from, size)))).appendTo(to);
            from += size;
            if (from < text.size() && !m_keepGoing())
                return false;
        }
        return true;
    }

    static char16_t unit(QChar character) { return character.unicode(); }
    static char16_t unit(char byte) { return char16_t(uchar(byte)); }
    template<typename Text> static auto separator()
    {
        if constexpr (std::is_same_v<Text, QByteArrayView>)
            return ',';
        else
            return QChar(u',');
    }

    template<typename Text> auto &partial()
    {
        if constexpr (std::is_same_v<Text, QByteArrayView>)
            return m_partialBytes;
        else
            return m_partialLine;
    }

    // The row copies the line's text: a line can be a view into a whole chunk.
    template<typename Text> bool addLine(Text line)
    {
        std::optional<ItemRow> row = m_arena.fromSeparated(line, separator<Text>(), m_keepGoing);
        if (!row) {
            if (!m_stopped)
                m_tooLongLine = qint64(m_rows.size()) + 1;
            return false;
        }
        if (m_rows.size() == m_rows.capacity())
            reserveMore();
        m_rows.push_back(std::move(*row));
        return true;
    }

    // A line that never ends would otherwise grow until memory runs out, or past what a row
    // can hold.
    template<typename Text> bool growPartialLine(Text more)
    {
        auto &partialLine = partial<Text>();
        if (partialLine.size() + more.size() > ItemRow::maxLength) {
            m_tooLongLine = qint64(m_rows.size()) + 1;
            return false;
        }
        partialLine += more;
        return true;
    }

    // A large file would copy its rows over and over while they grow one by one, so the rows
    // read so far and the device's size give a guess of the rows to come. The guess is only a
    // hint: a device's size can be far from what it delivers (a sparse file, a line that ends
    // just after the first chunk), so it never asks for more than twice the rows already read,
    // and a reservation that cannot be had is skipped.
    void reserveMore()
    {
        const std::size_t rowCount = m_rows.size();
        if (rowCount == 0 || m_bytesRead <= 0 || m_deviceSize <= m_bytesRead)
            return;
        const double guess = double(rowCount) / double(m_bytesRead) * double(m_deviceSize) * 1.05;
        const std::size_t wanted = std::min(std::size_t(guess) + 1, 2 * rowCount);
        if (wanted <= rowCount)
            return;
        try {
            m_rows.reserve(wanted);
        } catch (const std::bad_alloc &) {
            // The vector grows by itself then, as far as memory allows.
        }
    }

    std::vector<ItemRow> &m_rows;
    // The rows' blocks, about a MiB of rows to each allocation.
    RowArena m_arena;
    // The unfinished line: UTF-16, or bytes once the text comes as bytes.
    QString m_partialLine;
    QByteArray m_partialBytes;
    qint64 m_deviceSize;
    qint64 m_bytesRead = 0;
    qint64 m_tooLongLine = 0;
    bool m_skipLineFeed = false; // the text before ended with the CR of a CR LF
    bool m_stopped = false;
    KeepGoing m_keepGoing;
};

// The length of a UTF-8 character begun but not finished at the end of `bytes`: those bytes
// wait for the next chunk.
qsizetype unfinishedUtf8Tail(QByteArrayView bytes)
{
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, bytes.size()); ++back) {
        const auto byte = uchar(bytes[bytes.size() - back]);
        if (byte < 0x80)
            return 0;
        if ((byte & 0xC0) == 0x80)
            continue;
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        return length > back ? back : 0;
    }
    return 0;
}

struct ByteOrderMark
{
    const char *bytes;
    Encoding encoding;
    QStringConverter::Encoding converter;
};
constexpr ByteOrderMark byteOrderMarks[]
    = {{"\xEF\xBB\xBF", Encoding::Utf8, QStringConverter::Utf8},
        {"\xFF\xFE", Encoding::Utf16LittleEndian, QStringConverter::Utf16LE},
        {"\xFE\xFF", Encoding::Utf16BigEndian, QStringConverter::Utf16BE}};

// Turns the file's bytes into text chunk by chunk. A file without a byte-order mark is taken
// as UTF-8 until a byte shows that it is not; lines and fields split the same either way, so
// the rows read until then are only converted, once.
class ChunkDecoder
{
public:
    // How many bytes of `head` (the file's first bytes) are a byte-order mark, which also
    // settles the encoding.
    qsizetype takeByteOrderMark(QByteArrayView head)
    {
        for (const ByteOrderMark &mark : byteOrderMarks) {
            if (head.startsWith(mark.bytes)) {
                m_encoding = mark.encoding;
                m_decided = true;
                m_byMark = true;
                m_decoder = QStringDecoder(mark.converter, Flags);
                return qsizetype(std::strlen(mark.bytes));
            }
        }
        return 0;
    }

    // Decodes the bytes held back from the chunk before (they stand in front of `bytes`) and
    // `bytes`, except for the start of a character that the next chunk finishes. At the end,
    // with `atEnd`, nothing is held back.
    QString decode(QByteArrayView bytes, bool atEnd, LineSplitter &lines)
    {
        qsizetype tail = 0;
        if (!atEnd) {
            if (m_encoding == Encoding::Utf16LittleEndian || m_encoding == Encoding::Utf16BigEndian)
                tail = bytes.size() % 2;
            else if (m_encoding == Encoding::Utf8)
                tail = unfinishedUtf8Tail(bytes);
        }
        const QByteArrayView whole = bytes.first(bytes.size() - tail);
        m_heldBack = tail;
        if (m_decided && m_encoding != Encoding::Utf8 && m_encoding != Encoding::Windows1252
            && whole.size() % 2 != 0) {
            // The odd last byte of a UTF-16 file, which the decoder would drop when it comes
            // alone.
            return m_decoder.decode(whole.chopped(1)) + QChar(QChar::ReplacementCharacter);
        }
        if (m_decided)
            return m_decoder.decode(whole);

        // Still to be decided: UTF-8 as long as every byte so far is. The check comes before
        // the decoding, which would fill a text of twice the chunk's size for nothing.
        if (whole.isValidUtf8()) {
            QString text = m_decoder.decode(whole);
            m_sawMultiByte = m_sawMultiByte || text.size() != whole.size();
            if (atEnd)
                m_decided = true;
            return text;
        }
        m_encoding = Encoding::Windows1252;
        m_decided = true;
        m_heldBack = 0;
        if (m_sawMultiByte)
            lines.readAgainAsCodePage();
        lines.takeBytesFromNowOn();
        // The caller takes the code page's bytes as they are.
        return {};
    }

    // A file of ASCII alone reads the same in both, and counts as Windows-1252.
    Encoding encoding() const
    {
        return m_encoding == Encoding::Utf8 && !m_byMark && !m_sawMultiByte ? Encoding::Windows1252
                                                                            : m_encoding;
    }
    // Bytes at the end of the last chunk that wait for the next one.
    qsizetype heldBack() const { return m_heldBack; }
    // Whether the text is the code page's, whose bytes need no decoding: rows keep them.
    bool isCodePage() const { return m_decided && m_encoding == Encoding::Windows1252; }

private:
    // Stateless: the bytes of a character cut by a chunk's end are held back by hand, so that
    // they can still be read in another code page. A byte-order mark is taken off by hand
    // too, so that a U+FEFF that starts a later chunk stays in its value.
    static constexpr QStringConverter::Flags Flags
        = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

    Encoding m_encoding = Encoding::Utf8;
    bool m_decided = false;
    bool m_byMark = false;
    bool m_sawMultiByte = false;
    qsizetype m_heldBack = 0;
    QStringDecoder m_decoder {QStringConverter::Utf8, Flags};
};

} // namespace

ReadResult readFile(QIODevice &device, const Progress &progress)
{
    ReadResult result;
    try {
        const qint64 deviceSize = device.size();
        LineSplitter lines(result.rows, deviceSize, progress);
        ChunkDecoder decoder;
        // Room in front of each chunk for the bytes held back from the one before.
        constexpr qsizetype Room = 4;
        QByteArray buffer(Room + ChunkSize, Qt::Uninitialized);
        char *const chunk = buffer.data() + Room;
        qint64 bytesRead = 0;
        bool first = true;
        for (;;) {
            qint64 read = device.read(chunk, ChunkSize);
            // The byte-order mark is looked for in the first three bytes, however few a read
            // gives.
            while (first && read > 0 && read < 3) {
                const qint64 more = device.read(chunk + read, ChunkSize - read);
                if (more <= 0) {
                    if (more < 0)
                        read = more;
                    break;
                }
                read += more;
            }
            if (read < 0) {
                result.outcome = ReadOutcome::Failed;
                result.error = device.errorString();
                break;
            }
            const qsizetype held = decoder.heldBack();
            QByteArrayView bytes(chunk - held, held + read);
            if (first)
                bytes = bytes.sliced(decoder.takeByteOrderMark(bytes));
            first = false;
            bytesRead += read;
            if (decoder.isCodePage()) {
                lines.take(bytes, bytesRead);
            } else {
                const QString text = decoder.decode(bytes, read == 0, lines);
                if (decoder.isCodePage())
                    lines.take(bytes, bytesRead);
                else
                    lines.take(QStringView(text), bytesRead);
            }
            if (read == 0 || lines.tooLongLine() != 0 || lines.stopped())
                break;
            // The held-back bytes move to the front of the next chunk.
            std::memmove(chunk - decoder.heldBack(), chunk + read - decoder.heldBack(),
                std::size_t(decoder.heldBack()));
            if (progress && !progress(bytesRead, deviceSize)) {
                result.outcome = ReadOutcome::Cancelled;
                break;
            }
        }
        // After a failure the text read last may end anywhere: it is not taken as a line.
        if (result.outcome == ReadOutcome::Read)
            lines.finish();
        if (lines.stopped()) {
            // Stopped inside a line or while reading the rows again: what is read is not
            // whole.
            std::vector<ItemRow>().swap(result.rows);
            result.outcome = ReadOutcome::Cancelled;
        }
        result.encoding = decoder.encoding();
        result.tooLongLine = lines.tooLongLine();
        if (result.tooLongLine != 0) {
            std::vector<ItemRow>().swap(result.rows);
            result.outcome = ReadOutcome::LineTooLong;
        }
    } catch (const std::bad_alloc &) {
        std::vector<ItemRow>().swap(result.rows);
        result.outcome = ReadOutcome::OutOfMemory;
    }
    return result;
}

} // namespace ItemCsv
