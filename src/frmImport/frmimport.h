#pragma once

#include "filesystem.h"
#include "itemtable.h"
#include "progress.h"
#include "refusedcells.h"
#include "tablestep.h"
#include "valuelist.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

namespace ItemCsv {
enum class BlankFirstRow;
struct OpenResult;
} // namespace ItemCsv
class ClosedDialogKeys;
class ItemGrid;
class PickList;
class QDialog;
class QFileDialog;
class QLabel;
class QProgressDialog;
class QToolButton;
class QUndoStack;

// The program's one window: the item grid, the row and file commands, and the pick lists that
// pop up under the grid's current row.
class frmImport : public QWidget
{
    Q_OBJECT

public:
    // Runs a modal dialog (the file dialog or a message box) and returns its result. Tests
    // replace it to answer in place of the user; by default it is QDialog::exec().
    using DialogRunner = std::function<int(QDialog &)>;
    // Sees each progress dialog of a file command as it is made. Tests use it to answer the
    // dialog as a user would; by default nothing watches.
    using ProgressWatcher = std::function<void(QProgressDialog &)>;

    explicit frmImport(QWidget *parent = nullptr);
    ~frmImport() override;

    void setDialogRunner(DialogRunner runner);
    void setProgressWatcher(ProgressWatcher watcher);
    // The file system that Open and Save go through. Tests give one that fails on demand; by
    // default it is the real one.
    void setFileSystem(ItemCsv::FileSystem &fileSystem) { m_fileSystem = &fileSystem; }

    const ItemTable &items() const { return rsItems; }
    ItemTable &items() { return rsItems; }
    const ValueList &groups() const { return Groups; }
    const ValueList &stores() const { return Stores; }
    const ValueList &aisleNumbers() const { return AisleNos; }
    bool isAddingRow() const { return AddingRow; }

    // The row commands as the buttons run them; Add Row also runs from code.
    void cmdAdd_Click();
    void cmdUpdate_Click();
    void cmdDelete_Click();
    void cmdOpen_Click();
    void cmdSave_Click();
    // Appends the rows of the files, one after another, as one Open File without its dialog.
    void openFiles(const QStringList &fileNames);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // What changes the enabled state of the three row buttons.
    enum class RowEvent { Created, AddRow, Editing, Updated };
    enum class FileCommand { Open, Save };
    enum class MessageKind { Information, Warning };
    // What ends with a step: typing in a cell, or a command.
    enum class StepKind { Typing, Command };
    // What a key does in the grid, beyond what the grid and its editor do with it themselves.
    enum class KeyCommand {
        None,
        Swallow,
        NextCell,
        PreviousCell,
        NextItem,
        // Adds text to the cell: the editor types it, and it may complete the Item Type.
        Type,
        // Puts the highlighted entry of the shown pick list into the cell.
        TakeEntry,
        HighlightNext,
        HighlightPrevious,
        HidePickList,
        Copy,
        Paste,
        Clear,
        Undo,
        Redo,
        NextRefusedValue,
        PreviousRefusedValue
    };
    class CommandStep;
    class ReturnToCell;

    // A pick list, the column it serves and the remembered values it offers; the Item Type
    // list offers a fixed vocabulary instead.
    struct PickListColumn
    {
        Column column;
        PickList *list;
        ValueList *values;
        // The height the design gives the list, which the Item Type list always has.
        int designHeight;
    };

    void makeControls();
    void connectControls();
    void Form_Load();
    void Form_Activate();
    void applyRowEvent(RowEvent event);
    void alignPickList(PickList *list, Column column);
    void alignPickLists();
    void showCursorInGrid();
    void DataGrid1_RowColChange(const QModelIndex &current);
    void DataGrid1_Change();
    void DataGrid1_keyPressed(QKeyEvent *event);
    KeyCommand keyCommand(const QKeyEvent &event) const;
    void usePickList(KeyCommand command, PickList *list);
    void goToCell(int row, int column);
    void goToNextCell();
    void goToPreviousCell();
    void goToNextItem();
    // Marks the values that Save would refuse and keeps Save's tooltip counting them.
    void watchRefusedValues();
    void goToRefusedValue(bool forward);
    void nameForScreenReaders();
    void describeCellEditor();
    void showRefusedCount(qsizetype count);
    // Save's tooltip as designed.
    static QString saveToolTip();
    void copyCells();
    void pasteCells();
    void clearCells();
    enum class HistoryMove { Undo, Redo };
    void undo();
    void redo();
    void moveThroughHistory(HistoryMove move);
    CommandState commandState() const;
    void restoreCommandState(const CommandState &state);
    void pushStep(StepKind kind = StepKind::Typing);
    void revertStep();
    void warnOfChangesOutsideCommands() const;
    PickList *shownPickList() const;
    void placePickList(PickList *list, int height);
    void placeShownPickLists();
    void refillPickList(PickList *list, const ValueList &values);
    void showItemTypeList(bool complete);
    void hidePickLists();
    void choosePickListEntry(PickList *list, const QString &entry);
    void lstGroups_Click(const QString &entry);
    void lstStore_Click(const QString &entry);
    void lstItemType_Click(const QString &entry);
    void lstAisleNo_Click(const QString &entry);
    QString askFileName(FileCommand command);
    bool openInDialect(
        ItemCsv::OpenResult &read, const QString &fileName, ItemCsv::BlankFirstRow firstRow);
    void ExportCsv();
    void ImportCsv();
    void mentionEarlierSaves(const QStringList &backups, const QString &fileName);
    enum class Cancelling { Possible, Impossible };
    Progress progressFor(std::unique_ptr<QProgressDialog> &dialog, const QString &label,
        Cancelling cancelling = Cancelling::Possible);
    int runDialog(QDialog &dialog);
    void showMessage(MessageKind kind, const QString &text);
    void showError(const QString &text);

    ItemTable rsItems;
    ValueList Groups;
    ValueList Stores;
    ValueList AisleNos;
    bool AddingRow = false;
    RefusedCells m_refusedCells {rsItems};

    QLabel *Label1;
    QToolButton *cmdAdd;
    QToolButton *cmdUpdate;
    QToolButton *cmdDelete;
    QToolButton *cmdOpen;
    QToolButton *cmdSave;
    ItemGrid *DataGrid1;
    PickList *lstGroups;
    PickList *lstStore;
    PickList *lstItemType;
    PickList *lstAisleNo;
    QFileDialog *CommonDialog1;

    QUndoStack *m_undoStack;
    // The window as it was when the step now being taken began.
    CommandState m_stepStart;
    // How deep in commands that run one another the window is: they all make one step.
    int m_stepDepth = 0;
    // Whether the key being handled adds text to the cell.
    bool m_keyTypes = false;
    // Whether typing changed the current cell since the last step: its editor stored a change,
    // or a pick list's entry went into it. The only change of the rows made outside a command.
    bool m_typed = false;
    // In the order the lists are aligned: Group, Store, Item Type, Aisle No.
    std::array<PickListColumn, 4> m_pickLists {};
    DialogRunner m_runDialog;
    ProgressWatcher m_watchProgress;
    ItemCsv::FileSystem *m_fileSystem = &ItemCsv::FileSystem::system();
    QString m_lastFileName;
    ClosedDialogKeys *m_closedDialogKeys = nullptr;
    bool m_activated = false;
};
