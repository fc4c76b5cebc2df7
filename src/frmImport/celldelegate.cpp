#include "celldelegate.h"

#include "itemgrid.h"
#include "refusedcells.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPersistentModelIndex>
#include <QToolTip>

namespace {

// Shows the mark of the cell it edits over its text. Every keystroke is in the table, and
// checked there, before the editor repaints, so the mark follows the text without a check of
// its own.
class CellEditor : public QLineEdit
{
public:
    CellEditor(QWidget *parent, const RefusedCells *refusedCells, const QModelIndex &cell)
        : QLineEdit(parent)
        , m_refusedCells(refusedCells)
        , m_cell(cell)
    {
    }

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip && m_refusedCells) {
            const QString reason = m_refusedCells->reason(m_cell);
            if (!reason.isEmpty()) {
                QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), reason, this);
                return true;
            }
        }
        return QLineEdit::event(event);
    }

    void paintEvent(QPaintEvent *event) override
    {
        QLineEdit::paintEvent(event);
        if (m_refusedCells && m_refusedCells->isRefused(m_cell)) {
            QPainter painter(this);
            RefusedCells::paintMark(painter, rect());
        }
    }

private:
    const RefusedCells *m_refusedCells;
    QPersistentModelIndex m_cell;
};

} // namespace

void CellDelegate::paint(
    QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (m_refusedCells && m_refusedCells->isRefused(index))
        RefusedCells::paintMark(*painter, option.rect);
}

bool CellDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view,
    const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (event->type() == QEvent::ToolTip && m_refusedCells) {
        const QString reason = m_refusedCells->reason(index);
        if (!reason.isEmpty()) {
            QToolTip::showText(event->globalPos(), reason, view, option.rect);
            return true;
        }
    }
    return QStyledItemDelegate::helpEvent(event, view, option, index);
}

QWidget *CellDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    auto *editor = new CellEditor(parent, m_refusedCells, index);
    editor->setAccessibleName(index.model()->headerData(index.column(), Qt::Horizontal).toString());
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
    // setModelData() sets it while the view handles commitData.
    // cppcheck-suppress knownConditionTrueFalse
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
