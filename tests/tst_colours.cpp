#include "appearance.h"
#include "itemgrid.h"
#include "picklist.h"
#include "windowtest.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPalette>
#include <QStyle>
#include <QTest>
#include <QToolButton>

namespace {

// A light theme whose text is not black, to see that a readable platform colour is kept.
QPalette lightPalette()
{
    QPalette palette = QApplication::style()->standardPalette();
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, QColor(0x1f, 0x2f, 0x6f));
    return palette;
}

// A dark theme as desktops ship them: light text on dark surfaces.
QPalette darkPalette()
{
    QPalette palette(QColor(0x30, 0x2f, 0x2e), QColor(0x22, 0x20, 0x20));
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, Qt::white);
    palette.setColor(QPalette::Base, QColor(0x3d, 0x3d, 0x3d));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return palette;
}

const char *const buttonNames[] = {"cmdAdd", "cmdUpdate", "cmdDelete", "cmdOpen", "cmdSave"};

// The colours that text and lines on pale yellow are drawn with, active and in a window in the
// background; the grid's cell editor must have the focus.
QList<std::pair<QString, QColor>> textColours(const WindowDriver &driver)
{
    QList<std::pair<QString, QColor>> colours;
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        const auto add = [&](const QWidget *widget, const QString &name, QPalette::ColorRole role) {
            colours.append({name, widget->palette().color(group, role)});
        };
        add(driver.grid(), QStringLiteral("DataGrid1"), QPalette::Text);
        add(QApplication::focusWidget(), QStringLiteral("cell editor"), QPalette::Text);
        for (const char *name : {"lstGroups", "lstStore", "lstItemType", "lstAisleNo"}) {
            const PickList *list = driver.pickList(name);
            add(list, QLatin1StringView(name), QPalette::Text);
            // Its frame line lies on pale yellow too.
            add(list, QLatin1StringView(name) + QStringLiteral(" frame"), list->foregroundRole());
        }
        for (const char *name : buttonNames)
            add(driver.button(name), QLatin1StringView(name), QPalette::ButtonText);
    }
    return colours;
}

} // namespace

