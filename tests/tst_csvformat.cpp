#include "csvcommands.h"
#include "csvformat.h"
#include "tablerows.h"
#include "textreader.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QStringEncoder>
#include <QTest>

#include <new>

namespace {

// A device that takes or gives `limit` bytes and then fails, as a full disk or a bad sector does.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(QByteArray content, qint64 limit)
        : m_content(std::move(content))
        , m_limit(limit)
    {
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_position >= m_limit) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 size
            = std::min({maxSize, m_limit - m_position, qint64(m_content.size()) - m_position});
        memcpy(data, m_content.constData() + m_position, size_t(size));
        m_position += size;
        return size;
    }
    qint64 writeData(const char *, qint64 size) override
    {
        if (m_position + size > m_limit) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        m_position += size;
        return size;
    }
    bool isSequential() const override { return true; }

private:
    QByteArray m_content;
    qint64 m_limit;
    qint64 m_position = 0;
};

// A device that claims to hold far more than it gives: a sparse file, or a file that another
// program cuts while it is read. It gives `content` and then ends, or throws std::bad_alloc in
// its place as an allocation that fails there would.
class ClaimingDevice : public QIODevice
{
public:
    ClaimingDevice(QByteArray content, qint64 claimedSize, bool runOutOfMemory = false)
        : m_content(std::move(content))
        , m_claimedSize(claimedSize)
        , m_runOutOfMemory(runOutOfMemory)
    {
    }
    qint64 size() const override { return m_claimedSize; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 size = std::min(maxSize, qint64(m_content.size()) - m_position);
        if (size == 0 && m_runOutOfMemory)
            throw std::bad_alloc();
        memcpy(data, m_content.constData() + m_position, size_t(size));
        m_position += size;
        return size;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_content;
    qint64 m_claimedSize;
    bool m_runOutOfMemory;
    qint64 m_position = 0;
};

QByteArray save(ItemTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const ItemCsv::SaveResult result = ItemCsv::saveTable(table, buffer);
    if (!result.succeeded())
        qWarning("save failed");
    return buffer.data();
}

// How Open found a file that is not an item file to be written: "; quotes heading [Store,
// Item Name, Price] decimal comma, quote unclosed on line 2, values past six on lines 5 9".
QString describe(const ItemCsv::Dialect &dialect, const ItemCsv::TextReading &reading)
{
    QStringList columns;
    for (const std::optional<Column> &column : dialect.columns)
        columns.append(column ? heading(*column) : QStringLiteral("-"));
    QStringList extraLines;
    for (const ItemCsv::LeftOutValues &extra : reading.extraValues)
        extraLines.append(QString::number(extra.line));
    return QStringLiteral("%1 %2%3 [%4]%5%6%7")
        .arg(dialect.separator == '\t' ? QStringLiteral("Tab") : QString(QChar(dialect.separator)),
            dialect.quoting == ItemCsv::Quoting::Text ? "quotes as text" : "quotes",
            dialect.headingLine ? " heading" : "", columns.join(u','),
            reading.decimalCommaFound ? " decimal comma" : "",
            reading.unclosedQuoteLine
                ? QStringLiteral(", quote unclosed on line %1").arg(reading.unclosedQuoteLine)
                : QString(),
            extraLines.isEmpty() ? QString()
                                 : ", values past six on lines " + extraLines.join(u' '));
}

// The rows Open gives for the bytes: an item file's, or those that the preview of any other file
// shows in the dialect found, which `found` then describes.
QStringList read(const QByteArray &bytes, QString *found = nullptr)
{
    ItemTable table;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const ItemCsv::OpenResult result = ItemCsv::openTable(table, buffer);
    if (result.outcome == ItemCsv::OpenOutcome::LineTooLong && table.size() == 0)
        return {QStringLiteral("line %1 is too long").arg(result.tooLongLine)};
    if (result.outcome == ItemCsv::OpenOutcome::NotText)
        return {QStringLiteral("not text")};
    if (result.outcome == ItemCsv::OpenOutcome::NeedsDialect && found) {
        ItemCsv::TextReading reading = ItemCsv::previewText(*result.text, result.dialect, 100);
        *found = describe(result.dialect, reading);
        QStringList rows;
        for (const ItemRow &row : reading.rows)
            rows.append(describe(row));
        return rows;
    }
    if (result.lines != table.size() || !result.succeeded())
        qWarning("line count does not match the rows");
    return describe(table);
}

} // namespace

