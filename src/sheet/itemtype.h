#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

// The Item Type column's vocabulary and its two rules. The window applies them; the table
// itself stores whatever it is given.
namespace ItemType {

// Item, Weight and Volume. They are values stored in the file, not words of the user
// interface, so they are never translated.
const QStringList &vocabulary();

// What Update Row stores for the value a row holds: the value itself when it is one of the
// words exactly, else "Item", for an absent value too.
QString tidied(const std::optional<QString> &value);

// The word that `typed` is the start of, ignoring case ("vol" gives "Volume"), or none: text
// typed at the end of the cell completes to it.
std::optional<QString> completion(QStringView typed);

} // namespace ItemType