class tst_Colours : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { QApplication::setPalette(QApplication::style()->standardPalette()); }

    void contrastRatio_data()
    {
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("background");
        QTest::addColumn<QString>("ratio");
        QTest::newRow("black on white") << QColor(Qt::black) << QColor(Qt::white) << "21.00";
        QTest::newRow("order does not matter") << QColor(Qt::white) << QColor(Qt::black) << "21.00";
        QTest::newRow("#767676 on white, the lightest grey that reads")
            << QColor(0x76, 0x76, 0x76) << QColor(Qt::white) << "4.54";
        QTest::newRow("#777777 on white does not")
            << QColor(0x77, 0x77, 0x77) << QColor(Qt::white) << "4.48";
        QTest::newRow("white on pale yellow")
            << QColor(Qt::white) << QColor::fromRgb(PaleYellow) << "1.03";
        QTest::newRow("black on pale yellow")
            << QColor(Qt::black) << QColor::fromRgb(PaleYellow) << "20.32";
    }

    void contrastRatio()
    {
        QFETCH(QColor, text);
        QFETCH(QColor, background);
        QFETCH(QString, ratio);
        QCOMPARE(QString::number(::contrastRatio(text, background), 'f', 2), ratio);
    }

    void paleYellowWithReadableText_data()
    {
        QTest::addColumn<QPalette>("atStart");
        QTest::addColumn<QPalette>("switchedTo");
        QTest::addColumn<QColor>("text");
        QTest::newRow("light theme: its own text colour")
            << lightPalette() << lightPalette() << QColor(0x1f, 0x2f, 0x6f);
        QTest::newRow("dark theme: black, not white on pale yellow")
            << darkPalette() << darkPalette() << QColor(Qt::black);
        QTest::newRow("switched from light to dark while running")
            << lightPalette() << darkPalette() << QColor(Qt::black);
        QTest::newRow("switched from dark to light while running")
            << darkPalette() << lightPalette() << QColor(0x1f, 0x2f, 0x6f);
    }

    void paleYellowWithReadableText()
    {
        QFETCH(QPalette, atStart);
        QFETCH(QPalette, switchedTo);
        QFETCH(QColor, text);
        QApplication::setPalette(atStart);
        WindowDriver driver;
        driver.typeInto(0, 0, QStringLiteral("Apples"));
        QCOMPARE(QApplication::focusWidget()->metaObject()->className(), "QLineEdit");
        QApplication::setPalette(switchedTo);

        // The colours text is drawn with on pale yellow; a palette switch reaches the window
        // through its event queue.
        const auto colourNames = [&driver] {
            QStringList names;
            for (const auto &[name, colour] : textColours(driver))
                names.append(QStringLiteral("%1 %2").arg(name, colour.name()));
            return names;
        };
        QStringList expectedColours;
        for (const auto &entry : textColours(driver))
            expectedColours.append(QStringLiteral("%1 %2").arg(entry.first, text.name()));
        QTRY_COMPARE(colourNames(), expectedColours);
        QStringList unreadable;
        for (const auto &[name, colour] : textColours(driver)) {
            const double ratio = ::contrastRatio(colour, QColor::fromRgb(PaleYellow));
            if (ratio < ReadableContrast)
                unreadable.append(QStringLiteral("%1 %2 %3:1").arg(name, colour.name()).arg(ratio));
        }
        QCOMPARE(unreadable, QStringList());

        // A corner inside the border, away from the picture and the caption. While a row is
        // typed Add Row and Delete Row are disabled, and are filled all the same.
        const QImage shot = driver.window().grab().toImage();
        QStringList fills;
        QStringList expectedFills;
        for (const char *name : buttonNames) {
            const QPoint corner = driver.button(name)->geometry().topLeft() + QPoint(4, 4);
            fills.append(QStringLiteral("%1 %2").arg(name, shot.pixelColor(corner).name()));
            expectedFills.append(QStringLiteral("%1 #ffffc0").arg(name));
        }
        QCOMPARE(fills, expectedFills);

        // Greyed captions stay greyed: darker than the fill, yet short of readable text.
        QStringList notGreyed;
        for (const char *name : buttonNames) {
            const QColor greyed
                = driver.button(name)->palette().color(QPalette::Disabled, QPalette::ButtonText);
            const double ratio = ::contrastRatio(greyed, QColor::fromRgb(PaleYellow));
            if (ratio < 2 || ratio >= ReadableContrast)
                notGreyed.append(QStringLiteral("%1 %2 %3:1").arg(name, greyed.name()).arg(ratio));
        }
        QCOMPARE(notGreyed, QStringList());
    }

    // The mark of a value that Save would refuse is drawn in red in the cell's corner, in the
    // open editor and in the closed cell, whatever the theme; a cell Save takes has none.
    void refusedValueIsMarkedInEveryTheme_data()
    {
        QTest::addColumn<QPalette>("palette");
        QTest::newRow("light theme") << lightPalette();
        QTest::newRow("dark theme") << darkPalette();
    }
    void refusedValueIsMarkedInEveryTheme()
    {
        QFETCH(QPalette, palette);
        QApplication::setPalette(palette);
        WindowDriver driver;
        driver.typeInto(0, 2, QStringLiteral("1,20"));
        const QString marked
            = QStringLiteral("marked: a comma would split the value into two fields.");
        const auto marks = [&driver] {
            return QStringList {driver.cellMark(0, 0), driver.cellMark(0, 2)};
        };
        QCOMPARE(marks(), QStringList({"unmarked", marked}));
        driver.keys(u"{Tab}");
        QCOMPARE(marks(), QStringList({"unmarked", marked}));
    }
};

QTEST_MAIN(tst_Colours)
#include "tst_colours.moc"
