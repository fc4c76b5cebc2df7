#pragma once

#include "frmimport.h"
#include "tablerows.h"

#include <QStringList>

#include <functional>
#include <memory>

class ItemGrid;
class QImage;
class QRect;
class PickList;
class QToolButton;

// What WindowDriver::messages holds after a save that succeeded.
inline const QString exportedMessage
    = QStringLiteral("[Information] PantrovoImporter: Exported successfully");

// The entries a pick list holds, shown or not.
QStringList entries(const PickList *list);
// A file's whole content, or "<no file>" when it cannot be read.
QByteArray contents(const QString &fileName);
// Writes a test file; a test that cannot write its own files stops at once.
void write(const QString &fileName, const QByteArray &bytes);
// Whether any pixel within `area` of the image is red, as marks of refused values are drawn.
bool hasRedPixels(const QImage &image, const QRect &area);

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
    // A row as tablerows.h writes it.
    QString row(int index) const;
    QStringList rows() const;
    // "shown [Fruit, Dairy] at (168, 150) 73x40" or "hidden [] at ...": a pick list at once.
    QString pickListState(const char *name) const;
    // Where each pick list's right edge lies and where its column's right edge lies, in window
    // pixels: "168/168 392/392 ...", in the order Groups, Store, Item Type, Aisle No.
    QString pickListAlignment() const;
    // What a user sees of a cell's mark for a value that Save would refuse, and a screen reader
    // hears as the cell's description: "marked: <the tooltip>", "unmarked" or "no such cell";
    // anything between says what it shows. Of the cell editor where the cell is being edited.
    QString cellMark(int row, int column);
    // The grid's current cell: "(row, column)", or "none".
    QString currentCell() const;

    // Clicks a cell of the grid, as the mouse does.
    void clickCell(int row, int column);
    // Types into the current cell through its editor, one key at a time.
    void type(const QString &text);
    // Sends keys to whatever has the focus (a popup while one is open), back to back with nothing
    // waited for, as a fast typist does: text is typed as it stands, and {Name} presses a key or a
    // combination as QKeySequence names it: "Milk{Alt+U}", "{Shift+Tab}", "ac{Left}bb",
    // "{Ctrl+Alt+€}" (AltGr); {click cmdUpdate} clicks a button with the mouse.
    void keys(QStringView script);
    // Types a value of two letters or more as it stands, where the Item Type column would
    // complete a start of Item, Weight or Volume typed at the end: one that starts with I, W or
    // V gets its first letter last, typed before the rest, where nothing completes.
    void typeAsOneValue(const QString &text);
    // Clicks a cell and types into it.
    void typeInto(int row, int column, const QString &text);
    void click(const char *buttonName);
    void altKey(Qt::Key key);

    // Message boxes the window showed, as "[Information] caption: text".
    QStringList messages;
    // Answers to the file dialog, one for each time it is shown: a path to choose, or an
    // empty string to cancel. With no answer left the dialog is cancelled.
    QStringList fileAnswers;
    // Names typed into the real file dialog, one each time it is shown once fileAnswers is
    // used up: key by key, then, once its completion list shows, the main Return key and a Tab
    // into the list's window.
    QStringList typedFileNames;
    // Runs after the file dialog is answered and before the window acts on the answer, as
    // another program might change the chosen file while the dialog closes.
    std::function<void()> afterFileDialog;
    // The file dialog each time it was shown: "title | filter | default suffix | offered name".
    QStringList fileDialogs;
    // Lets the window show real dialogs, for a test that drives them itself.
    void useRealDialogs();

    // Keys typed into each import preview (see keys()), one script for each time one is shown;
    // with none left the preview is cancelled with Escape.
    QStringList previewKeys;
    // Each import preview as it first showed: its settings, the grid column of each of the
    // file's columns, its rows (a marked value ending in "!"), its notes and its character set,
    // joined by " / ".
    QStringList previews;

    // When set, each progress dialog shows at once instead of after half a second, and as soon
    // as it is up the user types a few keys into it and then clicks its Cancel button, if any.
    bool cancelProgress = false;
    // The progress dialogs shown, as "label: keys ignored|cancelled, then Cancel clicked|no
    // Cancel".
    QStringList progressDialogs;

private:
    int typeIntoFileDialog(QDialog &dialog, const QString &name);

    std::unique_ptr<frmImport> m_window;
};
