#include "itemgrid.h"
#include "windowtest.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The file lines of rows written as "Milk,Dairy,...", each ended by CR LF.
QByteArray lines(const QStringList &rows)
{
    QByteArray bytes;
    for (const QString &row : rows)
        bytes += row.toLatin1() + "\r\n";
    return bytes;
}

} // namespace

class tst_Keyboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Keys sent back to back, as a practised typist sends them, from a fresh window; then the
    // three row buttons and the whole file that Save writes.
    void keysTypedAtFullSpeedGiveTheFile_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<QByteArray>("file");
        const QString started = QStringLiteral("Add off, Update off, Delete off");
        const QString offered = QStringLiteral("Add on, Update off, Delete off");
        const QString editing = QStringLiteral("Add off, Update on, Delete off");

        const QStringList items {"Milk|Dairy|1.20|i|Corner shop|4", "Apples|Fruit|2.50|w|Market|",
            "Bread|Bakery|0.95|Item|Corner shop|2", "Cheese|Dairy|3.10|weight|Market|5",
            "Juice|Drinks|1.75|v|Corner shop|7", "Water|Drinks|0.40|volume|Market|7",
            "Pears|Fruit|1.90|W|Market|", "Butter|Dairy|1.60|I|Corner shop|4",
            "Rice|Dry goods|1.10|Weight|Market|9", "Soap|Household|2.20|Item|Corner shop|12"};
        // The main keyboard's Return and the keypad's Enter, in turn.
        QString tenItems;
        for (qsizetype i = 0; i < items.size(); ++i) {
            tenItems += QString(items[i]).replace(u'|', QStringLiteral("{Tab}"))
                + (i % 2 == 0 ? QStringLiteral("{Return}") : QStringLiteral("{Enter}"));
        }
        QTest::newRow("ten items with Tab, Return and Enter")
            << tenItems << offered
            << lines({"Milk,Dairy,1.20,Item,Corner shop,4", "Apples,Fruit,2.50,Weight,Market,",
                   "Bread,Bakery,0.95,Item,Corner shop,2", "Cheese,Dairy,3.10,Weight,Market,5",
                   "Juice,Drinks,1.75,Volume,Corner shop,7", "Water,Drinks,0.40,Volume,Market,7",
                   "Pears,Fruit,1.90,Weight,Market,", "Butter,Dairy,1.60,Item,Corner shop,4",
                   "Rice,Dry goods,1.10,Weight,Market,9", "Soap,Household,2.20,Item,Corner shop,12",
                   ",,,,,"});
        QTest::newRow("Alt+U acts before the next key")
            << "Milk{Alt+U}Bread" << editing << lines({"Milk,,,Item,,", "Bread,,,,,"});
        QTest::newRow("Alt+letter and Alt+digit type nothing")
            << "Milk{Alt+D}{Alt+A}{Alt+X}{Alt+1}{Alt+Shift+Q}" << editing << lines({"Milk,,,,,"});
        QTest::newRow("AltGr types its character, in a new edit and in an open one")
            << "{Ctrl+Alt+€}uro{Tab}Dairy{Ctrl+Alt+€}{Return}" << offered
            << QByteArray("\x80uro,Dairy\x80,,Item,,\r\n,,,,,\r\n");
        QTest::newRow("access keys of disabled buttons do nothing")
            << "{Alt+U}{Alt+D}{Alt+A}x" << editing << lines({"x,,,,,"});
        QTest::newRow("Alt+U after F2") << "Milk{Alt+U}Bread{Enter}{Up}{F2}{Alt+U}" << offered
                                        << lines({"Milk,,,Item,,", "Bread,,,Item,,", ",,,,,"});
        // Update Row closes the cell: the committed row is shown, not edited.
        QTest::newRow("Ctrl+Z right after Update Row by its button undoes it")
            << "Milk{Return}Eggs{click cmdUpdate}{Ctrl+Z}" << editing
            << lines({"Milk,,,Item,,", "Eggs,,,,,"});
        QTest::newRow("typing after Alt+U replaces the committed value")
            << "Milk{Return}Eggs{Alt+U}Bread{Return}" << offered
            << lines({"Milk,,,Item,,", "Bread,,,Item,,", ",,,,,"});
        QTest::newRow("an Update Row that changes no value is a step, a second one is none")
            << "Milk{Return}{Up}{Tab}Dairy{Escape}{Alt+U}{Alt+U}{Ctrl+Z}" << editing
            << lines({"Milk,Dairy,,Item,,", ",,,,,"});
        QTest::newRow("a choice from a list still shown after Update Row is a change")
            << "Milk{Tab}Dairy{Return}Eggs{Tab}Da{Alt+U}{Down}{Return}{Tab}" << editing
            << lines({"Milk,Dairy,,Item,,", "Eggs,Dairy,,Item,,"});
        QTest::newRow("Enter on an entry of a list still shown after Update Row opens the cell")
            << "Milk{Tab}Dairy{Return}Eggs{Tab}Da{Alt+U}{Down}{Return} farm" << editing
            << lines({"Milk,Dairy,,Item,,", "Eggs,Dairy farm,,Item,,"});
        QTest::newRow("Delete is a step of its own, apart from the typing after it")
            << "Milk{Return}{Up}{Delete}x{Return}{Ctrl+Z}{Ctrl+Z}" << editing
            << lines({",,,Item,,", ",,,,,"});
        QTest::newRow("undoing typing done after an undo puts back the buttons of that undo")
            << "Milk{Return}{Ctrl+Z}Eggs{Escape}{Ctrl+Z}" << editing << lines({"Milk,,,,,"});
        QTest::newRow("a paste whose first line equals its row lands on that row")
            << "a{Return}b{Return}a{Return}c{Return}{Ctrl+Home}{Shift+Down}{Ctrl+C}{Down}{Ctrl+V}"
            << editing << lines({"a,,,Item,,", "b,,,Item,,", "a,,,Item,,", "b,,,Item,,", ",,,,,"});
        QTest::newRow("Delete and Backspace on a fresh sheet change nothing")
            << "{Delete}{Backspace}{Return}" << started << lines({",,,,,"});
        QTest::newRow("Delete on an empty cell and a paste of the same text are no steps")
            << "Milk{Return}{Delete}{Up}{Ctrl+C}{Ctrl+V}{Ctrl+Z}" << editing
            << lines({"Milk,,,,,"});
        QTest::newRow("Tab from the last cell of the table is Enter")
            << "a{Tab}{Tab}{Tab}{Tab}{Tab}{Tab}b" << editing << lines({"a,,,Item,,", "b,,,,,"});
        QTest::newRow("Tab from a row's last cell goes to the next row")
            << "a{Enter}b{Up}{Tab}{Tab}{Tab}{Tab}{Tab}{Tab}c" << editing
            << lines({"a,,,Item,,", "c,,,,,"});
        QTest::newRow("Shift+Tab goes back a row and stops at the first cell")
            << "a{Enter}{Shift+Tab}1" + QStringLiteral("{Shift+Tab}").repeated(8) + "b" << editing
            << lines({"b,,,Item,,1", ",,,,,"});
        QTest::newRow("Enter on a blank row adds no row")
            << "{Enter}{Return}a{Return}{Enter}" << offered << lines({"a,,,Item,,", ",,,,,"});
        // Update Row appends a row after any Add Row, whichever row it commits.
        QTest::newRow("Enter after changing an earlier row")
            << "a{Enter}b{Enter}{Up}{Tab}x{Enter}c" << editing
            << lines({"a,,,Item,,", "b,x,,Item,,", ",,,,,", "c,,,,,"});
        QTest::newRow("Delete Row after a Save deletes the row the user is on")
            << "a{Alt+U}b{Alt+U}{Up}{Alt+S}{Alt+D}" << offered << lines({"b,,,Item,,", ",,,,,"});
        QTest::newRow("whole Item Type words typed over the completion")
            << "{Tab}{Tab}{Tab}weight{Enter}{Tab}{Tab}{Tab}volume{Enter}{Tab}{Tab}{Tab}Item{Enter}"
            << offered << lines({",,,Weight,,", ",,,Volume,,", ",,,Item,,", ",,,,,"});
        // Backspace takes the completed rest away, and a text that starts no word stays.
        QTest::newRow("Item Type completes any start of a word")
            << "{Tab}{Tab}{Tab}vol{Return}{Tab}{Tab}{Tab}WE{Return}{Tab}{Tab}{Tab}it{Return}"
               "{Tab}{Tab}{Tab}vx{Tab}{Shift+Tab}{Shift+Tab}{Shift+Tab}{Shift+Tab}{Tab}{Tab}{Tab}"
               "vol{Backspace}{Backspace}{Tab}x"
            << editing << lines({",,,Volume,,", ",,,Weight,,", ",,,Item,,", ",,,Vo,x,"});
        const QString twoGroups = QStringLiteral("a{Tab}Fruit{Enter}b{Tab}Frozen{Enter}c{Tab}fr");
        const QByteArray twoRows = lines({"a,Fruit,,Item,,", "b,Frozen,,Item,,"});
        QTest::newRow("Enter takes the highlighted entry and stays in the cell")
            << twoGroups + QStringLiteral("{Down}{Down}{Enter} food{Return}") << offered
            << twoRows + lines({"c,Frozen food,,Item,,", ",,,,,"});
        QTest::newRow("Down and Up stop at the ends")
            << twoGroups + QStringLiteral("{Down}{Down}{Down}{Up}{Up}{Up}{Return}{Tab}1.00{Return}")
            << offered << twoRows + lines({"c,Fruit,1.00,Item,,", ",,,,,"});
        QTest::newRow("Tab takes the highlighted entry")
            << twoGroups + QStringLiteral("{Down}{Tab}1.00") << editing
            << twoRows + lines({"c,Fruit,1.00,,,"});
        QTest::newRow("Ctrl+Z in the cell takes back a completion, and typing goes on after it")
            << "{Tab}{Tab}{Tab}vo{Ctrl+Z}x" << editing << lines({",,,vox,,"});
        QTest::newRow("Ctrl+Z takes back a taken entry, then the typing, then the window's steps")
            << twoGroups + QStringLiteral("{Down}{Enter}{Ctrl+Z}{Ctrl+Z}{Ctrl+Z}{Ctrl+Z}")
            << offered << twoRows + lines({",,,,,"});
        // The name's completion list outlived the dialog and took the first Tab, which the
        // window system sends to the list's window (the dialog types it after Return).
        QTest::newRow("Tab after an Open whose typed name was taken with Return in its list")
            << "Milk{Return}{Alt+S}{Alt+O}{Tab}{Tab}{Tab}z" << editing
            << lines({"Milk,,,Item,,", ",,,,,", "Milk,,,Item,,", ",,,,,", ",,,,z,"});
        QTest::newRow("Escape hides the list and keeps the text")
            << twoGroups + QStringLiteral("{Escape}{Down}{Return}") << offered
            << twoRows + lines({"c,fr,,Item,,", ",,,,,"});
    }
    void keysTypedAtFullSpeedGiveTheFile()
    {
        QFETCH(QString, keys);
        QFETCH(QString, buttons);
        QFETCH(QByteArray, file);
        WindowDriver driver;
        QTemporaryDir folder;
        const QString fileName = folder.filePath(QStringLiteral("items.csv"));
        driver.fileAnswers = {fileName};
        driver.typedFileNames = {fileName};
        driver.keys(keys);
        QCOMPARE(driver.rowButtons(), buttons);
        driver.fileAnswers = {fileName};
        driver.click("cmdSave");
        QCOMPARE(contents(fileName), file);
    }

    // Whatever a file command did, the next key goes into the cell the user was typing in.
    void typingGoesOnAfterAFileCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("answer");
        QTest::newRow("Save") << "{Alt+S}"
                              << "items.csv";
        QTest::newRow("cancelled Save") << "{Ctrl+S}" << QString();
        QTest::newRow("cancelled Open") << "{Alt+O}" << QString();
        QTest::newRow("after the message of an Open that fails") << "{Ctrl+O}"
                                                                 << "missing.csv";
    }
    void typingGoesOnAfterAFileCommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, answer);
        WindowDriver driver;
        QTemporaryDir folder;
        const QString fileName = folder.filePath(QStringLiteral("items.csv"));
        driver.fileAnswers = {answer.isNull() ? QString() : folder.filePath(answer)};
        driver.keys(QStringLiteral("Milk") + command + QStringLiteral("shake{Tab}Dairy"));
        driver.fileAnswers = {fileName};
        driver.click("cmdSave");
        QCOMPARE(contents(fileName), QByteArray("Milkshake,Dairy,,,,\r\n"));
    }

    // A line edit keeps 32,767 characters unless told otherwise, and cut what it was given.
    void longValuesAreNeverCut_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("editable");
        QTest::newRow("40,000 characters: edited whole") << 40'000 << true;
        QTest::newRow("2,000,000 characters: no editor") << 2'000'000 << false;
    }
    void longValuesAreNeverCut()
    {
        QFETCH(int, length);
        QFETCH(bool, editable);
        WindowDriver driver;
        const QString value(length, u'x');
        QGuiApplication::clipboard()->setText(value);
        driver.keys(u"{Ctrl+V}");
        driver.clickCell(0, 0);
        driver.keys(u"{F2}");
        QCOMPARE(qobject_cast<QLineEdit *>(QApplication::focusWidget()) != nullptr, editable);
        driver.keys(u"{Tab}");
        QCOMPARE(driver.table().row(0).field(Column::ItemName), value);
    }

    // The cell editor shows the mark of a value that Save would refuse from the keystroke that
    // brings the character to the one that takes it away.
    void markFollowsTheTextBeingTyped_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("marks");
        const QString comma
            = QStringLiteral("marked: a comma would split the value into two fields.");
        QTest::newRow("a comma typed and rubbed out") << QStringList {"1", ",", "2", "{Backspace}",
            "{Backspace}"} << QStringList {"unmarked", comma, comma, comma, "unmarked"};
        QTest::newRow("\u20AC with AltGr is held, \u03A9 is not")
            << QStringList {"{Ctrl+Alt+\u20AC}", "{\u03A9}", "{Left}", "{Delete}"}
            << QStringList {"unmarked",
                   "marked: Windows-1252 cannot hold the character \u201C\u03A9\u201D (U+03A9).",
                   "marked: Windows-1252 cannot hold the character \u201C\u03A9\u201D (U+03A9).",
                   "unmarked"};
        const QString space = QStringLiteral("Windows-1252 cannot hold a narrow no-break space "
                                             "[U+202F].");
        QTest::newRow("a price from a web page, its comma mended")
            << QStringList {"1,95{\u202F}{Ctrl+Alt+\u20AC}", "{Home}{Right}{Delete}"}
            << QStringList {"marked: a comma would split the value into two fields; " + space,
                   "marked: " + space};
    }
    void markFollowsTheTextBeingTyped()
    {
        QFETCH(QStringList, keys);
        QFETCH(QStringList, marks);
        WindowDriver driver;
        driver.clickCell(0, 2);
        QStringList seen;
        for (const QString &key : keys) {
            driver.keys(key);
            seen.append(driver.cellMark(0, 2));
        }
        QCOMPARE(seen, marks);
        QCOMPARE(driver.grid()->isEditing(), true);
    }
};

QTEST_MAIN(tst_Keyboard)
#include "tst_keyboard.moc"
