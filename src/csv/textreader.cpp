#include "textreader.h"

#include "itemtable.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <limits>
#include <new>
#include <type_traits>

namespace ItemCsv {
namespace {

constexpr qsizetype CharactersPerReport = qsizetype(1) << 20;
constexpr qint64 LinesPerReport = 65536;

char16_t unit(char byte)
{
    return char16_t(uchar(byte));
}
char16_t unit(QChar character)
{
    return character.unicode();
}

// The text that a view of either kind is made from.
template<typename View>
using Storage = std::conditional_t<std::is_same_v<View, QByteArrayView>, QByteArray, QString>;

QString toString(QByteArrayView windows1252, qsizetype limit)
{
    return FieldText(windows1252).toString(limit);
}
QString toString(QStringView utf16, qsizetype limit)
{
    return FieldText(utf16).toString(limit);
}

// Digits with at most one comma, and at least one digit; `decimal` tells whether the comma
// stands between digits.
template<typename View> bool isDigitsWithComma(View value, bool &decimal)
{
    qsizetype comma = -1;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t character = unit(value[i]);
        if (character == u',' && comma < 0)
            comma = i;
        else if (character < u'0' || character > u'9')
            return false;
    }
    decimal = comma > 0 && comma < value.size() - 1;
    return value.size() > (comma >= 0 ? 1 : 0);
}

template<typename View> void splitAt(View line, char16_t separator, QList<View> &values)
{
    values.clear();
    if (line.isEmpty())
        return;
    qsizetype start = 0;
    for (;;) {
        const qsizetype next = line.indexOf(separator, start);
        values.append(line.sliced(start, (next < 0 ? line.size() : next) - start));
        if (next < 0)
            return;
        start = next + 1;
    }
}

// Cuts a whole text, each of its lines ended by LF, into records of values in a dialect.
template<typename View> class RecordParser
{
public:
    RecordParser(View text, const Dialect &dialect)
        : m_text(text)
        , m_separator(char16_t(uchar(dialect.separator)))
        , m_quotes(dialect.quoting == Quoting::Spreadsheet)
    {
    }

    // Reads the record that begins at `at` into `values`, and returns where the next begins.
    qsizetype read(qsizetype at, QList<View> &values)
    {
        values.clear();
        m_unescaped.clear();
        qsizetype end = lineEnd(at);
        // An empty line has no values at all.
        if (end == at)
            return next(at);
        for (;;) {
            if (m_quotes && m_text[at] == u'"') {
                values.append(quoted(at));
                if (at == m_text.size())
                    return at;
                end = lineEnd(at);
            } else {
                const qsizetype separator = m_text.first(end).indexOf(m_separator, at);
                const qsizetype valueEnd = separator < 0 ? end : separator;
                values.append(m_text.sliced(at, valueEnd - at));
                at = valueEnd;
            }
            if (at == end)
                return next(at);
            ++at;
        }
    }

    // The line the next record begins on, counted from 1.
    qint64 line() const { return m_line; }
    qint64 unclosedQuoteLine() const { return m_unclosedQuoteLine; }

private:
    qsizetype lineEnd(qsizetype from) const
    {
        const qsizetype end = m_text.indexOf(u'\n', from);
        return end < 0 ? m_text.size() : end;
    }
    qsizetype next(qsizetype lineEnd)
    {
        ++m_line;
        return std::min(lineEnd + 1, m_text.size());
    }

    // The quoted value whose opening quote is at `at`; `at` moves past its closing quote, or to
    // the end of the text for a quote that is never closed, whose value is the rest of the
    // text. A quote that neither doubles nor closes the value makes it plain text, quotes and
    // all, up to the separator or the line end after that quote.
    View quoted(qsizetype &at)
    {
        bool doubled = false;
        qsizetype from = at + 1;
        for (;;) {
            const qsizetype quote = m_text.indexOf(u'"', from);
            if (quote < 0) {
                if (m_unclosedQuoteLine == 0)
                    m_unclosedQuoteLine = m_line;
                return inner(at, std::max(at + 1, m_text.size() - 1), m_text.size(), doubled);
            }
            const char16_t after = quote + 1 < m_text.size() ? unit(m_text[quote + 1]) : u'\n';
            if (after == u'"') {
                doubled = true;
                from = quote + 2;
                continue;
            }
            if (after == m_separator || after == u'\n')
                return inner(at, quote, quote + 1, doubled);
            qsizetype end = quote + 1;
            while (end < m_text.size() && unit(m_text[end]) != m_separator
                && unit(m_text[end]) != u'\n')
                ++end;
            const View value = m_text.sliced(at, end - at);
            m_line += lineBreaks(value);
            at = end;
            return value;
        }
    }

    static qint64 lineBreaks(View value)
    {
        return std::count_if(value.begin(), value.end(), [](auto c) { return c == u'\n'; });
    }

    // The value between the opening quote at `at` and `end`; `at` moves to `next`.
    View inner(qsizetype &at, qsizetype end, qsizetype next, bool doubled)
    {
        const View value = m_text.sliced(at + 1, end - at - 1);
        m_line += lineBreaks(value);
        at = next;
        if (!doubled)
            return value;
        Storage<View> &text = m_unescaped.emplace_back();
        text.reserve(value.size());
        for (qsizetype i = 0; i < value.size(); ++i) {
            text.append(value[i]);
            if (value[i] == u'"' && i + 1 < value.size() && value[i + 1] == u'"')
                ++i;
        }
        return View(text);
    }

    View m_text;
    char16_t m_separator;
    bool m_quotes;
    qint64 m_line = 1;
    qint64 m_unclosedQuoteLine = 0;
    // The values of the record that had "" in them, with one quote for each pair. A list moves
    // its texts without moving their characters, which the views point into.
    QList<Storage<View>> m_unescaped;
};

// How far a reading goes and what it keeps.
struct Scope
{
    qsizetype rows = std::numeric_limits<qsizetype>::max();
    Extent extent = Extent::WholeText;
    bool keepValues = false;
    RowCheck check = nullptr;
};

template<typename View>
void readRecords(View text, const Dialect &dialect, const Scope &scope, const Progress &progress,
    TextReading &reading)
{
    qsizetype at = 0;
    bool stopped = false;
    const Progress keepGoing = [&](qint64, qint64) {
        stopped = stopped || (progress && !progress(at, text.size()));
        return !stopped;
    };
    RowReader reader(dialect, reading, scope.rows, keepGoing, scope.keepValues, scope.check);
    RecordParser<View> parser(text, dialect);
    QList<View> values;
    qsizetype reported = 0;
    while (at < text.size()) {
        const qint64 line = parser.line();
        const qsizetype start = at;
        at = parser.read(at, values);
        if (!reader.addRecord(values, line, std::max<qsizetype>(at - start - 1, 0)))
            break;
        if (scope.extent == Extent::FirstRows && reading.rowCount >= scope.rows)
            break;
        if (line % LinesPerReport == 0 || at - reported >= CharactersPerReport) {
            reported = at;
            if (!keepGoing(at, text.size()))
                break;
        }
    }
    reader.finish();
    reading.unclosedQuoteLine = parser.unclosedQuoteLine();
    if (stopped)
        reading.outcome = ReadOutcome::Cancelled;
    else if (reading.tooLongLine != 0)
        reading.outcome = ReadOutcome::LineTooLong;
    if (reading.outcome != ReadOutcome::Read) {
        std::vector<ItemRow>().swap(reading.rows);
        reading.rowsToCheck.reset();
    }
}

TextReading read(
    const FileText &text, const Dialect &dialect, const Scope &scope, const Progress &progress)
{
    TextReading reading;
    try {
        text.visit([&](auto view) { readRecords(view, dialect, scope, progress, reading); });
    } catch (const std::bad_alloc &) {
        reading = {};
        reading.outcome = ReadOutcome::OutOfMemory;
    }
    return reading;
}

} // namespace

