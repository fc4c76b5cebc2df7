#include "frmimport.h"

#include "csvcommands.h"
#include "itemgrid.h"
#include "picklist.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>

#include <climits>

namespace {

// Every place and size in the window, in pixels of its client area.
namespace Layout {
constexpr QSize ClientSize {713, 571};
constexpr QRect Label1 {16, 8, 657, 41};
constexpr QRect cmdAdd {8, 64, 75, 40};
constexpr QRect cmdUpdate {83, 64, 75, 40};
constexpr QRect cmdDelete {158, 64, 75, 40};
constexpr QRect cmdOpen {288, 64, 75, 40};
constexpr QRect cmdSave {376, 64, 75, 40};
constexpr QRect DataGrid1 {8, 112, 697, 425};
constexpr QRect lstGroups {168, 150, 73, 32};
constexpr QRect lstStore {392, 150, 73, 32};
constexpr QRect lstItemType {280, 150, 73, 47};
constexpr QRect lstAisleNo {480, 152, 73, 32};
constexpr int FirstColumnWidth = 150;
constexpr int OtherColumnWidth = 100;
// A pick list's top edge is (current row on display + 1) * 20 + 130: the bottom edge of the
// current row below the grid's top (112), its frame (1) and its heading row (17).
constexpr int PickListTopOffset = 130;
} // namespace Layout

const QColor PaleYellow {0xFF, 0xFF, 0xC0};

// Where a font is missing the platform substitutes one of its own.
QFont designFont(const QString &family)
{
    QFont font(family);
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    return font;
}

QFont gridFont()
{
    return designFont(QStringLiteral("Arial Black"));
}

// The Item Type vocabulary; the first is what any other text becomes.
const QStringList &itemTypes()
{
    static const QStringList types {
        QStringLiteral("Item"), QStringLiteral("Weight"), QStringLiteral("Volume")};
    return types;
}

void setBackground(QWidget *widget, QPalette::ColorRole role)
{
    QPalette palette = widget->palette();
    palette.setColor(role, PaleYellow);
    widget->setPalette(palette);
}

QToolButton *makeButton(QWidget *parent, const char *name, const QString &caption,
    const QString &icon, const QString &toolTip, const QRect &place)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QLatin1StringView(name));
    button->setText(caption);
    button->setIcon(QIcon(icon));
    button->setIconSize({16, 16});
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setToolTip(toolTip);
    button->setGeometry(place);
    button->setAutoFillBackground(true);
    setBackground(button, QPalette::Button);
    return button;
}

PickList *makePickList(QWidget *parent, const char *name, const QRect &place)
{
    auto *list = new PickList(parent);
    list->setObjectName(QLatin1StringView(name));
    list->setGeometry(place);
    list->setFont(gridFont());
    setBackground(list, QPalette::Base);
    list->hide();
    return list;
}

} // namespace

