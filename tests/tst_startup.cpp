#include "itemgrid.h"
#include "picklist.h"
#include "windowtest.h"

#include <QAccessible>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

class tst_Startup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void windowIsLaidOutAsDesigned_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("Label1") << "Label1" << QRect(16, 8, 657, 41) << true << true;
        QTest::newRow("cmdAdd") << "cmdAdd" << QRect(8, 64, 75, 40) << true << false;
        QTest::newRow("cmdUpdate") << "cmdUpdate" << QRect(83, 64, 75, 40) << true << false;
        QTest::newRow("cmdDelete") << "cmdDelete" << QRect(158, 64, 75, 40) << true << false;
        QTest::newRow("cmdOpen") << "cmdOpen" << QRect(288, 64, 75, 40) << true << true;
        QTest::newRow("cmdSave") << "cmdSave" << QRect(376, 64, 75, 40) << true << true;
        QTest::newRow("DataGrid1") << "DataGrid1" << QRect(8, 112, 697, 425) << true << true;
    }
    void windowIsLaidOutAsDesigned()
    {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        QFETCH(bool, visible);
        QFETCH(bool, enabled);
        WindowDriver driver;
        auto *widget = driver.window().findChild<QWidget *>(name);
        QVERIFY(widget);
        QCOMPARE(widget->geometry(), place);
        QCOMPARE(widget->isVisible(), visible);
        QCOMPARE(widget->isEnabled(), enabled);
    }

    void windowHasFixedSizeCaptionIconAndLabel()
    {
        WindowDriver driver;
        frmImport &window = driver.window();
        QCOMPARE(window.size(), QSize(713, 571));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QCOMPARE(window.windowTitle(), QStringLiteral("Pantrovo Importer"));
        // Drawn in each size, not scaled up from 16 pixels in task switchers and on dense
        // screens.
        QCOMPARE(window.windowIcon().availableSizes(),
            QList<QSize>({{16, 16}, {32, 32}, {48, 48}, {64, 64}, {256, 256}}));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("Label1"))->text(),
            QStringLiteral("If you have many items to create for Pantrovo, this importer "
                           "will allow you to enter the items quickly using your PC, and "
                           "then it will generate a CSV file. Copy the CSV file to your PDA "
                           "device, and then use the Import facility to import the CSV file "
                           "into your selected list."));
    }

    void buttonsHaveCaptionsAndTooltips()
    {
        WindowDriver driver;
        QStringList buttons;
        for (const char *name : {"cmdAdd", "cmdUpdate", "cmdDelete", "cmdOpen", "cmdSave"}) {
            QToolButton *button = driver.button(name);
            QVERIFY2(!button->icon().isNull(), name);
            buttons.append(button->text() + QStringLiteral(" / ") + button->toolTip());
        }
        QCOMPARE(buttons,
            QStringList({
                "&Add Row / Add a new item row",
                "&Update Row / Update the item row",
                "&Delete Row / Delete the item row",
                "&Open File / Append the items of a CSV file to the grid",
                "&Save File / Export the data to a CSV file for import to Pantrovo",
            }));
    }

    void startUpOffersOneBlankRow()
    {
        WindowDriver driver;
        QCOMPARE(driver.rows(), QStringList {driver.row(0)});
        QCOMPARE(driver.row(0), blankRow);
        QCOMPARE(driver.table().currentRow(), 0);
        QCOMPARE(driver.grid()->currentIndex(), driver.table().index(0, 0));
        QVERIFY(driver.grid()->hasFocus());
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add off, Update off, Delete off"));
        QCOMPARE(driver.window().isAddingRow(), true);
    }

    void gridHasTheTablesColumnsAndWidths()
    {
        WindowDriver driver;
        ItemGrid *grid = driver.grid();
        QStringList headings;
        QList<int> widths;
        for (int column = 0; column < grid->model()->columnCount(); ++column) {
            headings.append(grid->model()->headerData(column, Qt::Horizontal).toString());
            widths.append(grid->columnWidth(column));
        }
        QCOMPARE(headings,
            QStringList({"Item Name", "Group", "Price", "Item Type", "Store", "Aisle No"}));
        QCOMPARE(widths, QList<int>({150, 100, 100, 100, 100, 100}));
        QCOMPARE(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QCOMPARE(QAccessible::queryAccessibleInterface(grid)->text(QAccessible::Name), "Items");
    }

    // The pick lists are placed by (row on display + 1) * 20 + 130, so that is where the
    // current row's bottom edge must lie in the window.
    void currentRowBottomEdgeFollowsTheListFormula()
    {
        WindowDriver driver;
        for (int i = 0; i < 5; ++i)
            driver.window().cmdAdd_Click();
        ItemGrid *grid = driver.grid();
        QList<int> bottoms;
        QList<int> expected;
        for (int row = 0; row < 5; ++row) {
            driver.clickCell(row, 1);
            const int bottom = grid->rowViewportPosition(row) + grid->rowHeight(row);
            bottoms.append(grid->viewport()->mapTo(&driver.window(), QPoint(0, bottom)).y());
            expected.append((row + 1) * 20 + 130);
        }
        QCOMPARE(bottoms, expected);
        QCOMPARE(expected, QList<int>({150, 170, 190, 210, 230}));
    }

    void pickListsAreHiddenUnderTheirColumns_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("spokenName");
        QTest::newRow("lstGroups") << "lstGroups" << 1 << "Group suggestions";
        QTest::newRow("lstStore") << "lstStore" << 4 << "Store suggestions";
        QTest::newRow("lstItemType") << "lstItemType" << 3 << "Item Type choices";
        QTest::newRow("lstAisleNo") << "lstAisleNo" << 5 << "Aisle No suggestions";
    }
    void pickListsAreHiddenUnderTheirColumns()
    {
        QFETCH(QString, list);
        QFETCH(int, column);
        QFETCH(QString, spokenName);
        WindowDriver driver;
        PickList *pickList = driver.pickList(list.toLatin1().constData());
        ItemGrid *grid = driver.grid();
        QCOMPARE(
            QAccessible::queryAccessibleInterface(pickList)->text(QAccessible::Name), spokenName);
        QCOMPARE(pickList->isVisible(), false);
        QCOMPARE(pickList->width(), 73);
        const int columnRight
            = grid->viewport()
                  ->mapTo(&driver.window(),
                      QPoint(grid->columnViewportPosition(column) + grid->columnWidth(column), 0))
                  .x();
        QCOMPARE(pickList->geometry().right() + 1, columnRight);
    }

    void itemTypeListHoldsTheThreeTypes()
    {
        WindowDriver driver;
        QCOMPARE(
            entries(driver.pickList("lstItemType")), QStringList({"Item", "Weight", "Volume"}));
        QCOMPARE(driver.pickList("lstItemType")->height(), 47);
    }

    void addRowCommitsTheBlankRowAndOffersAnother_data()
    {
        QTest::addColumn<bool>("byAccessKey");
        QTest::newRow("button") << false;
        QTest::newRow("Alt+A") << true;
    }
    void addRowCommitsTheBlankRowAndOffersAnother()
    {
        QFETCH(bool, byAccessKey);
        WindowDriver driver;
        driver.typeInto(0, 0, QStringLiteral("Milk"));
        driver.click("cmdUpdate");
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add on, Update off, Delete off"));
        for (int click = 0; click < 2; ++click) {
            if (byAccessKey)
                driver.altKey(Qt::Key_A);
            else
                driver.click("cmdAdd");
        }
        QCOMPARE(driver.rows(),
            QStringList(
                {"Milk|<absent>|<absent>|Item|<absent>|<absent>", blankRow, blankRow, blankRow}));
        QCOMPARE(driver.table().RecordCount(), 3);
        QCOMPARE(driver.table().currentRow(), 3);
        QCOMPARE(driver.grid()->currentIndex(), driver.table().index(3, 0));
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add on, Update off, Delete off"));
        QCOMPARE(driver.window().isAddingRow(), true);
    }

    void disabledButtonsIgnoreTheirAccessKeys()
    {
        WindowDriver driver;
        const QStringList before = driver.rows();
        driver.altKey(Qt::Key_U);
        driver.altKey(Qt::Key_D);
        driver.altKey(Qt::Key_A);
        QCOMPARE(driver.rows(), before);
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add off, Update off, Delete off"));
        QCOMPARE(driver.window().isAddingRow(), true);
    }

    // Qt reports activation again after every dialog; start-up must not add a second row.
    void reactivationAddsNoRow()
    {
        WindowDriver driver;
        driver.window().hide();
        driver.window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&driver.window()));
        QCOMPARE(driver.table().size(), 1);
    }

    void typingStoresTheTextAndSwitchesToEditing_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("name");
        QTest::newRow("plain text") << "Milk"
                                    << "Milk";
        // The table echoes every keystroke back to the editor, which must not reset its caret.
        QTest::newRow("typing after moving the caret") << "ac{Left}bb"
                                                       << "abbc";
    }
    void typingStoresTheTextAndSwitchesToEditing()
    {
        QFETCH(QString, keys);
        QFETCH(QString, name);
        WindowDriver driver;
        driver.keys(keys);
        QCOMPARE(
            driver.row(0), name + QStringLiteral("|<absent>|<absent>|<absent>|<absent>|<absent>"));
        QCOMPARE(driver.table().isPending(), true);
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add off, Update on, Delete off"));
    }

    // An editor opened and closed without typing must leave an absent field absent.
    void openingAnEditorWithoutTypingKeepsFieldsAbsent()
    {
        WindowDriver driver;
        QTest::keyClick(driver.grid(), Qt::Key_F2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F2);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(driver.row(0), blankRow);
    }

    // The grid and its open editor outlive the table they show while the window is torn down;
    // closing with a cell half-typed must not touch the table after it is gone (run under
    // the sanitizers).
    void closingWithAnOpenEditorTouchesNothingFreed()
    {
        auto driver = std::make_unique<WindowDriver>();
        driver->keys(u"Mi{Left}");
        QVERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
        driver.reset();
    }

    void clickingAnotherRowMovesTheCursorAndCommits()
    {
        WindowDriver driver;
        driver.window().cmdAdd_Click();
        driver.typeInto(1, 2, QStringLiteral("1.20"));
        QCOMPARE(driver.table().isPending(), true);
        driver.clickCell(0, 4);
        QCOMPARE(driver.table().currentRow(), 0);
        QCOMPARE(driver.table().isPending(), false);
        QCOMPARE(driver.table().RecordCount(), 2);
    }
};

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
