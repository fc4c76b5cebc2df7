#pragma once

#include "csvformat.h"
#include "dialect.h"
#include "filetext.h"
#include "linesplitter.h"
#include "textreader.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QIODevice;

// Open's reading of a file: its bytes into lines in their character sets, the lines judged item
// file or not, and an item file's lines into rows.
namespace ItemCsv {

// The first bytes of a file in which a NUL byte shows that it is not text: a NUL character for a
// file marked as UTF-16.
inline constexpr qint64 TextCheckLength = qint64(64) * 1024;

struct ReadResult
{
    ReadOutcome outcome = ReadOutcome::Read;
    // The rows of an item file, one per line, in the order of the lines.
    std::vector<ItemRow> rows;
    // With a row check: those of the rows that it could not clear, by their index in `rows`.
    std::optional<std::vector<int>> rowsToCheck;
    // The text of a file that is not an item file (NotItemFile, or Failed part-way through
    // one), and the dialect it seems written in.
    std::shared_ptr<const FileText> text;
    Dialect dialect;
    // The byte-order mark's character set; without one, UTF-8 when the lines beyond ASCII are
    // all UTF-8, and Windows-1252 otherwise.
    Encoding encoding = Encoding::Windows1252;
    LineEncodings lines;
    QString error;
    qint64 tooLongLine = 0;
};

// Reads lines from `device` up to its end, each line ended by CR LF, LF or CR, or by the end of
// the device, and judges whether they are an item file (DialectDetector). The lines of an item
// file become rows: part i of a line split at every comma becomes field i, parts after the sixth
// are dropped, missing parts leave fields absent. Any other file keeps its text, to be read in
// a dialect the user confirms. A byte-order mark is not part of the first value. Progress counts
// bytes out of the device's size; it is told at least every MiB of text or 65,536 lines,
// however long a line or the work after the last read. With `check`, the rows that the lines'
// scan cannot clear are checked with it while they are at hand.
ReadResult readFile(QIODevice &device, const Progress &progress = {}, RowCheck check = nullptr);

} // namespace ItemCsv
