#pragma once

#include <QListView>

class QStringListModel;

// A pop-up pick list under a grid column. It never takes the keyboard focus, so the user goes
// on typing in the cell while it is shown, and it is filled in one call.
class PickList : public QListView
{
    Q_OBJECT

public:
    // The height that a list is given for each entry it shows.
    static constexpr int EntryPitch = 20;
    static constexpr int EntryHeight = 15;

    explicit PickList(QWidget *parent = nullptr);

    void setEntries(const QStringList &entries);

Q_SIGNALS:
    // The user clicked an entry; carries its text.
    void chosen(const QString &text);

private:
    QStringListModel *m_entries;
};
