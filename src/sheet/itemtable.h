#pragma once

#include "itemrow.h"

#include <QAbstractTableModel>

#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

// The in-memory item table: rows of six text fields in insertion order, with a cursor on at
// most one current row, in the manner of a record set. At most one row is pending (begun by
// AddNew or changed since it was last committed); any cursor move commits it.
//
// The table is also the grid's item model, so that the grid shows every row, including a
// pending one, and edits reach the table directly. A failed operation returns false (or no
// value) and leaves the table as it was; the caller decides what a failure means.
class BlockRows;

class ItemTable : public QAbstractTableModel
{
    Q_OBJECT

    enum class Pending { None, NewRow, ChangedRow };

public:
    // One change of the rows, kept so that it can be undone and done again: the `count` rows
    // from `at` on took the place of `rows`. Swapping the two sides undoes the change, and
    // swapping them back does it again.
    struct Splice
    {
        int at = 0;
        int count = 0;
        std::vector<ItemRow> rows;
    };
    // Where the cursor stands and what is pending, to be put back as it was.
    struct CursorState
    {
        int cursor = 0;
        bool onDeletedRow = false;
        Pending pending = Pending::None;
        bool operator==(const CursorState &) const = default;
    };

    // The most characters of a value that data() gives for display.
    static constexpr qsizetype DisplayLength = 1000;

    explicit ItemTable(QObject *parent = nullptr);

    void AddNew();
    bool Update();
    bool Delete();
    bool MoveFirst();
    bool MoveLast();
    bool MoveNext();
    // Makes the given row current, as a click on it in the grid does.
    bool Move(int row);
    int RecordCount() const;
    // From the current row on, up to `rowCount` rows, each row's fields joined by
    // `columnSeparator` and followed by `rowSeparator`, absent fields as `nullText`. Leaves the
    // cursor after the last row returned. Fails with no current row.
    std::optional<QString> GetString(
        int rowCount, QStringView columnSeparator, QStringView rowSeparator, QStringView nullText);

    // A field of the current row: no value when there is no current row; a null QString when
    // the field is absent.
    std::optional<QString> fieldValue(Column column) const;
    // Sets a field of the current row, which becomes pending. A null QString makes it absent.
    // Fails when there is no current row or the value would make the row too long.
    bool setFieldValue(Column column, const QString &value);

    // The check that Open and a paste give each row they build (none by default). With one,
    // the table tells during its signals (rowsInserted, dataChanged) which of the rows they tell
    // of the check could not clear (rowsToCheck()), so that a listener looks only at those.
    void setRowCheck(RowCheck check) { m_rowCheck = check; }
    RowCheck rowCheck() const { return m_rowCheck; }
    // While the signals tell of rows that a change built and checked with the row check: those
    // that it could not clear, counted from the first row the signal tells of, in order. Null
    // when the rows were not checked, and every row told of needs a look.
    const std::vector<int> *rowsToCheck() const { return m_rowsToCheck; }

    // Appends rows as if each were added by AddNew, filled and committed by Update: the cursor
    // ends on the last of them, nothing is pending. The grid hears of them in one notification.
    // Running out of memory throws std::bad_alloc before the table changes. `rowsToCheck`: those
    // of the rows that the row check could not clear, when they were checked with it.
    void appendRows(std::span<ItemRow> rows, const std::vector<int> *rowsToCheck = nullptr);
    // The same; an empty table takes over the vector itself instead of a copy of its rows.
    void appendRows(std::vector<ItemRow> &&rows, const std::vector<int> *rowsToCheck = nullptr);

