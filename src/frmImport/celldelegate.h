#pragma once

#include <QStyledItemDelegate>

class RefusedCells;

// The grid's cell editor: a frameless line edit whose every keystroke is stored in the model at
// once, so that the table always holds what the user sees and a command run straight after
// typing (an access key) sees what was typed. A cell whose value Save would refuse, and its open
// editor, show the mark, and as their tooltip the reason that RefusedCells keeps.
class CellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The refused cells to mark; none marks no cell. They must outlive the delegate's editors.
    void setRefusedCells(const RefusedCells *refusedCells) { m_refusedCells = refusedCells; }

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
        const QModelIndex &index) override;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(
        QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override;

protected:
    bool eventFilter(QObject *editor, QEvent *event) override;

Q_SIGNALS:
    // The user changed the text of the open editor; the model already holds the new text.
    void textEdited();
    // A key pressed in the open editor, before the editor or the delegate acts on it; a
    // receiver that acts on it accepts the event.
    void keyPressed(QKeyEvent *event);

private Q_SLOTS:
    void storeEdit();

private:
    const RefusedCells *m_refusedCells = nullptr;
    // Whether the last setModelData wrote to the model.
    mutable bool m_stored = false;
};
