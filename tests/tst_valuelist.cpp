#include "valuelist.h"

#include <QTest>

class tst_ValueList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void remembersDistinctValuesOldestFirst_data()
    {
        QTest::addColumn<QStringList>("committed");
        QTest::addColumn<QStringList>("remembered");
        QTest::newRow("order kept")
            << QStringList {"Tesco", "Aldi", "Lidl"} << QStringList {"Tesco", "Aldi", "Lidl"};
        QTest::newRow("same value not added twice") << QStringList {"Tesco", "Aldi", "Lidl", "Aldi"}
                                                    << QStringList {"Tesco", "Aldi", "Lidl"};
        QTest::newRow("other letter case is another value")
            << QStringList {"Aldi", "ALDI", "aldi"} << QStringList {"Aldi", "ALDI", "aldi"};
        QTest::newRow("a space makes another value")
            << QStringList {"Aldi", "Aldi "} << QStringList {"Aldi", "Aldi "};
        QTest::newRow("empty and absent are never remembered")
            << QStringList {QString(), "", "Aldi", ""} << QStringList {"Aldi"};
    }
    void remembersDistinctValuesOldestFirst()
    {
        QFETCH(QStringList, committed);
        QFETCH(QStringList, remembered);
        ValueList list;
        for (const QString &value : committed)
            list.remember(value);
        QCOMPARE(list.values(), remembered);
    }

    void aFullListTakesNoNewValue()
    {
        ValueList list;
        for (int i = 0; i < ValueList::MaximumCount; ++i)
            list.remember(QString::number(i));
        list.remember(QStringLiteral("one too many"));
        list.remember(QStringLiteral("0"));
        QCOMPARE(list.values().size(), ValueList::MaximumCount);
        QCOMPARE(list.values().last(), QStringLiteral("32767"));
    }

    void matchingIgnoresCaseAndKeepsOrder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("FR") << "FR" << QStringList {"Fruit", "Frozen food"};
        QTest::newRow("r is in all three") << "r" << QStringList {"Fruit", "Frozen food", "Dairy"};
        QTest::newRow("fruits is in none") << "fruits" << QStringList();
        QTest::newRow("empty text offers every value")
            << "" << QStringList {"Fruit", "Frozen food", "Dairy"};
        QTest::newRow("inside a word") << "OZ" << QStringList {"Frozen food"};
    }
    void matchingIgnoresCaseAndKeepsOrder()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, offered);
        ValueList list;
        for (const char *value : {"Fruit", "Frozen food", "Dairy"})
            list.remember(QString::fromLatin1(value));
        QCOMPARE(list.matching(typed), offered);
    }
};

QTEST_GUILESS_MAIN(tst_ValueList)
#include "tst_valuelist.moc"
