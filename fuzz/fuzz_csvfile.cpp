// Arbitrary bytes as an item CSV file: read into a fresh item table through the reader the
// Open command uses (as an item file, also where Open would first show a preview), perhaps given
// a value the file cannot carry, then saved through the checks
// and writer the Save command uses, into memory and through the real file path onto a file
// that may not grow past a chosen byte. Every input must give one row per line of the file's
// text, the row holding the line's parts; a save that succeeds must give back the rows in the
// form the handheld reads, and one that fails or is refused must leave the old file.
//
// Input: byte 0 sets how many bytes each read hands over; byte 1 is the plan (bits 0-1: the
// size the device claims, bit 2: change a value before saving, bits 3-4: which character it
// gets, bits 5-7: which column); byte 2 the file size limit of the real save (0: no real
// save, 255: its last byte, else that many 254ths of the file); the rest is the file.

#include "csvcommands.h"
#include "csvformat.h"
#include "itemtable.h"
#include "textreader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

rlimit &unlimitedFileSize()
{
    static rlimit limit = [] {
        rlimit current {};
        ::getrlimit(RLIMIT_FSIZE, &current);
        // As the program does at start-up.
        ItemCsv::prepareProcess();
        return current;
    }();
    return limit;
}

// The folder of the real saves, once made.
QTemporaryDir *savesFolder = nullptr;

[[noreturn]] void fail(const char *what)
{
    // The finding must still be written to disk, and abort() leaves no folder behind.
    ::setrlimit(RLIMIT_FSIZE, &unlimitedFileSize());
    if (savesFolder)
        savesFolder->remove();
    std::fprintf(stderr, "fuzz_csvfile: %s\n", what);
    std::abort();
}

// A file that hands over at most `step` bytes per read, so that short inputs also cross the
// reader's chunk boundaries (a CR LF split between two reads, a line through many reads), as
// a file larger than a chunk does. Its claimed size may be far from what it gives, so that the
// reader's guess of the rows to come meets sharply changing line densities.
class TrickleDevice : public QIODevice
{
public:
    TrickleDevice(QByteArrayView bytes, qint64 step, qint64 claimedSize)
        : m_bytes(bytes)
        , m_step(step)
        , m_claimedSize(claimedSize)
    {
    }

    qint64 size() const override { return m_claimedSize; }

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
    qint64 m_claimedSize;
    qint64 m_position = 0;
};

constexpr QStringConverter::Flags Stateless
    = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

struct ByteOrderMark
{
    const char *bytes;
    ItemCsv::Encoding encoding;
    QStringConverter::Encoding converter;
};

// The lines of a text, split by the rule the reader states: CR LF, LF or CR ends a line, and
// text after the last line end is a line of its own.
template<typename View> QList<View> splitLines(View text)
{
    QList<View> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        lines.append(text.sliced(start, i - start));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.sliced(start));
    return lines;
}

// The file's lines by the rule Open states: a byte-order mark of UTF-8 or UTF-16 decides for the
// whole file; otherwise a line that is valid UTF-8 with a character beyond ASCII is UTF-8, any
// other Windows-1252. `text` tells whether the file is text: no NUL in its first 64 KiB.
QStringList fileLines(QByteArrayView file, ItemCsv::Encoding &encoding, bool &text)
{
    using ItemCsv::Encoding;
    const ByteOrderMark marks[] = {{"\xEF\xBB\xBF", Encoding::Utf8, QStringConverter::Utf8},
        {"\xFF\xFE", Encoding::Utf16LittleEndian, QStringConverter::Utf16LE},
        {"\xFE\xFF", Encoding::Utf16BigEndian, QStringConverter::Utf16BE}};
    QStringList lines;
    for (const ByteOrderMark &mark : marks) {
        if (!file.startsWith(mark.bytes))
            continue;
        encoding = mark.encoding;
        const QByteArrayView rest = file.sliced(std::strlen(mark.bytes));
        QStringDecoder decoder(mark.converter, Stateless);
        QString decoded;
        // An odd last byte of UTF-16 is one character that cannot be read.
        if (mark.encoding != Encoding::Utf8 && rest.size() % 2 != 0)
            decoded = decoder.decode(rest.chopped(1)) + QChar(QChar::ReplacementCharacter);
        else if (mark.encoding != Encoding::Utf8)
            decoded = decoder.decode(rest);
        if (mark.encoding == Encoding::Utf8) {
            text = !rest.first(std::min<qsizetype>(rest.size(), 65536)).contains('\0');
            for (const QByteArrayView line : splitLines(rest))
                lines.append(QStringDecoder(QStringConverter::Utf8, Stateless).decode(line));
        } else {
            text = !QStringView(decoded)
                        .first(std::min<qsizetype>(decoded.size(), 32768))
                        .contains(QChar(0));
            for (const QStringView line : splitLines(QStringView(decoded)))
                lines.append(line.toString());
        }
        return lines;
    }
    text = !file.first(std::min<qsizetype>(file.size(), 65536)).contains('\0');
    qsizetype utf8 = 0, windows1252 = 0;
    for (const QByteArrayView line : splitLines(file)) {
        const bool ascii
            = std::all_of(line.begin(), line.end(), [](char c) { return uchar(c) < 0x80; });
        if (!ascii && line.isValidUtf8()) {
            ++utf8;
            lines.append(QStringDecoder(QStringConverter::Utf8, Stateless).decode(line));
        } else {
            windows1252 += ascii ? 0 : 1;
            lines.append(QStringDecoder("windows-1252", Stateless).decode(line));
        }
    }
    encoding = utf8 > 0 && windows1252 == 0 ? Encoding::Utf8 : Encoding::Windows1252;
    return lines;
}