frmImport::frmImport(QWidget *parent)
    : QWidget(parent)
    , m_runDialog([](QDialog &dialog) { return dialog.exec(); })
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(QStringLiteral("Pantrovo Importer"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/pantrovo-importer.png")));
    setFixedSize(Layout::ClientSize);
    // A small default font, so that the captions fit the 75-pixel buttons and the
    // explanation fits its label.
    QFont windowFont = font();
    windowFont.setPointSizeF(8);
    setFont(windowFont);

    // Created in the design's order; the pick lists, made first, are raised above the grid
    // further down.
    lstAisleNo = makePickList(this, "lstAisleNo", Layout::lstAisleNo);
    cmdOpen = makeButton(this, "cmdOpen", QStringLiteral("&Open File"),
        QStringLiteral(":/icons/open.png"),
        QStringLiteral("Append the items of a CSV file to the grid"), Layout::cmdOpen);
    lstItemType = makePickList(this, "lstItemType", Layout::lstItemType);
    lstItemType->setEntries(itemTypes());
    lstStore = makePickList(this, "lstStore", Layout::lstStore);
    lstGroups = makePickList(this, "lstGroups", Layout::lstGroups);
    CommonDialog1 = new QFileDialog(this);
    CommonDialog1->setObjectName(QStringLiteral("CommonDialog1"));
    cmdSave = makeButton(this, "cmdSave", QStringLiteral("&Save File"),
        QStringLiteral(":/icons/save.png"),
        QStringLiteral("Export the data to a CSV file for import to Pantrovo"), Layout::cmdSave);
    cmdAdd = makeButton(this, "cmdAdd", QStringLiteral("&Add Row"),
        QStringLiteral(":/icons/add.png"), QStringLiteral("Add a new item row"), Layout::cmdAdd);
    cmdDelete = makeButton(this, "cmdDelete", QStringLiteral("&Delete Row"),
        QStringLiteral(":/icons/delete.png"), QStringLiteral("Delete the item row"),
        Layout::cmdDelete);
    cmdDelete->setFont(designFont(QStringLiteral("Arial")));
    cmdUpdate = makeButton(this, "cmdUpdate", QStringLiteral("&Update Row"),
        QStringLiteral(":/icons/save.png"), QStringLiteral("Update the item row"),
        Layout::cmdUpdate);
    DataGrid1 = new ItemGrid(this);
    DataGrid1->setObjectName(QStringLiteral("DataGrid1"));
    DataGrid1->setGeometry(Layout::DataGrid1);
    DataGrid1->setFont(gridFont());
    DataGrid1->horizontalHeader()->setFont(gridFont());
    setBackground(DataGrid1, QPalette::Base);
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Layout::Label1);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setText(QStringLiteral(
        "If you have many items to create for Pantrovo, this importer will allow you to enter "
        "the items quickly using your PC, and then it will generate a CSV file. Copy the CSV "
        "file to your PDA device, and then use the Import facility to import the CSV file "
        "into your selected list."));

    cmdAdd->setEnabled(false);
    cmdUpdate->setEnabled(false);

    for (PickList *list : {lstGroups, lstStore, lstItemType, lstAisleNo})
        list->raise();

    setTabOrder(DataGrid1, cmdUpdate);
    setTabOrder(cmdUpdate, cmdDelete);
    setTabOrder(cmdDelete, cmdAdd);
    setTabOrder(cmdAdd, cmdSave);
    setTabOrder(cmdSave, cmdOpen);

    connect(cmdAdd, &QToolButton::clicked, this, &frmImport::cmdAdd_Click);
    connect(cmdUpdate, &QToolButton::clicked, this, &frmImport::cmdUpdate_Click);
    connect(cmdDelete, &QToolButton::clicked, this, &frmImport::cmdDelete_Click);
    connect(cmdOpen, &QToolButton::clicked, this, &frmImport::cmdOpen_Click);
    connect(cmdSave, &QToolButton::clicked, this, &frmImport::cmdSave_Click);
    connect(DataGrid1, &ItemGrid::Change, this, &frmImport::DataGrid1_Change);
    connect(DataGrid1, &ItemGrid::ColResize, this, &frmImport::alignPickLists);
    connect(lstGroups, &PickList::chosen, this, &frmImport::lstGroups_Click);
    connect(lstStore, &PickList::chosen, this, &frmImport::lstStore_Click);
    connect(lstItemType, &PickList::chosen, this, &frmImport::lstItemType_Click);
    connect(lstAisleNo, &PickList::chosen, this, &frmImport::lstAisleNo_Click);

    Form_Load();
}

frmImport::~frmImport()
{
    // The grid goes before the table it shows, and its open cell editor with it, while the
    // window can still take the editor's last text.
    disconnect(DataGrid1, nullptr, this, nullptr);
    delete DataGrid1;
}

void frmImport::setDialogRunner(DialogRunner runner)
{
    m_runDialog = std::move(runner);
}

void frmImport::setProgressWatcher(ProgressWatcher watcher)
{
    m_watchProgress = std::move(watcher);
}

void frmImport::Form_Load()
{
    DataGrid1->setModel(&rsItems);
    connect(DataGrid1, &ItemGrid::RowColChange, this, &frmImport::DataGrid1_RowColChange);
    connect(&rsItems, &ItemTable::cursorMoved, this, &frmImport::showCursorInGrid);
}

void frmImport::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Qt reports activation again after every dialog; the sheet is set up once.
    if (!m_activated) {
        m_activated = true;
        Form_Activate();
    }
}

void frmImport::Form_Activate()
{
    DataGrid1->setColumnWidth(0, Layout::FirstColumnWidth);
    for (int column = 1; column < ItemTable::FieldCount; ++column)
        DataGrid1->setColumnWidth(column, Layout::OtherColumnWidth);
    DataGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    alignPickLists();
    cmdAdd_Click();
    DataGrid1->setFocus();
}

void frmImport::alignPickList(PickList *list, int column)
{
    list->move(DataGrid1->x() + DataGrid1->columnLeft(column) + DataGrid1->columnWidth(column)
            - list->width(),
        list->y());
}