TextReading readText(
    const FileText &text, const Dialect &dialect, const Progress &progress, RowCheck check)
{
    Scope scope;
    scope.check = check;
    return read(text, dialect, scope, progress);
}

TextReading previewText(const FileText &text, const Dialect &dialect, qsizetype rows, Extent extent,
    const Progress &progress)
{
    return read(text, dialect, {rows, extent, true}, progress);
}

QStringList headingsOf(const FileText &text, char separator, Quoting quoting)
{
    Dialect dialect;
    dialect.separator = separator;
    dialect.quoting = quoting;
    dialect.headingLine = true;
    return previewText(text, dialect, 0, Extent::FirstRows).headings;
}

RowReader::RowReader(const Dialect &dialect, TextReading &reading, qsizetype rowLimit,
    const Progress &progress, bool keepValues, RowCheck check)
    : m_dialect(dialect)
    , m_reading(reading)
    , m_rowLimit(rowLimit)
    , m_progress(progress)
    , m_itemFile(dialect.isItemFile())
    , m_keepValues(keepValues)
    , m_check(check)
    , m_headingToRead(dialect.headingLine)
{
    if (check)
        reading.rowsToCheck.emplace();
}

bool RowReader::addLine(QByteArrayView line, const LineLayout &layout, qint64 number)
{
    return addItemLine(line, layout, number);
}

bool RowReader::addLine(QStringView line, const LineLayout &layout, qint64 number)
{
    return addItemLine(line, layout, number);
}

