#pragma once

#include <QStyledItemDelegate>

class ValueMarks;

// The grid's cell editor: a frameless line edit whose every keystroke is stored in the model at
// once, so that the table always holds what the user sees and a command run straight after
// typing (an access key) sees what was typed. A cell whose value Save would refuse, and its open
// editor, show the mark of ValueMarks and its reason as their tooltip.
class CellDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // The marks to show; none shows no marks. The marks must outlive the delegate's editors.
    void setMarks(const ValueMarks *marks) { m_marks = marks; }

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
    const ValueMarks *m_marks = nullptr;
    // Whether the last setModelData wrote to the model.
    mutable bool m_stored = false;
};
