#include "savedfiles.h"
#include "windowtest.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/acl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fcntl.h>
#include <grp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

// Damaged and hostile files through the real Open File and Save File commands: the window
// keeps every row it had, takes every line of a file it can read, and says what went wrong
// with one it cannot read or write. (Folders, missing folders and paths through a file are in
// tst_filecommands.)
namespace {

const QString tea = QStringLiteral("Tea|<absent>|<absent>|Item|<absent>|<absent>");
const QByteArray teaLine = "Tea,,,Item,,\r\n";
const QByteArray blankLine = ",,,,,\r\n";
// A file's old lines, longer than one new line: writing in place must also cut the file.
const QByteArray oldLines = "Old line that is longer than the new one\r\n";

// All the bytes of a string literal, NUL bytes included, without the terminating one.
template<std::size_t Size> QByteArray bytes(const char (&literal)[Size])
{
    return QByteArray(literal, qsizetype(Size - 1));
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

// Every entry of a folder, hidden ones too, each as "name: what it is", not following links:
// "plain file: <its bytes>", "FIFO", "character device 1 7", "link to <target>".
QStringList describeFolder(const QString &folder, bool withContents = true)
{
    QStringList entries;
    const QStringList names = QDir(folder).entryList(
        QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names) {
        const QString fileName = folder + u'/' + name;
        struct stat status
        {
        };
        QString kind = QStringLiteral("something else");
        if (::lstat(QFile::encodeName(fileName).constData(), &status) != 0)
            kind = QStringLiteral("gone");
        else if (S_ISREG(status.st_mode))
            kind = QStringLiteral("plain file")
                + (withContents || name != u"filler"
                        ? QStringLiteral(": ") + QString::fromLatin1(contents(fileName))
                        : QString());
        else if (S_ISFIFO(status.st_mode))
            kind = QStringLiteral("FIFO");
        else if (S_ISCHR(status.st_mode))
            kind = QStringLiteral("character device %1 %2")
                       .arg(major(status.st_rdev))
                       .arg(minor(status.st_rdev));
        else if (S_ISLNK(status.st_mode))
            kind = QStringLiteral("link to ") + QFile::symLinkTarget(fileName).section(u'/', -1);
        entries.append(name + QStringLiteral(": ") + kind);
    }
    return entries;
}

// Every file under `folders` but items.csv and other.csv, as "name: bytes", the random part
// of a name as "*".
QStringList leftovers(const QStringList &folders)
{
    QStringList found;
    for (const QString &folder : folders) {
        QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString name = files.next().section(u'/', -1);
            if (name != u"items.csv" && name != u"other.csv")
                found.append(name.left(name.size() - 8) + QStringLiteral("*: ")
                    + QString::fromLatin1(contents(files.filePath())));
        }
    }
    return found;
}

// Fills the disk that `fileName` is on until `freeBytes` are left.
void fillDisk(const QString &fileName, qint64 freeBytes)
{
    QFile filler(fileName);
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        qFatal("cannot create the filler file");
    const QByteArray block(4096, 'f');
    while (filler.write(block) > 0) { }
    if (!filler.resize(std::max<qint64>(filler.size() - freeBytes, 0)))
        qFatal("cannot shrink the filler file");
}

// The real file system, but for the calls that a test makes fail, and with a record of every
// call in order: "open", "openUnnamed 0600", "changeMode 0640".
class ScriptedFileSystem : public ItemCsv::FileSystem
{
public:
    // "write 2 ENOSPC 10; sync 1 EIO": the second write puts its first 10 bytes and fails
    // with ENOSPC, the first sync fails with EIO. "fstat 1 FIFO" says a FIFO is there.
    explicit ScriptedFileSystem(const QString &script)
    {
        for (const QString &failure : script.split(u';', Qt::SkipEmptyParts)) {
            const QStringList words = failure.split(u' ', Qt::SkipEmptyParts);
            m_failures.append({words[0], words[1].toInt(), words.value(2), words.value(3).toInt()});
        }
    }

    QStringList calls;

