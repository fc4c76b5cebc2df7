#include "windowtest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <cstring>

// Damaged and hostile files through the real Open File and Save File commands: the window
// keeps every row it had, takes every line of a file it can read, and says what went wrong
// with one it cannot read or write. (Folders, missing folders and paths through a file are in
// tst_filecommands.)
namespace {

const QString tea = QStringLiteral("Tea|<absent>|<absent>|Item|<absent>|<absent>");
const QByteArray teaLine = "Tea,,,Item,,\r\n";
const QByteArray blankLine = ",,,,,\r\n";

// All the bytes of a string literal, NUL bytes included, without the terminating one.
template<std::size_t Size> QByteArray bytes(const char (&literal)[Size])
{
    return QByteArray(literal, qsizetype(Size - 1));
}

// A row of one value, the other five absent.
QString oneValue(const QString &value)
{
    return value + QStringLiteral("|<absent>|<absent>|<absent>|<absent>|<absent>");
}

QString cannotOpen(const QString &fileName, const char *reason)
{
    return QStringLiteral("[Warning] PantrovoImporter: Could not open \u201C%1\u201D: %2")
        .arg(fileName, QLatin1StringView(reason));
}

QString cannotSave(const QString &fileName, const char *reason)
{
    return QStringLiteral("[Warning] PantrovoImporter: Could not save \u201C%1\u201D: %2")
        .arg(fileName, QLatin1StringView(reason));
}

// "character device" or "plain file": what stands at a path, without following it.
QString kindOf(const QString &fileName)
{
    struct stat status
    {
    };
    if (::lstat(QFile::encodeName(fileName).constData(), &status) != 0)
        return QStringLiteral("nothing");
    if (S_ISCHR(status.st_mode))
        return QStringLiteral("character device");
    if (S_ISREG(status.st_mode))
        return QStringLiteral("plain file");
    return QStringLiteral("something else");
}

} // namespace

class tst_HostileFiles : public QObject
{
    Q_OBJECT

    QString path(const char *name) const { return m_dir->filePath(QLatin1StringView(name)); }