// Whether Windows-1252 holds the character: it comes back unchanged through the code page.
bool fitsTheCodePage(char32_t character)
{
    static QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
    static QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
    const QString text = QString::fromUcs4(&character, 1);
    // One byte that reads back as the character. Not hasError(): a stateless converter keeps
    // an error once it met one. And the code page drops some characters (U+FEFF) silently.
    const QByteArray bytes = encoder.encode(text);
    return bytes.size() == 1 && QString(decoder.decode(bytes)) == text;
}

void checkRow(const ItemRow &row, const QString &line)
{
    // An empty line has no parts; otherwise part i of the line is field i, up to six.
    const QStringList parts = line.isEmpty() ? QStringList() : line.split(u',');
    for (int field = 0; field < ColumnCount; ++field) {
        if (row.isPresent(columnAt(field)) != (field < parts.size()))
            fail("a field is present or absent against its line");
        if (row.isPresent(columnAt(field)) && row.field(columnAt(field)) != parts[field])
            fail("a field does not hold its part of the line");
    }
    // A row keeps one byte a character exactly when every character of its fields has one.
    bool oneByte = true;
    for (qsizetype field = 0; field < std::min<qsizetype>(parts.size(), ColumnCount); ++field) {
        for (const QChar character : parts[field])
            oneByte = oneByte && fitsTheCodePage(character.unicode());
    }
    if (row.isOneByte() != oneByte)
        fail("a row keeps one byte a character, or not, against its text");
}

// The first refused value, found afresh, as "row column reason character".
QString firstRefusedValue(const ItemTable &table)
{
    for (int row = 0; row < table.size(); ++row) {
        for (int column = 0; column < ColumnCount; ++column) {
            const QString value = table.row(row).field(columnAt(column));
            for (qsizetype i = 0; i < value.size(); ++i) {
                // A surrogate without its other half counts as the character it stands for.
                char32_t character = value[i].unicode();
                if (QChar::isHighSurrogate(character) && i + 1 < value.size()
                    && QChar::isLowSurrogate(value[i + 1].unicode())) {
                    character = QChar::surrogateToUcs4(value[i].unicode(), value[i + 1].unicode());
                    ++i;
                }
                int reason = -1;
                if (character == u',')
                    reason = int(ItemCsv::ReasonKind::Comma);
                else if (character == u'\r' || character == u'\n')
                    reason = int(ItemCsv::ReasonKind::LineBreak);
                // Every control character but Tab: C0, DEL and C1.
                else if ((character < 0x20 && character != u'\t')
                    || (character >= 0x7F && character <= 0x9F))
                    reason = int(ItemCsv::ReasonKind::ControlCharacter);
                else if (!fitsTheCodePage(character))
                    reason = int(ItemCsv::ReasonKind::UnrepresentableCharacter);
                if (reason >= 0) {
                    const bool named = reason == int(ItemCsv::ReasonKind::UnrepresentableCharacter)
                        || reason == int(ItemCsv::ReasonKind::ControlCharacter);
                    return QStringLiteral("%1 %2 %3 %4")
                        .arg(row)
                        .arg(column)
                        .arg(reason)
                        .arg(named ? character : 0);
                }
            }
        }
    }
    return {};
}

QString describe(const ItemCsv::RefusedValue &refused)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(refused.row)
        .arg(position(refused.column))
        .arg(int(refused.reasons.first().kind))
        .arg(uint(refused.reasons.first().character));
}

// The file as a save of the table writes it.
QByteArray savedForm(const ItemTable &table)
{
    QString text;
    for (int row = 0; row < table.size(); ++row) {
        for (int field = 0; field < ColumnCount; ++field) {
            if (field > 0)
                text += u',';
            text += table.row(row).field(columnAt(field));
        }
        text += u"\r\n";
    }
    return QStringEncoder("windows-1252", QStringConverter::Flag::Stateless).encode(text);
}

QString folder()
{
    // In memory where there is such a file system: every real save ends with an fsync.
    static QTemporaryDir dir(QDir(QStringLiteral("/dev/shm")).exists()
            ? QStringLiteral("/dev/shm/fuzz_csvfile-XXXXXX")
            : QDir::tempPath() + QStringLiteral("/fuzz_csvfile-XXXXXX"));
    if (!dir.isValid())
        fail("no folder for the real saves");
    savesFolder = &dir;
    return dir.path();
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return "<no file>";
    return file.readAll();
}

