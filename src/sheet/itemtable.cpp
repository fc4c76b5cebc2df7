#include "itemtable.h"

#include "blockrows.h"

#include <algorithm>
#include <iterator>
#include <new>

ItemTable::ItemTable(QObject *parent)
    : QAbstractTableModel(parent)
{
}

bool ItemTable::hasCurrentRow() const
{
    return !m_onDeletedRow && m_cursor >= 0 && m_cursor < size();
}

void ItemTable::placeCursor(int row, bool onDeletedRow)
{
    m_cursor = row;
    m_onDeletedRow = onDeletedRow;
    Q_EMIT cursorMoved();
}

void ItemTable::AddNew()
{
    commit();
    const int row = size();
    beginInsertRows({}, row, row);
    m_rows.emplace_back();
    endInsertRows();
    record({row, 1, {}});
    m_pending = Pending::NewRow;
    placeCursor(row);
}

bool ItemTable::Update()
{
    if (!hasCurrentRow())
        return false;
    commit();
    return true;
}

bool ItemTable::Delete()
{
    if (!hasCurrentRow())
        return false;
    const int row = m_cursor;
    beginRemoveRows({}, row, row);
    ItemRow removed = std::move(m_rows[std::size_t(row)]);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    record({row, 0, {std::move(removed)}});
    m_pending = Pending::None;
    placeCursor(row, true);
    return true;
}

bool ItemTable::MoveFirst()
{
    if (m_rows.empty())
        return false;
    commit();
    placeCursor(0);
    return true;
}

bool ItemTable::MoveLast()
{
    if (m_rows.empty())
        return false;
    commit();
    placeCursor(size() - 1);
    return true;
}

bool ItemTable::MoveNext()
{
    if (m_onDeletedRow) {
        // The row after the removed one now sits at the removed row's index.
        placeCursor(m_cursor);
        return true;
    }
    if (!hasCurrentRow())
        return false;
    commit();
    placeCursor(m_cursor + 1);
    return true;
}

bool ItemTable::Move(int row)
{
    if (row < 0 || row >= size())
        return false;
    if (row == currentRow())
        return true;
    commit();
    placeCursor(row);
    return true;
}

int ItemTable::RecordCount() const
{
    return size() - (m_pending == Pending::NewRow ? 1 : 0);
}

std::optional<QString> ItemTable::GetString(
    int rowCount, QStringView columnSeparator, QStringView rowSeparator, QStringView nullText)
{
    if (!hasCurrentRow() || rowCount < 0)
        return std::nullopt;
    commit();
    const int first = m_cursor;
    const int last = first + std::min(rowCount, size() - first);

    qsizetype length = 0;
    for (int r = first; r < last; ++r) {
        const ItemRow &row = m_rows[std::size_t(r)];
        for (const Column column : AllColumns)
            length += row.isPresent(column) ? row.text(column).size() : nullText.size();
    }
    length += qsizetype(last - first)
        * ((ColumnCount - 1) * columnSeparator.size() + rowSeparator.size());

    QString text;
    text.reserve(length);
    for (int r = first; r < last; ++r) {
        const ItemRow &row = m_rows[std::size_t(r)];
        for (const Column column : AllColumns) {
            if (column != Column::ItemName)
                text += columnSeparator;
            if (row.isPresent(column))
                row.text(column).appendTo(text);
            else
                text += nullText;
        }
        text += rowSeparator;
    }
    placeCursor(last);
    return text;
}

std::optional<QString> ItemTable::fieldValue(Column column) const
{
    if (!hasCurrentRow())
        return std::nullopt;
    return m_rows[std::size_t(m_cursor)].field(column);
}

