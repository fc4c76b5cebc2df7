#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Windows-1252, the code page of the handheld's file, as a table of its 256 characters.
//
// It lives with the rows, not with the file format, because a row whose characters all have a
// byte in it keeps its text as those bytes (one a character): whoever reads a row reads this
// table, the grid as much as the writer. The table is taken from Qt's converter once, so that a
// row's bytes mean what the converter reads in a file.
namespace CodePage {

struct Table
{
    // The character each byte stands for.
    std::array<char16_t, 256> characters;
    // The byte of each UTF-16 code unit, 0 for those without one (and for U+0000, whose byte
    // is 0 too).
    std::array<std::uint8_t, 65536> bytes;

    // The byte for `character`, or -1 when the code page has none.
    int byteFor(char16_t character) const
    {
        const std::uint8_t byte = bytes[character];
        return byte != 0 || character == 0 ? int(byte) : -1;
    }
    char16_t characterOf(char byte) const { return characters[std::uint8_t(byte)]; }
};

const Table &windows1252();

// Whether the characters are all ASCII, as nearly every value is: one pass that the compiler
// makes many characters at a time, where a lookup in the table takes one at a time.
bool isAscii(const char16_t *characters, std::size_t count);
// The bytes of characters that all have one in Windows-1252.
void toBytes(const char16_t *characters, std::size_t count, char *bytes);

} // namespace CodePage