    int stat(const char *path, struct stat *status) override
    {
        return pass(fails("stat"), [&] { return FileSystem::stat(path, status); });
    }
    int fstat(int descriptor, struct stat *status) override
    {
        const Failure *failure = this->failure("fstat");
        if (failure && failure->error == u"FIFO") {
            const int result = FileSystem::fstat(descriptor, status);
            status->st_mode = (status->st_mode & ~S_IFMT) | S_IFIFO;
            return result;
        }
        return pass(fail(failure), [&] { return FileSystem::fstat(descriptor, status); });
    }
    int open(const char *path, int flags, mode_t mode) override
    {
        const QString detail = (flags & O_CREAT) != 0 ? octal(mode)
            : (flags & O_NONBLOCK) != 0               ? QStringLiteral("nonblocking")
                                                      : QString();
        return pass(fails("open", detail), [&] { return FileSystem::open(path, flags, mode); });
    }
    int openUnnamed(const char *folder, mode_t mode) override
    {
        return pass(fails("openUnnamed", octal(mode)),
            [&] { return FileSystem::openUnnamed(folder, mode); });
    }
    int giveName(int descriptor, const char *path) override
    {
        return pass(fails("giveName"), [&] { return FileSystem::giveName(descriptor, path); });
    }
    ssize_t read(int descriptor, void *buffer, size_t size) override
    {
        return pass(fails("read"), [&] { return FileSystem::read(descriptor, buffer, size); });
    }
    ssize_t write(int descriptor, const void *buffer, size_t size) override
    {
        const Failure *failure = this->failure("write");
        if (failure && failure->partial > 0)
            FileSystem::write(descriptor, buffer, std::min(size, size_t(failure->partial)));
        return pass(fail(failure), [&] { return FileSystem::write(descriptor, buffer, size); });
    }
    off_t seek(int descriptor, off_t offset) override
    {
        return pass(fails("seek"), [&] { return FileSystem::seek(descriptor, offset); });
    }
    int reserve(int descriptor, off_t length) override
    {
        return pass(fails("reserve"), [&] { return FileSystem::reserve(descriptor, length); });
    }
    int truncate(int descriptor, off_t length) override
    {
        return pass(fails("truncate"), [&] { return FileSystem::truncate(descriptor, length); });
    }
    int sync(int descriptor) override
    {
        return pass(fails("sync"), [&] { return FileSystem::sync(descriptor); });
    }
    int close(int descriptor) override
    {
        return pass(fails("close"), [&] { return FileSystem::close(descriptor); });
    }
    int changeOwner(int descriptor, uid_t owner, gid_t group) override
    {
        return pass(fails("changeOwner"),
            [&] { return FileSystem::changeOwner(descriptor, owner, group); });
    }
    int changeMode(int descriptor, mode_t mode) override
    {
        return pass(fails("changeMode", octal(mode)),
            [&] { return FileSystem::changeMode(descriptor, mode); });
    }
    int copyAccessControl(int from, int to) override
    {
        return pass(
            fails("copyAccessControl"), [&] { return FileSystem::copyAccessControl(from, to); });
    }
    int copyExtendedAttributes(int from, int to) override
    {
        return pass(fails("copyExtendedAttributes"),
            [&] { return FileSystem::copyExtendedAttributes(from, to); });
    }
    int rename(const char *from, const char *to) override
    {
        return pass(fails("rename"), [&] { return FileSystem::rename(from, to); });
    }
    int unlink(const char *path) override
    {
        return pass(fails("unlink"), [&] { return FileSystem::unlink(path); });
    }

private:
    struct Failure
    {
        QString call;
        int occurrence = 0;
        QString error;
        int partial = 0;
    };

    // The real call, unless a failure was planned for it.
    template<typename Call> static auto pass(int failed, Call real) -> decltype(real())
    {
        return failed != 0 ? decltype(real())(-1) : real();
    }

    static QString octal(mode_t mode) { return QString::number(mode, 8).rightJustified(4, u'0'); }

    // Records the call and gives the failure planned for it, if any.
    const Failure *failure(const char *call, const QString &detail = {})
    {
        calls.append(detail.isEmpty() ? QString::fromLatin1(call)
                                      : QString::fromLatin1(call) + u' ' + detail);
        const int occurrence = ++m_counts[QLatin1StringView(call)];
        for (const Failure &failure : m_failures) {
            if (failure.call == QLatin1StringView(call) && failure.occurrence == occurrence)
                return &failure;
        }
        return nullptr;
    }
    // -1 with errno set for a planned failure, else 0 for the real call to follow.
    static int fail(const Failure *failure)
    {
        if (failure == nullptr)
            return 0;
        static const QHash<QString, int> errors {{"EACCES", EACCES}, {"EPERM", EPERM},
            {"ENOSPC", ENOSPC}, {"EIO", EIO}, {"EXDEV", EXDEV}, {"EAGAIN", EAGAIN},
            {"EOPNOTSUPP", EOPNOTSUPP}};
        errno = errors.value(failure->error, EIO);
        return -1;
    }
    int fails(const char *call, const QString &detail = {}) { return fail(failure(call, detail)); }

