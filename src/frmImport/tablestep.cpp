#include "tablestep.h"

TableStep::TableStep(ItemTable &table, std::vector<ItemTable::Splice> splices,
    const WindowState &before, const WindowState &after, Restore restore)
    : m_table(table)
    , m_splices(std::move(splices))
    , m_before(before)
    , m_after(after)
    , m_restore(std::move(restore))
{
}

void TableStep::undo()
{
    for (std::size_t i = m_splices.size(); i-- > 0;)
        m_table.swap(m_splices[i]);
    m_restore(m_before);
    m_done = false;
}

void TableStep::redo()
{
    if (m_done)
        return;
    for (ItemTable::Splice &splice : m_splices)
        m_table.swap(splice);
    m_restore(m_after);
    m_done = true;
}
