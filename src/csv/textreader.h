#pragma once

#include "csvformat.h"
#include "dialect.h"
#include "filetext.h"
#include "itemrow.h"
#include "linelayout.h"

#include <QList>
#include <QStringList>

#include <optional>
#include <vector>

namespace ItemCsv {

// How a read ended.
enum class ReadOutcome {
    Read,
    // The file is not written as an item file: its text waits to be read in a dialect.
    NotItemFile,
    // The file holds a NUL byte near its start: it is not text.
    NotText,
    // The device failed (`error`); the rows of the lines before the failure are kept.
    Failed,
    // Progress asked to stop: there are no rows.
    Cancelled,
    // The rows did not fit in memory: the rows are dropped.
    OutOfMemory,
    // Line `tooLongLine` is longer than a row can hold (ItemRow::maxLength): the rows are
    // dropped.
    LineTooLong,
};

// The values of one line that go to no column.
struct LeftOutValues
{
    qint64 line = 0;
    QStringList values;
};

// What reading a file's text in a dialect gives: the rows, and what a preview shows of them and
// lists as left out before any row is added.
struct TextReading
{
    // How many of LeftOutValues a reading keeps, and how much of each value.
    static constexpr qsizetype ListedLines = 10;
    static constexpr qsizetype ListedLength = 40;

    ReadOutcome outcome = ReadOutcome::Read;
    // The first rows, as many as were asked for.
    std::vector<ItemRow> rows;
    // With a row check: those of the rows that it could not clear, by their index in `rows`.
    std::optional<std::vector<int>> rowsToCheck;
    // For a preview: every value of those rows' records, as much of each as a cell shows.
    QList<QStringList> values;
    // The rows that the whole text gives.
    qint64 rowCount = 0;
    qint64 tooLongLine = 0;
    // How many columns the widest line has, and which of them hold a value anywhere but in a
    // heading line.
    qsizetype columns = 0;
    QList<bool> columnHasValue;
    // The values of the heading line, when the dialect has one.
    QStringList headings;
    // Without a heading line: the lines with values past the sixth column that go to no column,
    // the first ListedLines of them with those values.
    qint64 linesWithExtraValues = 0;
    QList<LeftOutValues> extraValues;
    // The line of a quote that is never closed, or 0.
    qint64 unclosedQuoteLine = 0;
    // Whether every Price is digits with at most one comma, and one of them digits, a comma and
    // digits ("1,15").
    bool decimalCommaFound = false;
};

// How much of the text a reading goes through.
enum class Extent {
    WholeText,
    // Only as far as the rows asked for: their values, without what the rest would list.
    FirstRows,
};

// Reads the whole text in the dialect into rows. Progress counts characters and is told at
// least every MiB of text or 65,536 lines.
// Each row is checked with `check`, when there is one, while it is at hand.
TextReading readText(const FileText &text, const Dialect &dialect, const Progress &progress = {},
    RowCheck check = nullptr);
// Reads the text for a preview: the rows of its first `rows` records with their values, and
// what the rest of the text would list.
TextReading previewText(const FileText &text, const Dialect &dialect, qsizetype rows,
    Extent extent = Extent::WholeText, const Progress &progress = {});
// The values of the first line, read at the separator with the quoting.
QStringList headingsOf(const FileText &text, char separator, Quoting quoting);

// Turns the records of a file in a dialect into rows: the one place where a file's values
// become an item row, whichever dialect the file is read in. It notes on the way what a
// preview lists.
class RowReader
{
public:
    // Rows are made of the first `rowLimit` records, and with `keepValues` their values kept;
    // with `check`, each row is checked with it (TextReading::rowsToCheck).
    RowReader(const Dialect &dialect, TextReading &reading, qsizetype rowLimit,
        const Progress &progress, bool keepValues = false, RowCheck check = nullptr);

    // A line of a dialect whose quotes are text, and the scan of it. False when it stops: a
    // line too long for a row, or told to stop.
    bool addLine(QByteArrayView line, const LineLayout &layout, qint64 number);
    bool addLine(QStringView line, const LineLayout &layout, qint64 number);
    // The values of a record that began on line `number` and spans `length` characters.
    template<typename View>
    bool addRecord(const QList<View> &values, qint64 number, qsizetype length);
    // After the last record.
    void finish();

private:
    template<typename View> bool addItemLine(View line, const LineLayout &layout, qint64 number);
    // `cleared`: the line's scan showed that the row holds no refused value.
    bool addRow(
        const std::array<FieldText, ColumnCount> &fields, std::uint8_t present, bool cleared);
    // The Price as it goes into the row, noting what it is written like.
    template<typename View> View price(View value);
    template<typename View> void noteExtraValues(const QList<View> &values, qint64 number);

    const Dialect &m_dialect;
    TextReading &m_reading;
    qsizetype m_rowLimit;
    const Progress &m_progress;
    const bool m_itemFile;
    const bool m_keepValues;
    const RowCheck m_check;
    bool m_headingToRead;
    bool m_priceDigits = true;
    bool m_priceDecimalComma = false;
    RowArena m_arena;
    QByteArray m_bytes;
    QString m_utf16;
};

} // namespace ItemCsv
