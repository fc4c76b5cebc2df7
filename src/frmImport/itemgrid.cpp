#include "itemgrid.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>

namespace {

class CellDelegate : public QStyledItemDelegate
{
public:
    explicit CellDelegate(ItemGrid *grid)
        : QStyledItemDelegate(grid)
        , m_grid(grid)
    {
    }

    QWidget *createEditor(
        QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &) const override
    {
        auto *editor = new QLineEdit(parent);
        editor->setFrame(false);
        connect(editor, &QLineEdit::textEdited, this, [this, editor] {
            // Store the keystroke in the table before anyone hears of it, so that a command
            // run next (Alt+U straight after typing) sees what the user typed.
            Q_EMIT const_cast<CellDelegate *>(this)->commitData(editor);
            Q_EMIT m_grid->Change();
        });
        return editor;
    }

    // The model echoes every stored keystroke back; resetting the editor to the same text
    // would throw away its cursor position and undo history.
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        auto *lineEdit = static_cast<QLineEdit *>(editor);
        const QString text = index.data(Qt::EditRole).toString();
        if (lineEdit->text() != text)
            lineEdit->setText(text);
    }

    // An editor that was opened and closed without typing must not turn an absent field into
    // an empty one, and a stale editor must not write over what the program set.
    void setModelData(
        QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        const QString text = static_cast<QLineEdit *>(editor)->text();
        if (text != index.data(Qt::EditRole).toString())
            model->setData(index, text, Qt::EditRole);
    }

private:
    ItemGrid *m_grid;
};

} // namespace

ItemGrid::ItemGrid(QWidget *parent)
    : QTableView(parent)
{
    setItemDelegate(new CellDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
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

void ItemGrid::setCurrentCellText(const QString &text)
{
    const QModelIndex current = currentIndex();
    if (current.isValid())
        model()->setData(current, text, Qt::EditRole);
}

int ItemGrid::currentRowOnDisplay() const
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return -1;
    return rowViewportPosition(current.row()) / RowHeight;
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