void frmImport::alignPickLists()
{
    alignPickList(lstGroups, 1);
    alignPickList(lstStore, 4);
    alignPickList(lstItemType, 3);
    alignPickList(lstAisleNo, 5);
}

// The one place where the table's cursor becomes the grid's current cell.
void frmImport::showCursorInGrid()
{
    const int row = rsItems.currentRow();
    QItemSelectionModel *selection = DataGrid1->selectionModel();
    if (row < 0) {
        selection->setCurrentIndex({}, QItemSelectionModel::Clear);
        return;
    }
    const QModelIndex cell = rsItems.index(row, std::max(DataGrid1->currentColumn(), 0));
    selection->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
    DataGrid1->scrollTo(cell);
}

// ...and the one place where the grid's current cell, moved by the user, moves the cursor.
void frmImport::DataGrid1_RowColChange(const QModelIndex &current)
{
    if (!rsItems.isChangingRows() && current.isValid())
        rsItems.Move(current.row());
    hidePickLists();
}

void frmImport::setEditingState()
{
    cmdUpdate->setEnabled(true);
    cmdAdd->setEnabled(false);
    cmdDelete->setEnabled(false);
}

void frmImport::DataGrid1_Change()
{
    setEditingState();
    if (DataGrid1->currentColumn() == 1)
        refillPickList(lstGroups, Groups);
    if (DataGrid1->currentColumn() == 4)
        refillPickList(lstStore, Stores);
    if (DataGrid1->currentColumn() == 5)
        refillPickList(lstAisleNo, AisleNos);
    if (DataGrid1->currentColumn() == 3)
        showItemTypeList();
}

int frmImport::pickListTop() const
{
    return (DataGrid1->currentRowOnDisplay() + 1) * PickList::EntryPitch
        + Layout::PickListTopOffset;
}

// Places a shown list under the current row. A list taller than the room left below the row
// stops at the window's bottom edge and scrolls, so that every entry can still be reached.
void frmImport::placePickList(PickList *list, int height)
{
    const int top = pickListTop();
    list->setGeometry(list->x(), top, list->width(),
        std::max(std::min(height, Layout::ClientSize.height() - top), 1));
}

void frmImport::refillPickList(PickList *list, const ValueList &values)
{
    const QStringList entries = values.matching(DataGrid1->currentCellText());
    list->hide();
    list->setEntries(entries);
    if (!entries.isEmpty()) {
        list->show();
        placePickList(list, int(entries.size()) * PickList::EntryPitch);
    } else {
        list->move(list->x(), pickListTop());
    }
}

void frmImport::showItemTypeList()
{
    lstItemType->show();
    placePickList(lstItemType, Layout::lstItemType.height());
    // Each test reads the cell afresh, so a word just expanded matches no later letter.
    for (const QString &itemType : itemTypes()) {
        if (DataGrid1->currentCellText().compare(itemType.left(1), Qt::CaseInsensitive) == 0)
            DataGrid1->setCurrentCellText(itemType);
    }
}

void frmImport::hidePickLists()
{
    lstGroups->hide();
    lstStore->hide();
    lstItemType->hide();
    lstAisleNo->hide();
}

void frmImport::choosePickListEntry(PickList *list, const QString &entry)
{
    DataGrid1->setCurrentCellText(entry);
    list->hide();
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

void frmImport::cmdAdd_Click()
{
    rsItems.MoveLast();
    cmdUpdate->setEnabled(false);
    cmdDelete->setEnabled(false);
    rsItems.AddNew();
    DataGrid1->setCurrentColumn(0);
    DataGrid1->setFocus();
    AddingRow = true;
}

void frmImport::cmdUpdate_Click()
{
    Groups.remember(rsItems, u"Group");
    Stores.remember(rsItems, u"Store");
    AisleNos.remember(rsItems, u"Aisle No");
    // An absent Item Type becomes "Item" too. With no current row the read fails and so does
    // the write: no row changes.
    const std::optional<QString> type = rsItems.fieldValue(u"Item Type");
    if (!type || !itemTypes().contains(*type, Qt::CaseSensitive))
        rsItems.setFieldValue(u"Item Type", itemTypes().first());
    rsItems.Update();
    cmdAdd->setEnabled(true);
    cmdDelete->setEnabled(true);
    if (AddingRow)
        cmdAdd_Click();
    AddingRow = false;
}

void frmImport::cmdDelete_Click()
{
    if (!rsItems.Delete()) {
        showError(tr("There is no current row to delete. Click a cell of the row you want to "
                     "delete, then click Delete Row."));
        return;
    }
    if (!rsItems.MoveNext()) {
        showError(tr("The row was deleted, but no new row could be offered."));
        return;
    }
    cmdAdd_Click();
}

void frmImport::cmdOpen_Click()
{
    ImportCsv();
}

void frmImport::cmdSave_Click()
{
    ExportCsv();
}

// Both file commands share the one dialog, set afresh before each use, and it offers the name
// chosen last in either command.
QString frmImport::askFileName(QFileDialog::AcceptMode mode, const QString &title)
{
    CommonDialog1->setWindowTitle(title);
    CommonDialog1->setNameFilter(QStringLiteral("CSV Files (*.csv)"));
    CommonDialog1->setDefaultSuffix(QStringLiteral("csv"));
    CommonDialog1->setAcceptMode(mode);
    CommonDialog1->setFileMode(
        mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!m_lastFileName.isEmpty())
        CommonDialog1->selectFile(m_lastFileName);
    if (runDialog(*CommonDialog1) != QDialog::Accepted)
        return {};
    const QStringList chosen = CommonDialog1->selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty())
        return {};
    m_lastFileName = chosen.first();
    return m_lastFileName;
}

