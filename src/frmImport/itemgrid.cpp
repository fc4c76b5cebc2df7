#include "itemgrid.h"

#include "celldelegate.h"

#include <QHeaderView>
#include <QLineEdit>

ItemGrid::ItemGrid(QWidget *parent)
    : QTableView(parent)
{
    auto *delegate = new CellDelegate(this);
    setItemDelegate(delegate);
    connect(delegate, &CellDelegate::textEdited, this, &ItemGrid::Change);
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
