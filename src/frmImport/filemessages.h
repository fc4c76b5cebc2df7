#pragma once

#include "csvcommands.h"

#include <QCoreApplication>
#include <QString>

// Every sentence that Open File and Save File tell the user, whole, so that each can be
// translated as it stands. Pure functions: they know nothing of the window.
class FileMessages
{
    Q_DECLARE_TR_FUNCTIONS(FileMessages)

public:
    // What the user is told after a save: "Exported successfully", or why the file is not what
    // the user asked for. Empty for a cancelled save, which the user knows about.
    static QString afterSave(const ItemCsv::SaveResult &result, const QString &fileName);
    // What the user is told after an Open that did not add every line of the file; empty for
    // one that did, and for a cancelled one.
    static QString afterOpen(const ItemCsv::OpenResult &result, const QString &fileName);
    // What the user is told, once, of a backup that a save of the file which never ended left.
    static QString earlierSave(const QString &fileName, const QString &backup);
    // Why the handheld would read a refused value wrongly, as one line of Save's list ends, each
    // reason up to five and then how many more: "a comma would split the value into two
    // fields; Windows-1252 cannot hold a narrow no-break space [U+202F]."
    static QString reasons(const ItemCsv::RefusedValue &refused);
    // How many values of the table Save would refuse and how to find them, for the line under
    // Save's own tooltip; empty for none.
    static QString refusedCount(qsizetype count);

private:
    static QString unreadableName(const QString &shownName);
};
