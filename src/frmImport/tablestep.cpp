#include "tablestep.h"

TableStep::TableStep(ItemTable &table, std::vector<ItemTable::Splice> splices,
    const CommandState &before, const CommandState &after, Restore restore)
    : m_table(table)
    , m_splices(std::move(splices))
    , m_before(before)
    , m_after(after)
    , m_restore(std::move(restore))
{
}

void TableStep::undo()
{
    m_table.undo(m_splices);
    m_restore(m_before);
    m_done = false;
}

void TableStep::redo()
{
    if (m_done)
        return;
    m_table.redo(m_splices);
    m_restore(m_after);
    m_done = true;
}
