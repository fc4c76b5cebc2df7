#pragma once

#include <QListView>

class QStringListModel;

// A pop-up pick list by a grid column's current row. It never takes the keyboard focus, so the user
// goes on typing in the cell while it is shown, and it is filled in one call.
class PickList : public QListView
{
    Q_OBJECT

public:
    // The height that a list is given for each entry it shows.
    static constexpr int EntryPitch = 20;
    static constexpr int EntryHeight = 15;

    explicit PickList(QWidget *parent = nullptr);

    // Replaces the entries; none is highlighted.
    void setEntries(const QStringList &entries);

    // The entry highlighted from the keyboard, or a null string.
    QString highlighted() const;
    // Highlights the entry after (or before) the highlighted one, the first entry when none is;
    // neither goes round past an end.
    void highlightNext();
    void highlightPrevious();
    void clearHighlight();
    // What a screen reader is told of the list: how many entries it offers, and the first
    // three.
    QString summary() const;

Q_SIGNALS:
    // The user clicked an entry; carries its text.
    void chosen(const QString &text);
    // The list was shown, or hidden on its own.
    void shownChanged();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void highlight(int row);

    QStringListModel *m_entries;
};
