// Saves or opens a file through the program's own commands, in a process of its own, so that a
// test can run it as another user or under a file size limit that the test itself never has.
//
//   filehelper [--slowly] FILE   reads item CSV text on standard input into a table, saves the
//                                table as FILE and prints how the save ended (savedfiles.h);
//                                slowly: each write a fifth of a second late

#include "csvcommands.h"
#include "itemtable.h"
#include "savedfiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <cstdio>

namespace {

// The real file system, each write late: a save that lasts long enough to be interrupted.
class SlowFileSystem : public ItemCsv::FileSystem
{
    ssize_t write(int descriptor, const void *buffer, size_t size) override
    {
        QThread::msleep(200);
        return FileSystem::write(descriptor, buffer, size);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    // Exactly what the program does at start-up, and nothing more.
    ItemCsv::prepareProcess();
    QCoreApplication application(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const bool slowly = arguments.removeAll(QStringLiteral("--slowly")) > 0;
    QFile input;
    if (arguments.size() != 2 || !input.open(stdin, QIODevice::ReadOnly))
        return 2;
    QBuffer rows;
    rows.setData(input.readAll());
    rows.open(QIODevice::ReadOnly);
    ItemTable table;
    ItemCsv::openTable(table, rows);
    SlowFileSystem slowFileSystem;
    const QString saved = describeSave(ItemCsv::saveTable(
        table, arguments[1], {}, slowly ? slowFileSystem : ItemCsv::FileSystem::system()));
    std::fputs(qPrintable(saved + u'\n'), stdout);
    return 0;
}
