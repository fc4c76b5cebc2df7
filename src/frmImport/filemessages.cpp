#include "filemessages.h"

#include "systemnames.h"

#include <algorithm>
#include <array>
#include <climits>

namespace {

// "00E9" for U+00E9: at least four hexadecimal digits, as Unicode names characters.
QString codePoint(char32_t character)
{
    return QString::number(uint(character), 16).toUpper().rightJustified(4, u'0');
}

// The characters a user cannot see that are met most, named in words; any other is "an
// invisible character".
struct InvisibleCharacter
{
    char32_t character;
    // Read through the table's lookup, which cppcheck does not follow.
    // cppcheck-suppress unusedStructMember
    const char *name;
};
constexpr std::array<InvisibleCharacter, 12> invisibleCharacters {{
    {0x0000, QT_TRANSLATE_NOOP("FileMessages", "a null character")},
    {0x00AD, QT_TRANSLATE_NOOP("FileMessages", "a soft hyphen")},
    {0x2002, QT_TRANSLATE_NOOP("FileMessages", "an en space")},
    {0x2003, QT_TRANSLATE_NOOP("FileMessages", "an em space")},
    {0x2009, QT_TRANSLATE_NOOP("FileMessages", "a thin space")},
    {0x200B, QT_TRANSLATE_NOOP("FileMessages", "a zero-width space")},
    {0x200C, QT_TRANSLATE_NOOP("FileMessages", "a zero-width non-joiner")},
    {0x200D, QT_TRANSLATE_NOOP("FileMessages", "a zero-width joiner")},
    {0x200E, QT_TRANSLATE_NOOP("FileMessages", "a left-to-right mark")},
    {0x202F, QT_TRANSLATE_NOOP("FileMessages", "a narrow no-break space")},
    {0x2060, QT_TRANSLATE_NOOP("FileMessages", "a word joiner")},
    {0xFEFF, QT_TRANSLATE_NOOP("FileMessages", "a zero-width no-break space")},
}};

// What Open and Save say of a name that is taken by something other than a regular file.
struct FileKindSentences
{
    ItemCsv::FileKind kind;
    const char *onOpen;
    const char *onSave;
};
constexpr std::array<FileKindSentences, std::size_t(ItemCsv::FileKind::Other) + 1>
    fileKindSentences {{
        {ItemCsv::FileKind::Folder,
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not open \u201C%1\u201D: It is a folder, not a "
                "file."),
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not save \u201C%1\u201D: It is a folder, not a "
                "file. Nothing was written.")},
        {ItemCsv::FileKind::Fifo,
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not open \u201C%1\u201D: It is a named pipe "
                "(FIFO), not a file."),
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not save \u201C%1\u201D: It is a named pipe "
                "(FIFO), not a file. Nothing was written.")},
        {ItemCsv::FileKind::Socket,
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not open \u201C%1\u201D: It is a socket, not a "
                "file."),
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not save \u201C%1\u201D: It is a socket, not a "
                "file. Nothing was written.")},
        {ItemCsv::FileKind::CharacterDevice,
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not open \u201C%1\u201D: It is a character "
                "device, not a file."),
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not save \u201C%1\u201D: It is a character "
                "device, not a file. Nothing was written.")},
        {ItemCsv::FileKind::BlockDevice,
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not open \u201C%1\u201D: It is a block device, "
                "not a file."),
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not save \u201C%1\u201D: It is a block device, "
                "not a file. Nothing was written.")},
        {ItemCsv::FileKind::Other,
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not open \u201C%1\u201D: It is not a regular "
                "file."),
            QT_TRANSLATE_NOOP("FileMessages",
                "Could not save \u201C%1\u201D: It is not a regular "
                "file. Nothing was written.")},
    }};
// One row for each kind, in the enum's order, so that a kind indexes its row: a row left out
// leaves a default row (a folder's) in the wrong place.
constexpr bool hasOneRowPerKind()
{
    for (std::size_t i = 0; i < fileKindSentences.size(); ++i) {
        if (std::size_t(fileKindSentences[i].kind) != i)
            return false;
    }
    return true;
}
static_assert(hasOneRowPerKind(), "one row of sentences for each kind of file, in order");

const FileKindSentences &sentencesFor(ItemCsv::FileKind kind)
{
    return fileKindSentences[std::size_t(kind)];
}

QString translated(const char *sentence)
{
    return QCoreApplication::translate("FileMessages", sentence);
}