    QList<Failure> m_failures;
    QHash<QString, int> m_counts;
};

// Runs the real save in a helper process of its own, as the user `saver` ("root", or "nobody":
// uid 65534 in the group users) and with files limited to `sizeLimit` bytes (0: no limit).
// Gives how the save ended, or how the process did.
QString saveInHelper(const QString &helper, const QString &fileName, const QByteArray &rows,
    const QString &saver, rlim_t sizeLimit, const QString &cache)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    process.setProcessEnvironment(environment);
    const bool asNobody = saver == u"nobody";
    process.setChildProcessModifier([asNobody, sizeLimit] {
        if (sizeLimit > 0) {
            const rlimit limit {sizeLimit, sizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        const gid_t users = 100;
        if (asNobody
            && (::setgroups(1, &users) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
    });
    process.start(helper, {fileName});
    process.write(rows);
    process.closeWriteChannel();
    if (!process.waitForFinished(60'000))
        return QStringLiteral("still running");
    if (process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("killed by a signal");
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
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
    void initTestCase()
    {
        m_helper = m_helperDir.filePath(QStringLiteral("filehelper"));
        QVERIFY(QFile::copy(QStringLiteral(FILE_HELPER), m_helper));
        QCOMPARE(::chmod(QFile::encodeName(m_helperDir.path()).constData(), 0755), 0);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // Each line of a damaged file becomes one row after the user's rows, and Save File then
    // writes every row in the handheld's form, or refuses values it cannot carry (a null
    // savedFileRows), with the message given.
    void damagedFileOpensAndSaves_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("fileRows");
        QTest::addColumn<QByteArray>("savedFileRows");
        QTest::addColumn<QString>("refusal");

        const QString nul(QChar(0));
        const QString nulLine = QStringLiteral(
            "\nRow %1, column \u201C%2\u201D: a null character [U+0000] does not show in the "
            "grid.");
        // Guards against the fault where the NUL bytes went into the handheld's file unnamed.
        QTest::newRow("binary: NUL bytes and runs of 0xFF")
            << bytes("\0\0,\xFF\xFF\xFF\xFF\0x\r\n\xFF\xFF\xFF\xFF\xFF\xFF\n\0")
            << QStringList {nul + nul + QStringLiteral("|ÿÿÿÿ") + nul
                       + QStringLiteral("x|<absent>|<absent>|<absent>|<absent>"),
                   rowWithName(QStringLiteral("ÿÿÿÿÿÿ")), rowWithName(nul)}
            << QByteArray()
            << QStringLiteral("Nothing was saved: the handheld would read 3 values wrongly. "
                              "Please change them.\n")
                + nulLine.arg(3).arg(QStringLiteral("Item Name"))
                + nulLine.arg(3).arg(QStringLiteral("Group"))
                + nulLine.arg(5).arg(QStringLiteral("Item Name"));
        QTest::newRow("mixed line ends: CR LF, LF, CR, LF CR, none")
            << QByteArray("a\r\nb\nc\rd\n\re")
            << QStringList {rowWithName("a"), rowWithName("b"), rowWithName("c"), rowWithName("d"),
                   blankRow, rowWithName("e")}
            << QByteArray("a,,,,,\r\nb,,,,,\r\nc,,,,,\r\nd,,,,,\r\n,,,,,\r\ne,,,,,\r\n")
            << QString();
        QTest::newRow("ends in the middle of a CR LF")
            << QByteArray("Milk,Dairy,1.20,Item,Corner shop,4\r")
            << QStringList {"Milk|Dairy|1.20|Item|Corner shop|4"}
            << QByteArray("Milk,Dairy,1.20,Item,Corner shop,4\r\n") << QString();

        // Sizes far beyond any real item list, kept to what stays quick under the sanitizers.
        const QByteArray longValue(qsizetype(50) * 1024 * 1024, 'x');
        QTest::newRow("one line of 50 MB")
            << QByteArray("a,b,c,d,e," + longValue)
            << QStringList {QStringLiteral("a|b|c|d|e|") + QString::fromLatin1(longValue)}
            << QByteArray("a,b,c,d,e," + longValue + "\r\n") << QString();
        QTest::newRow("1,000,000 empty lines")
            << QByteArray("\r\n").repeated(1'000'000) << QStringList(1'000'000, blankRow)
            << blankLine.repeated(1'000'000) << QString();
    }
    void damagedFileOpensAndSaves()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, fileRows);
        QFETCH(QByteArray, savedFileRows);
        QFETCH(QString, refusal);
        write(path("damaged.csv"), file);
        WindowDriver driver;
        typeARow(driver);
        driver.fileAnswers = {path("damaged.csv"), path("saved.csv")};

        driver.click("cmdOpen");
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}) + fileRows + QStringList {blankRow});
        driver.click("cmdSave");
        QCOMPARE(contents(path("saved.csv")),
            savedFileRows.isNull() ? QByteArray("<no file>")
                                   : teaLine + blankLine + savedFileRows + blankLine);
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}) + fileRows + QStringList {blankRow});
        QCOMPARE(driver.messages,
            QStringList {refusal.isEmpty()
                    ? exportedMessage
                    : QStringLiteral("[Warning] PantrovoImporter: ") + refusal});
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

