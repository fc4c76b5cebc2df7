#include "itemgrid.h"
#include "windowtest.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

class tst_RowCommands : public QObject
{
    Q_OBJECT

    // Types a name into the current row and commits it with Update Row.
    void commitName(WindowDriver &driver, const QString &name)
    {
        driver.type(name);
        driver.click("cmdUpdate");
    }

    // Two committed rows, idle: all three row buttons enabled.
    void reachIdle(WindowDriver &driver)
    {
        commitName(driver, QStringLiteral("r1"));
        commitName(driver, QStringLiteral("r2"));
    }

private Q_SLOTS:
    void updateRowGivesTheRhythmOfTyping()
    {
        WindowDriver driver;
        driver.type(QStringLiteral("Milk"));
        driver.click("cmdUpdate");
        QCOMPARE(driver.rows(), QStringList({committedRowWithName("Milk"), blankRow}));
        QCOMPARE(driver.table().currentRow(), 1);
        QCOMPARE(driver.grid()->currentIndex(), driver.table().index(1, 0));
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add on, Update off, Delete off"));
        QCOMPARE(driver.window().isAddingRow(), false);

        driver.type(QStringLiteral("Bread"));
        driver.click("cmdUpdate");
        QCOMPARE(driver.rows(),
            QStringList({committedRowWithName("Milk"), committedRowWithName("Bread")}));
        QCOMPARE(driver.table().isPending(), false);
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add on, Update on, Delete on"));
        QCOMPARE(driver.window().isAddingRow(), false);
    }

    // The buttons and the flag after each sequence of user events, from a fresh window.
    void buttonsFollowTheEvents_data()
    {
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<bool>("addingRow");
        QTest::newRow("start") << QStringList() << "Add off, Update off, Delete off" << true;
        QTest::newRow("typing") << QStringList {"type"} << "Add off, Update on, Delete off" << true;
        QTest::newRow("update after Add Row")
            << QStringList {"type", "update"} << "Add on, Update off, Delete off" << false;
        QTest::newRow("update: idle") << QStringList {"type", "update", "type", "update"}
                                      << "Add on, Update on, Delete on" << false;
        QTest::newRow("update again while idle")
            << QStringList {"type", "update", "type", "update", "update"}
            << "Add on, Update on, Delete on" << false;
        QTest::newRow("typing while idle")
            << QStringList {"type", "update", "type", "update", "type"}
            << "Add off, Update on, Delete off" << false;
        QTest::newRow("Add Row while idle")
            << QStringList {"type", "update", "type", "update", "add"}
            << "Add on, Update off, Delete off" << true;
        QTest::newRow("Delete Row while idle")
            << QStringList {"type", "update", "type", "update", "delete"}
            << "Add on, Update off, Delete off" << true;
        QTest::newRow("Add Row from code while editing keeps Add Row off")
            << QStringList {"type", "update", "type", "code add"}
            << "Add off, Update off, Delete off" << true;
    }
    void buttonsFollowTheEvents()
    {
        QFETCH(QStringList, events);
        QFETCH(QString, buttons);
        QFETCH(bool, addingRow);
        WindowDriver driver;
        // Each typing types a letter of its own: typing over a cell's text with the same text
        // changes nothing.
        int typed = 0;
        for (const QString &event : events) {
            if (event == u"type")
                driver.type(QString(QChar(u'a' + typed++)));
            else if (event == u"update")
                driver.altKey(Qt::Key_U);
            else if (event == u"add")
                driver.altKey(Qt::Key_A);
            else if (event == u"delete")
                driver.altKey(Qt::Key_D);
            else if (event == u"code add")
                driver.window().cmdAdd_Click();
        }
        QCOMPARE(driver.rowButtons(), buttons);
        QCOMPARE(driver.window().isAddingRow(), addingRow);
    }

