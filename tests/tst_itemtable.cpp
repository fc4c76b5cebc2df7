#include "itemtype.h"
#include "tablerows.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

// Everything a caller can observe of the table, in one comparable value.
QString snapshot(const ItemTable &table)
{
    return QStringLiteral("[%1] current %2, committed %3%4")
        .arg(describe(table).join(QStringLiteral("; ")))
        .arg(table.currentRow())
        .arg(table.RecordCount())
        .arg(table.isPending() ? QStringLiteral(", pending") : QString());
}

// A table of rows a, b, c (Item Name only), all committed, cursor on the last.
void fillAbc(ItemTable &table)
{
    for (const QString &name : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}) {
        table.AddNew();
        table.setFieldValue(Column::ItemName, name);
        table.Update();
    }
}

} // namespace

class tst_ItemTable : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_table = std::make_unique<ItemTable>();
        m_tester = std::make_unique<QAbstractItemModelTester>(
            m_table.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    }

    void newTableIsEmptyAndMoveLastFails()
    {
        QCOMPARE(m_table->RecordCount(), 0);
        QCOMPARE(m_table->MoveLast(), false);
        m_table->AddNew();
        QCOMPARE(snapshot(*m_table),
            QStringLiteral("[%1] current 0, committed 0, pending").arg(blankRow));
        QCOMPARE(m_table->Update(), true);
        QCOMPARE(m_table->RecordCount(), 1);
    }

    void addNewTwiceCommitsTheFirstRow()
    {
        m_table->AddNew();
        m_table->AddNew();
        QCOMPARE(snapshot(*m_table),
            QStringLiteral("[%1; %1] current 1, committed 1, pending").arg(blankRow));
    }

    void absentAndEmptyDiffer()
    {
        m_table->AddNew();
        m_table->setFieldValue(Column::Group, QStringLiteral(""));
        QCOMPARE(m_table->fieldValue(Column::Group)->isNull(), false);
        QCOMPARE(m_table->fieldValue(Column::Store)->isNull(), true);
        m_table->MoveFirst();
        QCOMPARE(m_table->GetString(1, u",", u"\r\n", u"NULL"),
            QStringLiteral("NULL,,NULL,NULL,NULL,NULL\r\n"));
    }

    void headingsAreTheFieldNames()
    {
        QStringList headings;
        for (int section = 0; section < m_table->columnCount(); ++section)
            headings.append(m_table->headerData(section, Qt::Horizontal).toString());
        QCOMPARE(headings,
            QStringList({"Item Name", "Group", "Price", "Item Type", "Store", "Aisle No"}));
    }

    void getStringWritesBlankRowAsFiveCommasAndLeavesNoCurrentRow()
    {
        m_table->AddNew();
        QVERIFY(m_table->MoveFirst());
        QCOMPARE(m_table->GetString(m_table->RecordCount(), u",", u"\r\n", u""),
            QStringLiteral(",,,,,\r\n"));
        QCOMPARE(m_table->currentRow(), -1);
        QCOMPARE(m_table->fieldValue(Column::ItemName).has_value(), false);
        QCOMPARE(m_table->Delete(), false);
    }

    void getStringOfSomeRowsStopsOnTheNext()
    {
        fillAbc(*m_table);
        m_table->MoveFirst();
        QCOMPARE(
            m_table->GetString(2, u";", u"\n", u"-"), QStringLiteral("a;-;-;-;-;-\nb;-;-;-;-;-\n"));
        QCOMPARE(m_table->currentRow(), 2);
    }

    // Text typed at the end of an Item Type cell completes to the word it starts, ignoring
    // case; Update Row keeps one of the words as it stands and turns anything else into
    // "Item".
    void itemTypeRules_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("completion");
        QTest::addColumn<QString>("tidied");
        QTest::newRow("i") << "i"
                           << "Item"
                           << "Item";
        QTest::newRow("I") << "I"
                           << "Item"
                           << "Item";
        QTest::newRow("w") << "w"
                           << "Weight"
                           << "Item";
        QTest::newRow("W") << "W"
                           << "Weight"
                           << "Item";
        QTest::newRow("v") << "v"
                           << "Volume"
                           << "Item";
        QTest::newRow("V") << "V"
                           << "Volume"
                           << "Item";
        QTest::newRow("vol: any start of a word") << "vol"
                                                  << "Volume"
                                                  << "Item";
        QTest::newRow("WE") << "WE"
                            << "Weight"
                            << "Item";
        QTest::newRow("the whole word") << "Weight"
                                        << "Weight"
                                        << "Weight";
        QTest::newRow("the whole word in other case") << "weight"
                                                      << "Weight"
                                                      << "Item";
        QTest::newRow("x: no word") << "x" << QString() << "Item";
        QTest::newRow("Wx: past a word") << "Wx" << QString() << "Item";
        QTest::newRow("empty") << "" << QString() << "Item";
        QTest::newRow("absent") << QString() << QString() << "Item";
    }
    void itemTypeRules()
    {
        QFETCH(QString, value);
        QFETCH(QString, completion);
        QFETCH(QString, tidied);
        QCOMPARE(ItemType::completion(value).value_or(QString()), completion);
        QCOMPARE(ItemType::tidied(value.isNull() ? std::nullopt : std::optional(value)), tidied);
    }

    void anyMoveCommitsThePendingRow_data()
    {
        QTest::addColumn<QString>("move");
        QTest::newRow("MoveFirst") << QStringLiteral("MoveFirst");
        QTest::newRow("MoveLast") << QStringLiteral("MoveLast");
        QTest::newRow("MoveNext") << QStringLiteral("MoveNext");
        QTest::newRow("Move to a row") << QStringLiteral("Move");
        QTest::newRow("AddNew") << QStringLiteral("AddNew");
    }
    void anyMoveCommitsThePendingRow()
    {
        QFETCH(QString, move);
        fillAbc(*m_table);
        m_table->Move(1);
        m_table->setFieldValue(Column::Price, QStringLiteral("1.20"));
        QVERIFY(m_table->isPending());
        if (move == u"MoveFirst")
            QVERIFY(m_table->MoveFirst());
        else if (move == u"MoveLast")
            QVERIFY(m_table->MoveLast());
        else if (move == u"MoveNext")
            QVERIFY(m_table->MoveNext());
        else if (move == u"Move")
            QVERIFY(m_table->Move(0));
        else
            m_table->AddNew();
        QCOMPARE(m_table->row(1).field(Column::Price), QStringLiteral("1.20"));
        QCOMPARE(m_table->RecordCount(), 3);
        QCOMPARE(m_table->isPending(), move == u"AddNew");
    }

    void deleteThenMoveNext_data()
    {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("currentAfter");
        QTest::newRow("first row") << 0 << 0;
        QTest::newRow("middle row") << 1 << 1;
        QTest::newRow("last row: past the end") << 2 << -1;
    }
    void deleteThenMoveNext()
    {
        QFETCH(int, deleted);
        QFETCH(int, currentAfter);
        fillAbc(*m_table);
        QSignalSpy removed(m_table.get(), &QAbstractItemModel::rowsRemoved);
        m_table->Move(deleted);
        QVERIFY(m_table->Delete());
        QCOMPARE(removed.count(), 1);
        QCOMPARE(m_table->currentRow(), -1);
        QCOMPARE(m_table->Delete(), false);
        QVERIFY(m_table->MoveNext());
        QCOMPARE(m_table->currentRow(), currentAfter);
        m_table->AddNew();
        QCOMPARE(m_table->currentRow(), 2);
        QCOMPARE(describe(m_table->row(2)), blankRow);
    }

    // Every failing operation reports it and leaves the table exactly as it was.
    // Rows longer than a row holds are tried with the limit lowered to four characters.
    void failuresLeaveTheTableUnchanged_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("operation");
        const QString empty = QStringLiteral("empty");
        const QString noRow = QStringLiteral("no current row");
        const QString onB = QStringLiteral("on b, limit 4");
        QTest::newRow("MoveFirst on an empty table") << empty << QStringLiteral("MoveFirst");
        QTest::newRow("MoveLast on an empty table") << empty << QStringLiteral("MoveLast");
        QTest::newRow("Update, no current row") << noRow << QStringLiteral("Update");
        QTest::newRow("Delete, no current row") << noRow << QStringLiteral("Delete");
        QTest::newRow("MoveNext past the end") << noRow << QStringLiteral("MoveNext");
        QTest::newRow("set a field, no current row") << noRow << QStringLiteral("set");
        QTest::newRow("get a field, no current row") << noRow << QStringLiteral("get");
        QTest::newRow("GetString, no current row") << noRow << QStringLiteral("GetString");
        QTest::newRow("Move to a missing row") << noRow << QStringLiteral("Move");
        QTest::newRow("set a field past the row's length") << onB << QStringLiteral("set");
        QTest::newRow("edit a cell past the row's length") << onB << QStringLiteral("setData");
        QTest::newRow("set a block with a value past its row's length")
            << onB << QStringLiteral("setBlock");
        QTest::newRow("set a block of several slabs of rows, the last past its length")
            << onB << QStringLiteral("setBlock of many rows");
    }
    void failuresLeaveTheTableUnchanged()
    {
        QFETCH(QString, table);
        QFETCH(QString, operation);
        if (table != u"empty") {
            fillAbc(*m_table);
            m_table->MoveFirst();
            m_table->GetString(3, u",", u"\r\n", u"");
        }
        const RowLengthLimit limit(table.endsWith(u"limit 4") ? 4 : ItemRow::maxLength);
        if (table.startsWith(u"on b"))
            m_table->Move(1);
        m_table->setJournaling(true);
        const QString before = snapshot(*m_table);
        const std::size_t slabs = RowArena::liveSlabs();
        bool succeeded = true;
        if (operation == u"MoveFirst")
            succeeded = m_table->MoveFirst();
        else if (operation == u"MoveLast")
            succeeded = m_table->MoveLast();
        else if (operation == u"Update")
            succeeded = m_table->Update();
        else if (operation == u"Delete")
            succeeded = m_table->Delete();
        else if (operation == u"MoveNext")
            succeeded = m_table->MoveNext();
        else if (operation == u"set")
            succeeded = m_table->setFieldValue(Column::Store, QStringLiteral("xxxx"));
        else if (operation == u"setData")
            succeeded = m_table->setData(m_table->index(1, 4), QStringLiteral("xxxx"));
        else if (operation == u"get")
            succeeded = m_table->fieldValue(Column::Store).has_value();
        else if (operation == u"GetString")
            succeeded = m_table->GetString(1, u",", u"\r\n", u"").has_value();
        else if (operation == u"Move")
            succeeded = m_table->Move(3);
        else if (operation.startsWith(u"setBlock")) {
            // The first row fits and would change first: the whole block is refused, and the
            // rows built for it give back every slab they took.
            const bool many = operation != u"setBlock";
            const QString text = many
                ? QStringLiteral("x\n").repeated(5000) + QStringLiteral("xxxxx")
                : QStringLiteral("x\nxxx\ty");
            const ItemTable::BlockResult result = m_table->setBlock(1, 4, text, u'\t');
            QCOMPARE(result.outcome, ItemTable::BlockResult::Outcome::TooLong);
            QCOMPARE(QPoint(result.column, result.row), many ? QPoint(4, 5001) : QPoint(5, 2));
            succeeded = false;
        }
        QCOMPARE(succeeded, false);
        QCOMPARE(snapshot(*m_table), before);
        QCOMPARE(m_table->takeJournal().size(), std::size_t(0));
        QCOMPARE(RowArena::liveSlabs(), slabs);
    }

    void appendedRowsAreCommittedWithTheCursorOnTheLast()
    {
        m_table->AddNew();
        m_table->setFieldValue(Column::ItemName, QStringLiteral("typed"));
        QSignalSpy inserted(m_table.get(), &QAbstractItemModel::rowsInserted);
        std::vector<ItemRow> rows {*ItemRow::fromSeparated(QStringLiteral("x,y"), u','),
            *ItemRow::fromSeparated(QString(), u',')};
        m_table->appendRows(rows);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(snapshot(*m_table),
            QStringLiteral("[%1; x|y|<absent>|<absent>|<absent>|<absent>; %2] current 2, "
                           "committed 3")
                .arg(rowWithName("typed"), blankRow));
    }

    void rowFromSeparatedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("fields");
        QTest::newRow("one part") << QStringLiteral("Bread") << rowWithName("Bread");
        QTest::newRow("six parts") << QStringLiteral("Milk,Dairy,1.20,Item,Corner shop,4")
                                   << QStringLiteral("Milk|Dairy|1.20|Item|Corner shop|4");
        QTest::newRow("seventh part dropped")
            << QStringLiteral("a,b,c,d,e,f,g") << QStringLiteral("a|b|c|d|e|f");
        QTest::newRow("five commas") << QStringLiteral(",,,,,") << QStringLiteral("|||||");
        QTest::newRow("empty text: no parts") << QString() << blankRow;
        QTest::newRow("trailing comma")
            << QStringLiteral("a,") << QStringLiteral("a||<absent>|<absent>|<absent>|<absent>");
        // A row keeps where its fields end in one, two or four bytes, as its length needs.
        const auto twoFields = [](qsizetype length, const QString &second) {
            return QString(length - 1 - second.size(), u'a') + u',' + second;
        };
        const auto described = [](qsizetype length, const QString &second) {
            return QString(length - 1 - second.size(), u'a') + u'|' + second
                + QStringLiteral("|<absent>|<absent>|<absent>|<absent>");
        };
        for (const qsizetype length : {256, 257, 65536, 65537}) {
            for (const QString &second : {QStringLiteral("b"), QStringLiteral("☕")}) {
                QTest::addRow("%lld characters, the last %s", qlonglong(length - 1),
                    second == u"b" ? "in Windows-1252" : "outside it")
                    << twoFields(length, second) << described(length, second);
            }
        }
    }
    void rowFromSeparatedText()
    {
        QFETCH(QString, text);
        QFETCH(QString, fields);
        QCOMPARE(describe(*ItemRow::fromSeparated(text, u',')), fields);
        // The first row of an arena, which may be larger than its first slab.
        RowArena arena;
        QCOMPARE(describe(*arena.fromSeparated(text, u',')), fields);
    }

    void settingOneFieldKeepsTheOthers()
    {
        ItemRow row = *ItemRow::fromSeparated(QStringLiteral("a,,c"), u',');
        row.setField(Column::Store, QStringLiteral("Corner, shop"));
        QCOMPARE(describe(row), QStringLiteral("a||c|<absent>|Corner, shop|<absent>"));
        row.setField(Column::ItemName, QString());
        QCOMPARE(describe(row), QStringLiteral("<absent>||c|<absent>|Corner, shop|<absent>"));
        QCOMPARE(row.isBlank(), false);
        row.setField(Column::Price, QStringLiteral(""));
        row.setField(Column::Store, QStringLiteral(""));
        QCOMPARE(row.isBlank(), true);
    }

    // A row keeps one byte a character while Windows-1252 has a byte for each of its
    // characters, and UTF-16 once one has none, however the value comes in; undoing the
    // change brings the row back as it was, and doing it again brings back the change.
    void rowKeepsOneByteWhileTheCodePageHoldsItsCharacters_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("after");
        QTest::newRow("typed euro sign and accents: one byte")
            << "typed" << QStringLiteral("€2 Crème")
            << "Milk|€2 Crème|<absent>|<absent>|<absent>|<absent> in bytes";
        QTest::newRow("typed character outside the code page: UTF-16")
            << "typed" << QStringLiteral("Tea ☕")
            << "Milk|Tea ☕|<absent>|<absent>|<absent>|<absent> in UTF-16";
        QTest::newRow("U+0080, whose byte reads as the euro sign: UTF-16")
            << "typed" << QStringLiteral("a\u0080")
            << "Milk|a\u0080|<absent>|<absent>|<absent>|<absent> in UTF-16";
        QTest::newRow("U+0081, the byte the code page leaves unassigned: one byte")
            << "typed" << QStringLiteral("a\u0081")
            << "Milk|a\u0081|<absent>|<absent>|<absent>|<absent> in bytes";
        QTest::newRow("pasted character outside the code page: UTF-16")
            << "pasted" << QStringLiteral("Bread 🍞\t1.20")
            << "Milk|Bread 🍞|1.20|<absent>|<absent>|<absent> in UTF-16";
        QTest::newRow("pasted Tab-free Windows-1252 text: one byte")
            << "pasted" << QStringLiteral("Œufs\t€1")
            << "Milk|Œufs|€1|<absent>|<absent>|<absent> in bytes";
    }
    void rowKeepsOneByteWhileTheCodePageHoldsItsCharacters()
    {
        QFETCH(QString, how);
        QFETCH(QString, value);
        QFETCH(QString, after);
        const auto storage = [this] {
            const ItemRow &only = m_table->row(0);
            return describe(only)
                + (only.isOneByte() ? QStringLiteral(" in bytes") : QStringLiteral(" in UTF-16"));
        };
        std::vector<ItemRow> rows {*ItemRow::fromSeparated(QStringLiteral("Milk,Dairy"), u',')};
        m_table->appendRows(std::move(rows));
        const QString before = storage();
        QCOMPARE(before, QStringLiteral("Milk|Dairy|<absent>|<absent>|<absent>|<absent> in bytes"));
        m_table->setJournaling(true);
        if (how == u"typed")
            QVERIFY(m_table->setFieldValue(Column::Group, value));
        else
            QCOMPARE(m_table->setBlock(0, 1, value, u'\t').outcome,
                ItemTable::BlockResult::Outcome::Set);
        QCOMPARE(storage(), after);
        std::vector<ItemTable::Splice> step = m_table->takeJournal();
        m_table->undo(step);
        QCOMPARE(storage(), before);
        m_table->redo(step);
        QCOMPARE(storage(), after);
    }

    // Guards against the fault where a value of millions of characters (a 50 MB file without
    // line ends) froze the grid for a minute while it laid out the whole text of the cell.
    void displayTextOfALongValueIsCut_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("display");
        const QString limit(ItemTable::DisplayLength, u'x');
        const QString smile = QStringLiteral("\U0001F600");
        QTest::newRow("short value whole") << QStringLiteral("Milk") << QStringLiteral("Milk");
        QTest::newRow("value of the display length whole") << limit << limit;
        QTest::newRow("longer value cut") << limit + QStringLiteral("yz") << limit;
        QTest::newRow("50 MB value cut") << QString(qsizetype(50) * 1024 * 1024, u'x') << limit;
        QTest::newRow("cut does not split a surrogate pair")
            << limit.left(ItemTable::DisplayLength - 1) + smile + QStringLiteral("z")
            << limit.left(ItemTable::DisplayLength - 1);
    }
    void displayTextOfALongValueIsCut()
    {
        QFETCH(QString, value);
        QFETCH(QString, display);
        m_table->AddNew();
        QVERIFY(m_table->setFieldValue(Column::Store, value));
        const QModelIndex cell = m_table->index(0, 4);
        QCOMPARE(cell.data(Qt::DisplayRole).toString(), display);
        QCOMPARE(cell.data(Qt::EditRole).toString(), value);
    }

private:
    std::unique_ptr<ItemTable> m_table;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

QTEST_GUILESS_MAIN(tst_ItemTable)
#include "tst_itemtable.moc"
