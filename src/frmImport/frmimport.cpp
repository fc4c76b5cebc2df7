#include "frmimport.h"

#include "appearance.h"
#include "clipboardcells.h"
#include "closeddialogkeys.h"
#include "commandstep.h"
#include "itemgrid.h"
#include "itemtype.h"
#include "picklist.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QProgressDialog>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QToolButton>
#include <QUndoStack>

#include <new>
#include <utility>

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
} // namespace Layout

// What an event does to one of the row buttons; Keep leaves it as it was.
enum class ButtonChange { Keep, Enable, Disable };

void changeButton(QToolButton *button, ButtonChange change)
{
    if (change != ButtonChange::Keep)
        button->setEnabled(change == ButtonChange::Enable);
}

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

// A button draws its caption in the button-text colour, the cells and lists theirs in the text
// colour.
void setBackground(QWidget *widget, QPalette::ColorRole role)
{
    usePaleYellow(widget, role, role == QPalette::Button ? QPalette::ButtonText : QPalette::Text);
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
    // Styles shade a button's palette colour (Fusion fades it almost to white); a style sheet
    // fills it with exactly the design's colour.
    button->setStyleSheet(buttonStyleSheet());
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

QString frmImport::saveToolTip()
{
    return tr("Export the data to a CSV file for import to Pantrovo");
}

frmImport::frmImport(QWidget *parent)
    : QWidget(parent)
    , m_undoStack(new QUndoStack(this))
    , m_runDialog([](QDialog &dialog) { return dialog.exec(); })
{
    setObjectName(QStringLiteral("frmImport"));
    setWindowTitle(tr("Pantrovo Importer"));
    setWindowIcon(programIcon());
    setFixedSize(Layout::ClientSize);
    setAcceptDrops(true);
    // A small default font, so that the captions fit the 75-pixel buttons and the
    // explanation fits its label.
    QFont windowFont = font();
    windowFont.setPointSizeF(8);
    setFont(windowFont);

    makeControls();
    applyRowEvent(RowEvent::Created);

    m_pickLists = {{{Column::Group, lstGroups, &Groups, Layout::lstGroups.height()},
        {Column::Store, lstStore, &Stores, Layout::lstStore.height()},
        {Column::ItemType, lstItemType, nullptr, Layout::lstItemType.height()},
        {Column::AisleNo, lstAisleNo, &AisleNos, Layout::lstAisleNo.height()}}};
    for (const PickListColumn &pickList : m_pickLists)
        pickList.list->raise();

    connectControls();
    watchRefusedValues();
    nameForScreenReaders();

    Form_Load();
}

void frmImport::makeControls()
{
    // Created in the design's order; the pick lists, made first, are raised above the grid
    // once the window knows which column each serves.
    lstAisleNo = makePickList(this, "lstAisleNo", Layout::lstAisleNo);
    cmdOpen = makeButton(this, "cmdOpen", tr("&Open File"), QStringLiteral(":/icons/open.png"),
        tr("Append the items of a CSV file to the grid"), Layout::cmdOpen);
    lstItemType = makePickList(this, "lstItemType", Layout::lstItemType);
    lstItemType->setEntries(ItemType::vocabulary());
    lstStore = makePickList(this, "lstStore", Layout::lstStore);
    lstGroups = makePickList(this, "lstGroups", Layout::lstGroups);
    CommonDialog1 = new QFileDialog(this);
    CommonDialog1->setObjectName(QStringLiteral("CommonDialog1"));
    cmdSave = makeButton(this, "cmdSave", tr("&Save File"), QStringLiteral(":/icons/save.png"),
        saveToolTip(), Layout::cmdSave);
    cmdAdd = makeButton(this, "cmdAdd", tr("&Add Row"), QStringLiteral(":/icons/add.png"),
        tr("Add a new item row"), Layout::cmdAdd);
    cmdDelete = makeButton(this, "cmdDelete", tr("&Delete Row"),
        QStringLiteral(":/icons/delete.png"), tr("Delete the item row"), Layout::cmdDelete);
    cmdDelete->setFont(designFont(QStringLiteral("Arial")));
    cmdUpdate = makeButton(this, "cmdUpdate", tr("&Update Row"), QStringLiteral(":/icons/save.png"),
        tr("Update the item row"), Layout::cmdUpdate);
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
    Label1->setText(
        tr("If you have many items to create for Pantrovo, this importer will allow you to enter "
           "the items quickly using your PC, and then it will generate a CSV file. Copy the CSV "
           "file to your PDA device, and then use the Import facility to import the CSV file "
           "into your selected list."));
}

void frmImport::connectControls()
{
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
    connect(DataGrid1, &ItemGrid::keyPressed, this, &frmImport::DataGrid1_keyPressed);
    connect(DataGrid1->verticalScrollBar(), &QScrollBar::valueChanged, this,
        &frmImport::placeShownPickLists);
    for (QToolButton *button : {cmdAdd, cmdUpdate, cmdDelete, cmdOpen, cmdSave})
        button->installEventFilter(this);
    connect(new QShortcut(QKeySequence::Open, this), &QShortcut::activated, cmdOpen,
        &QToolButton::click);
    connect(new QShortcut(QKeySequence::Save, this), &QShortcut::activated, cmdSave,
        &QToolButton::click);
    connect(DataGrid1, &ItemGrid::editorClosed, this, [this] {
        if (m_stepDepth == 0)
            pushStep();
    });
    connect(lstGroups, &PickList::chosen, this, &frmImport::lstGroups_Click);
    connect(lstStore, &PickList::chosen, this, &frmImport::lstStore_Click);
    connect(lstItemType, &PickList::chosen, this, &frmImport::lstItemType_Click);
    connect(lstAisleNo, &PickList::chosen, this, &frmImport::lstAisleNo_Click);
}

frmImport::~frmImport()
{
    // The grid goes while the table it shows is still there: closing its open editor stores
    // the editor's text and ends the step being typed, which both need the table.
    delete DataGrid1;
}

void frmImport::Form_Load()
{
    DataGrid1->setModel(&rsItems);
    connect(DataGrid1, &ItemGrid::RowColChange, this, &frmImport::DataGrid1_RowColChange);
    connect(&rsItems, &ItemTable::cursorMoved, this, &frmImport::showCursorInGrid);
    // The keys typed while a dialog closes go on to the grid.
    m_closedDialogKeys = new ClosedDialogKeys(this);
}

// An access key clicks its button at once rather than after the button's short animation, so
// that the keys typed after it go where the command left the cursor. A disabled button's key
// does not come here: the grid swallows it.
bool frmImport::eventFilter(QObject *watched, QEvent *event)
{
    auto *button = qobject_cast<QToolButton *>(watched);
    if (event->type() == QEvent::Shortcut && button) {
        if (button->isEnabled())
            button->click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
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
    for (const Column column : AllColumns) {
        DataGrid1->setColumnWidth(position(column),
            column == Column::ItemName ? Layout::FirstColumnWidth : Layout::OtherColumnWidth);
    }
    DataGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    alignPickLists();
    cmdAdd_Click();
    DataGrid1->setFocus();
    // Undo starts here, so that it never takes away the row the user starts with.
    rsItems.setJournaling(true);
    m_stepStart = commandState();
}

// Copies the selected cells as spreadsheets do: values joined by Tab, rows ended by a line end.
void frmImport::copyCells()
{
    const QRect block = DataGrid1->selectedBlock();
    if (block.isEmpty())
        return;
    QString text;
    for (int row = block.top(); row <= block.bottom(); ++row) {
        for (int column = block.left(); column <= block.right(); ++column) {
            if (column > block.left())
                text += u'\t';
            ClipboardCells::appendCell(text, rsItems.row(row).field(columnAt(column)));
        }
        text += u'\n';
    }
    // A single cell goes without a line end, as spreadsheets put it.
    if (block.width() == 1 && block.height() == 1)
        text.chop(1);
    QGuiApplication::clipboard()->setText(text);
}

// Pastes text copied from a spreadsheet from the selection's top left cell on: a line for each
// row and a Tab between values, a cell in quotes as spreadsheets write one that holds a Tab, a
// line break or a quote. The values are stored as they stand, as Open stores a file's,
// in one pass over the text; a long paste shows its progress and can be cancelled. A paste that
// cannot be stored whole changes nothing: every row is built before the first one changes, so
// it never leaves half a paste behind.
void frmImport::pasteCells()
{
    const QRect block = DataGrid1->selectedBlock();
    if (block.isEmpty())
        return;
    ItemTable::BlockResult pasted;
    {
        QString text;
        try {
            text = QGuiApplication::clipboard()->text();
        } catch (const std::bad_alloc &) {
            pasted.outcome = ItemTable::BlockResult::Outcome::OutOfMemory;
        }
        if (text.isEmpty() && pasted.outcome == ItemTable::BlockResult::Outcome::Set)
            return;
        if (pasted.outcome == ItemTable::BlockResult::Outcome::Set) {
            CommandStep step(this);
            DataGrid1->closeCellEditor();
            std::unique_ptr<QProgressDialog> progress;
            pasted = rsItems.setBlock(
                block.top(), block.left(), text, u'\t', progressFor(progress, tr("Pasting\u2026")));
            if (pasted.outcome == ItemTable::BlockResult::Outcome::Set)
                applyRowEvent(RowEvent::Editing);
        }
    }
    switch (pasted.outcome) {
    case ItemTable::BlockResult::Outcome::Set:
    case ItemTable::BlockResult::Outcome::Unchanged:
    // The user cancelled and sees that nothing was pasted.
    case ItemTable::BlockResult::Outcome::Cancelled:
        break;
    case ItemTable::BlockResult::Outcome::OutOfMemory:
        showError(tr("Nothing was pasted: the rows do not fit in the memory left."));
        break;
    case ItemTable::BlockResult::Outcome::TooLong:
        showError(tr("Nothing was pasted: the value for row %1, column \u201C%2\u201D is too "
                     "long.")
                      .arg(pasted.row + 1)
                      .arg(heading(columnAt(pasted.column))));
        break;
    }
}

// Empties the selected cells, as typing them empty would; cells already empty stay as they are.
void frmImport::clearCells()
{
    const QRect block = DataGrid1->selectedBlock();
    if (block.isEmpty())
        return;
    ItemTable::BlockResult cleared;
    {
        CommandStep step(this);
        try {
            // A line of empty values for each row of the block.
            const QString emptyLine = QString(block.width() - 1, u'\t') + u'\n';
            cleared = rsItems.setBlock(
                block.top(), block.left(), emptyLine.repeated(block.height()), u'\t');
        } catch (const std::bad_alloc &) {
            cleared.outcome = ItemTable::BlockResult::Outcome::OutOfMemory;
        }
        if (cleared.outcome == ItemTable::BlockResult::Outcome::Set)
            applyRowEvent(RowEvent::Editing);
    }
    // Emptying cells never makes a row longer.
    if (cleared.outcome == ItemTable::BlockResult::Outcome::OutOfMemory)
        showError(tr("Nothing was cleared: the rows do not fit in the memory left."));
}

// The one place where an event of the row commands sets their three buttons.
void frmImport::applyRowEvent(RowEvent event)
{
    // How each event sets "Add Row", "Delete Row" and "Update Row".
    struct Effect
    {
        RowEvent event;
        ButtonChange add;
        ButtonChange del;
        ButtonChange update;
    };
    static constexpr std::array<Effect, 4> effects {{
        {RowEvent::Created, ButtonChange::Disable, ButtonChange::Enable, ButtonChange::Disable},
        {RowEvent::AddRow, ButtonChange::Keep, ButtonChange::Disable, ButtonChange::Disable},
        {RowEvent::Editing, ButtonChange::Disable, ButtonChange::Disable, ButtonChange::Enable},
        {RowEvent::Updated, ButtonChange::Enable, ButtonChange::Enable, ButtonChange::Keep},
    }};
    for (const Effect &effect : effects) {
        if (effect.event == event) {
            changeButton(cmdUpdate, effect.update);
            changeButton(cmdAdd, effect.add);
            changeButton(cmdDelete, effect.del);
        }
    }
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
    if (current.isValid())
        rsItems.Move(current.row());
    hidePickLists();
    // A move of the cursor ends the step being typed; the next one starts here.
    if (m_stepDepth == 0)
        pushStep();
}

void frmImport::DataGrid1_Change()
{
    // Only text that a key added at the end completes: Backspace, Delete, cut and the editor's
    // undo never do, so the user can take a completion away and shorten the text.
    const bool addedAtEnd = std::exchange(m_keyTypes, false) && DataGrid1->isCaretAtEnd();
    m_typed = true;
    applyRowEvent(RowEvent::Editing);
    for (const PickListColumn &pickList : m_pickLists) {
        if (position(pickList.column) != DataGrid1->currentColumn())
            continue;
        if (pickList.values)
            refillPickList(pickList.list, *pickList.values);
        else
            showItemTypeList(addedAtEnd);
    }
}

void frmImport::cmdAdd_Click()
{
    CommandStep step(this);
    rsItems.MoveLast();
    applyRowEvent(RowEvent::AddRow);
    rsItems.AddNew();
    DataGrid1->setCurrentColumn(position(Column::ItemName));
    DataGrid1->setFocus();
    AddingRow = true;
}

void frmImport::cmdUpdate_Click()
{
    CommandStep step(this);
    // The committed row is shown, not edited: the next key starts a new edit of the cell, and
    // Ctrl+Z reaches the grid, where it undoes this command.
    DataGrid1->closeCellEditor();
    DataGrid1->setFocus();
    for (const PickListColumn &pickList : m_pickLists) {
        const std::optional<QString> value = rsItems.fieldValue(pickList.column);
        if (pickList.values && value)
            pickList.values->remember(*value);
    }
    // With no current row the read fails and so does the write: no row changes.
    const std::optional<QString> type = rsItems.fieldValue(Column::ItemType);
    if (const QString tidied = ItemType::tidied(type); type != tidied)
        rsItems.setFieldValue(Column::ItemType, tidied);
    rsItems.Update();
    applyRowEvent(RowEvent::Updated);
    if (AddingRow)
        cmdAdd_Click();
    AddingRow = false;
}

void frmImport::cmdDelete_Click()
{
    CommandStep step(this);
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
