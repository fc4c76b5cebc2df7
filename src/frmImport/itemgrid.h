#pragma once

#include <QPersistentModelIndex>
#include <QTableView>

#include <optional>

class QLineEdit;
class RefusedCells;

// The item grid: a table view whose cell editor stores every keystroke in the model at once,
// so that the table always holds what the user sees, and which reports the things the window
// listens to: the current cell's text changed by typing, a column resized, the current cell
// moved, and a key pressed in the grid or in its cell editor.
class ItemGrid : public QTableView
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 20;
    static constexpr int HeadingHeight = 17;
    static constexpr int FrameWidth = 1;
    // The longest value the cell editor takes whole: a line edit is slow far beyond it.
    static constexpr int EditableLength = 1'000'000;

    explicit ItemGrid(QWidget *parent = nullptr);

    // The refused cells, which the cells and the cell editor mark.
    void setRefusedCells(const RefusedCells *refusedCells);

    int currentColumn() const;
    void setCurrentColumn(int column);
    // The text of the current cell: the cell editor's while it is open.
    QString currentCellText() const;
    // The open cell editor, if any.
    QLineEdit *cellEditor() const;
    // Replaces the current cell's whole text, in the open cell editor too, where Ctrl+Z takes
    // it back.
    void setCurrentCellText(const QString &text);
    // Replaces the current cell's text with `word` of which the user typed the first `typed`
    // characters: the caret stays after them and the rest is selected, so typing on replaces it.
    void completeCurrentCell(const QString &word, int typed);
    // Whether the open cell editor has an edit left to undo.
    bool isUndoAvailableInCell() const;
    // Whether the cell editor is open with the caret after its text and nothing selected.
    bool isCaretAtEnd() const;
    // Stores and closes the open cell editor, if any, giving the focus back to the grid.
    void closeCellEditor();
    // Starts a new edit of the current cell that replaces its text with what the key types.
    void typeIntoCurrentCell(QKeyEvent *event);
    // Opens the editor on the current cell with the caret after its text.
    void resumeEditing();
    // The bottom edge of the current row as drawn, in the grid's coordinates; none while the
    // row is not wholly in view or there is no current row.
    std::optional<int> currentRowBottom() const;
    // The left edge of a column measured within the grid.
    int columnLeft(int column) const;
    bool isEditing() const { return state() == EditingState; }
    // The rows and columns of the selected cells, or of the current cell when none is selected;
    // empty without either.
    QRect selectedBlock() const;

Q_SIGNALS:
    void Change();
    void ColResize(int column, int oldWidth);
    void RowColChange(const QModelIndex &current, const QModelIndex &previous);
    // Sent before the grid or its editor acts on a key, with the event ignored; a receiver
    // that acts on the key accepts the event, and then nothing else sees it.
    void keyPressed(QKeyEvent *event);
    // The cell editor was closed.
    void editorClosed();

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    // A key in the cell editor, before the editor acts on it.
    void editorKeyPressed(QKeyEvent *event);
    // Takes back the last fill while the open editor still shows it; whether it did.
    bool takeBackFill();

    // The text the program last filled a cell's editor with, and for a completion the
    // characters of it that the user typed.
    struct Fill
    {
        QPersistentModelIndex cell;
        QString text;
        int typed = -1;
    };
    Fill m_fill;
};
