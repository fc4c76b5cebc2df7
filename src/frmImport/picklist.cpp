#include "picklist.h"

#include <QAbstractItemView>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QStringListModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>

namespace {

// The list is a few hundred pixels wide, so no entry shows more than its first and last
// DrawnLength / 2 characters; laying out a remembered value of a million characters to elide it
// took a second each keystroke.
constexpr qsizetype DrawnLength = 300;
// A tooltip shows at most this many characters of an entry, in lines of at most LineLength: one
// line of a long value was wider than the screen and took seconds to lay out.
constexpr qsizetype ToolTipLength = 1000;
constexpr qsizetype LineLength = 80;

// At most `length` characters of `text`, not cutting a surrogate pair, with an ellipsis where
// it is cut.
QString prefix(const QString &text, qsizetype length)
{
    if (text.size() <= length)
        return text;
    if (text.at(length - 1).isHighSurrogate())
        --length;
    return text.first(length) + u'\u2026';
}

// The first and last DrawnLength / 2 characters of a longer text, not cutting a surrogate
// pair, with an ellipsis between them.
QString drawnForm(const QString &text)
{
    if (text.size() <= DrawnLength)
        return text;
    qsizetype head = DrawnLength / 2;
    qsizetype tail = DrawnLength / 2;
    if (text.at(head - 1).isHighSurrogate())
        --head;
    if (text.at(text.size() - tail).isLowSurrogate())
        --tail;
    return text.first(head) + u'\u2026' + text.last(tail);
}

// The text in lines of at most LineLength characters, broken after a space where the line
// has one.
QString wrapped(const QString &text)
{
    QString lines;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = std::min(text.size(), start + LineLength);
        if (end < text.size()) {
            const qsizetype space = text.lastIndexOf(u' ', end - 1);
            if (space > start)
                end = space + 1;
            else if (text.at(end - 1).isHighSurrogate())
                --end;
        }
        if (!lines.isEmpty())
            lines += u'\n';
        lines += QStringView(text).sliced(start, end - start).trimmed();
        start = end;
    }
    return lines;
}

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

    // A long entry is cut to the list's fixed width; the tooltip shows it, whole or (a long
    // value) its start in lines. Entries that fit show none, so the list stays as quiet as it
    // was.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
        const QModelIndex &index) override
    {
        if (event->type() != QEvent::ToolTip || !index.isValid())
            return QStyledItemDelegate::helpEvent(event, view, option, index);
        QStyleOptionViewItem item = option;
        initStyleOption(&item, index);
        // An entry's place reaches as far as its text; the list draws it only as wide as the
        // list.
        item.rect.setRight(std::min(item.rect.right(), view->viewport()->rect().right()));
        if (isCut(item, view))
            QToolTip::showText(event->globalPos(),
                wrapped(prefix(index.data().toString(), ToolTipLength)), view, item.rect);
        else
            QToolTip::hideText();
        return true;
    }

protected:
    // Only the drawing is cut: the entry, and so a choice of it, keeps the whole value.
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = drawnForm(option->text);
    }

private:
    // The same room that the style gives the text when it draws and cuts it.
    static bool isCut(const QStyleOptionViewItem &item, const QWidget *view)
    {
        const QStyle *style = view->style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const QRect room = style->subElementRect(QStyle::SE_ItemViewItemText, &item, view);
        return QFontMetricsF(item.font).horizontalAdvance(item.text) > room.width() - 2 * margin;
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
    // Two stores that begin alike stay apart: "Farm…market", "Farm…shop".
    setTextElideMode(Qt::ElideMiddle);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    // The frame lies on pale yellow inside and out, like the entries' text: drawn in the
    // window-text colour it vanished under a dark theme.
    setForegroundRole(QPalette::Text);
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

// Qt tells screen readers of the list's new current entry and its selection, though the
// keyboard focus stays in the cell.
void PickList::highlight(int row)
{
    if (row < 0 || row >= m_entries->rowCount())
        return;
    setCurrentIndex(m_entries->index(row));
    scrollTo(currentIndex());
}

QString PickList::summary() const
{
    const QStringList entries = m_entries->stringList();
    QStringList first;
    for (const QString &entry : entries.first(std::min<qsizetype>(entries.size(), 3)))
        first.append(drawnForm(entry));
    if (entries.size() == 1)
        return tr("1 suggestion: %1. Down to choose.").arg(first.constFirst());
    return tr("%n suggestions: %1. Down to choose.", nullptr, int(entries.size()))
        .arg(first.join(QStringLiteral(", ")));
}

void PickList::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    Q_EMIT shownChanged();
}

// Not when the window hides it with itself, as it closes.
void PickList::hideEvent(QHideEvent *event)
{
    QListView::hideEvent(event);
    if (isHidden())
        Q_EMIT shownChanged();
}
