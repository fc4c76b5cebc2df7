#pragma once

#include <QtGlobal>

#include <functional>

// Told now and then how much of a long piece of work is done, `done` out of `total` (0 when
// unknown); returns false to stop the work there. A part of the work that knows only its own
// extent (a long line, a long value) tells its own figures: the work that hands it a progress
// tells the user the figures of the whole.
using Progress = std::function<bool(qint64 done, qint64 total)>;
