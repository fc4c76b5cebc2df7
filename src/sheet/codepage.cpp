#include "codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <memory>

namespace CodePage {

const Table &windows1252()
{
    // 64 KiB, nearly all zero: on the heap, so that it is no static initialisation.
    static const std::unique_ptr<const Table> table = [] {
        auto made = std::make_unique<Table>();
        made->bytes.fill(0);
        QStringDecoder decoder("windows-1252", QStringConverter::Flag::Stateless);
        QStringEncoder encoder("windows-1252", QStringConverter::Flag::Stateless);
        for (int byte = 0; byte < 256; ++byte) {
            const char one = char(byte);
            const QString decoded = decoder.decode(QByteArrayView(&one, 1));
            Q_ASSERT(decoded.size() == 1);
            const char16_t character = decoded.at(0).unicode();
            made->characters[std::size_t(byte)] = character;
            // A character is the byte's only when the converter also writes it as that byte.
            const QByteArray encoded = encoder.encode(decoded);
            if (encoded.size() == 1 && encoded.at(0) == one)
                made->bytes[character] = std::uint8_t(byte);
        }
        return std::unique_ptr<const Table>(std::move(made));
    }();
    return *table;
}

bool isAscii(const char16_t *characters, std::size_t count)
{
    char16_t any = 0;
    for (std::size_t i = 0; i < count; ++i)
        any |= characters[i];
    return any < 0x80;
}

void toBytes(const char16_t *characters, std::size_t count, char *bytes)
{
    if (isAscii(characters, count)) {
        for (std::size_t i = 0; i < count; ++i)
            bytes[i] = char(characters[i]);
        return;
    }
    const Table &table = windows1252();
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = char(table.bytes[characters[i]]);
}

} // namespace CodePage
