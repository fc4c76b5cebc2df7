#pragma once

#include "itemrow.h"

#include <QList>
#include <QStringView>

#include <optional>

class ItemTable;

// The one check of a value against what the item file can carry: Save refuses exactly the
// values it refuses, and the grid's marks and the import preview go by it too. A value Save
// refuses is a refused value; what makes it refused (a comma, a line break, a character) is a
// reason.
namespace ItemCsv {

// What kind of thing makes a value refused: the reader on the handheld would split the value,
// cut it or read another character.
enum class ReasonKind {
    Comma, // would split the value into two fields
    LineBreak, // would split the row in two
    UnrepresentableCharacter, // Windows-1252 has no such character
    // A control character other than Tab: invisible in the grid, and what the handheld makes
    // of it is unknown.
    ControlCharacter,
};

// One thing in a value that the handheld would read wrongly.
struct Reason
{
    ReasonKind kind = ReasonKind::Comma;
    // The character that Windows-1252 cannot hold, for UnrepresentableCharacter, or the control
    // character, for ControlCharacter.
    char32_t character = 0;
    bool operator==(const Reason &) const = default;
};

// A value that Save refuses: this format cannot carry it as it stands.
struct RefusedValue
{
    // How many of a value's reasons a refused value names.
    static constexpr qsizetype ListedReasons = 5;
    int row = 0; // 0-based
    Column column = Column::ItemName;
    // The value's distinct reasons (the comma, a line break, each refused character) in the
    // order they first occur: the first ListedReasons of them, and how many there are in all.
    QList<Reason> reasons;
    qsizetype reasonCount = 0;
};

// Why the handheld would read `value` wrongly (the row and column left as they start), or none
// for a value that this format carries as it stands. Save refuses exactly the values that this
// finds a reason in; a checker that must agree with Save calls it rather than repeat it.
std::optional<RefusedValue> checkValue(QStringView value);
// The same for a value as a row keeps it.
std::optional<RefusedValue> checkValue(const FieldText &value);
// Whether any value of the row may be refused: one check of the whole row answers no for
// nearly every row, and only a row it cannot clear needs its values checked one by one.
bool mayHoldRefusedValues(const ItemRow &row);

// The refused values, in table order: the first `listed` of them, and how many there are in
// all.
struct RefusedValues
{
    QList<RefusedValue> listed;
    qsizetype count = 0;
};
RefusedValues findRefusedValues(const ItemTable &table, qsizetype listed);

} // namespace ItemCsv
