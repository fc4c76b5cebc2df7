#pragma once

#include "itemrow.h"

#include <QList>
#include <QStringView>

#include <optional>

class ItemTable;

// The one check of a value against what the item file can carry: Save, the grid's marks and the
// import preview all go by it.
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

} // namespace ItemCsv
