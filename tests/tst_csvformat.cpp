#include "csvcommands.h"
#include "csvformat.h"
#include "tablerows.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QTest>

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

QByteArray save(ItemTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const ItemCsv::SaveResult result = ItemCsv::saveTable(table, buffer);
    if (!result.succeeded())
        qWarning("save failed");
    return buffer.data();
}

QStringList read(const QByteArray &bytes)
{
    ItemTable table;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const ItemCsv::ReadResult result = ItemCsv::appendLines(buffer, table);
    if (result.lines != table.size() || !result.error.isEmpty())
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
    }
    void writer()
    {
        QFETCH(QStringList, rows);
        QFETCH(QByteArray, bytes);
        ItemTable table;
        fill(table, rows);
        QCOMPARE(save(table), bytes);
        QCOMPARE(table.currentRow(), -1);
        QCOMPARE(table.RecordCount(), rows.size());
    }

    void reader_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("one word") << QByteArray(
            "Bread\r\n") << QStringList {"Bread|<absent>|<absent>|<absent>|<absent>|<absent>"};
        QTest::newRow("seventh part dropped")
            << QByteArray("a,b,c,d,e,f,g\r\n") << QStringList {"a|b|c|d|e|f"};
        QTest::newRow("five commas: six empty values")
            << QByteArray(",,,,,\r\n") << QStringList {"|||||"};
        QTest::newRow("empty line: six absent values")
            << QByteArray("\r\n") << QStringList {blankRow};
        QTest::newRow("quote is plain text") << QByteArray(
            "\"Milk\",\"a,b\"\r\n") << QStringList {R"("Milk"|"a|b"|<absent>|<absent>|<absent>)"};
        QTest::newRow("comma in a value shifts the rest") << QByteArray(
            "Eggs, large,Dairy,1,Item,Shop,4\r\n") << QStringList {"Eggs| large|Dairy|1|Item|Shop"};
        QTest::newRow("last line without line end")
            << QByteArray("a\r\nb")
            << QStringList {"a|<absent>|<absent>|<absent>|<absent>|<absent>",
                   "b|<absent>|<absent>|<absent>|<absent>|<absent>"};
        QTest::newRow("lone LF, lone CR and CR LF")
            << QByteArray("a\nb\rc\r\n")
            << QStringList {"a|<absent>|<absent>|<absent>|<absent>|<absent>",
                   "b|<absent>|<absent>|<absent>|<absent>|<absent>",
                   "c|<absent>|<absent>|<absent>|<absent>|<absent>"};
        QTest::newRow("CR then CR LF: an empty line between")
            << QByteArray("a\r\r\nb\r\n")
            << QStringList {"a|<absent>|<absent>|<absent>|<absent>|<absent>", blankRow,
                   "b|<absent>|<absent>|<absent>|<absent>|<absent>"};
        QTest::newRow("ends in the middle of CR LF")
            << QByteArray("a,b\r") << QStringList {"a|b|<absent>|<absent>|<absent>|<absent>"};
        QTest::newRow("Windows-1252 decoded") << QByteArray(
            "Cr\xE8me,\x80"
            "2\r\n") << QStringList {"Crème|€2|<absent>|<absent>|<absent>|<absent>"};
    }
    void reader()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        QCOMPARE(read(bytes), rows);
    }

    // The reader takes the file a megabyte at a time; lines and CR LF pairs that straddle two
    // pieces must come out whole.
    void linesAcrossReadChunks_data()
    {
        QTest::addColumn<int>("firstLineLength");
        QTest::newRow("CR last in the first chunk, LF first in the next") << (1 << 20) - 1;
        QTest::newRow("line end first in the next chunk") << (1 << 20);
        QTest::newRow("line through three chunks") << (1 << 21) + 5;
    }
    void linesAcrossReadChunks()
    {
        QFETCH(int, firstLineLength);
        const QByteArray longValue(firstLineLength, 'x');
        const QByteArray bytes = longValue + "\r\nnext,row\r\n";
        QCOMPARE(read(bytes),
            QStringList({QString::fromLatin1(longValue)
                    + QStringLiteral("|<absent>|<absent>|<absent>|<absent>|<absent>"),
                QStringLiteral("next|row|<absent>|<absent>|<absent>|<absent>")}));
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

    void unwritableValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("reason");
        QTest::newRow("comma") << "Eggs, large"
                               << "contains a comma, which would split it into two fields";
        QTest::newRow("LF") << "two\nlines"
                            << "contains a line break, which would split the row in two";
        QTest::newRow("CR") << "two\rlines"
                            << "contains a line break, which would split the row in two";
        QTest::newRow("CJK") << "牛奶"
                             << "contains the character \u201C牛\u201D (U+725B), which the file's "
                                "character set, Windows-1252, cannot hold";
        QTest::newRow("emoji")
            << "Milk 🥛"
            << "contains the character \u201C🥛\u201D (U+1F95B), which the file's "
               "character set, Windows-1252, cannot hold";
        QTest::newRow("Windows-1252 letters are fine") << "Crème brûlée € Œ ™ \"x\"" << QString();
    }
    void unwritableValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, reason);
        ItemTable table;
        fill(table, {"a|b|c|d|e|f", QStringLiteral("a|b|c|d|%1|f").arg(value)});
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        const ItemCsv::SaveResult result = ItemCsv::saveTable(table, buffer);
        if (reason.isEmpty()) {
            QVERIFY(result.succeeded());
            return;
        }
        QVERIFY(result.problem);
        QCOMPARE(QStringLiteral("row %1, column %2: %3")
                     .arg(result.problem->row)
                     .arg(position(result.problem->column))
                     .arg(result.problem->reason),
            QStringLiteral("row 1, column 4: %1").arg(reason));
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
        const ItemCsv::ReadResult result = ItemCsv::appendLines(device, table);
        QCOMPARE(result.error, QStringLiteral("Input/output error"));
        QCOMPARE(result.lines, 2);
        QCOMPARE(describe(table),
            QStringList({"a|<absent>|<absent>|<absent>|<absent>|<absent>",
                "b|<absent>|<absent>|<absent>|<absent>|<absent>"}));
    }
};

QTEST_GUILESS_MAIN(tst_CsvFormat)
#include "tst_csvformat.moc"
