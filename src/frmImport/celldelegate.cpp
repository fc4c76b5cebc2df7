#include "celldelegate.h"

#include <QLineEdit>

QWidget *CellDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const
{
    auto *editor = new QLineEdit(parent);
    editor->setFrame(false);
    connect(editor, &QLineEdit::textEdited, this, &CellDelegate::storeEdit);
    return editor;
}

void CellDelegate::storeEdit()
{
    // The keystroke is in the table before anyone hears of it.
    Q_EMIT commitData(qobject_cast<QWidget *>(sender()));
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
        model->setData(index, text, Qt::EditRole);
}