// Saves through the real file path onto an old file, with no file allowed to grow past `limit`.
void saveToAFile(ItemTable &table, qint64 limit, const QByteArray &expected, bool refused)
{
    const QString fileName = folder() + QStringLiteral("/items.csv");
    {
        QFile old(fileName);
        if (!old.open(QIODevice::WriteOnly) || old.write("old\r\n") != 5 || !old.flush())
            fail("cannot write the old file");
    }
    rlimit limited = unlimitedFileSize();
    limited.rlim_cur = rlim_t(limit);
    if (::setrlimit(RLIMIT_FSIZE, &limited) != 0)
        fail("cannot limit the file size");
    const ItemCsv::SaveResult result = ItemCsv::saveTable(table, fileName);
    ::setrlimit(RLIMIT_FSIZE, &unlimitedFileSize());

    if (QDir(folder()).entryList(QDir::Files | QDir::Hidden) != QStringList {"items.csv"})
        fail("a save left another file behind");
    if (refused != bool(result.firstRefusedValue()))
        fail("the real save and the one into memory differ on refusing");
    const bool fits = limit >= expected.size();
    if (refused || !fits) {
        if (!refused && result.error != QLatin1StringView("File too large"))
            fail("a save past the file size limit did not fail with its reason");
        if (contents(fileName) != "old\r\n")
            fail("a save that failed changed the old file");
        return;
    }
    if (!result.succeeded())
        fail("a save within the file size limit failed");
    if (contents(fileName) != expected)
        fail("the saved file differs from the save into memory");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 3)
        return 0;
    const qint64 step = data[0] == 0 ? qint64(size) : qint64(data[0]);
    const std::uint8_t plan = data[1];
    const std::uint8_t limitByte = data[2];
    const QByteArrayView file(data + 3, qsizetype(size - 3));

    const qint64 claimedSizes[]
        = {file.size(), file.size() * 4096, file.size() / 8, qint64(1) << 40};
    ItemTable table;
    TrickleDevice device(file, step, claimedSizes[plan & 3]);
    device.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const ItemCsv::OpenResult read = ItemCsv::openTable(table, device);
    ItemCsv::Encoding encoding {};
    bool text = true;
    const QStringList lines = fileLines(file, encoding, text);
    if (text == (read.outcome == ItemCsv::OpenOutcome::NotText))
        fail("a file with a NUL byte near its start was read, or one without was not");
    if (!text)
        return 0;
    // A file that is not an item file is read as one when the user chooses so in its preview,
    // which must give the same rows.
    if (read.outcome == ItemCsv::OpenOutcome::NeedsDialect
        && !ItemCsv::appendText(table, *read.text, ItemCsv::Dialect()).succeeded())
        fail("reading the kept text as an item file failed");
    else if (read.outcome != ItemCsv::OpenOutcome::NeedsDialect && !read.succeeded())
        fail("reading from memory failed");
    if (read.encoding != encoding)
        fail("the file was read in another character set");
    if (read.lines != lines.size() || table.size() != lines.size())
        fail("the lines and the rows differ in number");
    for (qsizetype i = 0; i < lines.size(); ++i)
        checkRow(table.row(int(i)), lines[i]);

    // A value typed after the file was read, as the user may do before saving.
    if ((plan & 4) != 0 && table.size() > 0) {
        static const QString added[] = {QStringLiteral(","), QStringLiteral("\n"),
            QStringLiteral("\u0100"), QStringLiteral("\U0001F95B")};
        const int row = int(step % table.size());
        const int column = (plan >> 5) % ColumnCount;
        table.Move(row);
        const QString value = table.row(row).field(columnAt(column));
        table.setFieldValue(columnAt(column),
            value.left(value.size() / 2) + added[(plan >> 3) & 3] + value.mid(value.size() / 2));
    }
    const QString refused = firstRefusedValue(table);
    const QByteArray expected = refused.isEmpty() ? savedForm(table) : QByteArray();

    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    const ItemCsv::SaveResult result = ItemCsv::saveTable(table, saved);
    if (!result.error.isEmpty())
        fail("writing to memory failed");
    if (table.size() != lines.size())
        fail("saving changed the number of rows");
    if (refused.isEmpty() != !result.firstRefusedValue())
        fail("the save refused a table that the file can carry, or the other way round");
    if (result.firstRefusedValue() && describe(*result.firstRefusedValue()) != refused)
        fail("the save named another value or reason than the first one the file cannot carry");
    if (result.firstRefusedValue() && !saved.data().isEmpty())
        fail("a refused save wrote bytes");
    if (!result.firstRefusedValue() && saved.data() != expected)
        fail("the saved file differs from the rows read");

    if (limitByte != 0) {
        const qint64 limit = limitByte == 255 ? std::max<qint64>(expected.size() - 1, 0)
                                              : expected.size() * limitByte / 254;
        saveToAFile(table, limit, expected, bool(result.firstRefusedValue()));
    }
    return 0;
}
