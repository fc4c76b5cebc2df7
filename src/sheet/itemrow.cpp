#include "itemrow.h"

#include <algorithm>
#include <bit>
#include <cstdint>
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
std::optional<bool> allOneByte(FieldText text, const Progress &progress)
{
    if (!text.isWide())
        return true;
    const CodePage::Table &table = CodePage::windows1252();
    const QStringView characters = text.utf16();
    for (qsizetype from = 0; from < characters.size(); from += Piece) {
        if (from > 0 && progress && !progress(from, characters.size()))
            return std::nullopt;
        const qsizetype to = std::min(characters.size(), from + Piece);
        if (CodePage::isAscii(characters.utf16() + from, std::size_t(to - from)))
            continue;
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
    auto *out = reinterpret_cast<char16_t *>(result.data());
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

// A slab starts at a multiple of SlabAlignment, so that a block finds its slab from its own
// address and keeps no pointer to it.
constexpr std::size_t SlabAlignment = LargestSlab;

struct RowArena::Slab
{
    // The blocks in the slab that belong to a row, and one more while the arena may still put
    // blocks in it.
    std::size_t users;
    std::size_t size;
};

// A block is a header and then the text, bytes or UTF-16, in one allocation. The header is two
// bytes of flags, then where each of the first five fields ends and the length of the text, each
// in as few bytes as the length needs: a row of a shopping list (under 256 characters) spends
// eight bytes on its header. Blocks lie at even addresses and headers have an even size, so
// UTF-16 text is aligned; the numbers are read with memcpy, whatever their alignment.
struct ItemRow::Block
{
    enum Flag : std::uint16_t {
        PresentFields = 0x3F,
        Wide = 1 << 6,
        InSlab = 1 << 7,
        WidthShift = 8, // the width of the numbers: 1 << (flags >> WidthShift) bytes
    };
    static constexpr int Numbers = ColumnCount; // five field ends and the length

    const char *raw() const { return reinterpret_cast<const char *>(this); }
    char *raw() { return reinterpret_cast<char *>(this); }
    std::uint16_t flags() const
    {
        std::uint16_t value = 0;
        std::memcpy(&value, raw(), sizeof value);
        return value;
    }
    void setFlags(std::uint16_t value) { std::memcpy(raw(), &value, sizeof value); }
    static int widthFor(std::uint32_t length)
    {
        return length < 0x100 ? 1 : length < 0x10000 ? 2 : 4;
    }
    int width() const { return 1 << (flags() >> WidthShift); }
    static std::size_t sizeFor(std::uint32_t length, bool wide)
    {
        const std::size_t header = sizeof(std::uint16_t) + std::size_t(Numbers * widthFor(length));
        return roundUp(header + std::size_t(length) * (wide ? 2 : 1), 2);
    }
    std::uint32_t number(int index) const
    {
        const char *at = raw() + sizeof(std::uint16_t) + std::ptrdiff_t(index) * width();
        switch (width()) {
        case 1:
            return std::uint8_t(*at);
        case 2: {
            std::uint16_t value = 0;
            std::memcpy(&value, at, sizeof value);
            return value;
        }
        default: {
            std::uint32_t value = 0;
            std::memcpy(&value, at, sizeof value);
            return value;
        }
        }
    }
    void setNumber(int index, std::uint32_t value)
    {
        char *at = raw() + sizeof(std::uint16_t) + std::ptrdiff_t(index) * width();
        switch (width()) {
        case 1:
            *at = char(std::uint8_t(value));
            break;
        case 2: {
            const auto narrow = std::uint16_t(value);
            std::memcpy(at, &narrow, sizeof narrow);
            break;
        }
        default:
            std::memcpy(at, &value, sizeof value);
            break;
        }
    }

    std::uint8_t present() const { return std::uint8_t(flags() & PresentFields); }
    bool wide() const { return (flags() & Wide) != 0; }
    std::uint32_t length() const { return number(Numbers - 1); }
    std::size_t size() const { return sizeFor(length(), wide()); }
    char *bytes() { return raw() + sizeof(std::uint16_t) + std::ptrdiff_t(Numbers) * width(); }
    const char *bytes() const
    {
        return raw() + sizeof(std::uint16_t) + std::ptrdiff_t(Numbers) * width();
    }
    char16_t *utf16() { return reinterpret_cast<char16_t *>(bytes()); }
    const char16_t *utf16() const { return reinterpret_cast<const char16_t *>(bytes()); }
    // Field i ends where field i + 1 begins; the last one ends at the end of the text.
    std::uint32_t begin(int field) const { return field == 0 ? 0 : number(field - 1); }
    std::uint32_t end(int field) const { return number(field); }
    FieldText allText() const
    {
        const auto size = qsizetype(length());
        return wide() ? FieldText(QStringView(utf16(), size))
                      : FieldText(QByteArrayView(bytes(), size));
    }
    FieldText text(int field) const
    {
        const std::uint32_t from = begin(field);
        const auto size = qsizetype(end(field) - from);
        return wide() ? FieldText(QStringView(utf16() + from, size))
                      : FieldText(QByteArrayView(bytes() + from, size));
    }

    // In the arena's current slab, or on its own without an arena.
    static Block *create(RowArena *arena, std::uint32_t length, bool wide, std::uint8_t present)
    {
        const std::size_t size = sizeFor(length, wide);
        RowArena::Slab *slab = nullptr;
        void *memory = arena != nullptr ? arena->allocate(size, slab) : ::operator new(size);
        auto *block = static_cast<Block *>(memory);
        block->setFlags(std::uint16_t(present | (wide ? Wide : 0) | (slab != nullptr ? InSlab : 0)
            | (std::countr_zero(unsigned(widthFor(length))) << WidthShift)));
        block->setNumber(Numbers - 1, length);
        return block;
    }
    static void destroy(Block *block)
    {
        if (block == nullptr)
            return;
        if ((block->flags() & InSlab) == 0) {
            ::operator delete(block);
            return;
        }
        const auto offset = reinterpret_cast<std::uintptr_t>(block) & (SlabAlignment - 1);
        RowArena::release(
            reinterpret_cast<RowArena::Slab *>(block->raw() - std::ptrdiff_t(offset)));
    }
    Block *copy() const
    {
        const std::size_t bytes = size();
        void *memory = ::operator new(bytes);
        std::memcpy(memory, this, bytes);
        auto *block = static_cast<Block *>(memory);
        block->setFlags(std::uint16_t(flags() & ~InSlab));
        return block;
    }
};

RowArena::~RowArena()
{
    release(m_slab);
}

void RowArena::release(Slab *slab)
{
    if (slab != nullptr && --slab->users == 0) {
        ::operator delete(slab, std::align_val_t(SlabAlignment));
        --s_liveSlabs;
    }
}

void *RowArena::allocate(std::size_t bytes, Slab *&slab)
{
    const std::size_t header = roundUp(sizeof(Slab), alignof(std::max_align_t));
    if (bytes > LargestSlab / 4) {
        slab = nullptr;
        return ::operator new(bytes);
    }
    if (m_slab == nullptr || m_used + bytes > m_slab->size) {
        // The slabs grow from a small first one, so a block can be larger than the next slab.
        const std::size_t size = std::max(m_nextSize, header + bytes);
        void *fresh = ::operator new(size, std::align_val_t(SlabAlignment));
        ++s_liveSlabs;
        release(m_slab);
        m_slab = new (fresh) Slab {1, size};
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
    std::uint8_t present, const Progress &progress)
{
    return ItemRow::build(this, fields, present, progress);
}

std::optional<ItemRow> ItemRow::build(RowArena *arena,
    const std::array<FieldText, ColumnCount> &fields, std::uint8_t present,
    const Progress &progress)
{
    ItemRow row;
    if (present == 0)
        return row;
    qsizetype length = 0;
    bool wide = false;
    for (const FieldText &field : fields) {
        length += field.size();
        if (!wide) {
            const std::optional<bool> oneByte = allOneByte(field, progress);
            if (!oneByte)
                return std::nullopt;
            wide = !*oneByte;
        }
    }
    Q_ASSERT(length <= maxLength);
    Block *block = Block::create(arena, std::uint32_t(length), wide, present);
    row.m_block = block;
    const CodePage::Table &table = CodePage::windows1252();
    std::uint32_t at = 0;
    for (int index = 0; index < ColumnCount; ++index) {
        const FieldText field = fields[std::size_t(index)];
        for (qsizetype from = 0; from < field.size(); from += Piece) {
            if (from > 0 && progress && !progress(at, length))
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
                CodePage::toBytes(
                    field.utf16().utf16() + from, std::size_t(count), block->bytes() + at);
            }
            at += std::uint32_t(count);
        }
        if (index < ColumnCount - 1)
            block->setNumber(index, at);
    }
    return row;
}

namespace {

// The parts of text separated by `separator`, as ItemRow::fromSeparated takes them, given to
// `make` as a row's fields.
template<typename View, typename Character, typename Make>
std::optional<ItemRow> separatedRow(
    View text, Character separator, const Progress &progress, const Make &make)
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
            if (progress && !progress(searched, text.size()))
                return std::nullopt;
        }
        const qsizetype end = next < 0 ? text.size() : next;
        present |= ItemRow::bit(columnAt(parts));
        fields[std::size_t(parts++)] = FieldText(text.sliced(start, end - start));
        if (next < 0)
            break;
        start = next + 1;
        searched = start;
    }
    return make(fields, present);
}

} // namespace

