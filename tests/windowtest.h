#pragma once

#include "frmimport.h"

#include <QStringList>

#include <memory>

class ItemGrid;
class PickList;
class QToolButton;

// Drives the real window as a user would, and describes what it shows in whole values that
// QCOMPARE prints readably.
class WindowDriver
{
public:
    WindowDriver();
    ~WindowDriver();

    frmImport &window() { return *m_window; }
    ItemTable &table() { return m_window->items(); }
    ItemGrid *grid() const;
    QToolButton *button(const char *name) const;
    PickList *pickList(const char *name) const;

    // "Add on, Update off, Delete off": the three row buttons at once.
    QString rowButtons() const;
    // The fields of a row joined by "|", an absent field shown as "<absent>".
    QString row(int index) const;
    QStringList rows() const;

    // Clicks a cell of the grid, as the mouse does.
    void clickCell(int row, int column);
    // Types into the current cell through its editor, one key at a time.
    void type(const QString &text);
    // Clicks a cell and types into it.
    void typeInto(int row, int column, const QString &text);
    void click(const char *buttonName);
    void altKey(Qt::Key key);

    // Messages the window showed instead of opening a message box, as "caption: text".
    QStringList messages;

private:
    std::unique_ptr<frmImport> m_window;
};