    // Save replaces regular files only: whatever else stands at the name is refused at once,
    // is not opened (a FIFO would hang the window until someone read it) and stays as it was.
    // Guards too against the fault where a name of 249 to 255 bytes gave "Unknown error",
    // because the file written beside it had a longer name.
    void saveOntoHostileTargets_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("folderAfter");

        const QString longName = QString(251, u'x') + QStringLiteral(".csv");
        const QString saved
            = QStringLiteral("plain file: ") + QString::fromLatin1(teaLine + blankLine);
        QTest::newRow("a FIFO") << "fifo"
                                << "It is a named pipe (FIFO), not a file. Nothing was written."
                                << QStringList {"target.csv: FIFO"};
        QTest::newRow("a character device, as /dev/full")
            << "device 1 7"
            << "It is a character device, not a file. Nothing was written."
            << QStringList {"target.csv: character device 1 7"};
        QTest::newRow("a character device, as /dev/null")
            << "device 1 3"
            << "It is a character device, not a file. Nothing was written."
            << QStringList {"target.csv: character device 1 3"};
        QTest::newRow("an existing file with a 255-byte name")
            << "file " + longName << QString() << QStringList {longName + ": " + saved};
        QTest::newRow("a link to an existing file: the file is replaced, the link stays")
            << "link" << QString()
            << QStringList {"real.csv: " + saved, "target.csv: link to real.csv"};
    }
    void saveOntoHostileTargets()
    {
        QFETCH(QString, target);
        QFETCH(QString, message);
        QFETCH(QStringList, folderAfter);
        QString fileName = path("target.csv");
        const QByteArray name = QFile::encodeName(fileName);
        if (target == u"fifo") {
            QCOMPARE(::mkfifo(name.constData(), 0666), 0);
        } else if (target.startsWith(u"device")) {
            const QStringList numbers = target.split(u' ');
            // Made in the test's own folder: a save that went wrong cannot touch the machine's
            // real devices.
            if (::mknod(name.constData(), S_IFCHR | 0666,
                    makedev(numbers[1].toUInt(), numbers[2].toUInt()))
                != 0)
                QSKIP(qPrintable(QStringLiteral("making a device node is not permitted here "
                                                "(%1); it needs root or CAP_MKNOD")
                                     .arg(QString::fromLocal8Bit(std::strerror(errno)))));
        } else if (target.startsWith(u"file ")) {
            fileName = m_dir->filePath(target.mid(5));
            write(fileName, "old\r\n");
        } else if (target == u"link") {
            write(path("real.csv"), "old\r\n");
            QVERIFY(QFile::link(QStringLiteral("real.csv"), fileName));
        }
        WindowDriver driver;
        typeARow(driver);
        driver.fileAnswers = {fileName};

        driver.click("cmdSave");
        QCOMPARE(driver.messages,
            QStringList {
                message.isEmpty() ? exportedMessage : cannotSave(fileName, qPrintable(message))});
        QCOMPARE(describeFolder(m_dir->path()), folderAfter);
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}));
    }

    // A disk that fills up in the middle of a save or before its first byte: the user gets the
    // system's reason and the old file stays byte for byte. Guards against the fault where a
    // save of less than 16 KiB was reported as a success and left an empty or cut file: its
    // bytes waited in a buffer whose failed write at the end went unseen. The 20 KiB save meets
    // a write that takes part of its bytes, which is retried for the rest.
    void saveThatCannotFinishKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("limit");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("reason");
        QTest::newRow("full disk, one row") << "disk 0" << 0 << "No space left on device";
        QTest::newRow("full disk, 20 KiB with 8 KiB free")
            << "disk 8" << 1'500 << "No space left on device";
        QTest::newRow("full disk, 10,000 rows onto an empty disk")
            << "disk empty" << 10'000 << "No space left on device";
    }
    void saveThatCannotFinishKeepsTheOldFile()
    {
        QFETCH(QString, limit);
        QFETCH(int, lines);
        QFETCH(QString, reason);
        const QString disk = path("disk");
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("disk")));
        const QByteArray diskName = QFile::encodeName(disk);
        WindowDriver driver;
        if (lines > 0) {
            write(path("many.csv"), QByteArray("a,b,c,d,e,f\r\n").repeated(lines));
            driver.fileAnswers = {path("many.csv")};
            driver.click("cmdOpen");
        }
        const QStringList rows = driver.rows();
        QCOMPARE(rows.size(), lines + 1);

        // A mount of its own, in a mount namespace of this thread's own, so that nothing
        // outside the test sees it.
        if (::unshare(CLONE_NEWNS) != 0
            || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
            || ::mount("tmpfs", diskName.constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP(qPrintable(QStringLiteral("mounting a small disk is not permitted here "
                                            "(%1); it needs root or CAP_SYS_ADMIN")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno)))));
        const auto unmount = qScopeGuard([&] { ::umount2(diskName.constData(), MNT_DETACH); });
        const QString old = disk + QStringLiteral("/items.csv");
        write(old, "old\r\n");
        if (limit != u"disk empty")
            fillDisk(disk + QStringLiteral("/filler"), limit.section(u' ', 1).toLongLong() * 1024);

        driver.fileAnswers = {old};
        driver.click("cmdSave");
        QCOMPARE(driver.messages, QStringList {cannotSave(old, qPrintable(reason))});
        QCOMPARE(contents(old), QByteArray("old\r\n"));
        QStringList expected {"items.csv: plain file: old\r\n"};
        if (limit != u"disk empty")
            expected.prepend(QStringLiteral("filler: plain file"));
        QCOMPARE(describeFolder(disk, false), expected);
        QCOMPARE(driver.rows(), rows);
    }

    // Save over real files with their real owners, permissions, access control lists and links,
    // as root, as another user and under a file size limit, and with one system call made to
    // fail: either the file is the same file with new bytes (its owner, group, mode, ACL and
    // other links as they were) and nothing is left beside it, or it keeps its old bytes and
    // the user learns why. Guards against saves that let other users read a private file's new
    // contents, dropped ACLs, gave a group's file to the saver, split hard links, replaced
    // read-only files, and ended the program through SIGXFSZ with every row lost.
    void saveKeepsTheFileWhatItWas_data()
    {
        // Each step of `setup` makes the folder "work" and its file items.csv as the row needs.
        QTest::addColumn<QString>("setup");
        // "root" or "nobody" (uid 65534 in the group users) save through the helper program;
        // "seam: …" saves in this process with those system calls failing.
        QTest::addColumn<QString>("saver");
        QTest::addColumn<QString>("outcome");
        // "new file" (new bytes in a new inode), "same file" (new bytes in the old inode), "old"
        // (as it was), "damaged N" (N new bytes over the old ones; the old ones kept aside).
        QTest::addColumn<QString>("after");

        const QString acl = QStringLiteral("acl u::rw-,u:daemon:rw-,g::---,m::rw-,o::---");
        QTest::newRow("private 0600 file") << "mode 0600"
                                           << "root"
                                           << "Saved"
                                           << "new file";
        QTest::newRow("file with an ACL") << "mode 0660; " + acl << "root"
                                          << "Saved"
                                          << "new file";
        QTest::newRow("file with a second hard link") << "link"
                                                      << "root"
                                                      << "Saved"
                                                      << "same file";
        QTest::newRow("read-only file of the saver") << "folder 0777; owner 65534:65534; mode 0444"
                                                     << "nobody"
                                                     << "Failed: Permission denied"
                                                     << "old";
        QTest::newRow("group's 0660 file saved by a member")
            << "folder 0777; owner 0:100; mode 0660"
            << "nobody"
            << "Saved"
            << "same file";
        QTest::newRow("writable file in a folder the saver cannot write") << "mode 0666"
                                                                          << "nobody"
                                                                          << "Saved"
                                                                          << "same file";
        QTest::newRow("another user's file in a sticky folder") << "folder 1777; mode 0666"
                                                                << "nobody"
                                                                << "Saved"
                                                                << "same file";
        QTest::newRow("file size limit at the fourth byte") << "limit 3"
                                                            << "root"
                                                            << "Failed: File too large"
                                                            << "old";
        QTest::newRow("file size limit in place, past the old length")
            << "link; rows 100; limit 1000"
            << "root"
            << "Failed: File too large"
            << "old";
        QTest::newRow("opening for writing refused") << ""
                                                     << "seam: open 1 EACCES; open 2 EACCES"
                                                     << "Failed: Permission denied"
                                                     << "old";
        QTest::newRow("no unnamed files: a named one serves") << ""
                                                              << "seam: openUnnamed 1 EOPNOTSUPP"
                                                              << "Saved"
                                                              << "new file";
        QTest::newRow("disk full in the new file") << ""
                                                   << "seam: write 1 ENOSPC 10"
                                                   << "Failed: No space left on device"
                                                   << "old";
        QTest::newRow("disk full in place: the old bytes go back")
            << "link"
            << "seam: write 2 ENOSPC 10"
            << "Failed: No space left on device"
            << "old";
        QTest::newRow("fsync fails") << ""
                                     << "seam: sync 1 EIO"
                                     << "Failed: Input/output error"
                                     << "old";
        QTest::newRow("fsync in place fails: the old bytes go back") << "link"
                                                                     << "seam: sync 2 EIO"
                                                                     << "Failed: Input/output error"
                                                                     << "old";
        QTest::newRow("rename across file systems: written in place") << ""
                                                                      << "seam: rename 1 EXDEV"
                                                                      << "Saved"
                                                                      << "same file";
        QTest::newRow("rename fails otherwise") << ""
                                                << "seam: rename 1 EIO"
                                                << "Failed: Input/output error"
                                                << "old";
        QTest::newRow("owner cannot be given: written in place") << ""
                                                                 << "seam: changeOwner 1 EPERM"
                                                                 << "Saved"
                                                                 << "same file";
        QTest::newRow("ACL cannot be copied: written in place")
            << acl << "seam: copyAccessControl 1 EOPNOTSUPP"
            << "Saved"
            << "same file";
        QTest::newRow("putting the old bytes back fails too")
            << "link"
            << "seam: write 2 ENOSPC 10; write 3 EIO"
            << "Damaged: No space left on device"
            << "damaged 10";
        QTest::newRow("folder cannot be synced") << ""
                                                 << "seam: sync 2 EIO"
                                                 << "Saved unconfirmed: Input/output error"
                                                 << "new file";
    }
    void saveKeepsTheFileWhatItWas()
    {
        QFETCH(QString, setup);
        QFETCH(QString, saver);
        QFETCH(QString, outcome);
        QFETCH(QString, after);
        const QString folder = path("work");
        const QString cache = path("cache");
        const QString target = folder + QStringLiteral("/items.csv");
        const QString other = folder + QStringLiteral("/other.csv");
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(cache));
        // Another user must reach the folder; a QTemporaryDir is the test's own.
        QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755), 0);
        QCOMPARE(::chmod(QFile::encodeName(cache).constData(), 0777), 0);
        const QByteArray targetName = QFile::encodeName(target);
        write(target, oldLines);
        mode_t folderMode = 0755;
        rlim_t sizeLimit = 0;
        int rows = 1;
        for (const QString &step : setup.split(u';', Qt::SkipEmptyParts)) {
            const QString word = step.trimmed().section(u' ', 0, 0);
            const QString value = step.trimmed().section(u' ', 1);
            if (word == u"folder") {
                folderMode = mode_t(value.toUInt(nullptr, 8));
            } else if (word == u"mode") {
                QCOMPARE(::chmod(targetName.constData(), mode_t(value.toUInt(nullptr, 8))), 0);
            } else if (word == u"owner") {
                QCOMPARE(::chown(targetName.constData(), value.section(u':', 0, 0).toUInt(),
                             value.section(u':', 1).toUInt()),
                    0);
            } else if (word == u"acl") {
                acl_t list = ::acl_from_text(value.toLatin1().constData());
                QVERIFY(list != nullptr);
                const int set = ::acl_set_file(targetName.constData(), ACL_TYPE_ACCESS, list);
                ::acl_free(list);
                if (set != 0)
                    QSKIP("this file system has no access control lists");
            } else if (word == u"link") {
                QCOMPARE(::link(targetName.constData(), QFile::encodeName(other).constData()), 0);
            } else if (word == u"limit") {
                sizeLimit = value.toULongLong();
            } else if (word == u"rows") {
                rows = value.toInt();
            }
        }
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), folderMode), 0);
        const QByteArray newLines = teaLine.repeated(rows);
        const QString before = describeFile(target);
        struct stat old
        {
        };
        QCOMPARE(::stat(targetName.constData(), &old), 0);

        QString saved;
        if (saver.startsWith(u"seam:")) {
            ItemTable table;
            fill(table, QStringList(rows, tea));
            ScriptedFileSystem fileSystem(saver.mid(5));
            saved = describeSave(ItemCsv::saveTable(table, target, {}, fileSystem));
        } else {
            if (saver == u"nobody" && ::geteuid() != 0)
                QSKIP("saving as another user needs root");
            saved = saveInHelper(m_helper, target, newLines, saver, sizeLimit, cache);
        }
        QCOMPARE(saved, outcome);

        const qsizetype damaged = after.startsWith(u"damaged") ? after.section(u' ', 1).toInt() : 0;
        const QByteArray bytes = after == u"old" ? oldLines
            : damaged > 0                        ? newLines.left(damaged) + oldLines.mid(damaged)
                                                 : newLines;
        const QString expected = QStringLiteral("bytes: %1, length %2")
                                     .arg(QString::fromLatin1(bytes))
                                     .arg(bytes.size())
            + before.mid(before.indexOf(QStringLiteral(", mode")));
        QCOMPARE(describeFile(target), expected);
        struct stat now
        {
        };
        QCOMPARE(::stat(targetName.constData(), &now), 0);
        QCOMPARE(QString::fromLatin1(now.st_ino == old.st_ino ? "same file" : "new file"),
            after == u"new file" ? after : QStringLiteral("same file"));
        if (setup.contains(u"link"))
            QCOMPARE(describeFile(other), expected);
        // Nothing is left behind, but the old bytes of a file that may be damaged.
        QCOMPARE(leftovers({folder, cache}),
            damaged > 0 ? QStringList {".pantrovo-backup-*: " + QString::fromLatin1(oldLines)}
                        : QStringList());
    }

    // The new file's owner, mode and ACL are set before its first byte, so that no one who may
    // not read the old file ever reads the new one; a new name is made with 0666 for the umask
    // and the folder's default ACL to decide; the file is opened without blocking.
    void saveMakesItsCallsInOrder_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QStringList>("calls");
        const QStringList openTarget {"stat", "open nonblocking", "fstat"};
        const QStringList syncFolder {"open", "sync", "close"};
        QTest::newRow("replacing a 0640 file") << "0640"
                                               << openTarget
                + QStringList {"openUnnamed 0600", "changeOwner", "changeMode 0640",
                    "copyAccessControl", "copyExtendedAttributes", "fstat", "write", "sync",
                    "giveName", "close", "rename"}
                + syncFolder + QStringList {"close"};
        QTest::newRow("a new name") << "none"
                                    << QStringList {"stat", "openUnnamed 0666", "write", "sync",
                                           "giveName", "close", "rename"}
                + syncFolder;
        QTest::newRow("in place, beside a second link") << "link"
                                                        << openTarget
                + QStringList {"open 0600", "seek", "seek", "read", "write", "read", "sync", "seek",
                    "write", "truncate", "sync", "unlink", "close", "close"};
    }
    void saveMakesItsCallsInOrder()
    {
        QFETCH(QString, setup);
        QFETCH(QStringList, calls);
        const QString target = path("items.csv");
        if (setup != u"none")
            write(target, oldLines);
        if (setup == u"link")
            QCOMPARE(::link(QFile::encodeName(target).constData(),
                         QFile::encodeName(path("other.csv")).constData()),
                0);
        else if (setup != u"none")
            QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0640), 0);
        ItemTable table;
        fill(table, {tea});
        ScriptedFileSystem fileSystem({});
        QCOMPARE(describeSave(ItemCsv::saveTable(table, target, {}, fileSystem)),
            QStringLiteral("Saved"));
        QCOMPARE(fileSystem.calls, calls);
    }

    // Open never waits: a FIFO put in the file's place after the check is told apart by its
    // descriptor, and a file whose read would wait (as /proc/kmsg's does) fails with the
    // reason. The table is as it was.
    void openNeverWaits_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("result");
        QTest::newRow("a FIFO swapped in after the check") << "fstat 1 FIFO"
                                                           << "not a file";
        QTest::newRow("a read that would wait") << "read 1 EAGAIN"
                                                << "Resource temporarily unavailable";
    }
    void openNeverWaits()
    {
        QFETCH(QString, script);
        QFETCH(QString, result);
        write(path("items.csv"), "Milk\r\n");
        ItemTable table;
        fill(table, {tea});
        ScriptedFileSystem fileSystem(script);
        const ItemCsv::OpenResult read = ItemCsv::openTable(
            table, path("items.csv"), {}, ItemCsv::BlankFirstRow::Replace, fileSystem);
        QCOMPARE(read.outcome == ItemCsv::OpenOutcome::NotAFile ? QStringLiteral("not a file")
                                                                : read.error,
            result);
        QCOMPARE(describe(table), QStringList {tea});
        QCOMPARE(fileSystem.calls.mid(0, 2), QStringList({"stat", "open nonblocking"}));
    }

    // What the user reads when a save fails in the file itself and its old contents cannot be
    // put back, and when the system cannot confirm the new name: never "Exported
    // successfully", never "the old file is as it was" where it may not be.
    void saveMessagesSayWhatHappened_data()
    {
        // A file with a second link is written in place.
        QTest::addColumn<bool>("linked");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("message");
        QTest::newRow("the old contents could not be put back")
            << true << "write 2 ENOSPC 10; write 3 EIO"
            << "Could not save \u201C<file>\u201D: No space left on device. Putting its old "
               "contents back failed too, so the file may be damaged; its old contents are in "
               "\u201C<folder>/.pantrovo-backup-*\u201D. Your rows are still here.";
        QTest::newRow("the folder could not be synced")
            << false << "sync 2 EIO"
            << "\u201C<file>\u201D was saved, but the system could not confirm that the change "
               "is on the disk: Input/output error";
    }
    void saveMessagesSayWhatHappened()
    {
        QFETCH(bool, linked);
        QFETCH(QString, script);
        QFETCH(QString, message);
        const QString target = path("items.csv");
        write(target, oldLines);
        if (linked) {
            QCOMPARE(::link(QFile::encodeName(target).constData(),
                         QFile::encodeName(path("other.csv")).constData()),
                0);
        }
        ScriptedFileSystem fileSystem(script);
        WindowDriver driver;
        driver.window().setFileSystem(fileSystem);
        typeARow(driver);
        driver.fileAnswers = {target};

        driver.click("cmdSave");
        QStringList messages = driver.messages;
        if (!messages.isEmpty()) {
            messages.first()
                .replace(target, QStringLiteral("<file>"))
                .replace(m_dir->path(), QStringLiteral("<folder>"))
                .replace(QRegularExpression(QStringLiteral("backup-[a-z0-9]{8}")),
                    QStringLiteral("backup-*"));
        }
        QCOMPARE(messages, QStringList {QStringLiteral("[Warning] PantrovoImporter: ") + message});
        QCOMPARE(driver.rows(), QStringList({tea, blankRow}));
    }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    // A copy of the helper program that every user may run.
    QTemporaryDir m_helperDir;
    QString m_helper;
};

QTEST_MAIN(tst_HostileFiles)
#include "tst_hostilefiles.moc"
