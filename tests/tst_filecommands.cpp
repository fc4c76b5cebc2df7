#include "itemgrid.h"
#include "windowtest.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

namespace {

const QString saveToolTip = QStringLiteral("Export the data to a CSV file for import to Pantrovo");

// Answers the modal dialogs that the window opens, as a user would: types the next name into
// the file dialog and presses Return, and presses OK on a message box.
class ModalAnswerer : public QObject
{
public:
    explicit ModalAnswerer(QStringList names)
        : m_names(std::move(names))
    {
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::answer);
        m_timer.start(20);
    }

    QStringList seen;

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            // The dialog may still put the name it offers into the field while it reads the
            // folder: the name is typed again until it stays for one tick.
            if (edit->text() != m_names.first()) {
                edit->setText(m_names.first());
                return;
            }
            m_names.removeFirst();
            seen.append(QStringLiteral("file dialog: ") + dialog->windowTitle());
            QTest::keyClick(edit, Qt::Key_Return);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen.append(QStringLiteral("message: %1: %2").arg(box->windowTitle(), box->text()));
            box->button(QMessageBox::Ok)->click();
        }
    }

    QStringList m_names;
    QTimer m_timer;
};

} // namespace

class tst_FileCommands : public QObject
{
    Q_OBJECT

    QString path(const char *name) const { return m_dir->filePath(QLatin1StringView(name)); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void saveOnAFreshSheetWritesTheBlankRow()
    {
        WindowDriver driver;
        driver.fileAnswers = {path("items.csv")};
        driver.click("cmdSave");
        QCOMPARE(contents(path("items.csv")), QByteArray(",,,,,\r\n"));
        QCOMPARE(driver.messages, QStringList {exportedMessage});
        QCOMPARE(driver.fileDialogs.size(), 1);
        QCOMPARE(driver.fileDialogs.first().section(QStringLiteral(" | "), 0, 2),
            QStringLiteral("Export Items as CSV... | CSV Files (*.csv) | csv"));
        // The save commits the blank row and leaves the cursor where it was.
        QCOMPARE(driver.table().RecordCount(), 1);
        QCOMPARE(driver.table().isPending(), false);
        QCOMPARE(driver.table().currentRow(), 0);
    }

    void saveTwiceReplacesTheFile()
    {
        WindowDriver driver;
        driver.type(QStringLiteral("Milk"));
        driver.altKey(Qt::Key_U);
        driver.fileAnswers = {path("items.csv"), path("items.csv")};
        driver.click("cmdSave");
        QCOMPARE(contents(path("items.csv")), QByteArray("Milk,,,Item,,\r\n,,,,,\r\n"));
        driver.typeInto(1, 0, QStringLiteral("Bread"));
        driver.click("cmdUpdate");
        driver.click("cmdSave");
        QCOMPARE(contents(path("items.csv")), QByteArray("Milk,,,Item,,\r\nBread,,,Item,,\r\n"));
        QCOMPARE(driver.messages, QStringList({exportedMessage, exportedMessage}));
    }

    void dialogUsesTheSettingsAndOffersTheLastName()
    {
        WindowDriver driver;
        write(path("in.csv"), "a\r\n");
        driver.fileAnswers = {path("in.csv"), path("out"), QString(), QString()};
        driver.click("cmdOpen");
        driver.click("cmdSave");
        driver.click("cmdOpen");
        driver.click("cmdSave");
        QCOMPARE(driver.fileDialogs.size(), 4);
        QCOMPARE(driver.fileDialogs.mid(1),
            QStringList({"Export Items as CSV... | CSV Files (*.csv) | csv | " + path("in.csv"),
                "Import Items from CSV... | CSV Files (*.csv);Text files (*.csv *.txt *.tsv "
                "*.tab);All files (*) | csv | "
                    + path("out.csv"),
                "Export Items as CSV... | CSV Files (*.csv) | csv | " + path("out.csv")}));
        QCOMPARE(contents(path("out.csv")), QByteArray("a,,,,,\r\n,,,,,\r\n"));
    }

    void cancelChangesNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("Save File") << "cmdSave";
        QTest::newRow("Open File") << "cmdOpen";
    }
    void cancelChangesNothing()
    {
        QFETCH(QString, command);
        WindowDriver driver;
        driver.type(QStringLiteral("Milk"));
        driver.fileAnswers = {path("chosen.csv"), QString()};
        driver.click("cmdSave");
        const QStringList rows = driver.rows();
        const QString buttons = driver.rowButtons();
        driver.click(command.toLatin1().constData());
        QCOMPARE(driver.fileDialogs.size(), 2);
        QCOMPARE(driver.rows(), rows);
        QCOMPARE(driver.rowButtons(), buttons);
        QCOMPARE(driver.messages, QStringList {exportedMessage});
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList {"chosen.csv"});
    }

    // A long Open, Save or Paste can be cancelled from its progress dialog, and keys typed
    // ahead into that dialog do not cancel it. Cancel leaves the table and the old file as they
    // were.
    void cancelWhileWorkingChangesNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("label");
        QTest::newRow("Open File") << "cmdOpen"
                                   << "Opening \u201C%1\u201D\u2026";
        QTest::newRow("Save File") << "cmdSave"
                                   << "Saving \u201C%1\u201D\u2026";
        QTest::newRow("Paste") << "{Ctrl+V}"
                               << "Pasting\u2026";
        QTest::newRow("Open of two files, the second cancelled") << "openFiles"
                                                                 << "Opening \u201C%1\u201D\u2026";
    }
    void cancelWhileWorkingChangesNothing()
    {
        QFETCH(QString, command);
        QFETCH(QString, label);
        // Several read chunks and several written slices of rows.
        const QByteArray many = QByteArray("a,b,c,d,e,f\r\n").repeated(250'000);
        write(path("many.csv"), many);
        write(path("old.csv"), "old\r\n");
        WindowDriver driver;
        driver.fileAnswers = {path("many.csv")};
        driver.click("cmdOpen");
        driver.type(QStringLiteral("Milk"));
        // Ctrl+V in an open cell pastes into the cell.
        const bool paste = command == u"{Ctrl+V}";
        if (paste)
            driver.keys(u"{Enter}");
        const QStringList rows = driver.rows();
        QCOMPARE(rows.size(), paste ? 250'002 : 250'001);
        const bool pending = driver.table().isPending();
        const QString buttons = driver.rowButtons();
        const int current = driver.table().currentRow();
        const QString target = command == u"cmdSave" ? path("old.csv") : path("many.csv");

        driver.cancelProgress = true;
        driver.fileAnswers = {target};
        if (paste) {
            QGuiApplication::clipboard()->setText(QString::fromLatin1(many).replace(u',', u'\t'));
            driver.keys(command);
        } else if (command == u"openFiles") {
            // As named on the command line. The small first file shows no progress; Cancel on
            // the second takes back the first one's rows too.
            driver.window().openFiles({path("old.csv"), target});
        } else {
            driver.click(command.toLatin1().constData());
        }
        QCOMPARE(driver.progressDialogs,
            QStringList {(paste ? label : label.arg(target))
                + QStringLiteral(": keys ignored, then Cancel clicked")});
        QCOMPARE(driver.messages, QStringList());
        QCOMPARE(driver.rows(), rows);
        QCOMPARE(driver.rowButtons(), buttons);
        QCOMPARE(driver.table().currentRow(), current);
        // Save commits the typed row before it writes anything, cancelled or not.
        QCOMPARE(driver.table().isPending(), command != u"cmdSave" && pending);
        QCOMPARE(contents(path("old.csv")), QByteArray("old\r\n"));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
            QStringList({"many.csv", "old.csv"}));
    }

    void openOnAFreshSheetGivesTheFilesRowsAndABlankRow()
    {
        WindowDriver driver;
        write(path("three.csv"), "Milk,Dairy,1.20,Item,Corner shop,4\r\nBread\r\na,b,c,d,e,f\r\n");
        driver.fileAnswers = {path("three.csv")};
        driver.altKey(Qt::Key_O);
        QCOMPARE(driver.rows(),
            QStringList({"Milk|Dairy|1.20|Item|Corner shop|4",
                "Bread|<absent>|<absent>|<absent>|<absent>|<absent>", "a|b|c|d|e|f", blankRow}));
        QCOMPARE(driver.table().currentRow(), 3);
        QCOMPARE(driver.grid()->currentIndex(), driver.table().index(3, 0));
        QVERIFY(driver.grid()->hasFocus());
        QCOMPARE(driver.rowButtons(), QStringLiteral("Add off, Update off, Delete off"));
        QCOMPARE(driver.window().isAddingRow(), true);
        // Rows from a file do not feed the pick lists.
        QCOMPARE(driver.window().groups().values(), QStringList());
        QCOMPARE(driver.messages, QStringList());
    }

    // Files dropped on the window or named on the command line are appended as one Open
    // File: their rows in order, then one blank row; one that cannot be read is reported.
    void droppedAndNamedFilesOpenAsOne_data()
    {
        QTest::addColumn<bool>("dropped");
        QTest::newRow("dropped on the window") << true;
        QTest::newRow("named on the command line") << false;
    }
    void droppedAndNamedFilesOpenAsOne()
    {
        QFETCH(bool, dropped);
        WindowDriver driver;
        write(path("a.csv"), "Milk\r\n");
        write(path("b.csv"), "Bread,Bakery\r\n");
        const QStringList files {path("a.csv"), path("missing.csv"), path("b.csv")};
        if (dropped) {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(files[0]), QUrl::fromLocalFile(files[1]),
                QUrl::fromLocalFile(files[2])});
            QDragEnterEvent enter({300, 300}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&driver.window(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&driver.window(), &drop);
        } else {
            driver.window().openFiles(files);
        }
        QCOMPARE(driver.rows(),
            QStringList({"Milk|<absent>|<absent>|<absent>|<absent>|<absent>",
                "Bread|Bakery|<absent>|<absent>|<absent>|<absent>", blankRow}));
        QCOMPARE(driver.messages,
            QStringList {
                QStringLiteral("[Warning] PantrovoImporter: Could not open \u201C%1\u201D: "
                               "No such file or directory")
                    .arg(files[1])});
        QCOMPARE(driver.fileDialogs, QStringList());
    }

    // A file that is not an item file shows its preview before any of its rows is added: Return
    // adds the rows as shown, Escape adds nothing of any of the files, an item file opens without
    // one. The files are opened as one, as from the command line.
    void previewComesBeforeTheRowsOfASpreadsheetsFile_data()
    {
        QTest::addColumn<QByteArrayList>("files");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("previews");
        QTest::addColumn<QStringList>("rows");
        const QByteArray german
            = "Store;Item Name;Price;Notes\r\n\"Baker, Smith\";Cr\xC3\xA8me;1,15;"
              "x\r\nLidl;Milk;0,99;\r\n";
        const QString germanPreview
            = "semicolon / headingLine / decimalComma / Store,Item Name,Price,(leave out) / "
              "Baker, Smith!|Crème|1.15|x / Lidl|Milk|0.99| / 2 rows will be added.\nLeft "
              "out:\nLine 1 names the columns and is left out\nColumn 4 (“Notes”) is left out / "
              "Character set: UTF-8 (1 line with characters beyond ASCII).";
        QTest::newRow("an item file: no preview")
            << QByteArrayList {"Milk,Dairy\r\n"} << QStringList() << QStringList()
            << QStringList {"Milk|Dairy|<absent>|<absent>|<absent>|<absent>", blankRow};
        QTest::newRow("Return adds the rows as shown")
            << QByteArrayList {german} << QStringList {"{Return}"} << QStringList {germanPreview}
            << QStringList {"Crème|<absent>|1.15|<absent>|Baker, Smith|<absent>",
                   "Milk|<absent>|0.99|<absent>|Lidl|<absent>", blankRow};
        QTest::newRow("Escape adds nothing of any file")
            << QByteArrayList {"Milk\r\n", german} << QStringList {"{Escape}"}
            << QStringList {germanPreview} << QStringList {blankRow};
        QTest::newRow("read as an item file: split at every comma, quotes as text")
            << QByteArrayList {"a,\"b,c\"\n"} << QStringList {"{Alt+R}{Return}"}
            << QStringList {"comma / Item Name,Group / a|b,c! / 1 row will be added.\n"
                            "Nothing of the file is left out. / Character set: plain ASCII, the "
                            "same in UTF-8 and Windows-1252."}
            << QStringList {"a|\"b|c\"|<absent>|<absent>|<absent>", blankRow};
    }
    void previewComesBeforeTheRowsOfASpreadsheetsFile()
    {
        QFETCH(QByteArrayList, files);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, previews);
        QFETCH(QStringList, rows);
        QStringList fileNames;
        for (const QByteArray &file : files) {
            fileNames.append(path("file%1.txt").arg(fileNames.size()));
            write(fileNames.last(), file);
        }
        WindowDriver driver;
        driver.previewKeys = keys;
        driver.window().openFiles(fileNames);
        QCOMPARE(driver.previews, previews);
        QCOMPARE(driver.rows(), rows);
        QCOMPARE(driver.messages, QStringList());
    }

    // They need no display: a terminal without one still gets its answer.
    void helpAndVersionNeedNoDisplay_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("--version") << "--version"
                                   << "pantrovo-importer 1.00";
        QTest::newRow("--help") << "--help"
                                << "Usage: pantrovo-importer [options] [FILE...]";
    }
    void helpAndVersionNeedNoDisplay()
    {
        QFETCH(QString, option);
        QFETCH(QString, firstLine);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1StringView(name));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PROGRAM_PATH), {option});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(program.readAllStandardOutput()).section(u'\n', 0, 0),
            firstLine);
    }

    void openAnEmptyFileOnlyReplacesTheBlankRow()
    {
        WindowDriver driver;
        write(path("empty.csv"), "");
        driver.fileAnswers = {path("empty.csv")};
        driver.click("cmdOpen");
        QCOMPARE(driver.rows(), QStringList {blankRow});
        QCOMPARE(driver.table().isPending(), true);
    }

    // A first row that holds any text is the user's: Open keeps it.
    void openKeepsTypedRows()
    {
        WindowDriver driver;
        write(path("file.csv"), "f1\r\n");
        driver.type(QStringLiteral("A"));
        driver.click("cmdUpdate");
        driver.type(QStringLiteral("B"));
        driver.click("cmdUpdate");
        driver.click("cmdAdd");
        driver.fileAnswers = {path("file.csv"), path("file.csv")};
        driver.click("cmdOpen");
        QCOMPARE(driver.rows(),
            QStringList({committedRowWithName("A"), committedRowWithName("B"), blankRow,
                "f1|<absent>|<absent>|<absent>|<absent>|<absent>", blankRow}));

        // Typed text that was never committed is kept too.
        WindowDriver typed;
        typed.type(QStringLiteral("Milk"));
        typed.fileAnswers = {path("file.csv")};
        typed.click("cmdOpen");
        QCOMPARE(typed.rows(),
            QStringList({"Milk|<absent>|<absent>|<absent>|<absent>|<absent>",
                "f1|<absent>|<absent>|<absent>|<absent>|<absent>", blankRow}));
    }

    void unusualItemTypeSurvivesOpenAndSave()
    {
        WindowDriver driver;
        write(path("in.csv"), "Rice,,,Sack,,\r\n");
        driver.fileAnswers = {path("in.csv"), path("out.csv")};
        driver.click("cmdOpen");
        driver.click("cmdSave");
        QCOMPARE(contents(path("out.csv")), QByteArray("Rice,,,Sack,,\r\n,,,,,\r\n"));
    }

    void openingTheSavedFileAppendsItsRowsAgain()
    {
        WindowDriver driver;
        driver.type(QStringLiteral("Milk"));
        driver.click("cmdUpdate");
        driver.fileAnswers = {path("items.csv"), path("items.csv")};
        driver.click("cmdSave");
        driver.click("cmdOpen");
        QCOMPARE(driver.rows(),
            QStringList(
                {committedRowWithName("Milk"), blankRow, "Milk|||Item||", "|||||", blankRow}));
    }

    // A value the handheld would read wrongly, typed, pasted or opened, is marked in its cell
    // with Save's reason and counted in Save's tooltip at once; it stops the save before any file
    // is touched, and the cell cursor waits on it. Deleting the character, or undoing the
    // command that brought it, takes the mark away.
    void saveRefusesAValueTheFileCannotCarry_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("deleteCharacter");
        // The cell after undoing the deletion and then the command that brought the value.
        QTest::addColumn<QString>("afterUndo");
        const QString comma
            = QStringLiteral("contains a comma, which would split it into two "
                             "fields, so the handheld would read the file wrongly.");
        const QString commaReason
            = QStringLiteral("a comma would split the value into two fields.");
        QTest::newRow("a comma") << "pasted"
                                 << "Smith, and Sons" << comma << commaReason
                                 << "{F2}{Home}{Right}{Right}{Right}{Right}{Right}{Delete}"
                                 << "unmarked";
        QTest::newRow("a typed comma") << "typed"
                                       << "Smith, and Sons" << comma << commaReason
                                       << "{F2}{Home}{Right}{Right}{Right}{Right}{Right}{Delete}"
                                       << "unmarked";
        QTest::newRow("a pasted price with a decimal comma")
            << "pasted"
            << "1,20" << comma << commaReason << "{F2}{Home}{Right}{Delete}"
            << "unmarked";
        QTest::newRow("a character Windows-1252 lacks, opened from a UTF-8 file")
            << "opened"
            << "\u0100ldi"
            << "contains the character \u201C\u0100\u201D (U+0100), which the file's character "
               "set, Windows-1252, cannot hold, so the handheld would read the file wrongly."
            << "Windows-1252 cannot hold the character \u201C\u0100\u201D (U+0100)."
            << "{F2}{Home}{Delete}"
            << "no such cell";
        QTest::newRow("a control character")
            << "pasted"
            << "Smith\u0007Sons"
            << "contains an invisible character [U+0007], which does not show in the grid and "
               "which the handheld may read wrongly."
            << "an invisible character [U+0007] does not show in the grid."
            << "{F2}{Home}{Right}{Right}{Right}{Right}{Right}{Delete}"
            << "unmarked";
        QTest::newRow("a comma, opened through the preview")
            << "opened through the preview"
            << "Smith, and Sons" << comma << commaReason
            << "{F2}{Home}{Right}{Right}{Right}{Right}{Right}{Delete}"
            << "no such cell";
        QTest::newRow("a control character, opened from a file of ASCII")
            << "opened"
            << "Smith\u0007Sons"
            << "contains an invisible character [U+0007], which does not show in the grid and "
               "which the handheld may read wrongly."
            << "an invisible character [U+0007] does not show in the grid."
            << "{F2}{Home}{Right}{Right}{Right}{Right}{Right}{Delete}"
            << "no such cell";
        QTest::newRow("a byte Windows-1252 leaves unassigned, opened from a Windows-1252 file")
            << "opened as Windows-1252"
            << "Caf\u00E9\u0081"
            << "contains an invisible character [U+0081], which does not show in the grid and "
               "which the handheld may read wrongly."
            << "an invisible character [U+0081] does not show in the grid."
            << "{F2}{End}{Backspace}"
            << "no such cell";
    }
    void saveRefusesAValueTheFileCannotCarry()
    {
        QFETCH(QString, entry);
        QFETCH(QString, value);
        QFETCH(QString, message);
        QFETCH(QString, reason);
        QFETCH(QString, deleteCharacter);
        QFETCH(QString, afterUndo);
        WindowDriver driver;
        write(path("items.csv"), "old\r\n");
        if (entry == u"opened through the preview") {
            write(path("in.csv"),
                QStringLiteral("Item Name;Store\r\nMilk;\r\n;%1\r\n").arg(value).toUtf8());
            driver.previewKeys = {"{Return}"};
            driver.fileAnswers = {path("in.csv")};
            driver.click("cmdOpen");
        } else if (entry.startsWith(u"opened")) {
            const QString lines = QStringLiteral("Milk,,,Item,,\r\n,,,,%1,\r\n").arg(value);
            write(path("in.csv"), entry == u"opened" ? lines.toUtf8() : lines.toLatin1());
            driver.fileAnswers = {path("in.csv")};
            driver.click("cmdOpen");
        } else {
            driver.type(QStringLiteral("Milk"));
            driver.click("cmdUpdate");
            driver.clickCell(1, 4);
            QGuiApplication::clipboard()->setText(value);
            driver.keys(entry == u"typed" ? value : QStringLiteral("{Ctrl+V}"));
        }
        const QString refusedToolTip = saveToolTip
            + QStringLiteral("\nSave would refuse 1 value, marked in red: F8 goes to it.");
        QCOMPARE(driver.cellMark(1, 4), "marked: " + reason);
        QCOMPARE(driver.button("cmdSave")->toolTip(), refusedToolTip);
        driver.clickCell(0, 0);
        driver.keys(u"{F8}");
        QCOMPARE(driver.currentCell(), "(1, 4)");

        driver.fileAnswers = {path("items.csv"), path("new.csv")};
        driver.click("cmdSave");
        driver.click("cmdSave");
        QCOMPARE(driver.messages,
            QStringList(2,
                QStringLiteral("[Warning] PantrovoImporter: Nothing was saved. The value in row "
                               "2, column \u201CStore\u201D %1 Please change that value.")
                    .arg(message)));
        QCOMPARE(contents(path("items.csv")), QByteArray("old\r\n"));
        QCOMPARE(contents(path("new.csv")), QByteArray("<no file>"));
        QCOMPARE(driver.grid()->currentIndex(), driver.table().index(1, 4));
        QCOMPARE(driver.table().currentRow(), 1);

        driver.keys(deleteCharacter);
        QCOMPARE(driver.cellMark(1, 4), "unmarked");
        driver.keys(u"{Tab}");
        QCOMPARE(driver.cellMark(1, 4), "unmarked");
        QCOMPARE(driver.button("cmdSave")->toolTip(), saveToolTip);
        driver.keys(u"{Ctrl+Z}");
        QCOMPARE(driver.cellMark(1, 4), "marked: " + reason);
        QCOMPARE(driver.button("cmdSave")->toolTip(), refusedToolTip);
        driver.keys(u"{Ctrl+Z}");
        QCOMPARE(driver.cellMark(1, 4), afterUndo);
        QCOMPARE(driver.button("cmdSave")->toolTip(), saveToolTip);
    }

    // F8 goes to the next value that Save would refuse in table order, round from the last to
    // the first, and Shift+F8 back; with no such value the cursor stays.
    void f8GoesToTheRefusedValuesInTableOrder_data()
    {
        QTest::addColumn<QString>("block");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("visited");
        const QString block
            = QStringLiteral("ok\t1,5\tok\n2,1\tok\tok\tok\tok\tx\u0100\nok\nok\tok\t\u0007\n");
        QTest::newRow("forward from the first cell, round to the first")
            << block << 0 << 0 << QStringList(5, "{F8}")
            << QStringList {"(0, 1)", "(1, 0)", "(1, 5)", "(3, 2)", "(0, 1)"};
        QTest::newRow("backward from the first cell, round to the last")
            << block << 0 << 0 << QStringList(2, "{Shift+F8}") << QStringList {"(3, 2)", "(1, 5)"};
        QTest::newRow("from a marked cell")
            << block << 1 << 0 << QStringList {"{F8}", "{Shift+F8}", "{Shift+F8}"}
            << QStringList {"(1, 5)", "(1, 0)", "(0, 1)"};
        QTest::newRow("from the cell being typed in")
            << block << 2 << 3 << QStringList {"x{F8}"} << QStringList {"(3, 2)"};
        // An edit and Update Row enable Delete Row, which Add Row's blank row turned off.
        QTest::newRow("a row deleted between marks: the later marks move up with their rows")
            << block << 2 << 0
            << QStringList {"{Alt+U}", "{Up}{Up}no{Alt+U}", "{Alt+D}", "{Shift+F8}", "{F8}", "{F8}"}
            << QStringList {"(4, 0)", "(2, 0)", "(4, 0)", "(2, 2)", "(0, 1)", "(1, 0)"};
        QTest::newRow("pasted again over rows 0 and 2: row 1 between them keeps its marks")
            << block << 2 << 0
            << QStringList {"no{Alt+U}", "{Up}{Up}{Up}{Up}no{Alt+U}", "{Ctrl+V}", "{F8}", "{F8}",
                   "{F8}"}
            << QStringList {"(4, 0)", "(0, 0)", "(0, 0)", "(0, 1)", "(1, 0)", "(1, 5)"};
        QTest::newRow("none refused: the cursor stays")
            << "ok\tok\n"
            << 0 << 1 << QStringList {"{F8}", "{Shift+F8}"} << QStringList {"(0, 1)", "(0, 1)"};
    }
    void f8GoesToTheRefusedValuesInTableOrder()
    {
        QFETCH(QString, block);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, visited);
        WindowDriver driver;
        QGuiApplication::clipboard()->setText(block);
        driver.keys(u"{Ctrl+V}");
        driver.clickCell(row, column);
        QStringList cells;
        for (const QString &key : keys) {
            driver.keys(key);
            cells.append(driver.currentCell());
        }
        QCOMPARE(cells, visited);
    }

    // The values of an opened file that Save would refuse are counted at once, and go with the
    // Open when it is undone and come back when it is done again.
    void refusedValuesOfAnOpenedFileAreCountedUntilItIsUndone()
    {
        WindowDriver driver;
        write(path("in.csv"),
            QStringLiteral(
                "\u0100bc,1\u0007,,Item,,\r\nok,,,Item,,\r\n,,,,Zo\u00EB\u20AC,\u03A9\r\n")
                .toUtf8());
        driver.fileAnswers = {path("in.csv")};
        driver.click("cmdOpen");
        const QString threeRefused = saveToolTip
            + QStringLiteral(
                "\nSave would refuse 3 values, marked in red: F8 goes to the next one.");
        QCOMPARE(driver.button("cmdSave")->toolTip(), threeRefused);
        QCOMPARE(driver.cellMark(2, 5),
            "marked: Windows-1252 cannot hold the character \u201C\u03A9\u201D (U+03A9).");
        QCOMPARE(driver.cellMark(2, 4), "unmarked");

        driver.clickCell(0, 0);
        QStringList visited;
        for (int i = 0; i < 4; ++i) {
            driver.keys(u"{F8}");
            visited.append(driver.currentCell());
        }
        QCOMPARE(visited, QStringList({"(0, 1)", "(2, 5)", "(0, 0)", "(0, 1)"}));

        driver.keys(u"{Ctrl+Z}");
        QCOMPARE(driver.rows(), QStringList {blankRow});
        QCOMPARE(driver.button("cmdSave")->toolTip(), saveToolTip);
        driver.keys(u"{Ctrl+Y}");
        QCOMPARE(driver.button("cmdSave")->toolTip(), threeRefused);
    }

    // Every refused value is named at once, the first ten of them in a list.
    void saveNamesEveryRefusedValue()
    {
        WindowDriver driver;
        QString block;
        QStringList lines;
        for (int row = 1; row <= 12; ++row) {
            block += QStringLiteral("a,%1\t%2\n").arg(row).arg(row == 2 ? u"\u2713" : u"");
            lines.append(QStringLiteral("Row %1, column \u201CItem Name\u201D: a comma would "
                                        "split the value into two fields.")
                             .arg(row));
            if (row == 2) {
                lines.append(QStringLiteral("Row 2, column \u201CGroup\u201D: Windows-1252 "
                                            "cannot hold the character \u201C\u2713\u201D "
                                            "(U+2713)."));
            }
        }
        QGuiApplication::clipboard()->setText(block);
        driver.keys(u"{Ctrl+V}{Down}");
        driver.fileAnswers = {path("items.csv")};
        driver.click("cmdSave");
        QCOMPARE(driver.messages,
            QStringList {QStringLiteral("[Warning] PantrovoImporter: Nothing was saved: the "
                                        "handheld would read 13 values wrongly. Please change "
                                        "them.\n\n")
                + lines.mid(0, 10).join(u'\n') + QStringLiteral("\nAnd 3 more.")});
        QCOMPARE(contents(path("items.csv")), QByteArray("<no file>"));
        QCOMPARE(driver.grid()->currentIndex(), driver.table().index(0, 0));
    }

    void saveErrorsLeaveTheOldFileAndTheTable_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a folder's name") << "folder.csv"
                                         << "It is a folder, not a file. Nothing was written.";
        QTest::newRow("in a missing folder") << "missing/items.csv"
                                             << "No such file or directory";
        QTest::newRow("through a file") << "plain.csv/items.csv"
                                        << "Not a directory";
    }
    void saveErrorsLeaveTheOldFileAndTheTable()
    {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QDir(m_dir->path()).mkdir(QStringLiteral("folder.csv"));
        write(path("plain.csv"), "old\r\n");
        const QString fileName = m_dir->filePath(target);
        WindowDriver driver;
        driver.type(QStringLiteral("Milk"));
        const QStringList rows = driver.rows();
        driver.fileAnswers = {fileName};
        driver.click("cmdSave");
        QCOMPARE(driver.messages,
            QStringList {
                QStringLiteral("[Warning] PantrovoImporter: Could not save \u201C%1\u201D: %2")
                    .arg(fileName, reason)});
        QCOMPARE(contents(path("plain.csv")), QByteArray("old\r\n"));
        QCOMPARE(driver.rows(), rows);
    }

    void openErrorsChangeNothing_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing file") << "missing.csv"
                                      << "No such file or directory";
        QTest::newRow("a folder") << "folder.csv"
                                  << "It is a folder, not a file.";
        QTest::newRow("through a file") << "plain.csv/x.csv"
                                        << "Not a directory";
        // Opening it would wait for a program that writes into it.
        QTest::newRow("a FIFO") << "fifo.csv"
                                << "It is a named pipe (FIFO), not a file.";
        // With the most a row holds lowered to eight characters.
        QTest::newRow("a line longer than a row holds")
            << "long.csv"
            << "line 2 is too long to open. No row was added.";
    }
    void openErrorsChangeNothing()
    {
        QFETCH(QString, target);
        QFETCH(QString, reason);
        QDir(m_dir->path()).mkdir(QStringLiteral("folder.csv"));
        write(path("plain.csv"), "old\r\n");
        QCOMPARE(::mkfifo(QFile::encodeName(path("fifo.csv")).constData(), 0666), 0);
        write(path("long.csv"), "Bread\r\nmuch too long\r\n");
        const RowLengthLimit limit(target == u"long.csv" ? 8 : ItemRow::maxLength);
        WindowDriver driver;
        driver.type(QStringLiteral("Milk"));
        const QStringList rows = driver.rows();
        const QString buttons = driver.rowButtons();
        driver.fileAnswers = {m_dir->filePath(target)};
        driver.click("cmdOpen");
        QCOMPARE(driver.messages,
            QStringList {
                QStringLiteral("[Warning] PantrovoImporter: Could not open \u201C%1\u201D: %2")
                    .arg(m_dir->filePath(target), reason)});
        QCOMPARE(driver.rows(), rows);
        QCOMPARE(driver.rowButtons(), buttons);
    }

    // The real Qt file dialog, typed into and accepted as a user does, for both commands.
    void realDialogSavesAndOpens()
    {
        WindowDriver driver;
        driver.useRealDialogs();
        driver.type(QStringLiteral("Milk"));
        driver.click("cmdUpdate");
        write(path("in.csv"), "Bread,Bakery\r\n");

        // The dialogs take the focus from the cell being typed in; afterwards typing goes on in it.
        driver.type(QStringLiteral("Tea"));
        ModalAnswerer answerer({path("real"), path("in.csv")});
        driver.click("cmdSave");
        QCOMPARE(contents(path("real.csv")), QByteArray("Milk,,,Item,,\r\nTea,,,,,\r\n"));
        // Keys from the window system come after the window's activation; these come at once.
        QVERIFY(QTest::qWaitForWindowActive(&driver.window()));
        driver.keys(u"bag");
        driver.click("cmdOpen");
        QCOMPARE(driver.rows(),
            QStringList({committedRowWithName("Milk"),
                "Teabag|<absent>|<absent>|<absent>|<absent>|<absent>",
                "Bread|Bakery|<absent>|<absent>|<absent>|<absent>", blankRow}));
        QCOMPARE(answerer.seen,
            QStringList({"file dialog: Export Items as CSV...",
                "message: PantrovoImporter: Exported successfully",
                "file dialog: Import Items from CSV..."}));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(tst_FileCommands)
#include "tst_filecommands.moc"
