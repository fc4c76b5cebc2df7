#include "itemtable.h"

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
            length += row.isPresent(column) ? row.fieldView(column).size() : nullText.size();
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
            text += row.isPresent(column) ? row.fieldView(column) : nullText;
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

void ItemTable::appendRows(std::span<ItemRow> rows)
{
    commit();
    if (rows.empty())
        return;
    const int first = size();
    m_rows.reserve(m_rows.size() + rows.size());
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.insert(
        m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    record({first, int(rows.size()), {}});
    placeCursor(size() - 1);
}

void ItemTable::appendRows(std::vector<ItemRow> &&rows)
{
    if (!m_rows.empty() || rows.empty()) {
        appendRows(std::span<ItemRow>(rows));
        return;
    }
    // A million rows read from a file would otherwise exist twice for a moment.
    commit();
    beginInsertRows({}, 0, int(rows.size()) - 1);
    m_rows = std::move(rows);
    endInsertRows();
    record({0, size(), {}});
    placeCursor(size() - 1);
}

ItemTable::BlockResult ItemTable::setBlock(int row, int column, const QList<QStringList> &lines)
{
    using Outcome = BlockResult::Outcome;
    if (row < 0 || row > size() || column < 0 || column >= ColumnCount || lines.isEmpty())
        return {Outcome::Unchanged};
    const int existing = std::min(int(lines.size()), size() - row);
    const int added = int(lines.size()) - existing;
    const auto width = [column](const QStringList &values) {
        return std::min(int(values.size()), ColumnCount - column);
    };
    // A value equal to the cell's is not written, so an empty value leaves an absent field
    // absent, and a row whose cells already hold the values does not change.
    const auto changes = [&](int line) {
        const ItemRow &itemRow = m_rows[std::size_t(row + line)];
        const QStringList &values = lines[line];
        for (int v = 0; v < width(values); ++v) {
            if (QStringView(values[v]) != itemRow.fieldView(columnAt(column + v)))
                return true;
        }
        return false;
    };
    int first = 0;
    while (first < existing && !changes(first))
        ++first;
    int last = existing;
    while (last > first && !changes(last - 1))
        --last;
    if (first == last && added == 0)
        return {Outcome::Unchanged};

    // The rows as they will be: copies of the existing rows from the first that changes to the
    // last, then the new rows.
    std::vector<ItemRow> rows;
    BlockResult tooLong {Outcome::Set};
    const auto build = [&](int line) {
        ItemRow &itemRow = line < existing ? rows.emplace_back(m_rows[std::size_t(row + line)])
                                           : rows.emplace_back();
        const QStringList &values = lines[line];
        for (int v = 0; v < width(values); ++v) {
            const Column at = columnAt(column + v);
            if (line < existing && QStringView(values[v]) == itemRow.fieldView(at))
                continue;
            if (!itemRow.setField(at, values[v])) {
                tooLong = {Outcome::TooLong, row + line, column + v};
                return false;
            }
        }
        return true;
    };
    try {
        rows.reserve(std::size_t(last - first + added));
        for (int line = first; line < last; ++line) {
            if (!build(line))
                return tooLong;
        }
        for (int line = existing; line < int(lines.size()); ++line) {
            if (!build(line))
                return tooLong;
        }
        m_rows.reserve(m_rows.size() + std::size_t(added));
        if (m_journaling)
            m_journal.reserve(m_journal.size() + 2);
    } catch (const std::bad_alloc &) {
        return {Outcome::OutOfMemory};
    }

    // Nothing below allocates: the rows only move.
    const int changed = last - first;
    if (changed > 0) {
        const auto at = m_rows.begin() + row + first;
        std::swap_ranges(at, at + changed, rows.begin());
        Q_EMIT dataChanged(index(row + first, column), index(row + last - 1, ColumnCount - 1),
            {Qt::DisplayRole, Qt::EditRole});
        if (m_cursor >= row + first && m_cursor < row + last && m_pending == Pending::None)
            m_pending = Pending::ChangedRow;
    }
    const int end = size();
    if (added > 0) {
        beginInsertRows({}, end, end + added - 1);
        m_rows.insert(m_rows.end(), std::make_move_iterator(rows.begin() + changed),
            std::make_move_iterator(rows.end()));
        endInsertRows();
    }
    // The journal keeps the changed rows as they were, which the front of `rows` now holds.
    if (changed > 0) {
        rows.erase(rows.begin() + changed, rows.end());
        record({row + first, changed, std::move(rows)});
    }
    if (added > 0)
        record({end, added, {}});
    return {Outcome::Set};
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
    for (std::size_t i = 0; i < splices.size(); ++i) {
        const Splice &splice = splices[backwards ? splices.size() - 1 - i : i];
        if (splice.count != int(splice.rows.size()))
            taken[i].reserve(std::size_t(splice.count));
        rows = rows - std::size_t(splice.count) + splice.rows.size();
        most = std::max(most, rows);
    }
    m_rows.reserve(most);
    for (std::size_t i = 0; i < splices.size(); ++i)
        swap(splices[backwards ? splices.size() - 1 - i : i], taken[i]);
}

void ItemTable::swap(Splice &splice, std::vector<ItemRow> &taken)
{
    const auto at = m_rows.begin() + splice.at;
    if (splice.count == int(splice.rows.size())) {
        std::swap_ranges(at, at + splice.count, splice.rows.begin());
        if (splice.count > 0) {
            Q_EMIT dataChanged(index(splice.at, 0),
                index(splice.at + splice.count - 1, ColumnCount - 1),
                {Qt::DisplayRole, Qt::EditRole});
        }
        return;
    }
    taken.insert(
        taken.end(), std::make_move_iterator(at), std::make_move_iterator(at + splice.count));
    if (splice.count > 0) {
        beginRemoveRows({}, splice.at, splice.at + splice.count - 1);
        m_rows.erase(at, at + splice.count);
        endRemoveRows();
    }
    if (!splice.rows.empty()) {
        beginInsertRows({}, splice.at, splice.at + int(splice.rows.size()) - 1);
        m_rows.insert(m_rows.begin() + splice.at, std::make_move_iterator(splice.rows.begin()),
            std::make_move_iterator(splice.rows.end()));
        endInsertRows();
    }
    splice.count = int(splice.rows.size());
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
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const ItemRow &row = m_rows[std::size_t(index.row())];
    const Column column = columnAt(index.column());
    if (!row.isPresent(column))
        return role == Qt::EditRole ? QVariant(QString()) : QVariant();
    QStringView value = row.fieldView(column);
    // The grid lays out the whole text it is given to elide it, which for a value of
    // millions of characters (a file without line ends) takes a minute and gigabytes. No cell
    // shows more than a few hundred characters, so it is given no more than DisplayLength;
    // the editor still gets the whole value.
    if (role == Qt::DisplayRole && value.size() > DisplayLength) {
        value.truncate(
            value.at(DisplayLength - 1).isHighSurrogate() ? DisplayLength - 1 : DisplayLength);
    }
    return value.toString();
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