    // What setBlock did.
    struct BlockResult
    {
        // Unchanged: every cell already held its value. Cancelled: progress asked to stop.
        enum class Outcome { Set, Unchanged, TooLong, OutOfMemory, Cancelled };
        Outcome outcome = Outcome::Set;
        // For TooLong, the first cell whose value would make its row longer than a row holds.
        int row = 0;
        int column = 0;
    };
    // Sets cells from (row, column) on from text of lines (ended by CR LF, LF or CR; a line
    // end at the very end starts no line) of values separated by `separator`, a value in quotes
    // as ClipboardCells reads it, stored as Open stores values: values past the last column are
    // dropped and rows are appended at the end as needed, in one batch. Only values that differ
    // from the cells are written, so an empty value leaves an absent field absent. The current row,
    // if it changed, becomes pending; the cursor stays. Every row it stores is built, in one pass
    // over the text, before the first one changes, so a value too long for its row, memory running
    // out or a stop changes nothing. Progress counts characters of the text.
    BlockResult setBlock(
        int row, int column, QStringView text, QChar separator, const Progress &progress = {});

    // While on, every change of the rows goes into a journal that takeJournal() hands over.
    void setJournaling(bool on) { m_journaling = on; }
    bool isJournaling() const { return m_journaling; }
    std::vector<Splice> takeJournal() { return std::exchange(m_journal, {}); }
    const std::vector<Splice> &journal() const { return m_journal; }
    // Undoes the splices of one step, last first, or does them again, first first. Running out
    // of memory throws std::bad_alloc before any row moves.
    void undo(std::vector<Splice> &splices);
    void redo(std::vector<Splice> &splices);
    // Told how far an undo or redo of more than RowsPerReport rows got. Its answer is not
    // heeded: a step is never left half done.
    void setHistoryProgress(Progress progress) { m_historyProgress = std::move(progress); }
    static constexpr int RowsPerReport = 65536;
    CursorState cursorState() const { return {m_cursor, m_onDeletedRow, m_pending}; }
    void setCursorState(const CursorState &state);

    // What a screen reader is told of a cell besides its text (its accessible description),
    // which the window knows and the table does not; nothing by default.
    using CellDescription = std::function<QString(const QModelIndex &cell)>;
    void setCellDescription(CellDescription describe) { m_describe = std::move(describe); }

    // The current row's index, or -1 when there is none.
    int currentRow() const { return hasCurrentRow() ? m_cursor : -1; }
    bool hasCurrentRow() const;
    bool isPending() const { return m_pending != Pending::None; }
    int size() const { return int(m_rows.size()); }
    const ItemRow &row(int index) const { return m_rows[std::size_t(index)]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(
        int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // The cursor moved to another row, or to no row.
    void cursorMoved();

private:
    void commit() { m_pending = Pending::None; }
    void record(Splice splice);
    // Undoes splices from the journal, or does them again, last first when `backwards`.
    void swapAll(std::vector<Splice> &splices, bool backwards);
    // Undoes one splice, or does it again, in the room that swapAll made for it: the table has
    // room for the rows it puts in and `taken` a place for each row it takes out.
    void swap(Splice &splice, std::vector<ItemRow> &taken, const std::function<void(int)> &moved);
    void recordChangeOf(int row);
    void placeCursor(int row, bool onDeletedRow = false);
    // Ends the insertion of the rows appended from `first` on: the grid hears of them, with
    // those the row check could not clear.
    void endAppend(int first, const std::vector<int> *rowsToCheck);
    // Appends the rows that setBlock built after the changed ones; the room is there. With
    // `intoBlock`, the table's rows go into the block's vector, which becomes the table's, and
    // the changed rows as they were (the front of the block's rows) into `replaced`.
    void appendBlockRows(BlockRows &block, bool intoBlock, std::vector<ItemRow> &replaced);

    std::vector<ItemRow> m_rows;
    // Index of the current row; equal to the row count when the cursor stands past the end.
    int m_cursor = 0;
    // After Delete the cursor stays on the removed row's place, where there is no row.
    bool m_onDeletedRow = false;
    Pending m_pending = Pending::None;
    bool m_journaling = false;
    std::vector<Splice> m_journal;
    CellDescription m_describe;
    Progress m_historyProgress;
    RowCheck m_rowCheck = nullptr;
    const std::vector<int> *m_rowsToCheck = nullptr;
};
