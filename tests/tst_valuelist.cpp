#include "itemtable.h"
#include "valuelist.h"

#include <QTest>

class tst_ValueList : public QObject
{
    Q_OBJECT

    // Remembers the Store value of a fresh row holding `value` (a null string: left absent).
    void rememberStore(ValueList &list, const QString &value)
    {
        m_table.AddNew();
        if (!value.isNull())
            m_table.setFieldValue(QStringLiteral("Store"), value);
        list.remember(m_table, QStringLiteral("Store"));
    }

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
            rememberStore(list, value);
        QCOMPARE(list.values(), remembered);
    }

    void noCurrentRowChangesNothing()
    {
        ValueList list;
        rememberStore(list, QStringLiteral("Aldi"));
        m_table.MoveFirst();
        m_table.GetString(m_table.size(), u",", u"\r\n", u"");
        list.remember(m_table, QStringLiteral("Store"));
        QCOMPARE(list.values(), QStringList {"Aldi"});
        ValueList never;
        never.remember(m_table, QStringLiteral("Store"));
        QCOMPARE(never.values(), QStringList());
    }

    void aFullListTakesNoNewValue()
    {
        ValueList list;
        for (int i = 0; i < ValueList::MaximumCount; ++i)
            rememberStore(list, QString::number(i));
        rememberStore(list, QStringLiteral("one too many"));
        rememberStore(list, QStringLiteral("0"));
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
            rememberStore(list, QString::fromLatin1(value));
        QCOMPARE(list.matching(typed), offered);
    }

private:
    ItemTable m_table;
};

QTEST_GUILESS_MAIN(tst_ValueList)
#include "tst_valuelist.moc"
