#include "itemgrid.h"
#include "picklist.h"
#include "windowtest.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QHelpEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

class tst_PickLists : public QObject
{
    Q_OBJECT

    // Commits one row per group, each typed into the Group cell of the row on offer.
    void commitGroups(WindowDriver &driver, const QStringList &groups)
    {
        for (const QString &group : groups) {
            // While idle (Delete Row on) there is no blank row on offer.
            if (driver.button("cmdDelete")->isEnabled())
                driver.click("cmdAdd");
            driver.typeInto(driver.table().currentRow(), 1, group);
            driver.click("cmdUpdate");
        }
    }

    QString allPickLists(const WindowDriver &driver)
    {
        QStringList states;
        for (const char *name : {"lstGroups", "lstStore", "lstItemType", "lstAisleNo"})
            states.append(driver.pickListState(name));
        return states.join(QStringLiteral("; "));
    }

private Q_SLOTS:
    void nothingRememberedYetListsNothingButMovesTheList()
    {
        WindowDriver driver;
        driver.window().cmdAdd_Click();
        driver.window().cmdAdd_Click();
        driver.typeInto(2, 1, QStringLiteral("Fr"));
        QCOMPARE(
            driver.pickListState("lstGroups"), QStringLiteral("hidden [] at (186, 190) 73x32"));
    }

    // Scrolled to its end the grid's top row is partly hidden, so the rows no longer lie on
    // the 20-pixel steps from the grid's top: a list goes by its row as drawn, and hides
    // while that row is scrolled out of view. Below the last row it would be cut to 35 pixels,
    // so it opens above the row, whole.
    void listFollowsItsRowAsDrawn()
    {
        WindowDriver driver;
        for (int i = 0; i < 29; ++i)
            driver.window().cmdAdd_Click();
        driver.typeInto(29, 3, QStringLiteral("x"));
        const QString atTheEnd = driver.pickListState("lstItemType");
        driver.grid()->verticalScrollBar()->setValue(0);
        // The last row's top is the grid's bottom, 130 + the 406 pixels of its viewport, less 20.
        QCOMPARE(atTheEnd + QStringLiteral(" / ") + driver.pickListState("lstItemType"),
            QStringLiteral("shown [Item, Weight, Volume] at (386, 469) 73x47 / "
                           "hidden [Item, Weight, Volume] at (386, 469) 73x47"));
    }

