#pragma once

#include <QString>

// Peak resident memory of this process so far, in MiB.
double peakResidentMiB();

// Chooses the file that the next file dialog of `window` returns, and answers message boxes.
class frmImport;
void answerDialogsWith(frmImport &window, const QString &fileName);