// The item file's own reading, the one that a million lines go through: the line is cut at the
// commas its scan found, with nothing looked at twice.
template<typename View>
bool RowReader::addItemLine(View line, const LineLayout &layout, qint64 number)
{
    Q_ASSERT(m_itemFile);
    if (layout.separators[0] >= ColumnCount || line.size() > ItemRow::maxLength) {
        QList<View> values;
        splitAt(line, u',', values);
        return addRecord(values, number, line.size());
    }
    std::array<FieldText, ColumnCount> fields;
    std::uint8_t present = 0;
    const qsizetype parts = layout.values(0);
    for (qsizetype part = 0; part < parts; ++part) {
        const qsizetype start = part == 0 ? 0 : layout.cuts[std::size_t(part - 1)] + 1;
        const qsizetype end = part < parts - 1 ? layout.cuts[std::size_t(part)] : line.size();
        fields[std::size_t(part)] = FieldText(line.sliced(start, end - start));
        present |= ItemRow::bit(columnAt(int(part)));
    }
    m_reading.columns = std::max(m_reading.columns, parts);
    // A value holds no comma and no line end of its line, so a line of Windows-1252 bytes
    // without a control character holds no refused value: its row needs no check.
    return addRow(fields, present, std::is_same_v<View, QByteArrayView> && !layout.control);
}

template<typename View>
bool RowReader::addRecord(const QList<View> &values, qint64 number, qsizetype length)
{
    if (length > ItemRow::maxLength) {
        m_reading.tooLongLine = number;
        return false;
    }
    if (std::exchange(m_headingToRead, false)) {
        for (const View value : values)
            m_reading.headings.append(toString(value, TextReading::ListedLength));
        m_reading.columns = std::max(m_reading.columns, values.size());
        return true;
    }
    m_reading.columns = std::max(m_reading.columns, values.size());
    if (m_reading.columnHasValue.size() < values.size())
        m_reading.columnHasValue.resize(values.size());
    std::array<FieldText, ColumnCount> fields;
    std::uint8_t present = 0;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (!values[i].isEmpty())
            m_reading.columnHasValue[i] = true;
        const std::optional<Column> column
            = i < m_dialect.columns.size() ? m_dialect.columns[i] : std::nullopt;
        if (!column)
            continue;
        const View value = *column == Column::Price ? price(values[i]) : values[i];
        fields[std::size_t(position(*column))] = FieldText(value);
        present |= ItemRow::bit(*column);
    }
    if (!m_dialect.headingLine)
        noteExtraValues(values, number);
    if (m_keepValues && qsizetype(m_reading.rows.size()) < m_rowLimit) {
        QStringList &texts = m_reading.values.emplace_back();
        for (const View value : values)
            texts.append(toString(value, ItemTable::DisplayLength));
    }
    return addRow(fields, present, false);
}

bool RowReader::addRow(
    const std::array<FieldText, ColumnCount> &fields, std::uint8_t present, bool cleared)
{
    ++m_reading.rowCount;
    if (qsizetype(m_reading.rows.size()) >= m_rowLimit)
        return true;
    std::optional<ItemRow> row = m_arena.make(fields, present, m_progress);
    if (!row)
        return false;
    if (m_check && !cleared && m_check(*row))
        m_reading.rowsToCheck->push_back(int(m_reading.rows.size()));
    m_reading.rows.push_back(std::move(*row));
    return true;
}

template<typename View> View RowReader::price(View value)
{
    bool decimal = false;
    if (!value.isEmpty()) {
        if (!isDigitsWithComma(value, decimal))
            m_priceDigits = false;
        m_priceDecimalComma = m_priceDecimalComma || decimal;
    }
    if (!m_dialect.decimalComma || !decimal)
        return value;
    Storage<View> &converted = [this]() -> Storage<View> & {
        if constexpr (std::is_same_v<View, QByteArrayView>)
            return m_bytes;
        else
            return m_utf16;
    }();
    converted = Storage<View>(value.data(), value.size());
    if constexpr (std::is_same_v<View, QByteArrayView>)
        converted.replace(',', '.');
    else
        converted.replace(u',', u'.');
    return View(converted);
}

template<typename View> void RowReader::noteExtraValues(const QList<View> &values, qint64 number)
{
    QStringList extra;
    for (qsizetype i = ColumnCount; i < values.size(); ++i) {
        const bool leftOut = i >= m_dialect.columns.size() || !m_dialect.columns[i];
        if (leftOut && !values[i].isEmpty())
            extra.append(toString(values[i], TextReading::ListedLength));
    }
    if (extra.isEmpty())
        return;
    if (m_reading.linesWithExtraValues++ < TextReading::ListedLines)
        m_reading.extraValues.append({number, extra});
}

void RowReader::finish()
{
    m_reading.decimalCommaFound = m_priceDigits && m_priceDecimalComma;
}

} // namespace ItemCsv
