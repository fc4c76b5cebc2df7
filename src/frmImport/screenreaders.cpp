#include "frmimport.h"
#include "itemgrid.h"
#include "picklist.h"

#include <QAccessible>
#include <QLineEdit>

// What the window tells screen readers beyond what Qt tells them of its widgets: the names of
// the grid and the pick lists, why Save would refuse a marked cell's value, and what a pick list
// offers while the keyboard focus stays in the cell being typed.

void frmImport::nameForScreenReaders()
{
    DataGrid1->setAccessibleName(tr("Items"));
    for (const PickListColumn &pickList : m_pickLists) {
        pickList.list->setAccessibleName((pickList.values ? tr("%1 suggestions") : tr("%1 choices"))
                                             .arg(heading(pickList.column)));
        connect(pickList.list, &PickList::shownChanged, this, &frmImport::describeCellEditor);
    }
    rsItems.setCellDescription(
        [this](const QModelIndex &cell) { return m_refusedCells.reason(cell); });
}

// A list that pops up takes no focus, so a screen reader would not hear of it: the cell
// editor's description says what it offers, and Qt 6.8 and later announce it too.
void frmImport::describeCellEditor()
{
    QLineEdit *editor = DataGrid1->cellEditor();
    if (!editor)
        return;
    const PickList *list = shownPickList();
    const QString description = list ? list->summary() : QString();
    if (editor->accessibleDescription() == description)
        return;
    editor->setAccessibleDescription(description);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    if (list) {
        QAccessibleAnnouncementEvent announcement(editor, description);
        QAccessible::updateAccessibility(&announcement);
    }
#endif
}
