#pragma once

#include "codepage.h"
#include "column.h"
#include "progress.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>

// A field's text as its row keeps it: Windows-1252 bytes, one a character, or UTF-16. It is a
// view into the row and lives no longer than the row stays unchanged.
//
// Code that looks at every value (a check, the writer) reads it through visit(), which hands
// its function either a QByteArrayView of Windows-1252 bytes or a QStringView, without making a
// QString; toString() is for the few values shown at a time.
class FieldText
{
public:
    FieldText() = default;
    explicit FieldText(QByteArrayView windows1252)
        : m_data(windows1252.data())
        , m_size(windows1252.size())
    {
    }
    // Not explicit: a value given as a QStringView is a field's text as it stands.
    // cppcheck-suppress noExplicitConstructor
    FieldText(QStringView utf16)
        : m_data(utf16.utf16())
        , m_size(utf16.size())
        , m_wide(true)
    {
    }

    // True for UTF-16, false for Windows-1252 bytes.
    bool isWide() const { return m_wide; }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    QByteArrayView bytes() const
    {
        return m_wide ? QByteArrayView()
                      : QByteArrayView(static_cast<const char *>(m_data), m_size);
    }
    QStringView utf16() const
    {
        return m_wide ? QStringView(static_cast<const char16_t *>(m_data), m_size) : QStringView();
    }
    char16_t at(qsizetype i) const
    {
        return m_wide ? utf16()[i].unicode() : CodePage::windows1252().characterOf(bytes()[i]);
    }
    template<typename Function> decltype(auto) visit(Function &&function) const
    {
        return m_wide ? function(utf16()) : function(bytes());
    }

    // At most `limit` characters, not cutting a surrogate pair; never null, so an empty present
    // field reads as an empty string.
    QString toString(qsizetype limit = std::numeric_limits<qsizetype>::max()) const;
    void appendTo(QString &text) const;

    friend bool operator==(const FieldText &text, QStringView value);

private:
    const void *m_data = nullptr;
    qsizetype m_size = 0;
    bool m_wide = false;
};

class RowArena;

// One item row: six text fields, each absent or holding a string (possibly empty).
//
// A file of a million rows must stay close to the size of its text, so a row is one pointer to
// one block that holds where each field ends (in one byte each for a row of under 256
// characters) and then all of its fields' text, and a row with every field absent (an empty
// line) holds no block at all. Field i starts where field
// i - 1 ends: the separators are not kept. A row whose characters all have a byte in
// Windows-1252 (nearly every row of a shopping list) keeps them as those bytes; any other row
// keeps UTF-16. Rows built together (the lines of one read or one paste) take their blocks from
// a RowArena; a row changed on its own gets a block of its own.
class ItemRow
{
public:
    // The most text a row holds, in characters (UTF-16 code units) of all its fields together:
    // the block keeps its lengths in 32 bits. Tests lower it to reach the limit without
    // gigabytes of text.
    static inline qsizetype maxLength = std::numeric_limits<std::uint32_t>::max();

    ItemRow() = default;
    ItemRow(const ItemRow &other);
    ItemRow(ItemRow &&other) noexcept;
    ItemRow &operator=(const ItemRow &other);
    ItemRow &operator=(ItemRow &&other) noexcept;
    ~ItemRow();

    // Builds a row from text whose fields are separated by `separator`: part i becomes field i,
    // parts after the sixth are dropped, fields without a part stay absent. Empty text has no
    // parts at all, so every field stays absent. Text longer than maxLength gives no row.
    static std::optional<ItemRow> fromSeparated(QStringView text, QChar separator);

    bool isPresent(Column column) const { return (present() & bit(column)) != 0; }
    // A null QString for an absent field, a non-null (possibly empty) one otherwise.
    QString field(Column column) const;
    // The field's text as the row keeps it; empty for an absent field. The cheap way to read
    // every value of many rows.
    FieldText text(Column column) const;
    // The text of every field, one after another without separators.
    FieldText allText() const;
    // Whether the row keeps its text as Windows-1252 bytes.
    bool isOneByte() const;
    // How many characters the row holds in all its fields.
    qsizetype length() const;
    // Whether the row stays within maxLength with `value` in place of the field.
    bool fits(Column column, QStringView value) const;
    // Fails, and leaves the row as it was, when the row would not fit.
    bool setField(Column column, const QString &value);

    // True when no field holds any text: all absent or empty.
    bool isBlank() const;

    // The column's bit in a set of present fields (RowArena::make).
    static constexpr std::uint8_t bit(Column column)
    {
        return std::uint8_t(1u << position(column));
    }

private:
    friend class RowArena;
    struct Block;

    std::uint8_t present() const;
    // In the arena's slabs, or in a block of its own without an arena.
    static std::optional<ItemRow> build(RowArena *arena,
        const std::array<FieldText, ColumnCount> &fields, std::uint8_t present,
        const Progress &progress);

    Block *m_block = nullptr;
};

// Whether a row may hold a value that Save refuses: false only for a row that holds none. Code
// that builds many rows at once checks each with it while the row is at hand, so that no one
// reads a million rows again to find the few that need a closer look.
using RowCheck = bool (*)(const ItemRow &row);

// The blocks of rows built together, taken from a few large allocations (slabs) instead of one
// allocation a row, which would cost malloc's own bookkeeping for each row.
//
// A slab counts the blocks in it that still belong to a row, and goes back to the system when
// the last of them goes: when its rows are deleted, changed (a changed row moves to a block of
// its own) or dropped with an undone command. The count lives in the slab and a block finds its
// slab from its own address, so a row costs nothing more than its block. A slab stays while any
// row of it does: deleting all but one row of an Open keeps that Open's slab of about a MiB.
class RowArena
{
public:
    RowArena() = default;
    RowArena(const RowArena &) = delete;
    RowArena &operator=(const RowArena &) = delete;
    ~RowArena();

    // As ItemRow::fromSeparated. Long text is stored in pieces with `progress` told after each
    // MiB; when it says stop there is no row either (the caller knows why).
    std::optional<ItemRow> fromSeparated(
        QStringView text, QChar separator, const Progress &progress = {});
    // The same for text of Windows-1252 bytes, which a row of one byte a character copies as
    // they are.
    std::optional<ItemRow> fromSeparated(
        QByteArrayView windows1252, char separator, const Progress &progress = {});
    // A row of the given fields, those not in `present` absent. The caller has checked that
    // their length fits in a row.
    std::optional<ItemRow> make(const std::array<FieldText, ColumnCount> &fields,
        std::uint8_t present, const Progress &progress = {});

    // The slabs of every arena that are still in memory, for a test to see that each goes.
    static std::size_t liveSlabs() { return s_liveSlabs; }

private:
    struct Slab;
    friend class ItemRow;

    // Room for a block of `bytes`, in the current slab or a new one; a block too large for any
    // slab gets an allocation of its own (`slab` null).
    void *allocate(std::size_t bytes, Slab *&slab);
    static void release(Slab *slab);

    static inline std::atomic<std::size_t> s_liveSlabs = 0;
    Slab *m_slab = nullptr;
    std::size_t m_used = 0;
    std::size_t m_nextSize = std::size_t(16) * 1024;
};
