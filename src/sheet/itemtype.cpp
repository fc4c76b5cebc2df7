#include "itemtype.h"

namespace ItemType {

const QStringList &vocabulary()
{
    static const QStringList words {
        QStringLiteral("Item"), QStringLiteral("Weight"), QStringLiteral("Volume")};
    return words;
}

QString tidied(const std::optional<QString> &value)
{
    if (value && vocabulary().contains(*value, Qt::CaseSensitive))
        return *value;
    return vocabulary().first();
}

std::optional<QString> completion(QStringView typed)
{
    if (typed.isEmpty())
        return std::nullopt;
    for (const QString &word : vocabulary()) {
        if (word.startsWith(typed, Qt::CaseInsensitive))
            return word;
    }
    return std::nullopt;
}

} // namespace ItemType
