#include "valuecheck.h"

#include "codepage.h"
#include "itemtable.h"

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

// Gathers the distinct faults of one value in the order the check meets them.
class FaultList
{
public:
    // The checks of the comma and line breaks that the character passes.
    void addCommaOrLineBreak(char16_t character)
    {
        add({character == u',' ? ValueFault::Comma : ValueFault::LineBreak, 0});
    }
    void add(const Fault &fault)
    {
        if (!m_seen.insert(quint32(fault.kind) << 24 | fault.character).second)
            return;
        if (m_problem.faults.size() < ValueProblem::ListedFaults)
            m_problem.faults.append(fault);
        ++m_problem.faultCount;
    }
    std::optional<ValueProblem> result()
    {
        if (m_problem.faultCount == 0)
            return std::nullopt;
        return std::move(m_problem);
    }

private:
    std::unordered_set<quint32> m_seen;
    ValueProblem m_problem;
};

// C0 but Tab, DEL and C1 (which the code page's unassigned bytes read as).
bool isRefusedControl(char16_t character)
{
    return (character < 0x20 && character != u'\t') || (character >= 0x7F && character < 0xA0);
}

// What a value of one byte a character holds that the handheld cannot take; the bytes
// themselves are all in the code page.
std::optional<ValueProblem> problemWith(QByteArrayView value)
{
    const CodePage::Table &table = CodePage::windows1252();
    // Nearly every value Save meets is plain: it is passed over eight bytes at a time.
    qsizetype plain = 0;
    std::uint64_t word = 0;
    for (; plain + 8 <= value.size(); plain += 8) {
        std::memcpy(&word, value.data() + plain, sizeof word);
        if (!allPlain(word))
            break;
    }
    FaultList faults;
    for (const char byte : value.sliced(plain)) {
        const auto code = uchar(byte);
        // Nearly every byte Save meets; the checks below are for the rest.
        if (code >= 0x20 && code < 0x7F && code != ',')
            continue;
        const char16_t character = table.characterOf(byte);
        if (code == ',' || code == '\r' || code == '\n')
            faults.addCommaOrLineBreak(character);
        else if (isRefusedControl(character))
            faults.add({ValueFault::ControlCharacter, character});
    }
    return faults.result();
}

} // namespace

std::optional<ValueProblem> problemWith(QStringView value)
{
    const CodePage::Table &table = CodePage::windows1252();
    FaultList faults;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t character = value[i].unicode();
        // Nearly every character Save meets; the checks below are for the rest.
        if (character >= 0x20 && character < 0x7F && character != u',')
            continue;
        if (character == u',' || character == u'\r' || character == u'\n') {
            faults.addCommaOrLineBreak(character);
        } else if (isRefusedControl(character)) {
            faults.add({ValueFault::ControlCharacter, character});
        } else if (table.byteFor(character) < 0) {
            // A surrogate that is not half of a pair (from a damaged UTF-16 file) is named as
            // it stands.
            const bool pair = QChar::isHighSurrogate(character) && i + 1 < value.size()
                && QChar::isLowSurrogate(value[i + 1].unicode());
            const char32_t codePoint
                = pair ? QChar::surrogateToUcs4(character, value[++i].unicode()) : character;
            faults.add({ValueFault::UnrepresentableCharacter, codePoint});
        }
    }
    return faults.result();
}

std::optional<ValueProblem> problemWith(const FieldText &value)
{
    return value.visit([](auto text) { return problemWith(text); });
}

bool mayHaveProblems(const ItemRow &row)
{
    // The faults are single characters, so a row of Windows-1252 bytes with none in its whole
    // text has none in any value. (In UTF-16 a pair of surrogates could span two values.)
    return !row.isOneByte() || problemWith(row.allText()).has_value();
}

UnwritableValues findUnwritableValues(const ItemTable &table, qsizetype listed)
{
    UnwritableValues found;
    for (int row = 0; row < table.size(); ++row) {
        const ItemRow &itemRow = table.row(row);
        if (!mayHaveProblems(itemRow))
            continue;
        for (const Column column : AllColumns) {
            std::optional<ValueProblem> problem = problemWith(itemRow.text(column));
            if (!problem)
                continue;
            if (found.count++ < listed) {
                problem->row = row;
                problem->column = column;
                found.listed.append(*problem);
            }
        }
    }
    return found;
}

} // namespace ItemCsv
