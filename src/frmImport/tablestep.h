#pragma once

#include "itemtable.h"

#include <QUndoCommand>

#include <functional>
#include <vector>

// What an undo step restores besides the rows: what the window shows of the row commands, that
// is where the cell cursor stands, whether an Add Row is outstanding, and the three row
// buttons.
struct CommandState
{
    ItemTable::CursorState cursor;
    int column = 0;
    bool addingRow = false;
    bool addEnabled = false;
    bool updateEnabled = false;
    bool deleteEnabled = false;
    bool operator==(const CommandState &) const = default;
};

// One step of the user's work on the rows, as the table's journal recorded it, with the
// window's state before and after it. The rows themselves move between the table and the step,
// so undoing an Open of a million rows copies none of them.
class TableStep : public QUndoCommand
{
public:
    using Restore = std::function<void(const CommandState &)>;

    TableStep(ItemTable &table, std::vector<ItemTable::Splice> splices, const CommandState &before,
        const CommandState &after, Restore restore);

    void undo() override;
    void redo() override;

private:
    ItemTable &m_table;
    std::vector<ItemTable::Splice> m_splices;
    CommandState m_before;
    CommandState m_after;
    Restore m_restore;
    // The step is pushed once it has happened; the stack's first redo has nothing to do.
    bool m_done = true;
};
