#include "picklist.h"

#include <QStringListModel>

PickList::PickList(QWidget *parent)
    : QListView(parent)
    , m_entries(new QStringListModel(this))
{
    setModel(m_entries);
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

QStringList PickList::entries() const
{
    return m_entries->stringList();
}

int PickList::entryCount() const
{
    return m_entries->rowCount();
}
