#include "celldelegate.h"

#include "itemgrid.h"

#include <QKeyEvent>
#include <QLineEdit>

QWidget *CellDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    editor->setFrame(false);
    editor->setMaxLength(ItemGrid::EditableLength);
    connect(editor, &QLineEdit::textEdited, this, &CellDelegate::storeEdit);
    return editor;
}

// Runs before the editor sees a key, and before the delegate's own handling of Tab, Enter and
// Escape, so that the grid's key rules hold in the editor too.
bool CellDelegate::eventFilter(QObject *editor, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        key->ignore();
        Q_EMIT keyPressed(key);
        if (key->isAccepted())
            return true;
        key->accept();
    }
    return QStyledItemDelegate::eventFilter(editor, event);
}

void CellDelegate::storeEdit()
{
    // The keystroke is in the table before anyone hears of it. An edit that leaves the text as
    // it was (a character typed over the same character) is no change of the cell.
    m_stored = false;
    Q_EMIT commitData(qobject_cast<QWidget *>(sender()));
    if (m_stored)
        Q_EMIT textEdited();
}

// The model echoes every stored keystroke back; resetting the editor to the same text would
// throw away its cursor position and undo history.
void CellDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *lineEdit = static_cast<QLineEdit *>(editor);
    const QString text = index.data(Qt::EditRole).toString();
    if (lineEdit->text() != text)
        lineEdit->setText(text);
}

// An editor that was opened and closed without typing must not turn an absent field into an
// empty one, and a stale editor must not write over what the program set.
void CellDelegate::setModelData(
    QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const
{
    const QString text = static_cast<QLineEdit *>(editor)->text();
    if (text != index.data(Qt::EditRole).toString())
        m_stored = model->setData(index, text, Qt::EditRole);
}