// A refused character as a user can tell it: by its look ("the character “Ω” (U+03A9)"), or in
// words where it shows nothing: spaces other than the ASCII space, format and control
// characters ("a narrow no-break space [U+202F]").
QString characterName(char32_t character)
{
    switch (QChar::category(character)) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Control:
    case QChar::Other_Format:
        break;
    default:
        return FileMessages::tr("the character \u201C%1\u201D (U+%2)")
            .arg(QString::fromUcs4(&character, 1), codePoint(character));
    }
    const auto known = std::find_if(invisibleCharacters.begin(), invisibleCharacters.end(),
        [character](const InvisibleCharacter &entry) { return entry.character == character; });
    const QString name = known != invisibleCharacters.end()
        ? translated(known->name)
        : FileMessages::tr("an invisible character");
    return FileMessages::tr("%1 [U+%2]").arg(name, codePoint(character));
}

// One reason, as a clause of the sentence that says why a value is refused.
QString reasonClause(const ItemCsv::Reason &reason)
{
    switch (reason.kind) {
    case ItemCsv::ReasonKind::Comma:
        return FileMessages::tr("a comma would split the value into two fields");
    case ItemCsv::ReasonKind::LineBreak:
        return FileMessages::tr("a line break would split the row in two");
    case ItemCsv::ReasonKind::ControlCharacter:
        return FileMessages::tr("%1 does not show in the grid")
            .arg(characterName(reason.character));
    case ItemCsv::ReasonKind::UnrepresentableCharacter:
        return FileMessages::tr("Windows-1252 cannot hold %1").arg(characterName(reason.character));
    }
    return {};
}

// The sentence that names one refused value: a reason in a sentence made for its kind, several
// reasons as a list.
QString refusedValue(const ItemCsv::RefusedValue &refused)
{
    const QString row = QString::number(refused.row + 1);
    const QString column = heading(refused.column);
    if (refused.reasonCount > 1) {
        return FileMessages::tr("Nothing was saved. The handheld would read the value in row "
                                "%1, column \u201C%2\u201D wrongly: %3 Please change that value.")
            .arg(row, column, FileMessages::reasons(refused));
    }
    const char32_t character = refused.reasons.first().character;
    switch (refused.reasons.first().kind) {
    case ItemCsv::ReasonKind::Comma:
        return FileMessages::tr("Nothing was saved. The value in row %1, column \u201C%2\u201D "
                                "contains a comma, which would split it into two fields, so the "
                                "handheld would read the file wrongly. Please change that value.")
            .arg(row, column);
    case ItemCsv::ReasonKind::LineBreak:
        return FileMessages::tr("Nothing was saved. The value in row %1, column \u201C%2\u201D "
                                "contains a line break, which would split the row in two, so "
                                "the handheld would read the file wrongly. Please change that "
                                "value.")
            .arg(row, column);
    case ItemCsv::ReasonKind::ControlCharacter:
        return FileMessages::tr("Nothing was saved. The value in row %1, column \u201C%2\u201D "
                                "contains %3, which does not show in the grid and which the "
                                "handheld may read wrongly. Please change that value.")
            .arg(row, column, characterName(character));
    case ItemCsv::ReasonKind::UnrepresentableCharacter:
        return FileMessages::tr("Nothing was saved. The value in row %1, column \u201C%2\u201D "
                                "contains %3, which the file's character set, Windows-1252, "
                                "cannot hold, so the handheld would read the file wrongly. "
                                "Please change that value.")
            .arg(row, column, characterName(character));
    }
    return {};
}

// One value in a sentence of its own; more as a list of the first few.
QString refusedValues(const ItemCsv::RefusedValues &refused)
{
    if (refused.count == 1)
        return refusedValue(refused.listed.first());
    QString text = FileMessages::tr("Nothing was saved: the handheld would read %n values "
                                    "wrongly. Please change them.",
                       nullptr, int(refused.count))
        + u'\n';
    for (const ItemCsv::RefusedValue &value : refused.listed) {
        text += u'\n'
            + FileMessages::tr("Row %1, column \u201C%2\u201D: %3")
                  .arg(QString::number(value.row + 1), heading(value.column),
                      FileMessages::reasons(value));
    }
    if (refused.count > refused.listed.size()) {
        text += u'\n'
            + FileMessages::tr("And %n more.", nullptr, int(refused.count - refused.listed.size()));
    }
    return text;
}

} // namespace

QString FileMessages::reasons(const ItemCsv::RefusedValue &refused)
{
    QStringList clauses;
    for (const ItemCsv::Reason &reason : refused.reasons)
        clauses.append(reasonClause(reason));
    if (refused.reasonCount > refused.reasons.size()) {
        clauses.append(tr("and %n more", nullptr,
            int(std::min<qsizetype>(refused.reasonCount - refused.reasons.size(), INT_MAX))));
    }
    return tr("%1.").arg(clauses.join(QStringLiteral("; ")));
}

