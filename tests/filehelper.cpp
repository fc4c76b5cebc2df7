// Saves or opens a file through the program's own commands, in a process of its own, so that a
// test can run it as another user or under a file size limit that the test itself never has.
//
//   filehelper FILE   reads item CSV text on standard input into a table, saves the table as
//                     FILE and prints how the save ended (savedfiles.h)

#include "csvcommands.h"
#include "itemtable.h"
#include "savedfiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Exactly what the program does at start-up, and nothing more.
    ItemCsv::prepareProcess();
    QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    QFile input;
    if (arguments.size() != 2 || !input.open(stdin, QIODevice::ReadOnly))
        return 2;
    QBuffer rows;
    rows.setData(input.readAll());
    rows.open(QIODevice::ReadOnly);
    ItemTable table;
    ItemCsv::openTable(table, rows);
    const QString saved = describeSave(ItemCsv::saveTable(table, arguments[1]));
    std::fputs(qPrintable(saved + u'\n'), stdout);
    return 0;
}
