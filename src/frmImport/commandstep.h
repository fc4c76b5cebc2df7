#pragma once

#include "frmimport.h"

// Every command opens one CommandStep for as long as it runs, and everything it changes (rows,
// buttons, AddingRow, the cursor) becomes one step of undo; commands that run one another
// (Update Row runs Add Row) make one step together. The edits of the cell being typed are the
// one change made outside a command's step: they become a step of their own when the cell's
// editor closes or the next command opens its step. A change made outside both would merge
// silently with the typing before it, so opening a step warns of any change when nothing was
// typed since the last step.
class frmImport::CommandStep
{
public:
    explicit CommandStep(frmImport *window);
    ~CommandStep();
    CommandStep(const CommandStep &) = delete;
    CommandStep &operator=(const CommandStep &) = delete;

private:
    frmImport *m_window;
};
