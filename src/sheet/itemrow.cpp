#include "itemrow.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>

// The block's text follows its header in the same allocation, without the separators.
struct ItemRow::Block
{
    std::uint32_t length; // of the text, in UTF-16 code units
    // Where each field's text ends; the last field ends at the end of the text.
    std::array<std::uint32_t, ColumnCount - 1> ends;
    std::uint8_t present;

    char16_t *text() { return reinterpret_cast<char16_t *>(this + 1); }
    const char16_t *text() const { return reinterpret_cast<const char16_t *>(this + 1); }
    std::uint32_t begin(int field) const { return field == 0 ? 0 : ends[std::size_t(field - 1)]; }
    std::uint32_t end(int field) const
    {
        return field == ColumnCount - 1 ? length : ends[std::size_t(field)];
    }

    static Block *create(std::uint32_t length)
    {
        void *memory = ::operator new(sizeof(Block) + std::size_t(length) * sizeof(char16_t));
        auto *block = new (memory) Block;
        block->length = length;
        return block;
    }
    static void destroy(Block *block)
    {
        if (block != nullptr)
            ::operator delete(block);
    }
    Block *copy() const
    {
        Block *block = create(length);
        block->ends = ends;
        block->present = present;
        std::memcpy(block->text(), text(), std::size_t(length) * sizeof(char16_t));
        return block;
    }
};

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
    ItemRow row;
    if (text.isEmpty())
        return row;
    if (text.size() > maxLength)
        return std::nullopt;
    // Where each part ends in `text`, and so how much of it the row keeps.
    std::array<qsizetype, ColumnCount> partEnds {};
    int parts = 0;
    qsizetype start = 0;
    while (parts < ColumnCount) {
        const qsizetype next = text.indexOf(separator, start);
        partEnds[std::size_t(parts++)] = next < 0 ? text.size() : next;
        if (next < 0)
            break;
        start = next + 1;
    }
    const qsizetype kept = partEnds[std::size_t(parts - 1)];
    Block *block = Block::create(std::uint32_t(kept - (parts - 1)));
    row.m_block = block;
    block->present = 0;
    char16_t *out = block->text();
    qsizetype from = 0;
    for (int field = 0; field < ColumnCount; ++field) {
        if (field < parts) {
            block->present |= bit(columnAt(field));
            const qsizetype size = partEnds[std::size_t(field)] - from;
            std::memcpy(out, text.utf16() + from, std::size_t(size) * sizeof(char16_t));
            out += size;
            from = partEnds[std::size_t(field)] + 1;
        }
        if (field < ColumnCount - 1)
            block->ends[std::size_t(field)] = std::uint32_t(out - block->text());
    }
    return row;
}

QStringView ItemRow::fieldView(Column column) const
{
    if (m_block == nullptr)
        return {};
    const int field = position(column);
    const std::uint32_t from = m_block->begin(field);
    return {m_block->text() + from, qsizetype(m_block->end(field) - from)};
}

QString ItemRow::field(Column column) const
{
    if (!isPresent(column))
        return {};
    const QStringView view = fieldView(column);
    return view.isEmpty() ? QStringLiteral("") : view.toString();
}

bool ItemRow::fits(Column column, QStringView value) const
{
    const qsizetype length = m_block != nullptr ? qsizetype(m_block->length) : 0;
    return value.size() <= maxLength - (length - fieldView(column).size());
}

bool ItemRow::setField(Column column, const QString &value)
{
    if (!fits(column, value))
        return false;
    std::array<QStringView, ColumnCount> fields;
    std::uint8_t present = 0;
    qsizetype length = 0;
    for (const Column each : AllColumns) {
        const bool given = each == column ? !value.isNull() : isPresent(each);
        if (given)
            present |= bit(each);
        QStringView &f = fields[std::size_t(position(each))];
        f = each == column ? QStringView(value) : fieldView(each);
        length += f.size();
    }
    if (present == 0) {
        // No field left: the row is an empty line again.
        Block::destroy(std::exchange(m_block, nullptr));
        return true;
    }
    // The fields are views into the old block, which goes only once they are copied.
    Block *block = Block::create(std::uint32_t(length));
    block->present = present;
    char16_t *out = block->text();
    for (int field = 0; field < ColumnCount; ++field) {
        const QStringView f = fields[std::size_t(field)];
        if (!f.isEmpty())
            std::memcpy(out, f.utf16(), std::size_t(f.size()) * sizeof(char16_t));
        out += f.size();
        if (field < ColumnCount - 1)
            block->ends[std::size_t(field)] = std::uint32_t(out - block->text());
    }
    Block::destroy(std::exchange(m_block, block));
    return true;
}

bool ItemRow::isBlank() const
{
    return m_block == nullptr || m_block->length == 0;
}
