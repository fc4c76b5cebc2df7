#include "valuecheck.h"

#include "codepage.h"
#include "itemtable.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <unordered_set>
#include <utility>

namespace ItemCsv {
namespace {

// Whether eight bytes are all printable ASCII other than a comma, without looking at each:
// the test of every value while a million rows are opened must cost next to nothing.
bool allPlain(std::uint64_t word)
{
    constexpr std::uint64_t Ones = 0x0101010101010101;
    constexpr std::uint64_t Highs = 0x8080808080808080;
    // A byte of 0x80 or more; with none, the tests below are exact.
    if ((word & Highs) != 0)
        return false;
    const auto hasZero = [](std::uint64_t bytes) {
        return ((bytes - Ones) & ~bytes & Highs) != 0;
    };
    const bool below20 = ((word - 0x20 * Ones) & ~word & Highs) != 0;
    return !below20 && !hasZero(word ^ (0x7F * Ones)) && !hasZero(word ^ (',' * Ones));
}

// Gathers the distinct reasons of one value in the order the check meets them.
class ReasonList
{
public:
    // The checks of the comma and line breaks that the character passes.
    void addCommaOrLineBreak(char16_t character)
    {
        add({character == u',' ? ReasonKind::Comma : ReasonKind::LineBreak, 0});
    }
    void add(const Reason &reason)
    {
        if (!m_seen.insert(quint32(reason.kind) << 24 | reason.character).second)
            return;
        if (m_refused.reasons.size() < RefusedValue::ListedReasons)
            m_refused.reasons.append(reason);
        ++m_refused.reasonCount;
    }
    std::optional<RefusedValue> result()
    {
        if (m_refused.reasonCount == 0)
            return std::nullopt;
        return std::move(m_refused);
    }

private:
    std::unordered_set<quint32> m_seen;
    RefusedValue m_refused;
};

// C0 but Tab, DEL and C1 (which the code page's unassigned bytes read as).
bool isRefusedControl(char16_t character)
{
    return (character < 0x20 && character != u'\t') || (character >= 0x7F && character < 0xA0);
}

// For each byte of the code page, whether a value that holds it is refused.
const std::array<bool, 256> &refusedBytes()
{
    static const std::array<bool, 256> refused = [] {
        std::array<bool, 256> bytes {};
        const CodePage::Table &table = CodePage::windows1252();
        for (std::size_t byte = 0; byte < bytes.size(); ++byte) {
            const char16_t character = table.characters[byte];
            bytes[byte] = character == u',' || character == u'\r' || character == u'\n'
                || isRefusedControl(character);
        }
        return bytes;
    }();
    return refused;
}

// Whether bytes of the code page hold one that makes a value refused: whether checkValue() finds
// a reason in them, without gathering the reasons, which for the rows of a paste of a million
// lines costs little more than reading them.
bool holdsRefusedByte(QByteArrayView bytes)
{
    const std::array<bool, 256> &refused = refusedBytes();
    const auto anyRefused = [&refused](QByteArrayView some) {
        return std::any_of(
            some.begin(), some.end(), [&refused](char byte) { return refused[uchar(byte)]; });
    };
    qsizetype at = 0;
    for (std::uint64_t word = 0; at + 8 <= bytes.size(); at += 8) {
        std::memcpy(&word, bytes.data() + at, sizeof word);
        if (!allPlain(word) && anyRefused(bytes.sliced(at, 8)))
            return true;
    }
    return anyRefused(bytes.sliced(at));
}

// What a value of one byte a character holds that the handheld cannot take; the bytes
// themselves are all in the code page. Nearly every value Save meets holds none of those bytes
// and is passed over eight bytes at a time.
std::optional<RefusedValue> checkValue(QByteArrayView value)
{
    if (!holdsRefusedByte(value))
        return std::nullopt;
    const std::array<bool, 256> &refused = refusedBytes();
    const CodePage::Table &table = CodePage::windows1252();
    ReasonList reasons;
    for (const char byte : value) {
        if (!refused[uchar(byte)])
            continue;
        const char16_t character = table.characterOf(byte);
        if (character == u',' || character == u'\r' || character == u'\n')
            reasons.addCommaOrLineBreak(character);
        else
            reasons.add({ReasonKind::ControlCharacter, character});
    }
    return reasons.result();
}

} // namespace

std::optional<RefusedValue> checkValue(QStringView value)
{
    const CodePage::Table &table = CodePage::windows1252();
    ReasonList reasons;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t character = value[i].unicode();
        // Nearly every character Save meets; the checks below are for the rest.
        if (character >= 0x20 && character < 0x7F && character != u',')
            continue;
        if (character == u',' || character == u'\r' || character == u'\n') {
            reasons.addCommaOrLineBreak(character);
        } else if (isRefusedControl(character)) {
            reasons.add({ReasonKind::ControlCharacter, character});
        } else if (table.byteFor(character) < 0) {
            // A surrogate that is not half of a pair (from a damaged UTF-16 file) is named as
            // it stands.
            const bool pair = QChar::isHighSurrogate(character) && i + 1 < value.size()
                && QChar::isLowSurrogate(value[i + 1].unicode());
            const char32_t codePoint
                = pair ? QChar::surrogateToUcs4(character, value[++i].unicode()) : character;
            reasons.add({ReasonKind::UnrepresentableCharacter, codePoint});
        }
    }
    return reasons.result();
}

std::optional<RefusedValue> checkValue(const FieldText &value)
{
    return value.visit([](auto text) { return checkValue(text); });
}

bool mayHoldRefusedValues(const ItemRow &row)
{
    // The reasons are single characters, so a row of Windows-1252 bytes with none in its whole
    // text has none in any value. (In UTF-16 a pair of surrogates could span two values.)
    return !row.isOneByte() || holdsRefusedByte(row.allText().bytes());
}

RefusedValues findRefusedValues(const ItemTable &table, qsizetype listed)
{
    RefusedValues found;
    for (int row = 0; row < table.size(); ++row) {
        const ItemRow &itemRow = table.row(row);
        if (!mayHoldRefusedValues(itemRow))
            continue;
        for (const Column column : AllColumns) {
            std::optional<RefusedValue> refused = checkValue(itemRow.text(column));
            if (!refused)
                continue;
            if (found.count++ < listed) {
                refused->row = row;
                refused->column = column;
                found.listed.append(*refused);
            }
        }
    }
    return found;
}

} // namespace ItemCsv
