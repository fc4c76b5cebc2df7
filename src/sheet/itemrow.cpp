#include "itemrow.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Long text is copied and checked in pieces of this many characters, between which the work
// may be stopped.
constexpr qsizetype Piece = qsizetype(1) << 20;

// The most a slab holds; a larger block has an allocation of its own.
constexpr std::size_t LargestSlab = std::size_t(1) << 20;

std::size_t roundUp(std::size_t bytes, std::size_t alignment)
{
    return (bytes + alignment - 1) / alignment * alignment;
}

// Whether every character of the text has a byte in Windows-1252; nullopt when stopped.
std::optional<bool> allOneByte(FieldText text, const KeepGoing &keepGoing)
{
    if (!text.isWide())
        return true;
    const CodePage::Table &table = CodePage::windows1252();
    const QStringView characters = text.utf16();
    for (qsizetype from = 0; from < characters.size(); from += Piece) {
        if (from > 0 && keepGoing && !keepGoing())
            return std::nullopt;
        const qsizetype to = std::min(characters.size(), from + Piece);
        for (qsizetype i = from; i < to; ++i) {
            const char16_t character = characters[i].unicode();
            if (character >= 0x80 && table.byteFor(character) < 0)
                return false;
        }
    }
    return true;
}

} // namespace

QString FieldText::toString(qsizetype limit) const
{
    qsizetype size = std::min(m_size, limit);
    if (size == 0)
        return QStringLiteral("");
    if (m_wide) {
        const QStringView characters = utf16();
        if (size < m_size && characters[size - 1].isHighSurrogate())
            --size;
        return characters.first(size).toString();
    }
    QString result(size, Qt::Uninitialized);
    const CodePage::Table &table = CodePage::windows1252();
    const char *from = static_cast<const char *>(m_data);
    char16_t *out = reinterpret_cast<char16_t *>(result.data());
    for (qsizetype i = 0; i < size; ++i)
        out[i] = table.characterOf(from[i]);
    return result;
}

void FieldText::appendTo(QString &text) const
{
    if (m_wide) {
        text += utf16();
        return;
    }
    const qsizetype start = text.size();
    text.resize(start + m_size);
    const CodePage::Table &table = CodePage::windows1252();
    const char *from = static_cast<const char *>(m_data);
    char16_t *out = reinterpret_cast<char16_t *>(text.data()) + start;
    for (qsizetype i = 0; i < m_size; ++i)
        out[i] = table.characterOf(from[i]);
}

bool operator==(const FieldText &text, QStringView value)
{
    if (text.size() != value.size())
        return false;
    if (text.isWide())
        return text.utf16() == value;
    const CodePage::Table &table = CodePage::windows1252();
    const QByteArrayView bytes = text.bytes();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (table.characterOf(bytes[i]) != value[i].unicode())
            return false;
    }
    return true;
}

struct RowArena::Slab
{
    // The blocks in the slab that belong to a row, and one more while the arena may still put
    // blocks in it.
    std::size_t users;
    std::size_t size;
};

// The text follows the header in the same allocation: bytes or UTF-16.
struct ItemRow::Block
{
    // How far the block lies from the start of its slab, 0 for a block of its own.
    std::uint32_t slabOffset;
    std::uint32_t length; // of the text, in characters
    // Where each field's text ends; the last field ends at the end of the text.
    std::array<std::uint32_t, ColumnCount - 1> ends;
    std::uint8_t present;
    bool wide;

    static std::size_t sizeFor(std::uint32_t length, bool wide)
    {
        return roundUp(sizeof(Block) + std::size_t(length) * (wide ? 2 : 1), alignof(Block));
    }
    std::size_t size() const { return sizeFor(length, wide); }
    char *bytes() { return reinterpret_cast<char *>(this + 1); }
    const char *bytes() const { return reinterpret_cast<const char *>(this + 1); }
    char16_t *utf16() { return reinterpret_cast<char16_t *>(this + 1); }
    const char16_t *utf16() const { return reinterpret_cast<const char16_t *>(this + 1); }
    std::uint32_t begin(int field) const { return field == 0 ? 0 : ends[std::size_t(field - 1)]; }
    std::uint32_t end(int field) const
    {
        return field == ColumnCount - 1 ? length : ends[std::size_t(field)];
    }
    FieldText text(int field) const
    {
        const std::uint32_t from = begin(field);
        const qsizetype size = qsizetype(end(field) - from);
        return wide ? FieldText(QStringView(utf16() + from, size))
                    : FieldText(QByteArrayView(bytes() + from, size));
    }