    void listsRememberedValuesContainingTheText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("state");
        QTest::newRow("FR") << "FR"
                            << "shown [Fruit, Frozen food] at (186, 210) 73x40";
        QTest::newRow("r is in all three")
            << "r"
            << "shown [Fruit, Frozen food, Dairy] at (186, 210) 73x60";
        QTest::newRow("fruits is in none: hidden, with the last height")
            << "fruits"
            << "hidden [] at (186, 210) 73x20";
        QTest::newRow("emptied cell lists every value")
            << ""
            << "shown [Fruit, Frozen food, Dairy] at (186, 210) 73x60";
    }
    void listsRememberedValuesContainingTheText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, state);
        WindowDriver driver;
        commitGroups(driver, {"Fruit", "Frozen food", "Dairy"});
        QCOMPARE(driver.window().groups().values(), QStringList({"Fruit", "Frozen food", "Dairy"}));
        const int row = driver.table().currentRow();
        QCOMPARE(row, 3);
        // Every case first shows all three, so that a hidden list keeps the last height.
        driver.typeInto(row, 1, QStringLiteral("r"));
        if (typed.isEmpty())
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
        else
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        driver.type(typed);
        QCOMPARE(driver.grid()->currentCellText(), typed);
        QCOMPARE(driver.pickListState("lstGroups"), state);
    }

    void heightAndTopFollowEntriesAndRow()
    {
        WindowDriver driver;
        commitGroups(driver, {"Fruit", "Frozen food", "Dairy"});
        driver.typeInto(0, 1, QStringLiteral("r"));
        QCOMPARE(driver.pickListState("lstGroups"),
            QStringLiteral("shown [Fruit, Frozen food, Dairy] at (186, 150) 73x60"));
        driver.window().cmdAdd_Click();
        QCOMPARE(driver.table().currentRow(), 4);
        driver.typeInto(4, 1, QStringLiteral("r"));
        QCOMPARE(driver.pickListState("lstGroups"),
            QStringLiteral("shown [Fruit, Frozen food, Dairy] at (186, 230) 73x60"));
    }

    void storeAndAisleListsServeTheirColumns()
    {
        WindowDriver driver;
        driver.typeInto(0, 4, QStringLiteral("Corner shop"));
        driver.typeInto(0, 5, QStringLiteral("12"));
        driver.click("cmdUpdate");
        driver.typeInto(1, 4, QStringLiteral("c"));
        QCOMPARE(driver.pickListState("lstStore"),
            QStringLiteral("shown [Corner shop] at (486, 170) 73x20"));
        driver.typeInto(1, 5, QStringLiteral("1"));
        QCOMPARE(
            driver.pickListState("lstAisleNo"), QStringLiteral("shown [12] at (586, 170) 73x20"));
        QCOMPARE(
            driver.pickListState("lstGroups"), QStringLiteral("hidden [] at (186, 150) 73x32"));
    }

    // The Item Type list is shown and the rule completes only text typed at the end of the
    // cell (the rule itself is tested with the table).
    void itemTypeCompletion_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("cell");
        QTest::newRow("v") << "v"
                           << "Volume";
        QTest::newRow("x") << "x"
                           << "x";
        QTest::newRow("It, the I typed before the t: not at the end") << "It"
                                                                      << "It";
    }
    void itemTypeCompletion()
    {
        QFETCH(QString, typed);
        QFETCH(QString, cell);
        WindowDriver driver;
        driver.clickCell(0, 3);
        driver.typeAsOneValue(typed);
        QCOMPARE(driver.grid()->currentCellText(), cell);
        QCOMPARE(driver.row(0),
            QStringLiteral("<absent>|<absent>|<absent>|%1|<absent>|<absent>").arg(cell));
        QCOMPARE(driver.pickListState("lstItemType"),
            QStringLiteral("shown [Item, Weight, Volume] at (386, 150) 73x47"));
    }

    void clickingAnEntryFillsTheCellAndHidesItsList()
    {
        WindowDriver driver;
        commitGroups(driver, {"Fruit", "Frozen food", "Dairy"});
        driver.typeInto(3, 1, QStringLiteral("ai"));
        PickList *groups = driver.pickList("lstGroups");
        QCOMPARE(entries(groups), QStringList {"Dairy"});
        QTest::mouseClick(groups->viewport(), Qt::LeftButton, {},
            groups->visualRect(groups->model()->index(0, 0)).center());
        QCOMPARE(driver.grid()->currentCellText(), QStringLiteral("Dairy"));
        QCOMPARE(allPickLists(driver),
            QStringLiteral("hidden [Dairy] at (186, 210) 73x20; hidden [] at (486, 150) 73x32; "
                           "hidden [Item, Weight, Volume] at (386, 150) 73x47; "
                           "hidden [] at (586, 152) 73x32"));
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus == driver.grid() || driver.grid()->isAncestorOf(focus));
        // The user goes on typing in the same cell, then commits.
        driver.type(QStringLiteral(" milk"));
        driver.altKey(Qt::Key_U);
        QCOMPARE(
            driver.row(3), QStringLiteral("<absent>|Dairy milk|<absent>|Item|<absent>|<absent>"));
    }

    void typingInNameOrPriceChangesNoList_data()
    {
        QTest::addColumn<int>("column");
        QTest::newRow("Item Name") << 0;
        QTest::newRow("Price") << 2;
    }
    void typingInNameOrPriceChangesNoList()
    {
        QFETCH(int, column);
        WindowDriver driver;
        commitGroups(driver, {"Fruit"});
        driver.typeInto(1, 1, QStringLiteral("f"));
        driver.clickCell(1, column);
        const QString before = allPickLists(driver);
        driver.type(QStringLiteral("fruit"));
        QCOMPARE(allPickLists(driver), before);
    }

    void movingTheCellCursorHidesAllLists()
    {
        WindowDriver driver;
        commitGroups(driver, {"Fruit"});
        driver.typeInto(1, 1, QStringLiteral("f"));
        QVERIFY(driver.pickList("lstGroups")->isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(allPickLists(driver),
            QStringLiteral("hidden [Fruit] at (186, 170) 73x20; hidden [] at (486, 150) 73x32; "
                           "hidden [Item, Weight, Volume] at (386, 150) 73x47; "
                           "hidden [] at (586, 152) 73x32"));
    }

    void resizingAColumnRealignsTheLists()
    {
        WindowDriver driver;
        ItemGrid *grid = driver.grid();
        grid->setColumnWidth(1, 130);
        grid->setColumnWidth(3, 80);
        QCOMPARE(driver.pickListAlignment(), QStringLiteral("289/289 569/569 469/469 669/669"));

        // A drag on the heading between Item Name and Group widens Item Name by 20 pixels.
        QHeaderView *heading = grid->horizontalHeader();
        const QPoint border(heading->sectionViewportPosition(1) - 1, heading->height() / 2);
        QTest::mousePress(heading->viewport(), Qt::LeftButton, {}, border);
        QTest::mouseMove(heading->viewport(), border + QPoint(10, 0));
        QTest::mouseMove(heading->viewport(), border + QPoint(20, 0));
        QTest::mouseRelease(heading->viewport(), Qt::LeftButton, {}, border + QPoint(20, 0));
        QCOMPARE(grid->columnWidth(0), 170);
        QCOMPARE(driver.pickListAlignment(), QStringLiteral("309/309 589/589 489/489 689/689"));
    }

    // A list longer than the room below the row stops at the window's bottom edge and scrolls.
    void longListStopsAtTheWindowsBottomAndScrolls()
    {
        WindowDriver driver;
        QStringList groups;
        for (int i = 1; i <= 30; ++i)
            groups.append(QStringLiteral("Group %1").arg(i));
        commitGroups(driver, groups);
        driver.typeInto(0, 1, QStringLiteral("G"));
        PickList *list = driver.pickList("lstGroups");
        QCOMPARE(entries(list).size(), 30);
        QCOMPARE(list->geometry(), QRect(186, 150, 73, 571 - 150));
        QTRY_VERIFY(list->verticalScrollBar()->maximum() > 0);
        const QModelIndex last = list->model()->index(29, 0);
        list->scrollTo(last);
        QVERIFY(list->viewport()->rect().contains(list->visualRect(last)));

        // With room to spare the formula holds exactly.
        driver.typeInto(0, 1, QStringLiteral("Group 1"));
        QCOMPARE(list->geometry(), QRect(186, 150, 73, 11 * 20));
    }

    // Cut at the end, two stores that begin alike were drawn alike ("Farmer…") and a user
    // picked the wrong one.
    void entriesThatBeginAlikeAreDrawnApart_data()
    {
        QTest::addColumn<QString>("start");
        QTest::newRow("two stores") << "Farmers and growers ";
        QTest::newRow("values longer than drawn") << QString(400, u'x');
    }
    void entriesThatBeginAlikeAreDrawnApart()
    {
        QFETCH(QString, start);
        WindowDriver driver;
        for (const char *end : {"market", "shop"}) {
            QGuiApplication::clipboard()->setText(start + end);
            driver.keys(u"{Tab}{Tab}{Tab}{Tab}{F2}{Ctrl+V}{Return}");
        }
        driver.keys(QStringLiteral("{Tab}{Tab}{Tab}{Tab}") + start.front());
        PickList *list = driver.pickList("lstStore");
        const auto drawn = [list](int row) {
            return list->viewport()->grab(list->visualRect(list->model()->index(row, 0))).toImage();
        };
        QCOMPARE(entries(list).size(), 2);
        QCOMPARE(drawn(0) == drawn(1), false);
    }

    // A list that pops up takes no focus: a screen reader hears of it through the cell editor's
    // description, which goes with the list, while the keyboard focus stays in the cell.
    void screenReadersHearTheListThroughTheCell()
    {
        WindowDriver driver;
        commitGroups(driver, {"Dairy", "Dairy free", "Fruit", "Soy drink", "Dried fruit"});
        driver.typeInto(driver.table().currentRow(), 1, QStringLiteral("d"));
        QAccessibleInterface *cell
            = QAccessible::queryAccessibleInterface(QApplication::focusWidget());
        QAccessibleInterface *entry
            = QAccessible::queryAccessibleInterface(driver.pickList("lstGroups"))->child(0);
        QStringList heard;
        for (const char *key : {"", "{Down}", "{Escape}"}) {
            driver.keys(QString::fromLatin1(key));
            heard << cell->text(QAccessible::Name) + ": " + cell->text(QAccessible::Description);
        }
        const QString list = "Group: 4 suggestions: Dairy, Dairy free, Soy drink. Down to choose.";
        QCOMPARE(heard, QStringList({list, list, "Group: "}));
        QCOMPARE(entry->text(QAccessible::Name) + (entry->state().focused ? " current" : "")
                + (cell->state().focused ? ", the focus in the cell" : ""),
            "Dairy current, the focus in the cell");
    }

    void cutEntryShowsItsWholeTextAsTooltip_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("toolTip");
        const QString household = QStringLiteral("Household cleaning");
        QTest::newRow("cut entry: its whole text") << household << 0 << "Household cleaning";
        QTest::newRow("entry that fits: none") << household << 1 << "";
        // Guards against a remembered value of a million characters taking a second a
        // keystroke to draw and seconds to show as one line wider than the screen.
        const QString fourTimes = QStringLiteral("Household cleaning ").repeated(4).trimmed();
        QTest::newRow("long entry: its start in lines")
            << QStringLiteral("Household cleaning ").repeated(50'000) << 0
            << (fourTimes + u'\n').repeated(13) + QStringLiteral("Household cl\u2026");
    }

    // Only the drawing and the tooltip are cut: a click puts the whole value into the cell.
    void cutEntryShowsItsWholeTextAsTooltip()
    {
        QFETCH(QString, first);
        QFETCH(int, entry);
        QFETCH(QString, toolTip);
        WindowDriver driver;
        QGuiApplication::clipboard()->setText(first);
        driver.clickCell(0, 1);
        driver.keys(u"{Ctrl+V}");
        driver.click("cmdUpdate");
        commitGroups(driver, {QStringLiteral("Fruit")});
        driver.typeInto(driver.table().currentRow(), 1, QStringLiteral("u"));
        PickList *list = driver.pickList("lstGroups");
        QCOMPARE(entries(list), (QStringList {first, QStringLiteral("Fruit")}));
        // The list keeps its width and its right edge under the column's.
        QCOMPARE(list->geometry(), QRect(186, 170, 73, 40));
        QCOMPARE(driver.pickListAlignment(), QStringLiteral("259/259 559/559 459/459 659/659"));

        const QRect place = list->visualRect(list->model()->index(entry, 0));
        const QPoint inside(4, place.center().y());
        QHelpEvent hover(QEvent::ToolTip, inside, list->viewport()->mapToGlobal(inside));
        QApplication::sendEvent(list->viewport(), &hover);
        QTRY_COMPARE(QToolTip::text(), toolTip);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, inside);
        driver.altKey(Qt::Key_U);
        QCOMPARE(driver.table().row(1).field(Column::Group),
            entry == 0 ? first : QStringLiteral("Fruit"));
    }
};

QTEST_MAIN(tst_PickLists)
#include "tst_picklists.moc"
