#include "frmimport.h"

#include "itemgrid.h"
#include "itemtype.h"
#include "picklist.h"

#include <algorithm>

// The window's pick lists: where they stand under the grid, what they offer, and a choice from
// them.

void frmImport::alignPickList(PickList *list, Column column)
{
    const int at = position(column);
    list->move(
        DataGrid1->x() + DataGrid1->columnLeft(at) + DataGrid1->columnWidth(at) - list->width(),
        list->y());
}

void frmImport::alignPickLists()
{
    for (const PickListColumn &pickList : m_pickLists)
        alignPickList(pickList.list, pickList.column);
}

// The list shown under the current cell's column, if any.
PickList *frmImport::shownPickList() const
{
    for (const PickListColumn &pickList : m_pickLists) {
        if (position(pickList.column) == DataGrid1->currentColumn() && pickList.list->isVisible())
            return pickList.list;
    }
    return nullptr;
}

// Places a list by the current row as drawn: below it where the list's height fits in the window
// there, else above it where it fits there, else on the side with more room, where it scrolls
// so that every entry can still be reached. While the row is not wholly in view there is no
// place by it, and the list is hidden.
void frmImport::placePickList(PickList *list, int height)
{
    const std::optional<int> bottom = DataGrid1->currentRowBottom();
    if (!bottom) {
        list->hide();
        return;
    }
    const int below = DataGrid1->y() + *bottom;
    const int above = below - DataGrid1->rowHeight(DataGrid1->currentIndex().row());
    const int roomBelow = this->height() - below;
    const bool goesBelow = height <= roomBelow || (height > above && roomBelow >= above);
    const int shown = std::max(std::min(height, goesBelow ? roomBelow : above), 1);
    list->setGeometry(list->x(), goesBelow ? below : above - shown, list->width(), shown);
}

void frmImport::placeShownPickLists()
{
    for (const PickListColumn &pickList : m_pickLists) {
        if (pickList.list->isVisible()) {
            placePickList(pickList.list,
                pickList.values ? pickList.list->model()->rowCount() * PickList::EntryPitch
                                : pickList.designHeight);
        }
    }
}

void frmImport::refillPickList(PickList *list, const ValueList &values)
{
    const QStringList entries = values.matching(DataGrid1->currentCellText());
    list->hide();
    list->setEntries(entries);
    if (!entries.isEmpty())
        list->show();
    placePickList(
        list, entries.isEmpty() ? list->height() : int(entries.size()) * PickList::EntryPitch);
}

void frmImport::showItemTypeList(bool complete)
{
    lstItemType->clearHighlight();
    lstItemType->show();
    const auto itemTypes = std::find_if(m_pickLists.begin(), m_pickLists.end(),
        [this](const PickListColumn &pickList) { return pickList.list == lstItemType; });
    placePickList(lstItemType, itemTypes->designHeight);
    // Text that starts a word completes it as inline completion does: what was typed stays
    // typed and the rest of the word is selected, so that typing on gives the word, and any
    // other text stays as typed.
    if (!complete)
        return;
    const QString text = DataGrid1->currentCellText();
    if (const std::optional<QString> word = ItemType::completion(text))
        DataGrid1->completeCurrentCell(*word, int(text.size()));
}

void frmImport::hidePickLists()
{
    for (const PickListColumn &pickList : m_pickLists)
        pickList.list->hide();
}

void frmImport::choosePickListEntry(PickList *list, const QString &entry)
{
    // The choice changes the cell as typing would. With the cell closed (a list still shown
    // after Update Row), no editor reports the change to the row buttons.
    const bool changes = DataGrid1->currentCellText() != entry;
    const bool changesClosedCell = changes && !DataGrid1->isEditing();
    DataGrid1->setCurrentCellText(entry);
    list->hide();
    m_typed = m_typed || changes;
    if (changesClosedCell)
        applyRowEvent(RowEvent::Editing);
}

void frmImport::lstGroups_Click(const QString &entry)
{
    choosePickListEntry(lstGroups, entry);
}

void frmImport::lstStore_Click(const QString &entry)
{
    choosePickListEntry(lstStore, entry);
}

void frmImport::lstItemType_Click(const QString &entry)
{
    choosePickListEntry(lstItemType, entry);
}

void frmImport::lstAisleNo_Click(const QString &entry)
{
    choosePickListEntry(lstAisleNo, entry);
}