class tst_CsvFormat : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writer_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("fresh blank row") << QStringList {blankRow} << QByteArray(",,,,,\r\n");
        QTest::newRow("no rows: empty file") << QStringList() << QByteArray();
        QTest::newRow("Milk line, space kept, nothing quoted")
            << QStringList {"Milk|Dairy|1.20|Item|Corner shop|4"}
            << QByteArray("Milk,Dairy,1.20,Item,Corner shop,4\r\n");
        QTest::newRow("three rows, three lines, no header")
            << QStringList {"a|<absent>|<absent>|Item|<absent>|<absent>", blankRow, "c||||| "}
            << QByteArray("a,,,Item,,\r\n,,,,,\r\nc,,,,, \r\n");
        QTest::newRow("absent and empty look alike")
            << QStringList {"||<absent>||<absent>|"} << QByteArray(",,,,,\r\n");
        QTest::newRow("quotes are plain text")
            << QStringList {"\"Milk\"|<absent>|<absent>|<absent>|<absent>|<absent>"}
            << QByteArray("\"Milk\",,,,,\r\n");
        QTest::newRow("accents and the euro sign in Windows-1252")
            << QStringList {"Crème brûlée|Desserts|€2|Item|Café|<absent>"}
            << QByteArray("Cr\xE8me br\xFBl\xE9"
                          "e,Desserts,\x80"
                          "2,Item,Caf\xE9,\r\n");
        // Rows of the code page's characters keep its bytes, which Save copies straight out.
        QTest::newRow("every printable character of the code page's upper half, and Tab")
            << QStringList {QStringLiteral("€‚ƒ„…†‡ˆ‰Š‹ŒŽ|‘’“”•–—˜™š›œžŸ|\u00A0¡¢£¤¥¦§¨©ª«¬\u00AD®¯"
                                           "|°±²³´µ¶·¸¹º»¼½¾¿|ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖ×ØÙÚÛÜÝÞß"
                                           "|àáâãäåæçèéêëìíîïðñòóôõö÷øùúûüýþÿ\tend")}
            << QByteArray("\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8E,"
                          "\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9E\x9F,"
                          "\xA0\xA1\xA2\xA3\xA4\xA5\xA6\xA7\xA8\xA9\xAA\xAB\xAC\xAD\xAE\xAF,"
                          "\xB0\xB1\xB2\xB3\xB4\xB5\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF,"
                          "\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF"
                          "\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xDD\xDE\xDF,"
                          "\xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF"
                          "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF"
                          "\tend\r\n");
    }
    void writer()
    {
        QFETCH(QStringList, rows);
        QFETCH(QByteArray, bytes);
        ItemTable table;
        fill(table, rows);
        QCOMPARE(save(table), bytes);
        // The pending row is committed and the cursor stays on it.
        QCOMPARE(table.currentRow(), rows.size() - 1);
        QCOMPARE(table.isPending(), false);
        QCOMPARE(table.RecordCount(), rows.size());
    }

    // Each file is read as an item file, as it always was, unless it looks written by a
    // spreadsheet (`found` then says how; the rows are those its preview shows).
    void reader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("found");
        const QString nameOnly = QStringLiteral("%1|<absent>|<absent>|<absent>|<absent>|<absent>");
        const QString byPosition = "[Item Name,Group,Price,Item Type,Store,Aisle No]";
        QTest::newRow("empty file") << QByteArray() << QStringList() << "";
        QTest::newRow("one word") << QByteArray("Bread\r\n") << QStringList {nameOnly.arg("Bread")}
                                  << "";
        QTest::newRow("five commas: six empty values")
            << QByteArray(",,,,,\r\n,,,,,\r\n") << QStringList {"|||||", "|||||"} << "";
        QTest::newRow("empty line: six absent values")
            << QByteArray("\r\n") << QStringList {blankRow} << "";
        QTest::newRow("a first word between quotes is plain text")
            << QByteArray("\"Milk\"\r\n") << QStringList {nameOnly.arg("\"Milk\"")} << "";
        QTest::newRow("an empty quoted value is plain text")
            << QByteArray("1,\"\",\"\"\r\n")
            << QStringList {R"(1|""|""|<absent>|<absent>|<absent>)"} << "";
        QTest::newRow("quoted values on one line only: plain text")
            << QByteArray("\"a\",\"b\"\nc\n")
            << QStringList {R"("a"|"b"|<absent>|<absent>|<absent>|<absent>)", nameOnly.arg("c")}
            << "";
        QTest::newRow("a semicolon on some lines only: an item file after all")
            << QByteArray("a;b\nc;d\ne\n")
            << QStringList {nameOnly.arg("a;b"), nameOnly.arg("c;d"), nameOnly.arg("e")} << "";
        QTest::newRow("a quote that never closes opens no quoted value")
            << QByteArray("\"Big\" box,x\nMilk,y\n")
            << QStringList {"\"Big\" box|x|<absent>|<absent>|<absent>|<absent>",
                   "Milk|y|<absent>|<absent>|<absent>|<absent>"}
            << "";
        QTest::newRow("seven parts: a value past six")
            << QByteArray("a,b,c,d,e,f,g\r\n") << QStringList {"a|b|c|d|e|f"}
            << ", quotes " + byPosition + ", values past six on lines 1";
        QTest::newRow("comma in a value shifts the rest")
            << QByteArray("Eggs, large,Dairy,1,Item,Shop,4\r\n")
            << QStringList {"Eggs| large|Dairy|1|Item|Shop"}
            << ", quotes " + byPosition + ", values past six on lines 1";
        QTest::newRow("quoted value with a comma")
            << QByteArray("Cheddar,Dairy,3.49,Weight,\"Baker, Smith & Sons\",4\n")
            << QStringList {"Cheddar|Dairy|3.49|Weight|Baker, Smith & Sons|4"}
            << ", quotes " + byPosition;
        QTest::newRow("quoted value with \"\" and one with a line break")
            << QByteArray("\"say \"\"hi\"\"\",\"two\r\nlines\"\r\nx\r\n")
            << QStringList {"say \"hi\"|two\nlines|<absent>|<absent>|<absent>|<absent>",
                   nameOnly.arg("x")}
            << ", quotes " + byPosition;
        QTest::newRow("every text quoted")
            << QByteArray("\"Milk\",\"Dairy\",1.15,\"Item\"\n\"Bread\",\"Bakery\",2.1,\"Item\"\n")
            << QStringList {"Milk|Dairy|1.15|Item|<absent>|<absent>",
                   "Bread|Bakery|2.1|Item|<absent>|<absent>"}
            << ", quotes " + byPosition;
        QTest::newRow("semicolons and decimal commas")
            << QByteArray("Milk;Dairy;1,15;Item;Lidl;4\nBread;;2,10;Item;\"Aldi; Nord\";\n")
            << QStringList {"Milk|Dairy|1,15|Item|Lidl|4", "Bread||2,10|Item|Aldi; Nord|"}
            << "; quotes " + byPosition + " decimal comma";
        QTest::newRow("Tabs") << QByteArray("Milk\tDairy\t1.15\nBread\tBakery\t2.10\n")
                              << QStringList {"Milk|Dairy|1.15|<absent>|<absent>|<absent>",
                                     "Bread|Bakery|2.10|<absent>|<absent>|<absent>"}
                              << "Tab quotes " + byPosition;
        QTest::newRow("headings in another order, fewer than six, one unknown")
            << QByteArray("store;ITEM NAME ;Notes;Price\nLidl;Milk;fresh;1,15\n")
            << QStringList {"Milk|<absent>|1,15|<absent>|Lidl|<absent>"}
            << "; quotes heading [Store,Item Name,-,Price] decimal comma";
        QTest::newRow("quoted headings, nothing after them") << QByteArray(
            "\"Item Name\",\"Group\"\r\n") << QStringList() << ", quotes heading [Item Name,Group]";
        QTest::newRow("a quote that never closes in a spreadsheet's file")
            << QByteArray("Item Name;Group\n\"Milk;Dairy\nBread;Bakery\n")
            << QStringList {"Milk;Dairy\nBread;Bakery|<absent>|<absent>|<absent>|<absent>|<absent>"}
            << "; quotes heading [Item Name,Group], quote unclosed on line 2";
        QTest::newRow("a NUL byte: not text")
            << QByteArray("Milk\0,x\n", 8) << QStringList {"not text"} << "";
        QTest::newRow("a NUL byte past the first 64 KiB: text")
            << QByteArray(65536, 'x') + QByteArray("\n\0\n", 3)
            << QStringList {nameOnly.arg(QString(65536, u'x')), nameOnly.arg(QString(QChar(0)))}
            << "";
        QTest::newRow("last line without line end")
            << QByteArray("a\r\nb") << QStringList {nameOnly.arg("a"), nameOnly.arg("b")} << "";
        QTest::newRow("lone LF, lone CR and CR LF")
            << QByteArray("a\nb\rc\r\n")
            << QStringList {nameOnly.arg("a"), nameOnly.arg("b"), nameOnly.arg("c")} << "";
        QTest::newRow("CR then CR LF: an empty line between")
            << QByteArray("a\r\r\nb\r\n")
            << QStringList {nameOnly.arg("a"), blankRow, nameOnly.arg("b")} << "";
        QTest::newRow("ends in the middle of CR LF")
            << QByteArray("a,b\r") << QStringList {"a|b|<absent>|<absent>|<absent>|<absent>"} << "";
        QTest::newRow("Windows-1252 decoded")
            << QByteArray("Cr\xE8me,\x80"
                          "2\r\n")
            << QStringList {"Crème|€2|<absent>|<absent>|<absent>|<absent>"} << "";
    }
    void reader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        QFETCH(QString, found);
        QString foundNow;
        QCOMPARE(read(bytes, &foundNow), rows);
        QCOMPARE(foundNow, found);
    }

    // The reader takes the file a megabyte at a time; lines and CR LF pairs that straddle two
    // pieces must come out whole. A line longer than a row holds (the limit lowered here) stops
    // the reading, also while it is still growing across pieces. Guards against the fault
    // where a line of more than 2^32 characters wrapped the row's lengths and overran it.
    // A file of the code page's bytes is split as bytes, any other as text: each case comes
    // both ways, the long value starting with "é" (0xE9) or with "x".
    void linesAcrossReadChunks_data()
    {
        QTest::addColumn<int>("firstLineLength");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("tooLongLine");
        QTest::addColumn<char>("first");
        for (const char first : {'x', '\xE9'}) {
            const char *const kind = first == 'x' ? "ASCII" : "Windows-1252";
            QTest::addRow("CR last in the first chunk, LF first in the next, %s", kind)
                << (1 << 20) - 1 << 0 << 0 << first;
            QTest::addRow("line end first in the next chunk, %s", kind)
                << (1 << 20) << 0 << 0 << first;
            QTest::addRow("line through three chunks, %s", kind)
                << (1 << 21) + 5 << 0 << 0 << first;
            QTest::addRow("line of the limit's length across two chunks, %s", kind)
                << (1 << 20) + 5 << (1 << 20) + 5 << 0 << first;
            QTest::addRow("line through three chunks, past the limit in the second, %s", kind)
                << (1 << 21) + 5 << (1 << 20) + 5 << 1 << first;
            QTest::addRow("second line past the limit within its chunk, %s", kind)
                << 5 << 7 << 2 << first;
        }
    }
    void linesAcrossReadChunks()
    {
        QFETCH(int, firstLineLength);
        QFETCH(int, limit);
        QFETCH(int, tooLongLine);
        QFETCH(char, first);
        const RowLengthLimit rowLimit(limit > 0 ? limit : ItemRow::maxLength);
        const QByteArray longValue = first + QByteArray(firstLineLength - 1, 'x');
        const QByteArray bytes = longValue + "\r\nnext,row\r\n";
        QCOMPARE(read(bytes),
            tooLongLine != 0
                ? QStringList {QStringLiteral("line %1 is too long").arg(tooLongLine)}
                : QStringList({QString::fromLatin1(longValue)
                        + QStringLiteral("|<absent>|<absent>|<absent>|<absent>|<absent>"),
                    QStringLiteral("next|row|<absent>|<absent>|<absent>|<absent>")}));
    }

    // Work after a read, on lines read before or on one long line, still tells progress at
    // least every MiB of text or 65,536 rows, so that Cancel works throughout. Guards against
    // the fault where the lines of a file found to be an item file only at its end, or a last
    // line of hundreds of MB, froze the window for seconds with no progress and no Cancel. Each
    // call is noted with the bytes read so far; the read is stopped at call `stopAt` (0: never).
    void progressIsToldThroughoutLongWork_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("stopAt");
        QTest::addColumn<QList<qint64>>("calls");
        QTest::addColumn<int>("rows");
        constexpr qint64 MiB = 1 << 20;
        // 400,000 lines that look split at semicolons until the last one, whose lines are kept
        // as text and then read as an item file: a call every 65,536 of them.
        const QByteArray semicolons = QByteArray("a;b\n").repeated(400'000) + "c";
        const QList<qint64> itemFileCalls = QList<qint64>(5, MiB) + QList<qint64>(9, 1'600'001);
        QTest::newRow("lines kept, then read as an item file")
            << semicolons << 0 << itemFileCalls << 400'001;
        QTest::newRow("lines kept, stopped while read as an item file")
            << semicolons << 10 << itemFileCalls.first(10) << 0;
        // A line of 3 MiB that ends with the file: its characters are copied into its row a
        // MiB at a time.
        const QByteArray longLine(3 * MiB, 'x');
        const QList<qint64> longLineCalls {MiB, 2 * MiB, 3 * MiB, 3 * MiB, 3 * MiB};
        QTest::newRow("one long last line") << longLine << 0 << longLineCalls << 1;
        QTest::newRow("one long last line, stopped while stored")
            << longLine << 5 << longLineCalls.first(5) << 0;
    }
    void progressIsToldThroughoutLongWork()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, stopAt);
        QFETCH(QList<qint64>, calls);
        QFETCH(int, rows);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QList<qint64> told;
        const ItemCsv::ReadResult result = ItemCsv::readFile(buffer, [&](qint64 done, qint64) {
            told.append(done);
            return told.size() != stopAt;
        });
        QCOMPARE(told, calls);
        QCOMPARE(result.outcome,
            stopAt == 0 ? ItemCsv::ReadOutcome::Read : ItemCsv::ReadOutcome::Cancelled);
        QCOMPARE(qsizetype(result.rows.size()), qsizetype(rows));
    }

    // Open reads what spreadsheets export besides the handheld's own Windows-1252: UTF-8 with
    // or without a byte-order mark, and UTF-16 with one; without a mark, each line as UTF-8 or as
    // Windows-1252. Guards against the faults where such a file came in as "ï»¿CrÃ¨me", as twice
    // the rows full of NULs, or, for one Windows-1252 line in a UTF-8 file, with every accented
    // letter of every line as two wrong ones.
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("encoding");

        const QString text = QStringLiteral("Crème brûlée,Desserts,€2\r\nCafé,Épicerie,1.20\r\n"
                                            "Jalapeños,,Item\r\n");
        const QStringList rows {"Crème brûlée|Desserts|€2|<absent>|<absent>|<absent>",
            "Café|Épicerie|1.20|<absent>|<absent>|<absent>",
            "Jalapeños||Item|<absent>|<absent>|<absent>"};
        const QByteArray utf8 = text.toUtf8();
        QTest::newRow("Windows-1252")
            << QStringEncoder("windows-1252").encode(text).operator QByteArray() << rows
            << "Windows-1252, lines 0 UTF-8 3 Windows-1252";
        QTest::newRow("UTF-8 without byte-order mark")
            << utf8 << rows << "UTF-8, lines 3 UTF-8 0 Windows-1252";
        QTest::newRow("UTF-8 with byte-order mark")
            << "\xEF\xBB\xBF" + utf8 << rows << "UTF-8, lines 0 UTF-8 0 Windows-1252";
        QTest::newRow("UTF-16 LE with byte-order mark")
            << QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)
                   .encode(text)
                   .
                   operator QByteArray()
            << rows << "UTF-16 LE, lines 0 UTF-8 0 Windows-1252";
        QTest::newRow("UTF-16 BE with byte-order mark")
            << QStringEncoder(QStringConverter::Utf16BE, QStringConverter::Flag::WriteBom)
                   .encode(text)
                   .
                   operator QByteArray()
            << rows << "UTF-16 BE, lines 0 UTF-8 0 Windows-1252";
        QTest::newRow("mostly ASCII with one 0xE8 stays Windows-1252")
            << QByteArray("Milk,Dairy\r\nCr\xE8me,Dairy\r\nBread\r\n")
            << QStringList {"Milk|Dairy|<absent>|<absent>|<absent>|<absent>",
                   "Crème|Dairy|<absent>|<absent>|<absent>|<absent>",
                   "Bread|<absent>|<absent>|<absent>|<absent>|<absent>"}
            << "Windows-1252, lines 0 UTF-8 1 Windows-1252";
        QTest::newRow("ASCII alone: Windows-1252")
            << QByteArray("Milk\r\n")
            << QStringList {"Milk|<absent>|<absent>|<absent>|<absent>|<absent>"}
            << "Windows-1252, lines 0 UTF-8 0 Windows-1252";
        // Files larger than a read chunk: the choice holds over all of the file.
        const QByteArray chunkOfX((1 << 20) - 1, 'x');
        const QString xs = QString::fromLatin1(chunkOfX);
        QTest::newRow("UTF-8, a character across the first chunk's end")
            << chunkOfX + "\xC3\xA9\r\n\xE2\x82\xAC"
            << QStringList {xs + QStringLiteral("é|<absent>|<absent>|<absent>|<absent>|<absent>"),
                   "€|<absent>|<absent>|<absent>|<absent>|<absent>"}
            << "UTF-8, lines 2 UTF-8 0 Windows-1252";
        QTest::newRow("UTF-8, then a Windows-1252 line past the first chunk")
            << "caf\xC3\xA9,\xE2\x82\xAC\r\n" + chunkOfX + "\r\nCr\xE8me"
            << QStringList {"café|€|<absent>|<absent>|<absent>|<absent>",
                   xs + "|<absent>|<absent>|<absent>|<absent>|<absent>",
                   "Crème|<absent>|<absent>|<absent>|<absent>|<absent>"}
            << "Windows-1252, lines 1 UTF-8 1 Windows-1252";
        QTest::newRow("UTF-8 cut in the middle of its last character")
            << QByteArray("caf\xC3\xA9\r\nx\xE2\x82")
            << QStringList {"café|<absent>|<absent>|<absent>|<absent>|<absent>",
                   "xâ‚|<absent>|<absent>|<absent>|<absent>|<absent>"}
            << "Windows-1252, lines 1 UTF-8 1 Windows-1252";
        QTest::newRow("a U+FEFF after the start is text")
            << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx")
            << QStringList {QStringLiteral("\uFEFFx|<absent>|<absent>|<absent>|<absent>|<absent>")}
            << "UTF-8, lines 0 UTF-8 0 Windows-1252";
    }
    void encodings()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        QFETCH(QString, encoding);
        ItemTable table;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        const ItemCsv::OpenResult result = ItemCsv::openTable(table, buffer);
        QVERIFY(result.succeeded());
        QCOMPARE(describe(table), rows);
        const QString names[] = {"Windows-1252", "UTF-8", "UTF-16 LE", "UTF-16 BE"};
        QCOMPARE(QStringLiteral("%1, lines %2 UTF-8 %3 Windows-1252")
                     .arg(names[int(result.encoding)])
                     .arg(result.lineEncodings.utf8)
                     .arg(result.lineEncodings.windows1252),
            encoding);
    }

    // The rows a device claims to hold are only a hint for the memory to set aside. Guards
    // against the fault where a guess from the first chunk asked for tens of gigabytes and
    // ended the program.
    void deviceThatClaimsATerabyteOpensFully()
    {
        ItemTable table;
        ClaimingDevice device(QByteArray(qsizetype(2) * 1024 * 1024, '\n'), qint64(1) << 40);
        device.open(QIODevice::ReadOnly);
        const ItemCsv::OpenResult result = ItemCsv::openTable(table, device);
        QVERIFY(result.succeeded());
        QCOMPARE(table.size(), 2 * 1024 * 1024);
        QCOMPARE(describe(table).mid(0, 1), QStringList {blankRow});
    }

    // Memory that runs out while a file is read drops that file's rows and leaves the table.
    void outOfMemoryLeavesTheTable()
    {
        ItemTable table;
        fill(table, {"Milk|<absent>|<absent>|<absent>|<absent>|<absent>", blankRow});
        const QStringList before = describe(table);
        ClaimingDevice device(QByteArray("a,b\r\n").repeated(1000), 5000, true);
        device.open(QIODevice::ReadOnly);
        const ItemCsv::OpenResult result = ItemCsv::openTable(table, device);
        QCOMPARE(result.outcome, ItemCsv::OpenOutcome::OutOfMemory);
        QCOMPARE(describe(table), before);
        QCOMPARE(table.currentRow(), 1);
        QCOMPARE(table.isPending(), true);
    }

    void roundTripKeepsEveryValue()
    {
        ItemTable table;
        QAbstractItemModelTester tester(&table);
        fill(table, {"Milk|Dairy|1.20|Item|Corner shop|4", blankRow, "Crème|<absent>||Box|€|  7 "});
        const QByteArray bytes = save(table);
        QCOMPARE(read(bytes),
            QStringList({"Milk|Dairy|1.20|Item|Corner shop|4", "|||||", "Crème|||Box|€|  7 "}));
        QCOMPARE(read(bytes).size(), table.size());
    }

    void refusedValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("refused");
        QTest::newRow("comma") << "Eggs, large"
                               << "row 1, column 4: comma";
        QTest::newRow("LF") << "two\nlines"
                            << "row 1, column 4: line break";
        QTest::newRow("CR") << "two\rlines"
                            << "row 1, column 4: line break";
        QTest::newRow("CJK") << "牛奶"
                             << "row 1, column 4: character U+725B, character U+5976";
        QTest::newRow("emoji") << "Milk 🥛"
                               << "row 1, column 4: character U+1F95B";
        QTest::newRow("Windows-1252 letters are fine") << "Crème brûlée € Œ ™ \"x\"" << QString();
        QTest::newRow("NUL") << QStringLiteral("a") + QChar(0) + QStringLiteral("b")
                             << "row 1, column 4: control character U+0000";
        QTest::newRow("U+001F, the last C0 control") << "a\u001F"
                                                     << "row 1, column 4: control character U+001F";
        QTest::newRow("DEL") << "\u007F"
                             << "row 1, column 4: control character U+007F";
        QTest::newRow("U+0081, which the unassigned byte 81 reads as")
            << "\u0081"
            << "row 1, column 4: control character U+0081";
        QTest::newRow("U+009F, the last C1 control") << "x\u009F"
                                                     << "row 1, column 4: control character U+009F";
        // Plain values are passed over eight bytes at a time: a reason in any byte of a word.
        QTest::newRow("comma ending the second eight bytes") << "Sixteen letter,"
                                                             << "row 1, column 4: comma";
        QTest::newRow("DEL in the second eight bytes")
            << "abcdefghij\u007Fkl"
            << "row 1, column 4: control character U+007F";
        QTest::newRow("U+0001 after sixteen plain bytes")
            << "abcdefghijklmnop\u0001"
            << "row 1, column 4: control character U+0001";
        QTest::newRow("sixteen plain bytes, tilde and space at the ends")
            << "~bcdefghijklmno " << QString();
        QTest::newRow("Tab is fine") << "a\tb" << QString();
        QTest::newRow("no-break space after the controls is fine") << "a\u00A0b" << QString();
        // Every distinct reason is named, so that mending one does not bring up the next.
        QTest::newRow("a price from a web page: a comma and a narrow no-break space")
            << "1,95\u202F€"
            << "row 1, column 4: comma, character U+202F";
        QTest::newRow("in one byte a character: two commas and a control character")
            << "a,b\u0001,c"
            << "row 1, column 4: comma, control character U+0001";
        QTest::newRow("five reasons named, then how many more")
            << "\u0100,\u0101\u0100\u0102\u0103\u0104\u0105"
            << "row 1, column 4: character U+0100, comma, character U+0101, character U+0102, "
               "character U+0103, 2 more";
    }
    void refusedValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, refused);
        ItemTable table;
        fill(table, {"a|b|c|d|e|f", QStringLiteral("a|b|c|d|%1|f").arg(value)});
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        const ItemCsv::SaveResult result = ItemCsv::saveTable(table, buffer);
        if (refused.isEmpty()) {
            QVERIFY(result.succeeded());
            return;
        }
        QVERIFY(result.firstRefusedValue());
        const auto reason = [](const ItemCsv::Reason &found) {
            switch (found.kind) {
            case ItemCsv::ReasonKind::Comma:
                return QStringLiteral("comma");
            case ItemCsv::ReasonKind::LineBreak:
                return QStringLiteral("line break");
            case ItemCsv::ReasonKind::ControlCharacter:
                return QStringLiteral("control character U+")
                    + QString::number(uint(found.character), 16).toUpper().rightJustified(4, u'0');
            case ItemCsv::ReasonKind::UnrepresentableCharacter:
                break;
            }
            return QStringLiteral("character U+")
                + QString::number(uint(found.character), 16).toUpper().rightJustified(4, u'0');
        };
        const ItemCsv::RefusedValue first = *result.firstRefusedValue();
        QStringList reasons;
        for (const ItemCsv::Reason &found : first.reasons)
            reasons.append(reason(found));
        if (const qsizetype more = first.reasonCount - reasons.size(); more > 0)
            reasons.append(QStringLiteral("%1 more").arg(more));
        QCOMPARE(QStringLiteral("row %1, column %2: %3")
                     .arg(first.row)
                     .arg(position(first.column))
                     .arg(reasons.join(QStringLiteral(", "))),
            refused);
        QCOMPARE(buffer.data(), QByteArray());
        QCOMPARE(table.currentRow(), 1);
        QCOMPARE(table.isPending(), true);
    }

    void writeFailureIsReported()
    {
        ItemTable table;
        fill(table, {"Milk|Dairy|1.20|Item|Corner shop|4"});
        FailingDevice device({}, 10);
        device.open(QIODevice::WriteOnly);
        const ItemCsv::SaveResult result = ItemCsv::saveTable(table, device);
        QCOMPARE(result.error, QStringLiteral("No space left on device"));
    }

    void readFailureKeepsTheRowsBeforeIt()
    {
        ItemTable table;
        FailingDevice device("a\r\nb\r\nc,partial", 8);
        device.open(QIODevice::ReadOnly);
        const ItemCsv::OpenResult result = ItemCsv::openTable(table, device);
        QCOMPARE(result.error, QStringLiteral("Input/output error"));
        QCOMPARE(result.lines, 2);
        QCOMPARE(describe(table),
            QStringList({"a|<absent>|<absent>|<absent>|<absent>|<absent>",
                "b|<absent>|<absent>|<absent>|<absent>|<absent>"}));
    }
};

QTEST_GUILESS_MAIN(tst_CsvFormat)
#include "tst_csvformat.moc"