    void updateRowNormalisesItemType_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("committed");
        QTest::newRow("Item stays") << "Item"
                                    << "Item";
        QTest::newRow("Weight stays") << "Weight"
                                      << "Weight";
        QTest::newRow("Volume stays") << "Volume"
                                      << "Volume";
        QTest::newRow("lower case weight") << "weight"
                                           << "Item";
        QTest::newRow("leading space") << " Volume"
                                       << "Item";
        QTest::newRow("trailing space") << "Weight "
                                        << "Item";
        QTest::newRow("other text") << "Pack"
                                    << "Item";
        QTest::newRow("emptied cell") << ""
                                      << "Item";
        QTest::newRow("never filled") << QString() << "Item";
    }
    void updateRowNormalisesItemType()
    {
        QFETCH(QString, typed);
        QFETCH(QString, committed);
        WindowDriver driver;
        driver.type(QStringLiteral("Milk"));
        if (!typed.isNull()) {
            driver.clickCell(0, 3);
            if (typed.isEmpty()) {
                driver.type(QStringLiteral("x"));
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
            } else {
                driver.typeAsOneValue(typed);
            }
            QCOMPARE(driver.table().fieldValue(Column::ItemType), typed);
        }
        driver.click("cmdUpdate");
        QCOMPARE(driver.row(0),
            QStringLiteral("Milk|<absent>|<absent>|%1|<absent>|<absent>").arg(committed));
        QCOMPARE(driver.table().RecordCount(), 1);
    }

    void deleteRowWhileIdleRemovesTheCurrentRowAndOffersANewOne()
    {
        WindowDriver driver;
        reachIdle(driver);
        driver.altKey(Qt::Key_A);
        commitName(driver, QStringLiteral("r3"));
        commitName(driver, QStringLiteral("r4"));
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add on, Update on, Delete on"));
        driver.clickCell(1, 2);
        driver.click("cmdDelete");
        QCOMPARE(driver.rows(),
            QStringList({committedRowWithName("r1"), committedRowWithName("r3"),
                committedRowWithName("r4"), blankRow}));
        QCOMPARE(driver.table().currentRow(), 3);
        QCOMPARE(driver.grid()->currentIndex(), driver.table().index(3, 0));
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add on, Update off, Delete off"));
        QCOMPARE(driver.window().isAddingRow(), true);
        QCOMPARE(driver.messages, QStringList());
    }

    void updateOfAnEarlierRowAfterAddRowStillAppends()
    {
        WindowDriver driver;
        reachIdle(driver);
        driver.click("cmdAdd");
        driver.typeInto(0, 1, QStringLiteral("Dairy"));
        driver.click("cmdUpdate");
        QCOMPARE(driver.rows(),
            QStringList({"r1|Dairy|<absent>|Item|<absent>|<absent>", committedRowWithName("r2"),
                blankRow, blankRow}));
        QCOMPARE(driver.table().currentRow(), 3);
        QCOMPARE(driver.table().RecordCount(), 3);
    }

    void updateRowRemembersGroupStoreAndAisle()
    {
        WindowDriver driver;
        const auto commit = [&](const QString &group, const QString &store, const QString &aisle) {
            const int row = driver.table().currentRow();
            driver.typeInto(row, 1, group);
            driver.typeInto(row, 4, store);
            driver.typeInto(row, 5, aisle);
            driver.altKey(Qt::Key_U);
        };
        commit(QStringLiteral("Dairy"), QStringLiteral("Corner shop"), QStringLiteral("4"));
        commit(QStringLiteral("Fruit"), QStringLiteral("Market"), QStringLiteral("4"));
        driver.altKey(Qt::Key_A);
        commit(QStringLiteral("dairy"), QStringLiteral("Corner shop"), QStringLiteral("12"));
        QCOMPARE(driver.window().groups().values(), QStringList({"Dairy", "Fruit", "dairy"}));
        QCOMPARE(driver.window().stores().values(), QStringList({"Corner shop", "Market"}));
        QCOMPARE(driver.window().aisleNumbers().values(), QStringList({"4", "12"}));

        // Changing a committed row's Store adds the new value and keeps the old one.
        driver.typeInto(1, 4, QStringLiteral("Bazaar"));
        driver.altKey(Qt::Key_U);
        QCOMPARE(
            driver.window().stores().values(), QStringList({"Corner shop", "Market", "Bazaar"}));
        QCOMPARE(driver.row(1), QStringLiteral("<absent>|Fruit|<absent>|Item|Bazaar|4"));
    }

    // Alt+U pressed while the cell editor is still open commits what was typed.
    void accessKeyStraightAfterTypingSeesTheText()
    {
        WindowDriver driver;
        driver.typeInto(0, 1, QStringLiteral("Milk"));
        QVERIFY(qobject_cast<QLineEdit *>(QApplication::focusWidget()));
        driver.altKey(Qt::Key_U);
        QCOMPARE(driver.window().groups().values(), QStringList {"Milk"});
        QCOMPARE(driver.row(0), QStringLiteral("<absent>|Milk|<absent>|Item|<absent>|<absent>"));
    }

    // With the cursor past the last row nothing can be deleted, the user is told so, and no
    // row is lost. Save used to leave the cursor there; no command does now, so the table is
    // moved there directly.
    void deleteRowWithNoCurrentRowLosesNothing()
    {
        WindowDriver driver;
        reachIdle(driver);
        driver.table().MoveLast();
        driver.table().MoveNext();
        QCOMPARE(driver.grid()->currentIndex().isValid(), false);
        const QStringList before = driver.rows();
        driver.click("cmdDelete");
        QCOMPARE(driver.rows(), before);
        QCOMPARE(driver.messages,
            QStringList {
                "[Warning] PantrovoImporter: There is no current row to delete. Click a cell "
                "of the row you want to delete, then click Delete Row."});
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add on, Update on, Delete on"));

        driver.click("cmdUpdate");
        QCOMPARE(driver.rows(), before);
        QCOMPARE(driver.window().groups().values(), QStringList());
    }
};

QTEST_MAIN(tst_RowCommands)
#include "tst_rowcommands.moc"
