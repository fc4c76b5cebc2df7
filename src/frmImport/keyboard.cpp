#include "frmimport.h"

#include "commandstep.h"
#include "itemgrid.h"
#include "picklist.h"

#include <QKeyEvent>
#include <QToolButton>

// The window's keys: what each key does in the grid and its cell editor, and the moves from cell
// to cell and from item to item that they make.

// The one place that says what a key does in the grid and its editor beyond their own
// handling: Alt with a key that types never types, a key that types may complete the Item
// Type, Tab, Shift+Tab and Enter move from cell to cell and from item to item without wrapping
// round, and a shown pick list takes Up, Down, Escape and, with an entry highlighted, Enter.
frmImport::KeyCommand frmImport::keyCommand(const QKeyEvent &event) const
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    // Control with Alt is AltGr on some systems, which types characters such as €.
    if (modifiers.testFlag(Qt::AltModifier) && !modifiers.testFlag(Qt::ControlModifier)
        && !event.text().isEmpty())
        return KeyCommand::Swallow;
    const PickList *list = shownPickList();
    const bool listShown = list != nullptr;
    const bool entryHighlighted = listShown && !list->highlighted().isNull();
    // With an editor open these keys are the editor's own; Ctrl+Z while it has edits to undo.
    if (event.matches(QKeySequence::Undo) && !DataGrid1->isUndoAvailableInCell())
        return KeyCommand::Undo;
    if (!DataGrid1->isEditing()) {
        if (event.matches(QKeySequence::Copy))
            return KeyCommand::Copy;
        if (event.matches(QKeySequence::Paste))
            return KeyCommand::Paste;
        if (event.matches(QKeySequence::Redo)
            || event.keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_Y))
            return KeyCommand::Redo;
        if (event.key() == Qt::Key_Delete && modifiers == Qt::NoModifier)
            return KeyCommand::Clear;
    }
    // As the editor reads them: Control alone or with Shift types nothing, AltGr does.
    const bool typesText = !event.text().isEmpty() && event.text().front().isPrint()
        && modifiers != Qt::ControlModifier
        && modifiers != (Qt::ControlModifier | Qt::ShiftModifier);
    if (typesText || (DataGrid1->isEditing() && event.matches(QKeySequence::Paste)))
        return KeyCommand::Type;
    switch (event.key()) {
    case Qt::Key_Tab:
        if (modifiers == Qt::ShiftModifier)
            return KeyCommand::PreviousCell;
        return modifiers == Qt::NoModifier ? KeyCommand::NextCell : KeyCommand::None;
    case Qt::Key_Backtab:
        return KeyCommand::PreviousCell;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (modifiers != Qt::NoModifier)
            return KeyCommand::None;
        return entryHighlighted ? KeyCommand::TakeEntry : KeyCommand::NextItem;
    case Qt::Key_Down:
        return listShown ? KeyCommand::HighlightNext : KeyCommand::None;
    case Qt::Key_Up:
        return listShown ? KeyCommand::HighlightPrevious : KeyCommand::None;
    case Qt::Key_Escape:
        return listShown ? KeyCommand::HidePickList : KeyCommand::None;
    case Qt::Key_F8:
        if (modifiers == Qt::ShiftModifier)
            return KeyCommand::PreviousRefusedValue;
        return modifiers == Qt::NoModifier ? KeyCommand::NextRefusedValue : KeyCommand::None;
    default:
        return KeyCommand::None;
    }
}

void frmImport::DataGrid1_keyPressed(QKeyEvent *event)
{
    const KeyCommand command = keyCommand(*event);
    m_keyTypes = command == KeyCommand::Type;
    // The open editor types the key itself. Qt's grid starts an edit only for a key without
    // Control and Alt, which leaves out AltGr where it arrives as the two (€ on many layouts).
    if (command == KeyCommand::None || (command == KeyCommand::Type && DataGrid1->isEditing()))
        return;
    event->accept();
    PickList *list = shownPickList();
    // Tab takes a highlighted entry as a click on it would, then moves on.
    if (list && !list->highlighted().isNull() && command == KeyCommand::NextCell)
        choosePickListEntry(list, list->highlighted());
    switch (command) {
    case KeyCommand::NextCell:
        goToNextCell();
        break;
    case KeyCommand::PreviousCell:
        goToPreviousCell();
        break;
    case KeyCommand::NextItem:
        goToNextItem();
        break;
    case KeyCommand::TakeEntry:
    case KeyCommand::HighlightNext:
    case KeyCommand::HighlightPrevious:
    case KeyCommand::HidePickList:
        usePickList(command, list);
        break;
    case KeyCommand::Copy:
        copyCells();
        break;
    case KeyCommand::Paste:
        pasteCells();
        break;
    case KeyCommand::Clear:
        clearCells();
        break;
    case KeyCommand::Undo:
        undo();
        break;
    case KeyCommand::Redo:
        redo();
        break;
    case KeyCommand::NextRefusedValue:
    case KeyCommand::PreviousRefusedValue:
        goToRefusedValue(command == KeyCommand::NextRefusedValue);
        break;
    case KeyCommand::Type:
        DataGrid1->typeIntoCurrentCell(event);
        break;
    case KeyCommand::None:
    case KeyCommand::Swallow:
        break;
    }
}

// The keys that the shown pick list takes.
void frmImport::usePickList(KeyCommand command, PickList *list)
{
    switch (command) {
    case KeyCommand::TakeEntry:
        // As in the completion lists users know, Enter takes the entry and stays: the next
        // Enter is "next item".
        choosePickListEntry(list, list->highlighted());
        DataGrid1->resumeEditing();
        break;
    case KeyCommand::HighlightNext:
        list->highlightNext();
        break;
    case KeyCommand::HighlightPrevious:
        list->highlightPrevious();
        break;
    case KeyCommand::HidePickList:
        list->hide();
        break;
    default:
        break;
    }
}

void frmImport::goToCell(int row, int column)
{
    DataGrid1->closeCellEditor();
    DataGrid1->setCurrentIndex(rsItems.index(row, column));
}

void frmImport::goToNextCell()
{
    const QModelIndex cell = DataGrid1->currentIndex();
    if (!cell.isValid())
        return;
    if (cell.column() < ColumnCount - 1)
        goToCell(cell.row(), cell.column() + 1);
    else if (cell.row() < rsItems.size() - 1)
        goToCell(cell.row() + 1, position(Column::ItemName));
    else
        goToNextItem();
}

void frmImport::goToPreviousCell()
{
    const QModelIndex cell = DataGrid1->currentIndex();
    if (!cell.isValid())
        return;
    if (cell.column() > 0)
        goToCell(cell.row(), cell.column() - 1);
    else if (cell.row() > 0)
        goToCell(cell.row() - 1, ColumnCount - 1);
}

// Enter: commits the row being typed and leaves the cursor in the Item Name cell of a blank
// last row, whatever state the row commands are in, using only the row commands themselves.
void frmImport::goToNextItem()
{
    CommandStep step(this);
    DataGrid1->closeCellEditor();
    const int row = rsItems.currentRow();
    if (cmdUpdate->isEnabled() && row >= 0 && !rsItems.row(row).isBlank()) {
        const bool appendsRow = AddingRow;
        cmdUpdate_Click();
        if (appendsRow)
            return;
    }
    const int last = rsItems.size() - 1;
    if (last >= 0 && rsItems.row(last).isBlank())
        goToCell(last, position(Column::ItemName));
    else
        cmdAdd_Click();
}
