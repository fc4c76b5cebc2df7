#include "failingallocation.h"
#include "itemgrid.h"
#include "windowtest.h"

#include <QApplication>
#include <QClipboard>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <optional>

namespace {

// The rows, the three row buttons, the flag and the cell cursor at once.
QString snapshot(WindowDriver &driver)
{
    const QModelIndex cell = driver.grid()->currentIndex();
    return QStringLiteral("%1 | %2 | adding %3 | cell %4,%5")
        .arg(driver.rows().join(QStringLiteral("; ")), driver.rowButtons())
        .arg(driver.window().isAddingRow())
        .arg(cell.row())
        .arg(cell.column());
}

// Where the undo history stands: "step 2 of 3".
QString history(WindowDriver &driver)
{
    const auto *stack = driver.window().findChild<QUndoStack *>();
    return QStringLiteral("step %1 of %2").arg(stack->index()).arg(stack->count());
}

} // namespace

class tst_Editing : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Ctrl+V with no editor open, from the cell (1, column) of a table of two rows.
    void pasteFillsCellsAndAppendsRows_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("rows");
        const QString a = QStringLiteral("a|<absent>|<absent>|Item|<absent>|<absent>");
        QTest::newRow("block wider than the columns left")
            << "1\t2\t3\n4\t5\t6\n"
            << 4
            << QStringList {a, "<absent>|<absent>|<absent>|<absent>|1|2",
                   "<absent>|<absent>|<absent>|<absent>|4|5"};
        QTest::newRow("block longer than the table")
            << "x\tDairy\r\ny\rz" << 0
            << QStringList {a, "x|Dairy|<absent>|<absent>|<absent>|<absent>", rowWithName("y"),
                   rowWithName("z")};
        QTest::newRow("single value, quotes plain")
            << "\"Milk\"" << 1
            << QStringList {a, "<absent>|\"Milk\"|<absent>|<absent>|<absent>|<absent>"};
        QTest::newRow("no completion, no Item Type rule")
            << "w\n"
            << 3 << QStringList {a, "<absent>|<absent>|<absent>|w|<absent>|<absent>"};
        QTest::newRow("empty clipboard changes nothing") << "" << 0 << QStringList {a, blankRow};
        QTest::newRow("a line end after the last line adds no row")
            << "x\ny\n"
            << 0 << QStringList {a, rowWithName("x"), rowWithName("y")};
        QTest::newRow("cells in quotes hold a Tab, a line break and a quote")
            << "\"a\tb\"\t\"two\r\nlines\"\t\"say \"\"hi\"\"\"\n\"\"\"Milk\"\"\"\n"
            << 1
            << QStringList {a, "<absent>|a\tb|two\r\nlines|say \"hi\"|<absent>|<absent>",
                   "<absent>|\"Milk\"|<absent>|<absent>|<absent>|<absent>"};
        QTest::newRow("a quote that never closes is text")
            << "\"Milk\tx\ny\"z\n"
            << 0
            << QStringList {a, "\"Milk|x|<absent>|<absent>|<absent>|<absent>", rowWithName("y\"z")};
    }
    void pasteFillsCellsAndAppendsRows()
    {
        QFETCH(QString, clipboard);
        QFETCH(int, column);
        QFETCH(QStringList, rows);
        WindowDriver driver;
        driver.keys(u"a{Enter}");
        for (int i = 0; i < column; ++i)
            driver.keys(u"{Right}");
        QGuiApplication::clipboard()->setText(clipboard);
        driver.keys(u"{Ctrl+V}");
        QCOMPARE(driver.rows(), rows);
        QCOMPARE(driver.rowButtons(),
            clipboard.isEmpty() ? QStringLiteral("Add on, Update off, Delete off")
                                : QStringLiteral("Add off, Update on, Delete off"));
        QCOMPARE(driver.window().groups().values(), QStringList());
    }

    // A paste, or the undo of one, that cannot be stored whole changes nothing and says why:
    // the rows, buttons, cell cursor and undo history stay as they were. Memory runs out for
    // allocations of `failFrom` bytes and more; without that, a row holds 20 characters at most.
    // Guards against the fault where running out of memory part-way through a paste ended the
    // program and lost the typed rows.
    void pasteThatCannotBeStoredChangesNothing_data()
    {
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("failFrom");
        QTest::addColumn<QString>("message");
        const QString many = QStringLiteral("n\n").repeated(1000);
        QTest::newRow("a value too long for its row, after rows that fit")
            << "a\tb\nc\n" + QString(21, u'x') + "\nd"
            << "Milk{Enter}"
            << "{Ctrl+V}" << 0
            << "Nothing was pasted: the value for row 4, column \u201CItem Name\u201D is too long.";
        QTest::newRow("memory runs out for a new row, after rows that fit")
            << "a\tb\nc\n" + QString(4000, u'x').replace(20, 1, u'\t') << "Milk{Enter}"
            << "{Ctrl+V}" << 4096 << "Nothing was pasted: the rows do not fit in the memory left.";
        QTest::newRow("memory runs out for many rows")
            << many << "Milk{Enter}"
            << "{Ctrl+V}" << 4096 << "Nothing was pasted: the rows do not fit in the memory left.";
        QTest::newRow("memory runs out undoing a paste")
            << many << "Milk{Enter}{Ctrl+V}"
            << "{Ctrl+Z}" << 4096 << "Nothing was undone: the rows do not fit in the memory left.";
    }
    void pasteThatCannotBeStoredChangesNothing()
    {
        QFETCH(QString, clipboard);
        QFETCH(QString, before);
        QFETCH(QString, change);
        QFETCH(int, failFrom);
        QFETCH(QString, message);
        const RowLengthLimit limit(failFrom == 0 ? 20 : ItemRow::maxLength);
        WindowDriver driver;
        QGuiApplication::clipboard()->setText(clipboard);
        driver.keys(before);
        const QString start = snapshot(driver);
        const QString startHistory = history(driver);
        {
            std::optional<FailingAllocations> failing;
            if (failFrom > 0)
                failing.emplace(std::size_t(failFrom));
            driver.keys(change);
        }
        QCOMPARE(driver.messages, QStringList {"[Warning] PantrovoImporter: " + message});
        QCOMPARE(snapshot(driver), start);
        QCOMPARE(history(driver), startHistory);
    }

    // Copy from the cell Bread, after pasting `pasted` there if any.
    void copyPutsCellsAsSpreadsheetsDo_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("clipboard");
        QTest::newRow("current cell") << ""
                                      << "{Up}"
                                      << "Milk";
        QTest::newRow("block by Shift and arrows") << ""
                                                   << "{Up}{Shift+Right}{Shift+Down}"
                                                   << "Milk\tDairy\nBread\t\n";
        const QString quoted = "\"a\tb\"\t\"say \"\"hi\"\"\"\n\"two\nlines\"\t\"\"\"x\"\"\"\n";
        QTest::newRow("cells with a Tab, a line break or a quote: pasted back as they were")
            << quoted << "{Shift+Right}{Shift+Down}" << quoted;
    }
    void copyPutsCellsAsSpreadsheetsDo()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, keys);
        QFETCH(QString, clipboard);
        WindowDriver driver;
        driver.keys(u"Milk{Tab}Dairy{Enter}Bread{Enter}{Up}");
        QGuiApplication::clipboard()->setText(pasted);
        if (!pasted.isEmpty())
            driver.keys(u"{Ctrl+V}");
        driver.keys(keys);
        driver.keys(u"{Ctrl+C}");
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    }

    // Each kind of change, undone and done again: the rows, the buttons, the flag and the cell
    // cursor come back exactly as they were before and after it.
    void undoAndRedoRestoreEverything_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("change");
        QTest::newRow("nothing to undo after start-up") << ""
                                                        << "{Ctrl+Z}";
        QTest::newRow("cell edit") << "Milk{Enter}{Up}"
                                   << "Bread{Escape}";
        QTest::newRow("paste") << "Milk{Enter}"
                               << "{Ctrl+V}";
        QTest::newRow("clear") << "Milk{Tab}Dairy{Enter}{Up}{Shift+Left}"
                               << "{Delete}";
        QTest::newRow("Update Row with its Item Type") << "Milk{Tab}{Tab}{Tab}pack"
                                                       << "{Alt+U}";
        QTest::newRow("Update Row appending no row") << "a{Alt+U}b{Escape}"
                                                     << "{Alt+U}";
        // Update Row closes the cell, so Ctrl+Z reaches the grid and undoes it.
        QTest::newRow("Update Row by its button, from the open cell") << "a{Return}b"
                                                                      << "{click cmdUpdate}";
        QTest::newRow("Update Row by Alt+U, from the open cell") << "a{Return}b"
                                                                 << "{Alt+U}";
        QTest::newRow("Update Row that changes only the buttons") << "a{Return}{Up}{Tab}b{Escape}"
                                                                  << "{Alt+U}";
        QTest::newRow("Delete Row") << "a{Alt+U}b{Alt+U}{Up}"
                                    << "{Alt+D}";
        QTest::newRow("Add Row") << "a{Alt+U}b{Alt+U}"
                                 << "{Alt+A}";
        QTest::newRow("Enter") << "Milk"
                               << "{Enter}";
        QTest::newRow("Open") << "Milk{Enter}"
                              << "{Alt+O}";
        QTest::newRow("Open on a fresh sheet") << ""
                                               << "{Alt+O}";
    }
    void undoAndRedoRestoreEverything()
    {
        QFETCH(QString, before);
        QFETCH(QString, change);
        WindowDriver driver;
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("two.csv"));
        write(file, "Apples,Fruit\r\nPears\r\n");
        driver.fileAnswers = {file};
        QGuiApplication::clipboard()->setText(QStringLiteral("a\tb\nc\td\ne\tf\n"));
        driver.keys(before);
        const QString start = snapshot(driver);
        driver.keys(change);
        const QString done = snapshot(driver);
        QStringList states;
        for (const char *keys : {"{Ctrl+Z}", "{Ctrl+Shift+Z}", "{Ctrl+Z}", "{Ctrl+Y}"}) {
            driver.keys(QString::fromLatin1(keys));
            states.append(snapshot(driver));
        }
        QCOMPARE(states, QStringList({start, done, start, done}));
    }

    // Undo and redo of more than 65,536 rows show the progress window, without Cancel: a step
    // stopped half-way would leave half a change.
    void longUndoAndRedoShowProgress()
    {
        WindowDriver driver;
        QGuiApplication::clipboard()->setText(QStringLiteral("a\tb\n").repeated(70'000));
        driver.keys(u"{Ctrl+V}");
        const QStringList pasted = driver.rows();
        driver.cancelProgress = true;
        driver.keys(u"{Ctrl+Z}");
        QCOMPARE(driver.rows(), QStringList {blankRow});
        driver.keys(u"{Ctrl+Y}");
        QCOMPARE(driver.rows(), pasted);
        QCOMPARE(driver.progressDialogs,
            QStringList({"Undoing\u2026: keys ignored, then no Cancel",
                "Redoing\u2026: keys ignored, then no Cancel"}));
    }
};

QTEST_MAIN(tst_Editing)
#include "tst_editing.moc"
