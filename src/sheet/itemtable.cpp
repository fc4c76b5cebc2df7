#include "itemtable.h"

const QStringList &ItemTable::fieldNames()
{
    static const QStringList names {QStringLiteral("Item Name"), QStringLiteral("Group"),
        QStringLiteral("Price"), QStringLiteral("Item Type"), QStringLiteral("Store"),
        QStringLiteral("Aisle No")};
    return names;
}

int ItemTable::fieldIndex(QStringView name)
{
    const QStringList &names = fieldNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i) == name)
            return i;
    }
    return -1;
}

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
    m_changingRows = true;
    beginInsertRows({}, row, row);
    m_rows.emplace_back();
    endInsertRows();
    m_changingRows = false;
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
    m_changingRows = true;
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    m_changingRows = false;
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
        for (int f = 0; f < FieldCount; ++f)
            length += row.isPresent(f) ? row.fieldView(f).size() : nullText.size();
    }
    length += qsizetype(last - first)
        * ((FieldCount - 1) * columnSeparator.size() + rowSeparator.size());

    QString text;
    text.reserve(length);
    for (int r = first; r < last; ++r) {
        const ItemRow &row = m_rows[std::size_t(r)];
        for (int f = 0; f < FieldCount; ++f) {
            if (f > 0)
                text += columnSeparator;
            text += row.isPresent(f) ? row.fieldView(f) : nullText;
        }
        text += rowSeparator;
    }
    placeCursor(last);
    return text;
}

std::optional<QString> ItemTable::fieldValue(int field) const
{
    if (!hasCurrentRow() || field < 0 || field >= FieldCount)
        return std::nullopt;
    return m_rows[std::size_t(m_cursor)].field(field);
}

std::optional<QString> ItemTable::fieldValue(QStringView name) const
{
    return fieldValue(fieldIndex(name));
}

bool ItemTable::setFieldValue(int field, const QString &value)
{
    if (!hasCurrentRow() || field < 0 || field >= FieldCount)
        return false;
    ItemRow &row = m_rows[std::size_t(m_cursor)];
    row.setField(field, value);
    if (m_pending == Pending::None)
        m_pending = Pending::ChangedRow;
    const QModelIndex changed = index(m_cursor, field);
    Q_EMIT dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool ItemTable::setFieldValue(QStringView name, const QString &value)
{
    return setFieldValue(fieldIndex(name), value);
}

void ItemTable::appendRows(std::span<ItemRow> rows)
{
    commit();
    if (rows.empty())
        return;
    const int first = size();
    m_rows.reserve(m_rows.size() + rows.size());
    m_changingRows = true;
    beginInsertRows({}, first, first + int(rows.size()) - 1);
    m_rows.insert(
        m_rows.end(), std::make_move_iterator(rows.begin()), std::make_move_iterator(rows.end()));
    endInsertRows();
    m_changingRows = false;
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
    m_changingRows = true;
    beginInsertRows({}, 0, int(rows.size()) - 1);
    m_rows = std::move(rows);
    endInsertRows();
    m_changingRows = false;
    placeCursor(size() - 1);
}

int ItemTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : size();
}

int ItemTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : FieldCount;
}

QVariant ItemTable::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const ItemRow &row = m_rows[std::size_t(index.row())];
    if (!row.isPresent(index.column()))
        return role == Qt::EditRole ? QVariant(QString()) : QVariant();
    QStringView value = row.fieldView(index.column());
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
    return setFieldValue(index.column(), value.toString());
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
        return section >= 0 && section < FieldCount ? fieldNames().at(section) : QVariant();
    return section + 1;
}