    // In the arena's current slab, or on its own without an arena.
    static Block *create(RowArena *arena, std::uint32_t length, bool wide)
    {
        const std::size_t bytes = sizeFor(length, wide);
        RowArena::Slab *slab = nullptr;
        void *memory = arena != nullptr ? arena->allocate(bytes, slab) : ::operator new(bytes);
        auto *block = new (memory) Block;
        block->slabOffset = slab != nullptr
            ? std::uint32_t(static_cast<char *>(memory) - reinterpret_cast<char *>(slab))
            : 0;
        block->length = length;
        block->wide = wide;
        return block;
    }
    static void destroy(Block *block)
    {
        if (block == nullptr)
            return;
        if (block->slabOffset == 0) {
            ::operator delete(block);
            return;
        }
        RowArena::release(reinterpret_cast<RowArena::Slab *>(
            reinterpret_cast<char *>(block) - block->slabOffset));
    }
    Block *copy() const
    {
        const std::size_t bytes = size();
        void *memory = ::operator new(bytes);
        std::memcpy(memory, this, bytes);
        auto *block = static_cast<Block *>(memory);
        block->slabOffset = 0;
        return block;
    }
};

RowArena::~RowArena()
{
    release(m_slab);
}

void RowArena::release(Slab *slab)
{
    if (slab != nullptr && --slab->users == 0)
        ::operator delete(slab);
}

void *RowArena::allocate(std::size_t bytes, Slab *&slab)
{
    const std::size_t header = roundUp(sizeof(Slab), alignof(std::max_align_t));
    if (bytes > LargestSlab / 4) {
        slab = nullptr;
        return ::operator new(bytes);
    }
    if (m_slab == nullptr || m_used + bytes > m_slab->size) {
        const std::size_t size = std::max(m_nextSize, header + bytes);
        auto *fresh = new (::operator new(size)) Slab {1, size};
        release(std::exchange(m_slab, fresh));
        m_used = header;
        m_nextSize = std::min(2 * m_nextSize, LargestSlab);
    }
    void *memory = reinterpret_cast<char *>(m_slab) + m_used;
    m_used += bytes;
    ++m_slab->users;
    slab = m_slab;
    return memory;
}

std::optional<ItemRow> RowArena::make(const std::array<FieldText, ColumnCount> &fields,
    std::uint8_t present, const KeepGoing &keepGoing)
{
    return ItemRow::build(this, fields, present, keepGoing);
}

std::optional<ItemRow> ItemRow::build(RowArena *arena,
    const std::array<FieldText, ColumnCount> &fields, std::uint8_t present,
    const KeepGoing &keepGoing)
{
    ItemRow row;
    if (present == 0)
        return row;
    qsizetype length = 0;
    bool wide = false;
    for (const FieldText &field : fields) {
        length += field.size();
        if (!wide) {
            const std::optional<bool> oneByte = allOneByte(field, keepGoing);
            if (!oneByte)
                return std::nullopt;
            wide = !*oneByte;
        }
    }
    Q_ASSERT(length <= maxLength);
    Block *block = Block::create(arena, std::uint32_t(length), wide);
    row.m_block = block;
    block->present = present;
    const CodePage::Table &table = CodePage::windows1252();
    std::uint32_t at = 0;
    for (int index = 0; index < ColumnCount; ++index) {
        const FieldText field = fields[std::size_t(index)];
        for (qsizetype from = 0; from < field.size(); from += Piece) {
            if (from > 0 && keepGoing && !keepGoing())
                return std::nullopt;
            const qsizetype count = std::min(field.size() - from, Piece);
            if (wide && field.isWide()) {
                std::memcpy(block->utf16() + at, field.utf16().utf16() + from,
                    std::size_t(count) * sizeof(char16_t));
            } else if (!wide && !field.isWide()) {
                std::memcpy(block->bytes() + at, field.bytes().data() + from, std::size_t(count));
            } else if (wide) {
                const char *in = field.bytes().data() + from;
                char16_t *out = block->utf16() + at;
                for (qsizetype i = 0; i < count; ++i)
                    out[i] = table.characterOf(in[i]);
            } else {
                const char16_t *in = field.utf16().utf16() + from;
                char *out = block->bytes() + at;
                for (qsizetype i = 0; i < count; ++i)
                    out[i] = char(table.bytes[in[i]]);
            }
            at += std::uint32_t(count);
        }
        if (index < ColumnCount - 1)
            block->ends[std::size_t(index)] = at;
    }
    return row;
}

