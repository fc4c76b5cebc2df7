#pragma once

#include "csvformat.h"
#include "itemtable.h"
#include "valuelist.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QWidget>

#include <functional>
#include <memory>

class ItemGrid;
class QDialog;
class QLabel;
class PickList;
class QProgressDialog;
class QToolButton;

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

protected:
    void showEvent(QShowEvent *event) override;

private:
    void Form_Load();
    void Form_Activate();
    void alignPickList(PickList *list, int column);
    void alignPickLists();
    void showCursorInGrid();
    void DataGrid1_RowColChange(const QModelIndex &current);
    void DataGrid1_Change();
    int pickListTop() const;
    void placePickList(PickList *list, int height);
    void refillPickList(PickList *list, const ValueList &values);
    void showItemTypeList();
    void hidePickLists();
    void choosePickListEntry(PickList *list, const QString &entry);
    void lstGroups_Click(const QString &entry);
    void lstStore_Click(const QString &entry);
    void lstItemType_Click(const QString &entry);
    void lstAisleNo_Click(const QString &entry);
    void setEditingState();
    QString askFileName(QFileDialog::AcceptMode mode, const QString &title);
    void ExportCsv();
    void ImportCsv();
    ItemCsv::Progress progressFor(std::unique_ptr<QProgressDialog> &dialog, const QString &label);
    int runDialog(QDialog &dialog);
    void showMessage(QMessageBox::Icon icon, const QString &text);
    void showError(const QString &text);

    ItemTable rsItems;
    ValueList Groups;
    ValueList Stores;
    ValueList AisleNos;
    bool AddingRow = false;

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

    DialogRunner m_runDialog;
    ProgressWatcher m_watchProgress;
    QString m_lastFileName;
    bool m_activated = false;
};
