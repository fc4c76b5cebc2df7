#include "commandstep.h"

#include "itemgrid.h"

#include <QProgressDialog>
#include <QScopeGuard>
#include <QToolButton>
#include <QUndoStack>

#include <new>
#include <utility>

frmImport::CommandStep::CommandStep(frmImport *window)
    : m_window(window)
{
    if (m_window->m_stepDepth++ == 0)
        m_window->pushStep(StepKind::Typing);
}

frmImport::CommandStep::~CommandStep()
{
    if (--m_window->m_stepDepth == 0)
        m_window->pushStep(StepKind::Command);
}

// Between commands the rows change only by typing in the current cell: a change with no typing
// is one that a command made without opening its step.
void frmImport::warnOfChangesOutsideCommands() const
{
    const std::vector<ItemTable::Splice> &changes = rsItems.journal();
    if (!changes.empty()) {
        qWarning("The rows changed at row %d outside any command; the change merges with the "
                 "typing before it",
            changes.front().at + 1);
    }
}

// Takes what happened since the last step as one step of undo. Typing is a step when it changed
// the rows. A command is one when it changed the rows or anything else the window shows of the
// row commands (the buttons, AddingRow, the cursor), even with every value as it was, so that
// undo and redo put all of it back; a command that changed nothing is no step, so that Ctrl+Z
// never seems to do nothing. Before the sheet is set up there is nothing to undo.
void frmImport::pushStep(StepKind kind)
{
    if (!std::exchange(m_typed, false) && kind == StepKind::Typing)
        warnOfChangesOutsideCommands();
    std::vector<ItemTable::Splice> splices = rsItems.takeJournal();
    const CommandState now = commandState();
    if (!splices.empty()
        || (kind == StepKind::Command && rsItems.isJournaling() && now != m_stepStart)) {
        m_undoStack->push(new TableStep(rsItems, std::move(splices), m_stepStart, now,
            [this](const CommandState &state) { restoreCommandState(state); }));
    }
    m_stepStart = now;
}

// Puts the rows and the window back as they were when the step now being taken began.
void frmImport::revertStep()
{
    std::vector<ItemTable::Splice> splices = rsItems.takeJournal();
    rsItems.undo(splices);
    restoreCommandState(m_stepStart);
}

CommandState frmImport::commandState() const
{
    return {rsItems.cursorState(), std::max(DataGrid1->currentColumn(), 0), AddingRow,
        cmdAdd->isEnabled(), cmdUpdate->isEnabled(), cmdDelete->isEnabled()};
}

void frmImport::restoreCommandState(const CommandState &state)
{
    DataGrid1->closeCellEditor();
    hidePickLists();
    rsItems.setCursorState(state.cursor);
    DataGrid1->setCurrentColumn(state.column);
    AddingRow = state.addingRow;
    cmdAdd->setEnabled(state.addEnabled);
    cmdUpdate->setEnabled(state.updateEnabled);
    cmdDelete->setEnabled(state.deleteEnabled);
}

void frmImport::undo()
{
    moveThroughHistory(HistoryMove::Undo);
}

void frmImport::redo()
{
    moveThroughHistory(HistoryMove::Redo);
}

// A step that cannot get the memory it needs throws before it changes a row, and before the
// stack moves its index, so the rows and the history stay as they were.
void frmImport::moveThroughHistory(HistoryMove move)
{
    DataGrid1->closeCellEditor();
    pushStep();
    // A long step shows how far it got, as a long Open does, but cannot be stopped half-way.
    std::unique_ptr<QProgressDialog> progress;
    rsItems.setHistoryProgress(
        progressFor(progress, move == HistoryMove::Undo ? tr("Undoing\u2026") : tr("Redoing\u2026"),
            Cancelling::Impossible));
    const auto noProgress = qScopeGuard([this] { rsItems.setHistoryProgress({}); });
    try {
        if (move == HistoryMove::Undo)
            m_undoStack->undo();
        else
            m_undoStack->redo();
    } catch (const std::bad_alloc &) {
        showError(move == HistoryMove::Undo
                ? tr("Nothing was undone: the rows do not fit in the memory left.")
                : tr("Nothing was redone: the rows do not fit in the memory left."));
    }
    m_stepStart = commandState();
}
