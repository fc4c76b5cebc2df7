#include "itemgrid.h"

#include "celldelegate.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QToolTip>

ItemGrid::ItemGrid(QWidget *parent)
    : QTableView(parent)
{
    auto *delegate = new CellDelegate(this);
    setItemDelegate(delegate);
    connect(delegate, &CellDelegate::textEdited, this, &ItemGrid::Change);
    connect(delegate, &CellDelegate::keyPressed, this, &ItemGrid::editorKeyPressed);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked
        | QAbstractItemView::EditKeyPressed);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(FrameWidth);
    setCornerButtonEnabled(false);
    setWordWrap(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

    verticalHeader()->hide();
    verticalHeader()->setMinimumSectionSize(RowHeight);
    verticalHeader()->setDefaultSectionSize(RowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setFixedHeight(HeadingHeight);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setStretchLastSection(false);

    connect(horizontalHeader(), &QHeaderView::sectionResized, this,
        [this](int column, int oldWidth, int) { Q_EMIT ColResize(column, oldWidth); });
}

void ItemGrid::setRefusedCells(const RefusedCells *refusedCells)
{
    static_cast<CellDelegate *>(itemDelegate())->setRefusedCells(refusedCells);
    viewport()->update();
}

int ItemGrid::currentColumn() const
{
    return currentIndex().column();
}

void ItemGrid::setCurrentColumn(int column)
{
    const QModelIndex current = currentIndex();
    if (current.isValid())
        setCurrentIndex(model()->index(current.row(), column));
}

QString ItemGrid::currentCellText() const
{
    const QModelIndex current = currentIndex();
    if (auto *editor = qobject_cast<QLineEdit *>(indexWidget(current)))
        return editor->text();
    return current.data(Qt::EditRole).toString();
}

QLineEdit *ItemGrid::cellEditor() const
{
    return qobject_cast<QLineEdit *>(indexWidget(currentIndex()));
}

// In the open editor the text is replaced by an edit of the editor's own, a step of its undo:
// setting the text would wipe the editor's undo history.
void ItemGrid::setCurrentCellText(const QString &text)
{
    const QModelIndex current = currentIndex();
    QLineEdit *editor = cellEditor();
    if (!editor) {
        if (current.isValid())
            model()->setData(current, text, Qt::EditRole);
        return;
    }
    if (editor->text() == text)
        return;
    editor->selectAll();
    editor->insert(text);
    commitData(editor);
    m_fill = {current, text};
}

void ItemGrid::completeCurrentCell(const QString &word, int typed)
{
    setCurrentCellText(word);
    QLineEdit *editor = cellEditor();
    if (!editor || m_fill.text != word)
        return;
    editor->setSelection(int(word.size()), typed - int(word.size()));
    m_fill.typed = typed;
}

// The editor's own undo, but with the caret after the text as typing left it, where the
// editor would select the text that the fill replaced.
bool ItemGrid::takeBackFill()
{
    QLineEdit *editor = cellEditor();
    if (!editor || m_fill.cell != currentIndex() || editor->text() != m_fill.text)
        return false;
    m_fill = {};
    editor->undo();
    editor->end(false);
    return true;
}

// Ctrl+Z right after a fill takes the fill back. A key that types over a completion replaces
// it as if it had never been offered, so that the cell holds what was typed ("vx", not "Vx")
// and the editor's Ctrl+Z steps back through the typing; taking the completion back is no
// change the window hears of.
void ItemGrid::editorKeyPressed(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo) && takeBackFill()) {
        event->accept();
        return;
    }
    Q_EMIT keyPressed(event);
    QLineEdit *editor = cellEditor();
    if (!event->isAccepted() && !event->text().isEmpty() && event->text().front().isPrint()
        && editor && m_fill.typed >= 0 && editor->selectionStart() == m_fill.typed
        && editor->selectionEnd() == editor->text().size()) {
        const QSignalBlocker quiet(editor);
        takeBackFill();
    }
}

bool ItemGrid::isUndoAvailableInCell() const
{
    const QLineEdit *editor = cellEditor();
    return editor && editor->isUndoAvailable();
}

bool ItemGrid::isCaretAtEnd() const
{
    const auto *editor = qobject_cast<QLineEdit *>(indexWidget(currentIndex()));
    return editor && !editor->hasSelectedText()
        && editor->cursorPosition() == editor->text().size();
}

void ItemGrid::closeCellEditor()
{
    if (QWidget *editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

std::optional<int> ItemGrid::currentRowBottom() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return std::nullopt;
    // The row's whole height: a cell's visual rectangle leaves out the grid line below it.
    const int top = rowViewportPosition(current.row());
    const int bottom = top + rowHeight(current.row());
    if (top < 0 || bottom > viewport()->height())
        return std::nullopt;
    return viewport()->mapTo(this, QPoint(0, bottom)).y();
}

int ItemGrid::columnLeft(int column) const
{
    return viewport()->geometry().left() + columnViewportPosition(column);
}

void ItemGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    Q_EMIT RowColChange(current, previous);
}

QRect ItemGrid::selectedBlock() const
{
    QRect block;
    for (const QModelIndex &cell : selectionModel()->selectedIndexes())
        block |= QRect(cell.column(), cell.row(), 1, 1);
    if (block.isEmpty() && currentIndex().isValid())
        block = QRect(currentIndex().column(), currentIndex().row(), 1, 1);
    return block;
}

// Qt gives the focus back to the grid only when the editor has it in the active window; while
// no window is active (a dialog just closed, no window manager) the next key would reach
// nothing, so the window's own focus is what counts.
void ItemGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    const QWidget *focus = window()->focusWidget();
    const bool editorHadFocus = editor && focus && (focus == editor || editor->isAncestorOf(focus));
    QTableView::closeEditor(editor, hint);
    if (editorHadFocus && !hasFocus())
        setFocus();
    Q_EMIT editorClosed();
}

void ItemGrid::resumeEditing()
{
    if (!edit(currentIndex(), EditKeyPressed, nullptr))
        return;
    if (auto *editor = qobject_cast<QLineEdit *>(indexWidget(currentIndex()))) {
        editor->deselect();
        editor->end(false);
    }
}

void ItemGrid::typeIntoCurrentCell(QKeyEvent *event)
{
    edit(currentIndex(), AnyKeyPressed, event);
}

void ItemGrid::keyPressEvent(QKeyEvent *event)
{
    event->ignore();
    Q_EMIT keyPressed(event);
    if (!event->isAccepted()) {
        event->accept();
        QTableView::keyPressEvent(event);
    }
}

// A line edit is slow far beyond a million characters, and one given more would cut the
// value, so a longer value opens no editor and says why instead.
bool ItemGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    if (trigger != NoEditTriggers && trigger != CurrentChanged
        && index.data(Qt::EditRole).toString().size() > EditableLength) {
        QToolTip::showText(viewport()->mapToGlobal(visualRect(index).center()),
            tr("This value is longer than %L1 characters, too long to edit here; it is kept as "
               "it is.")
                .arg(EditableLength),
            viewport());
        return false;
    }
    return QTableView::edit(index, trigger, event);
}
