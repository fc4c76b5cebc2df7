#include "blockrows.h"

#include <algorithm>
#include <new>
#include <optional>
#include <utility>

namespace {

// Progress is told at least every MiB of text or every 65,536 lines.
constexpr qsizetype CharactersPerReport = qsizetype(1) << 20;
constexpr int LinesPerReport = 65536;

// The fields of a row as they stand, and which are present.
std::uint8_t fieldsOf(const ItemRow &row, std::array<FieldText, ColumnCount> &fields)
{
    std::uint8_t present = 0;
    for (const Column column : AllColumns) {
        fields[std::size_t(position(column))] = row.text(column);
        if (row.isPresent(column))
            present |= ItemRow::bit(column);
    }
    return present;
}

} // namespace

BlockRows::BlockRows(const ItemTable &table, int row, int column)
    : m_table(table)
    , m_row(row)
    , m_column(column)
{
}

BlockRows::Result BlockRows::read(QStringView text, QChar separator, const Progress &progress)
{
    using Outcome = Result::Outcome;
    qsizetype done = 0;
    bool stopped = false;
    const Progress keepGoing = [&](qint64, qint64) {
        stopped = stopped || (progress && !progress(done, text.size()));
        return !stopped;
    };
    m_textSize = text.size();
    qsizetype start = 0;
    qsizetype nextReport = CharactersPerReport;
    ClipboardCells::Line cells;
    const Progress report = [&](qint64 at, qint64) {
        done = at;
        nextReport = at + CharactersPerReport;
        return keepGoing(done, text.size());
    };
    for (int line = 0;; ++line) {
        // The line's values, those past the last column dropped.
        const qsizetype end = ClipboardCells::readLine(
            text, start, separator, ColumnCount - m_column, cells, nextReport, report);
        if (end < 0)
            return {Outcome::Cancelled};
        m_readTo = end;
        if (line > 0 && line % LinesPerReport == 0) {
            done = end;
            if (!keepGoing(done, text.size()))
                return {Outcome::Cancelled};
        }
        if (const Result taken = addLine(line, cells, keepGoing); taken.outcome != Outcome::Set)
            return taken;
        if (end == text.size())
            break;
        start
            = end + (text[end] == u'\r' && end + 1 < text.size() && text[end + 1] == u'\n' ? 2 : 1);
        if (start == text.size())
            break;
    }
    return {first < 0 && added == 0 ? Outcome::Unchanged : Outcome::Set};
}

BlockRows::Result BlockRows::addLine(
    int line, const ClipboardCells::Line &cells, const Progress &keepGoing)
{
    using Outcome = Result::Outcome;
    const int at = m_row + line;
    if (at >= m_table.size())
        return append(at, cells, keepGoing);
    switch (merge(m_table.row(at), cells)) {
    case Merge::TooLong:
        return {Outcome::TooLong, at, m_tooLongColumn};
    case Merge::Unchanged:
        m_unchangedSince += first >= 0 ? 1 : 0;
        return {Outcome::Set};
    case Merge::Changed:
        break;
    }
    if (first < 0)
        first = line;
    for (; m_unchangedSince > 0; --m_unchangedSince) {
        std::array<FieldText, ColumnCount> kept;
        const std::uint8_t keptPresent = fieldsOf(m_table.row(at - m_unchangedSince), kept);
        take(*m_arena.make(kept, keptPresent), changedToCheck, int(rows.size()));
    }
    std::optional<ItemRow> built = m_arena.make(m_fields, m_present, keepGoing);
    if (!built)
        return {Outcome::Cancelled};
    take(std::move(*built), changedToCheck, int(rows.size()));
    changed = int(rows.size());
    return {Outcome::Set};
}

// The line's values over the fields of `current`, from the block's column on. A value equal to
// the cell's is not written, so an empty value leaves an absent field absent, and a row whose
// cells already hold the values does not change.
BlockRows::Merge BlockRows::merge(const ItemRow &current, const ClipboardCells::Line &cells)
{
    m_present = fieldsOf(current, m_fields);
    qsizetype length = current.length();
    bool differs = false;
    for (int v = 0; v < cells.count; ++v) {
        FieldText &field = m_fields[std::size_t(m_column) + std::size_t(v)];
        const QStringView value = cells.values[std::size_t(v)];
        if (field == value)
            continue;
        differs = true;
        length += value.size() - field.size();
        if (length > ItemRow::maxLength) {
            m_tooLongColumn = m_column + v;
            return Merge::TooLong;
        }
        field = value;
        m_present |= ItemRow::bit(columnAt(m_column + v));
    }
    return differs ? Merge::Changed : Merge::Unchanged;
}

// A row after the table's last one, of the line's values, each present, the empty ones too.
BlockRows::Result BlockRows::append(
    int at, const ClipboardCells::Line &cells, const Progress &keepGoing)
{
    using Outcome = Result::Outcome;
    m_fields = {};
    m_present = 0;
    qsizetype length = 0;
    for (int v = 0; v < cells.count; ++v) {
        length += cells.values[std::size_t(v)].size();
        if (length > ItemRow::maxLength)
            return {Outcome::TooLong, at, m_column + v};
        m_fields[std::size_t(m_column) + std::size_t(v)] = cells.values[std::size_t(v)];
        m_present |= ItemRow::bit(columnAt(m_column + v));
    }
    std::optional<ItemRow> built = m_arena.make(m_fields, m_present, keepGoing);
    if (!built)
        return {Outcome::Cancelled};
    take(std::move(*built), addedToCheck, added);
    ++added;
    return {Outcome::Set};
}

void BlockRows::take(ItemRow &&row, std::vector<int> &toCheck, int index)
{
    if (const RowCheck check = m_table.rowCheck(); check && check(row))
        toCheck.push_back(index);
    if (rows.size() == rows.capacity())
        reserveMore();
    rows.push_back(std::move(row));
}

// A paste of a million lines would otherwise move its rows over and over while they grow, and
// end with a vector up to twice too large: the text read so far gives a guess of the rows to
// come, with room for the table's rows when the paste will likely add at least as many
// (ItemTable::setBlock then takes them in). Never more than four times the rows already built,
// in case the lines to come are far longer.
void BlockRows::reserveMore()
{
    const std::size_t built = rows.size();
    if (built == 0 || m_readTo <= 0)
        return;
    const double guess = double(built) / double(m_readTo) * double(m_textSize) * 1.05;
    const auto tableRows = double(m_table.size());
    const bool addsMore = guess - (tableRows - m_row) >= tableRows;
    const std::size_t extra = addsMore ? std::size_t(tableRows) : 0;
    const std::size_t wanted = std::min(std::size_t(guess) + 1, 4 * built) + extra;
    try {
        rows.reserve(wanted);
    } catch (const std::bad_alloc &) {
        // The vector grows by itself then, as far as memory allows.
    }
}
