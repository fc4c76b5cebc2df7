#pragma once

#include "itemrow.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class ItemTable;
class QIODevice;

// The item CSV file that the handheld imports: Windows-1252 text without a byte-order mark or
// header, one line per row, the six fields joined by commas with no quoting, every line ended
// by CR LF. Absent and empty fields are both written as nothing.
namespace ItemCsv {

// Why a value cannot be written: the reader on the handheld would split it, cut it or read
// another character.
enum class ValueFault {
    Comma, // would split the value into two fields
    LineBreak, // would split the row in two
    UnrepresentableCharacter, // Windows-1252 has no such character
    // A control character other than Tab: invisible in the grid, and what the handheld makes
    // of it is unknown.
    ControlCharacter,
};

// One thing in a value that the handheld would read wrongly.
struct Fault
{
    ValueFault kind = ValueFault::Comma;
    // The character that Windows-1252 cannot hold, for UnrepresentableCharacter, or the control
    // character, for ControlCharacter.
    char32_t character = 0;
    bool operator==(const Fault &) const = default;
};

// A value that this format cannot carry.
struct ValueProblem
{
    // How many of a value's faults a problem names.
    static constexpr qsizetype ListedFaults = 5;
    int row = 0; // 0-based
    Column column = Column::ItemName;
    // The value's distinct faults (the comma, a line break, each refused character) in the
    // order they first occur: the first ListedFaults of them, and how many there are in all.
    QList<Fault> faults;
    qsizetype faultCount = 0;
};

// Why the handheld would read `value` wrongly (the row and column left as they start), or none
// for a value that this format carries as it stands. Save refuses exactly the values that this
// finds a fault in; a checker that must agree with Save calls it rather than repeat it.
std::optional<ValueProblem> problemWith(QStringView value);
// The same for a value as a row keeps it.
std::optional<ValueProblem> problemWith(const FieldText &value);
// Whether any value of the row may have a fault: one check of the whole row answers no for
// nearly every row, and only a row it cannot clear needs its values checked one by one.
bool mayHaveProblems(const ItemRow &row);

// The values that cannot be written, in table order: the first `listed` of them, and how many
// there are in all.
struct UnwritableValues
{
    QList<ValueProblem> listed;
    qsizetype count = 0;
};
UnwritableValues findUnwritableValues(const ItemTable &table, qsizetype listed);

// Told now and then how much of the work is done, out of `total` (0 when unknown); returns
// false to stop the work there.
using Progress = std::function<bool(qint64 done, qint64 total)>;

enum class WriteOutcome { Written, DeviceFailed, Cancelled };

// Writes every row of the table, in table order and in the file's code page, to a device open
// for writing; the table and its cursor stay as they are. An empty table writes nothing.
// Every value must have passed findUnwritableValues(). Progress counts rows. The reason for
// DeviceFailed is the device's errorString().
WriteOutcome writeFile(const ItemTable &table, QIODevice &device, const Progress &progress = {});
// How many bytes writeFile() writes for the table, whose values have all passed
// findUnwritableValues(): one byte a character, five commas and CR LF a row.
qint64 fileSize(const ItemTable &table);

} // namespace ItemCsv