namespace {

QString valueProblemText(const ItemCsv::ValueProblem &problem)
{
    const QString row = QString::number(problem.row + 1);
    const QString column = ItemTable::fieldNames().at(problem.column);
    switch (problem.fault) {
    case ItemCsv::ValueFault::Comma:
        return frmImport::tr("Nothing was saved. The value in row %1, column \u201C%2\u201D "
                             "contains a comma, which would split it into two fields, so the "
                             "handheld would read the file wrongly. Please change that value.")
            .arg(row, column);
    case ItemCsv::ValueFault::LineBreak:
        return frmImport::tr("Nothing was saved. The value in row %1, column \u201C%2\u201D "
                             "contains a line break, which would split the row in two, so the "
                             "handheld would read the file wrongly. Please change that value.")
            .arg(row, column);
    case ItemCsv::ValueFault::UnrepresentableCharacter:
        break;
    }
    const char32_t character = problem.character;
    return frmImport::tr("Nothing was saved. The value in row %1, column \u201C%2\u201D contains "
                         "the character \u201C%3\u201D (U+%4), which the file's character set, "
                         "Windows-1252, cannot hold, so the handheld would read the file "
                         "wrongly. Please change that value.")
        .arg(row, column, QString::fromUcs4(&character, 1),
            QString::number(uint(character), 16).toUpper().rightJustified(4, u'0'));
}

// The whole sentence for a name that is taken by something other than a regular file.
QString notAFileText(bool saving, const QString &fileName, ItemCsv::FileKind kind)
{
    using ItemCsv::FileKind;
    if (!saving) {
        switch (kind) {
        case FileKind::Folder:
            return frmImport::tr("Could not open \u201C%1\u201D: It is a folder, not a file.")
                .arg(fileName);
        case FileKind::Fifo:
            return frmImport::tr("Could not open \u201C%1\u201D: It is a named pipe (FIFO), "
                                 "not a file.")
                .arg(fileName);
        case FileKind::Socket:
            return frmImport::tr("Could not open \u201C%1\u201D: It is a socket, not a file.")
                .arg(fileName);
        case FileKind::CharacterDevice:
            return frmImport::tr("Could not open \u201C%1\u201D: It is a character device, "
                                 "not a file.")
                .arg(fileName);
        case FileKind::BlockDevice:
            return frmImport::tr("Could not open \u201C%1\u201D: It is a block device, not a "
                                 "file.")
                .arg(fileName);
        case FileKind::Other:
            break;
        }
        return frmImport::tr("Could not open \u201C%1\u201D: It is not a regular file.")
            .arg(fileName);
    }
    switch (kind) {
    case FileKind::Folder:
        return frmImport::tr("Could not save \u201C%1\u201D: It is a folder, not a file. Nothing "
                             "was written.")
            .arg(fileName);
    case FileKind::Fifo:
        return frmImport::tr("Could not save \u201C%1\u201D: It is a named pipe (FIFO), not a "
                             "file. Nothing was written.")
            .arg(fileName);
    case FileKind::Socket:
        return frmImport::tr("Could not save \u201C%1\u201D: It is a socket, not a file. Nothing "
                             "was written.")
            .arg(fileName);
    case FileKind::CharacterDevice:
        return frmImport::tr("Could not save \u201C%1\u201D: It is a character device, not a "
                             "file. Nothing was written.")
            .arg(fileName);
    case FileKind::BlockDevice:
        return frmImport::tr("Could not save \u201C%1\u201D: It is a block device, not a file. "
                             "Nothing was written.")
            .arg(fileName);
    case FileKind::Other:
        break;
    }
    return frmImport::tr("Could not save \u201C%1\u201D: It is not a regular file. Nothing was "
                         "written.")
        .arg(fileName);
}

} // namespace

