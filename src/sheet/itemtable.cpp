#include "itemtable.h"

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
    if (!hasCurrentRow())
        return false;
    recordChangeOf(m_cursor);
    ItemRow &row = m_rows[std::size_t(m_cursor)];
    row.setField(column, value);
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

bool ItemTable::setBlock(int row, int column, const QList<QStringList> &lines)
{
    if (row < 0 || row > size() || column < 0 || column >= ColumnCount || lines.isEmpty())
        return false;
    const int existing = std::min(int(lines.size()), size() - row);
    const auto width = [column](const QStringList &values) {
        return std::min(int(values.size()), ColumnCount - column);
    };
    int firstChanged = -1;
    int lastChanged = -1;
    for (int i = 0; i < existing; ++i) {
        ItemRow &itemRow = m_rows[std::size_t(row) + std::size_t(i)];
        const QStringList &values = lines[i];
        for (int v = 0; v < width(values); ++v) {
            // A value equal to the cell's is not written, so an empty value leaves an absent
            // field absent, and a row whose cells already hold the values is not changed.
            if (QStringView(values[v]) == itemRow.fieldView(columnAt(column + v)))
                continue;
            if (lastChanged != row + i) {
                recordChangeOf(row + i);
                lastChanged = row + i;
                if (firstChanged < 0)
                    firstChanged = lastChanged;
            }
            itemRow.setField(columnAt(column + v), values[v]);
        }
    }
    if (firstChanged >= 0) {
        Q_EMIT dataChanged(index(firstChanged, column), index(lastChanged, ColumnCount - 1),
            {Qt::DisplayRole, Qt::EditRole});
        if (m_cursor >= firstChanged && m_cursor <= lastChanged && m_pending == Pending::None)
            m_pending = Pending::ChangedRow;
    }
    if (existing < lines.size()) {
        const int first = size();
        const int added = int(lines.size()) - existing;
        beginInsertRows({}, first, first + added - 1);
        m_rows.reserve(m_rows.size() + std::size_t(added));
        for (int i = existing; i < lines.size(); ++i) {
            ItemRow &itemRow = m_rows.emplace_back();
            for (int v = 0; v < width(lines[i]); ++v)
                itemRow.setField(columnAt(column + v), lines[i][v]);
        }
        endInsertRows();
        record({first, added, {}});
        return true;
    }
    return firstChanged >= 0;
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
        // Rows changed one after another, as a paste changes them, make one splice.
        if (last.count == int(last.rows.size()) && row == last.at + last.count) {
            last.rows.push_back(m_rows[std::size_t(row)]);
            ++last.count;
            return;
        }
    }
    m_journal.push_back({row, 1, {m_rows[std::size_t(row)]}});
}

void ItemTable::swap(Splice &splice)
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
    std::vector<ItemRow> taken(
        std::make_move_iterator(at), std::make_move_iterator(at + splice.count));
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
    for (std::size_t i = splices.size(); i-- > 0;)
        swap(splices[i]);
}

void ItemTable::redo(std::vector<Splice> &splices)
{
    for (Splice &splice : splices)
        swap(splice);
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