bool ItemTable::setFieldValue(Column column, const QString &value)
{
    if (!hasCurrentRow() || !m_rows[std::size_t(m_cursor)].fits(column, value))
        return false;
    recordChangeOf(m_cursor);
    m_rows[std::size_t(m_cursor)].setField(column, value);
    if (m_pending == Pending::None)
        m_pending = Pending::ChangedRow;
    const QModelIndex changed = index(m_cursor, position(column));
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

void ItemTable::appendRows(std::span<ItemRow> rows, const std::vector<int> *rowsToCheck)
{
    commit();
    if (rows.empty())
        return;
    const int first = size();
    m_rows.reserve(m_rows.size() + rows.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.insert(
        m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endAppend(first, rowsToCheck);
}

void ItemTable::appendRows(std::vector<ItemRow> &&rows, const std::vector<int> *rowsToCheck)
{
    if (!m_rows.empty() || rows.empty()) {
        appendRows(std::span<ItemRow>(rows), rowsToCheck);
        return;
    }
    // A million rows read from a file would otherwise exist twice for a moment.
    commit();
    beginInsertRows({}, 0, int(rows.size()) - 1);
    m_rows = std::move(rows);
    endAppend(0, rowsToCheck);
}

void ItemTable::endAppend(int first, const std::vector<int> *rowsToCheck)
{
    m_rowsToCheck = rowsToCheck;
    endInsertRows();
    m_rowsToCheck = nullptr;
    record({first, size() - first, {}});
    placeCursor(size() - 1);
}

ItemTable::BlockResult ItemTable::setBlock(
    int row, int column, QStringView text, QChar separator, const Progress &progress)
{
    using Outcome = BlockResult::Outcome;
    if (row < 0 || row > size() || column < 0 || column >= ColumnCount || text.isEmpty())
        return {Outcome::Unchanged};
    BlockRows block(*this, row, column);
    // A paste of many rows into a table of fewer takes the table's rows into the block's vector,
    // which was made large enough as it grew, instead of a second vector of a million rows.
    bool intoBlock = false;
    // Then the rows that the changed ones replace go to the journal in a vector of their own.
    std::vector<ItemRow> replaced;
    try {
        if (const BlockResult read = block.read(text, separator, progress);
            read.outcome != Outcome::Set)
            return read;
        intoBlock = block.added > 0 && std::size_t(block.added) >= m_rows.size();
        (intoBlock ? block.rows : m_rows).reserve(m_rows.size() + std::size_t(block.added));
        replaced.reserve(intoBlock ? std::size_t(block.changed) : 0);
        if (m_journaling)
            m_journal.reserve(m_journal.size() + 2);
    } catch (const std::bad_alloc &) {
        return {Outcome::OutOfMemory};
    }

    // Nothing below allocates: the rows only move.
    const int changed = block.changed;
    const int added = block.added;
    if (changed > 0) {
        const int from = row + block.first;
        const auto at = m_rows.begin() + from;
        std::swap_ranges(at, at + changed, block.rows.begin());
        m_rowsToCheck = m_rowCheck ? &block.changedToCheck : nullptr;
        Q_EMIT dataChanged(index(from, column), index(from + changed - 1, ColumnCount - 1),
            {Qt::DisplayRole, Qt::EditRole});
        m_rowsToCheck = nullptr;
        if (m_cursor >= from && m_cursor < from + changed && m_pending == Pending::None)
            m_pending = Pending::ChangedRow;
    }
    const int end = size();
    if (added > 0)
        appendBlockRows(block, intoBlock, replaced);
    // The journal keeps the changed rows as they were, which the front of the block's rows
    // held.
    if (changed > 0 && !intoBlock) {
        block.rows.erase(block.rows.begin() + changed, block.rows.end());
        replaced = std::move(block.rows);
    }
    if (changed > 0)
        record({row + block.first, changed, std::move(replaced)});
    if (added > 0)
        record({end, added, {}});
    return {Outcome::Set};
}

void ItemTable::appendBlockRows(BlockRows &block, bool intoBlock, std::vector<ItemRow> &replaced)
{
    const int end = size();
    beginInsertRows({}, end, end + block.added - 1);
    const auto newRows = block.rows.begin() + block.changed;
    if (intoBlock) {
        replaced.insert(replaced.end(), std::make_move_iterator(block.rows.begin()),
            std::make_move_iterator(newRows));
        block.rows.erase(block.rows.begin(), newRows);
        block.rows.insert(block.rows.begin(), std::make_move_iterator(m_rows.begin()),
            std::make_move_iterator(m_rows.end()));
        m_rows.swap(block.rows);
    } else {
        m_rows.insert(m_rows.end(), std::make_move_iterator(newRows),
            std::make_move_iterator(block.rows.end()));
    }
    m_rowsToCheck = m_rowCheck ? &block.addedToCheck : nullptr;
    endInsertRows();
    m_rowsToCheck = nullptr;
}

void ItemTable::record(Splice splice)
{
    if (m_journaling)
        m_journal.push_back(std::move(splice));
}

// Keeps a row as it was before its first change since the journal last took note of it. A row
// that the last splice put in place needs nothing: undoing that splice takes it away whole.
void ItemTable::recordChangeOf(int row)
{
    if (!m_journaling)
        return;
    if (!m_journal.empty()) {
        Splice &last = m_journal.back();
        if (row >= last.at && row < last.at + last.count)
            return;
        // Rows changed one after another make one splice.
        if (last.count == int(last.rows.size()) && row == last.at + last.count) {
            last.rows.push_back(m_rows[std::size_t(row)]);
            ++last.count;
            return;
        }
    }
    m_journal.push_back({row, 1, {m_rows[std::size_t(row)]}});
}

// Everything the splices need is allocated before the first of them moves a row, so that
// running out of memory leaves the table as it was and the step still whole.
void ItemTable::swapAll(std::vector<Splice> &splices, bool backwards)
{
    std::vector<std::vector<ItemRow>> taken(splices.size());
    std::size_t rows = m_rows.size();
    std::size_t most = rows;
    qint64 total = 0;
    for (std::size_t i = 0; i < splices.size(); ++i) {
        const Splice &splice = splices[backwards ? splices.size() - 1 - i : i];
        if (splice.count != int(splice.rows.size()))
            taken[i].resize(std::size_t(splice.count));
        rows = rows - std::size_t(splice.count) + splice.rows.size();
        most = std::max(most, rows);
        total += std::max(qint64(splice.count), qint64(splice.rows.size()));
    }
    m_rows.reserve(most);
    qint64 done = 0;
    const bool reporting = m_historyProgress && total > RowsPerReport;
    const std::function<void(int)> moved = [&](int count) {
        done += count;
        if (reporting)
            m_historyProgress(done, total);
    };
    for (std::size_t i = 0; i < splices.size(); ++i)
        swap(splices[backwards ? splices.size() - 1 - i : i], taken[i], moved);
}

// The rows move in parts of RowsPerReport, each told to the grid and to `moved` on its own, so
// that a change of a million rows shows how far it got. Rows are taken out from the back, so
// that the rows after them move once for each part.
void ItemTable::swap(
    Splice &splice, std::vector<ItemRow> &taken, const std::function<void(int)> &moved)
{
    const int count = splice.count;
    const int put = int(splice.rows.size());
    if (count == put) {
        for (int done = 0; done < count; done += RowsPerReport) {
            const int part = std::min(RowsPerReport, count - done);
            const auto at = m_rows.begin() + splice.at + done;
            std::swap_ranges(at, at + part, splice.rows.begin() + done);
            Q_EMIT dataChanged(index(splice.at + done, 0),
                index(splice.at + done + part - 1, ColumnCount - 1),
                {Qt::DisplayRole, Qt::EditRole});
            moved(part);
        }
        return;
    }
    for (int left = count; left > 0;) {
        const int part = std::min(RowsPerReport, left);
        left -= part;
        const auto at = m_rows.begin() + splice.at + left;
        std::move(at, at + part, taken.begin() + left);
        beginRemoveRows({}, splice.at + left, splice.at + left + part - 1);
        m_rows.erase(at, at + part);
        endRemoveRows();
        moved(part);
    }
    for (int done = 0; done < put; done += RowsPerReport) {
        const int part = std::min(RowsPerReport, put - done);
        const auto from = std::make_move_iterator(splice.rows.begin() + done);
        beginInsertRows({}, splice.at + done, splice.at + done + part - 1);
        m_rows.insert(m_rows.begin() + splice.at + done, from, from + part);
        endInsertRows();
        moved(part);
    }
    splice.count = put;
    splice.rows = std::move(taken);
}

void ItemTable::undo(std::vector<Splice> &splices)
{
    swapAll(splices, true);
}

void ItemTable::redo(std::vector<Splice> &splices)
{
    swapAll(splices, false);
}

void ItemTable::setCursorState(const CursorState &state)
{
    m_pending = state.pending;
    placeCursor(state.cursor, state.onDeletedRow);
}

int ItemTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

int ItemTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ItemTable::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    if (role == Qt::AccessibleDescriptionRole && m_describe)
        return m_describe(index);
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const ItemRow &row = m_rows[std::size_t(index.row())];
    const Column column = columnAt(index.column());
    if (!row.isPresent(column))
        return role == Qt::EditRole ? QVariant(QString()) : QVariant();
    // The grid lays out the whole text it is given to elide it, which for a value of
    // millions of characters (a file without line ends) takes a minute and gigabytes. No cell
    // shows more than a few hundred characters, so it is given no more than DisplayLength;
    // the editor still gets the whole value. Only the cells shown are ever made into strings.
    return row.text(column).toString(role == Qt::DisplayRole ? DisplayLength : row.length());
}

bool ItemTable::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    // The grid edits the current row only; a cell of another row becomes current first,
    // which commits the row that was pending, as a click on that row would.
    if (!Move(index.row()))
        return false;
    return setFieldValue(columnAt(index.column()), value.toString());
}

Qt::ItemFlags ItemTable::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
}

QVariant ItemTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < ColumnCount ? heading(columnAt(section)) : QVariant();
    return section + 1;
}