std::optional<ItemRow> RowArena::fromSeparated(
    QStringView text, QChar separator, const Progress &progress)
{
    return separatedRow(text, separator, progress,
        [&](const std::array<FieldText, ColumnCount> &fields, std::uint8_t present) {
            return make(fields, present, progress);
        });
}

std::optional<ItemRow> RowArena::fromSeparated(
    QByteArrayView windows1252, char separator, const Progress &progress)
{
    return separatedRow(windows1252, separator, progress,
        [&](const std::array<FieldText, ColumnCount> &fields, std::uint8_t present) {
            return make(fields, present, progress);
        });
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
    return m_block != nullptr ? m_block->present() : 0;
}

std::optional<ItemRow> ItemRow::fromSeparated(QStringView text, QChar separator)
{
    return separatedRow(text, separator, {},
        [](const std::array<FieldText, ColumnCount> &fields, std::uint8_t present) {
            return build(nullptr, fields, present, {});
        });
}

FieldText ItemRow::text(Column column) const
{
    if (m_block == nullptr)
        return {};
    return m_block->text(position(column));
}

FieldText ItemRow::allText() const
{
    return m_block != nullptr ? m_block->allText() : FieldText();
}

QString ItemRow::field(Column column) const
{
    if (!isPresent(column))
        return {};
    return text(column).toString();
}

bool ItemRow::isOneByte() const
{
    return m_block == nullptr || !m_block->wide();
}

qsizetype ItemRow::length() const
{
    return m_block != nullptr ? qsizetype(m_block->length()) : 0;
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
    return m_block == nullptr || m_block->length() == 0;
}
