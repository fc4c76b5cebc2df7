#include "picklist.h"

#include <QStringListModel>
#include <QStyledItemDelegate>

namespace {

// Entries are 15 pixels high, so that the Item Type list shows its three entries in its 47
// pixels (with the frame) and a filtered list's 20 pixels an entry always hold them all.
class EntryDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), PickList::EntryHeight};
    }
};

} // namespace

PickList::PickList(QWidget *parent)
    : QListView(parent)
    , m_entries(new QStringListModel(this))
{
    setModel(m_entries);
    setItemDelegate(new EntryDelegate(this));
    setFocusPolicy(Qt::NoFocus);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    connect(this, &QListView::clicked, this,
        [this](const QModelIndex &index) { Q_EMIT chosen(index.data().toString()); });
}

void PickList::setEntries(const QStringList &entries)
{
    m_entries->setStringList(entries);
}

QString PickList::highlighted() const
{
    return currentIndex().isValid() ? currentIndex().data().toString() : QString();
}

void PickList::highlightNext()
{
    highlight(currentIndex().isValid() ? currentIndex().row() + 1 : 0);
}

void PickList::highlightPrevious()
{
    if (currentIndex().isValid())
        highlight(currentIndex().row() - 1);
}

void PickList::clearHighlight()
{
    selectionModel()->clear();
}

void PickList::highlight(int row)
{
    if (row < 0 || row >= m_entries->rowCount())
        return;
    setCurrentIndex(m_entries->index(row));
    scrollTo(currentIndex());
}