std::optional<ItemRow> RowArena::fromSeparated(
    QStringView text, QChar separator, const KeepGoing &keepGoing)
{
    if (text.isEmpty())
        return ItemRow();
    if (text.size() > ItemRow::maxLength)
        return std::nullopt;
    std::array<FieldText, ColumnCount> fields;
    std::uint8_t present = 0;
    int parts = 0;
    qsizetype start = 0;
    qsizetype searched = 0;
    while (parts < ColumnCount) {
        // Searched a piece at a time: a line of a hundred MiB may have no separator at all.
        qsizetype next = -1;
        for (;;) {
            const qsizetype to = std::min(text.size(), std::max(searched, start) + Piece);
            next = text.first(to).indexOf(separator, std::max(searched, start));
            searched = to;
            if (next >= 0 || to == text.size())
                break;
            if (keepGoing && !keepGoing())
                return std::nullopt;
        }
        const qsizetype end = next < 0 ? text.size() : next;
        present |= ItemRow::bit(columnAt(parts));
        fields[std::size_t(parts++)] = text.sliced(start, end - start);
        if (next < 0)
            break;
        start = next + 1;
        searched = start;
    }
    return make(fields, present, keepGoing);
}

ItemRow::ItemRow(const ItemRow &other)
    : m_block(other.m_block != nullptr ? other.m_block->copy() : nullptr)
{
}

ItemRow::ItemRow(ItemRow &&other) noexcept
    : m_block(std::exchange(other.m_block, nullptr))
{
}

ItemRow &ItemRow::operator=(const ItemRow &other)
{
    if (this != &other) {
        Block *block = other.m_block != nullptr ? other.m_block->copy() : nullptr;
        Block::destroy(std::exchange(m_block, block));
    }
    return *this;
}

ItemRow &ItemRow::operator=(ItemRow &&other) noexcept
{
    if (this != &other)
        Block::destroy(std::exchange(m_block, std::exchange(other.m_block, nullptr)));
    return *this;
}

ItemRow::~ItemRow()
{
    Block::destroy(m_block);
}

std::uint8_t ItemRow::present() const
{
    return m_block != nullptr ? m_block->present : 0;
}

std::optional<ItemRow> ItemRow::fromSeparated(QStringView text, QChar separator)
{
    RowArena arena;
    return arena.fromSeparated(text, separator);
}

FieldText ItemRow::text(Column column) const
{
    if (m_block == nullptr)
        return {};
    return m_block->text(position(column));
}

QString ItemRow::field(Column column) const
{
    if (!isPresent(column))
        return {};
    return text(column).toString();
}

bool ItemRow::isOneByte() const
{
    return m_block == nullptr || !m_block->wide;
}

qsizetype ItemRow::length() const
{
    return m_block != nullptr ? qsizetype(m_block->length) : 0;
}

bool ItemRow::fits(Column column, QStringView value) const
{
    return value.size() <= maxLength - (length() - text(column).size());
}

bool ItemRow::setField(Column column, const QString &value)
{
    if (!fits(column, value))
        return false;
    std::array<FieldText, ColumnCount> fields;
    std::uint8_t present = 0;
    for (const Column each : AllColumns) {
        const bool given = each == column ? !value.isNull() : isPresent(each);
        if (given)
            present |= bit(each);
        fields[std::size_t(position(each))] = each == column ? FieldText(value) : text(each);
    }
    // The fields are views into the old block, which goes only once they are copied.
    std::optional<ItemRow> changed = build(nullptr, fields, present, {});
    *this = std::move(*changed);
    return true;
}

bool ItemRow::isBlank() const
{
    return m_block == nullptr || m_block->length == 0;
}
