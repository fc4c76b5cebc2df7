#include "filemessages.h"
#include "frmimport.h"
#include "itemgrid.h"

#include <QToolButton>

// The cells whose values Save would refuse are marked as they enter the table, so that the user
// meets a wrong value where it was typed or pasted and not only at Save.
void frmImport::watchRefusedValues()
{
    DataGrid1->setRefusedCells(&m_refusedCells);
    connect(&m_refusedCells, &RefusedCells::countChanged, this, &frmImport::showRefusedCount);
    showRefusedCount(m_refusedCells.count());
}

void frmImport::goToRefusedValue(bool forward)
{
    const QModelIndex next = m_refusedCells.nextRefused(DataGrid1->currentIndex(), forward);
    if (next.isValid())
        goToCell(next.row(), next.column());
}

// The button keeps its caption, picture and place; the count goes under its own tooltip, where
// a user who hovers over Save looks.
void frmImport::showRefusedCount(qsizetype count)
{
    const QString toolTip = saveToolTip();
    const QString refused = FileMessages::refusedCount(count);
    cmdSave->setToolTip(refused.isEmpty() ? toolTip : toolTip + u'\n' + refused);
    cmdSave->setAccessibleDescription(cmdSave->toolTip());
}
