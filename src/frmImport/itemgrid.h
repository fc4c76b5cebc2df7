#pragma once

#include <QTableView>

// The item grid: a table view whose cell editor stores every keystroke in the model at once,
// so that the table always holds what the user sees, and which reports the three things the
// window listens to: the current cell's text changed by typing, a column resized, and the
// current cell moved.
class ItemGrid : public QTableView
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 20;
    static constexpr int HeadingHeight = 17;
    static constexpr int FrameWidth = 1;

    explicit ItemGrid(QWidget *parent = nullptr);

    int currentColumn() const;
    void setCurrentColumn(int column);
    // The text of the current cell: the cell editor's while it is open.
    QString currentCellText() const;
    // Replaces the current cell's whole text, in the open cell editor too.
    void setCurrentCellText(const QString &text);
    // The current row's position among the rows on display, 0 for the topmost; -1 without one.
    int currentRowOnDisplay() const;
    // The left edge of a column measured within the grid.
    int columnLeft(int column) const;

Q_SIGNALS:
    void Change();
    void ColResize(int column, int oldWidth);
    void RowColChange(const QModelIndex &current, const QModelIndex &previous);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
};