// A long Open or Save shows how far it got and can be cancelled; a short one shows nothing. The
// dialog is made only when the work goes on past its first step, so that a short command
// does not pay for it.
ItemCsv::Progress frmImport::progressFor(
    std::unique_ptr<QProgressDialog> &dialog, const QString &label)
{
    return [this, &dialog, label](qint64 done, qint64 total) {
        if (!dialog) {
            if (done >= total)
                return true;
            dialog = std::make_unique<QProgressDialog>(this);
            dialog->setWindowTitle(QApplication::applicationName());
            dialog->setLabelText(label);
            // Keys typed ahead while the dialog comes up are meant for the grid: none of them
            // may press Cancel, so it takes no focus and is no default button.
            auto *cancel = new QPushButton(tr("Cancel"), dialog.get());
            cancel->setFocusPolicy(Qt::NoFocus);
            cancel->setAutoDefault(false);
            dialog->setCancelButton(cancel);
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setAutoReset(false);
            dialog->setAutoClose(false);
            dialog->setMinimumDuration(500);
            if (m_watchProgress)
                m_watchProgress(*dialog);
            dialog->setValue(0);
        }
        // The dialog counts in int.
        total = std::max(total, done);
        while (total > INT_MAX) {
            total /= 1024;
            done /= 1024;
        }
        dialog->setMaximum(int(total));
        dialog->setValue(int(done));
        return !dialog->wasCanceled();
    };
}

void frmImport::ExportCsv()
{
    const QString fileName
        = askFileName(QFileDialog::AcceptSave, QStringLiteral("Export Items as CSV..."));
    if (fileName.isEmpty())
        return;
    ItemCsv::SaveResult saved;
    {
        std::unique_ptr<QProgressDialog> progress;
        saved = ItemCsv::saveTable(rsItems, fileName,
            progressFor(progress, tr("Saving \u201C%1\u201D\u2026").arg(fileName)));
    }
    if (saved.problem) {
        showError(valueProblemText(*saved.problem));
        DataGrid1->setCurrentIndex(rsItems.index(saved.problem->row, saved.problem->column));
        DataGrid1->setFocus();
        return;
    }
    if (saved.notAFile) {
        showError(notAFileText(true, fileName, *saved.notAFile));
        return;
    }
    // The user cancelled and knows that nothing was saved.
    if (saved.cancelled)
        return;
    if (!saved.error.isEmpty()) {
        showError(tr("Could not save \u201C%1\u201D: %2").arg(fileName, saved.error));
        return;
    }
    showMessage(QMessageBox::Information, QStringLiteral("Exported successfully"));
}

void frmImport::ImportCsv()
{
    const QString fileName
        = askFileName(QFileDialog::AcceptOpen, QStringLiteral("Import Items from CSV..."));
    if (fileName.isEmpty())
        return;
    ItemCsv::OpenResult read;
    {
        std::unique_ptr<QProgressDialog> progress;
        read = ItemCsv::openTable(rsItems, fileName,
            progressFor(progress, tr("Opening \u201C%1\u201D\u2026").arg(fileName)));
    }
    // In each of these cases the table is as it was.
    if (read.notAFile) {
        showError(notAFileText(false, fileName, *read.notAFile));
        return;
    }
    if (!read.opened) {
        showError(tr("Could not open \u201C%1\u201D: %2").arg(fileName, read.error));
        return;
    }
    if (read.cancelled)
        return;
    if (read.outOfMemory) {
        showError(tr("Could not open \u201C%1\u201D: its rows do not fit in the memory left. "
                     "No row was added.")
                      .arg(fileName));
        return;
    }
    if (!read.error.isEmpty()) {
        showError(tr("Reading \u201C%1\u201D stopped after %2 lines: %3. The rows read before "
                     "that were added.")
                      .arg(fileName)
                      .arg(read.lines)
                      .arg(read.error));
    }
    cmdAdd_Click();
}

int frmImport::runDialog(QDialog &dialog)
{
    return m_runDialog(dialog);
}

void frmImport::showMessage(QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, QApplication::applicationName(), text, QMessageBox::Ok, this);
    runDialog(box);
}

void frmImport::showError(const QString &text)
{
    showMessage(QMessageBox::Warning, text);
}
