#pragma once

#include <QString>

// Peak resident memory of this process so far, and resident memory now, in MiB.
double peakResidentMiB();
double residentMiB();

// Lines of realistic items, about 40 characters each, some with accented letters: six values
// joined by `separator`, each line ended by `lineEnd`. The same lines for the same arguments.
QString itemLines(int lines, QChar separator, QStringView lineEnd);
// A file of those lines as Open reads them: commas, CR LF and Windows-1252. Made once for each
// number of lines, in a folder that goes when the program ends.
QString itemsFile(int lines);

#include <memory>

// Chooses the file that the next file dialog of `window` returns, and answers message boxes.
class frmImport;
void answerDialogsWith(frmImport &window, const QString &fileName);
// A new window, shown and drawn once.
std::unique_ptr<frmImport> shownWindow();
// Presses Ctrl and `key` on the window's grid, as a user does.
void pressOnGrid(frmImport &window, Qt::Key key);
// Milliseconds that Open File of `fileName` takes in `window`, its dialog answered.
double openMilliseconds(frmImport &window, const QString &fileName);

// A benchmark program may do one task in a process of its own (measuring that process's peak
// memory): main() runs it instead of the benchmarks when it returns true.
using ChildTask = bool (*)();
void setChildTask(ChildTask task);