QString FileMessages::refusedCount(qsizetype count)
{
    if (count == 0)
        return {};
    if (count == 1)
        return tr("Save would refuse 1 value, marked in red: F8 goes to it.");
    return tr("Save would refuse %n values, marked in red: F8 goes to the next one.", nullptr,
        int(std::min<qsizetype>(count, INT_MAX)));
}

QString FileMessages::afterSave(const ItemCsv::SaveResult &result, const QString &fileName)
{
    using ItemCsv::SaveOutcome;
    const QString name = ItemCsv::shownName(fileName);
    switch (result.outcome) {
    case SaveOutcome::Saved:
        return tr("Exported successfully");
    case SaveOutcome::SavedUnconfirmed:
        return tr("\u201C%1\u201D was saved, but the system could not confirm that the change is "
                  "on the disk: %2")
            .arg(name, result.error);
    case SaveOutcome::Refused:
        return refusedValues(result.refused);
    case SaveOutcome::NotAFile:
        return translated(sentencesFor(result.kind).onSave).arg(name);
    case SaveOutcome::Failed:
        return tr("Could not save \u201C%1\u201D: %2").arg(name, result.error);
    case SaveOutcome::Damaged:
        return tr("Could not save \u201C%1\u201D: %2. Putting its old contents back failed too, "
                  "so the file may be damaged; its old contents are in \u201C%3\u201D. Your rows "
                  "are still here.")
            .arg(name, result.error, ItemCsv::shownName(result.backup));
    case SaveOutcome::Busy:
        return tr("\u201C%1\u201D is being saved by another program. Nothing was written; your "
                  "rows are still here.")
            .arg(name);
    case SaveOutcome::Replaced:
        return tr("\u201C%1\u201D was replaced by another program while it was being saved. "
                  "Nothing was written; your rows are still here.")
            .arg(name);
    case SaveOutcome::SavedToReplacedFile:
        return tr("\u201C%1\u201D was replaced by another program while it was being saved. Your "
                  "rows went into the file it replaced; save again to write them under this name.")
            .arg(name);
    case SaveOutcome::BackupFailed:
        return tr("Could not keep a copy of the old contents in \u201C%1\u201D: %2. Nothing was "
                  "written; your rows are still here.")
            .arg(ItemCsv::shownName(result.place), result.error);
    case SaveOutcome::UnreadableName:
        return unreadableName(name);
    case SaveOutcome::Cancelled:
        break;
    }
    return {};
}

QString FileMessages::afterOpen(const ItemCsv::OpenResult &result, const QString &fileName)
{
    using ItemCsv::OpenOutcome;
    const QString name = ItemCsv::shownName(fileName);
    switch (result.outcome) {
    case OpenOutcome::Opened:
    case OpenOutcome::NeedsDialect:
    case OpenOutcome::Cancelled:
        break;
    case OpenOutcome::ReadStopped:
        return tr("Reading \u201C%1\u201D stopped after %2 lines: %3. The rows read before that "
                  "were added.")
            .arg(name)
            .arg(result.lines)
            .arg(result.error);
    case OpenOutcome::NotText:
        return tr("\u201C%1\u201D is not a text file. No row was added.").arg(fileName);
    case OpenOutcome::NotAFile:
        return translated(sentencesFor(result.kind).onOpen).arg(name);
    case OpenOutcome::CannotOpen:
        return tr("Could not open \u201C%1\u201D: %2").arg(name, result.error);
    case OpenOutcome::OutOfMemory:
        return tr("Could not open \u201C%1\u201D: its rows do not fit in the memory left. No row "
                  "was added.")
            .arg(name);
    case OpenOutcome::LineTooLong:
        return tr("Could not open \u201C%1\u201D: line %2 is too long to open. No row was added.")
            .arg(name)
            .arg(result.tooLongLine);
    case OpenOutcome::Busy:
        return tr("\u201C%1\u201D is being saved by another program. No row was added; try again.")
            .arg(name);
    case OpenOutcome::UnreadableName:
        return unreadableName(name);
    }
    return {};
}

QString FileMessages::earlierSave(const QString &fileName, const QString &backup)
{
    return tr("An earlier save of \u201C%1\u201D was interrupted. The file's contents from before "
              "that save are in \u201C%2\u201D.")
        .arg(ItemCsv::shownName(fileName), ItemCsv::shownName(backup));
}

QString FileMessages::unreadableName(const QString &shownName)
{
    return tr("The name of \u201C%1\u201D cannot be read as text; rename the file and try again.")
        .arg(shownName);
}