    // A window whose table holds a committed row the user typed and the new row after it.
    static void typeARow(WindowDriver &driver)
    {
        driver.type(QStringLiteral("Tea"));
        driver.click("cmdUpdate");
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // Each line of a damaged file becomes one row after the user's rows, and Save File then
    // writes every row in the handheld's form.
    void damagedFileOpensAndSaves_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("fileRows");
        QTest::addColumn<QByteArray>("savedFileRows");

        const QString nul(QChar(0));
        QTest::newRow("binary: NUL bytes and runs of 0xFF")
            << bytes("\0\0,\xFF\xFF\xFF\xFF\0x\r\n\xFF\xFF\xFF\xFF\xFF\xFF\n\0")
            << QStringList {nul + nul + QStringLiteral("|ÿÿÿÿ") + nul
                       + QStringLiteral("x|<absent>|<absent>|<absent>|<absent>"),
                   oneValue(QStringLiteral("ÿÿÿÿÿÿ")), oneValue(nul)}
            << bytes(
                   "\0\0,\xFF\xFF\xFF\xFF\0x,,,,\r\n\xFF\xFF\xFF\xFF\xFF\xFF,,,,,\r\n\0,,,,,\r\n");
        QTest::newRow("mixed line ends: CR LF, LF, CR, LF CR, none")
            << QByteArray("a\r\nb\nc\rd\n\re")
            << QStringList {oneValue("a"), oneValue("b"), oneValue("c"), oneValue("d"), blankRow,
                   oneValue("e")}
            << QByteArray("a,,,,,\r\nb,,,,,\r\nc,,,,,\r\nd,,,,,\r\n,,,,,\r\ne,,,,,\r\n");
        QTest::newRow("ends in the middle of a CR LF")
            << QByteArray("Milk,Dairy,1.20,Item,Corner shop,4\r")
            << QStringList {"Milk|Dairy|1.20|Item|Corner shop|4"}
            << QByteArray("Milk,Dairy,1.20,Item,Corner shop,4\r\n");

        // Sizes far beyond any real item list, kept to what stays quick under the sanitizers.
        const QByteArray longValue(qsizetype(50) * 1024 * 1024, 'x');
        QTest::newRow("one line of 50 MB")
            << QByteArray("a,b,c,d,e," + longValue)
            << QStringList {QStringLiteral("a|b|c|d|e|") + QString::fromLatin1(longValue)}
            << QByteArray("a,b,c,d,e," + longValue + "\r\n");
        QTest::newRow("1,000,000 empty lines")
            << QByteArray("\r\n").repeated(1'000'000) << QStringList(1'000'000, blankRow)
            << blankLine.repeated(1'000'000);
    }
    void damagedFileOpensAndSaves()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, fileRows);
        QFETCH(QByteArray, savedFileRows);
        write(path("damaged.csv"), file);
        WindowDriver driver;
        typeARow(driver);
        driver.fileAnswers = {path("damaged.csv"), path("saved.csv")};

        driver.click("cmdOpen");
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}) + fileRows + QStringList {blankRow});
        driver.click("cmdSave");
        QCOMPARE(contents(path("saved.csv")), teaLine + blankLine + savedFileRows + blankLine);
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}) + fileRows + QStringList {blankRow});
        QCOMPARE(driver.messages, QStringList {exportedMessage});
    }

    void fileGoneBetweenTheDialogAndTheReadChangesNothing()
    {
        write(path("items.csv"), "Milk\r\n");
        WindowDriver driver;
        typeARow(driver);
        driver.fileAnswers = {path("items.csv")};
        driver.afterFileDialog = [this] {
            QVERIFY(QFile::remove(path("items.csv")));
        };
        const QString buttons = driver.rowButtons();

        driver.click("cmdOpen");
        QCOMPARE(driver.messages,
            QStringList {cannotOpen(path("items.csv"), "No such file or directory")});
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}));
        QCOMPARE(driver.rowButtons(), buttons);
    }

    // Guards against the fault where a save onto a device put a plain file in its place.
    void saveOntoADeviceWritesToTheDevice_data()
    {
        QTest::addColumn<int>("minor");
        QTest::addColumn<QStringList>("messages");
        // The same devices as /dev/full and /dev/null, made in the test's own folder: a save
        // that went wrong must not be able to touch the machine's real ones.
        QTest::newRow("a device that is always full, as /dev/full")
            << 7 << QStringList {cannotSave(QString(), "No space left on device")};
        QTest::newRow("a device that takes everything, as /dev/null")
            << 3 << QStringList {exportedMessage};
    }
    void saveOntoADeviceWritesToTheDevice()
    {
        QFETCH(int, minor);
        QFETCH(QStringList, messages);
        const QString device = path("device.csv");
        if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, minor)) != 0)
            QSKIP(qPrintable(QStringLiteral("making a device node is not permitted here (%1); it "
                                            "needs root or CAP_MKNOD")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno)))));
        messages.replaceInStrings(
            QStringLiteral("\u201C\u201D"), QStringLiteral("\u201C%1\u201D").arg(device));
        WindowDriver driver;
        typeARow(driver);
        driver.fileAnswers = {device};

        driver.click("cmdSave");
        QCOMPARE(driver.messages, messages);
        QCOMPARE(kindOf(device), QStringLiteral("character device"));
        QCOMPARE(
            QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            QStringList {"device.csv"});
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}));
    }

    // A disk that fills up in the middle of a save: root cannot write past that, so this holds
    // when the tests run as root too. Also guards against the fault where the file system took
    // part of a write without an error and the user was told only "Unknown error".
    void saveOntoAFullDiskKeepsTheOldFile()
    {
        const QString disk = path("disk");
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("disk")));
        if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP(qPrintable(QStringLiteral("mounting a small disk is not permitted here (%1); "
                                            "it needs root or CAP_SYS_ADMIN")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno)))));
        const auto unmount
            = qScopeGuard([&] { ::umount2(QFile::encodeName(disk).constData(), 0); });
        const QString old = disk + QStringLiteral("/items.csv");
        write(old, "old\r\n");
        const QByteArray tooMuch = QByteArray("a,b,c,d,e,f\r\n").repeated(10'000);
        write(path("many.csv"), tooMuch);
        WindowDriver driver;
        driver.fileAnswers = {path("many.csv"), old};
        driver.click("cmdOpen");
        const QStringList rows = driver.rows();
        QCOMPARE(rows.size(), 10'001);

        driver.click("cmdSave");
        QCOMPARE(driver.messages, QStringList {cannotSave(old, "No space left on device")});
        QCOMPARE(contents(old), QByteArray("old\r\n"));
        QCOMPARE(QDir(disk).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
            QStringList {"items.csv"});
        QCOMPARE(driver.rows(), rows);
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

QTEST_MAIN(tst_HostileFiles)
#include "tst_hostilefiles.moc"
