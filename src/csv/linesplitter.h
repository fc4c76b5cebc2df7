#pragma once

#include "itemrow.h"
#include "linelayout.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <optional>

// A file's bytes cut into lines, each line in its character set.
namespace ItemCsv {

// The character sets Open tells apart. A file that starts with a byte-order mark is read in its
// character set. In any other file each line that is valid UTF-8 and holds a character beyond
// ASCII is read as UTF-8, and every other line as Windows-1252, the file's own code page.
enum class Encoding { Windows1252, Utf8, Utf16LittleEndian, Utf16BigEndian };

// How many lines of a file without a byte-order mark that hold characters beyond ASCII were read
// each way.
struct LineEncodings
{
    qint64 utf8 = 0;
    qint64 windows1252 = 0;
};

// Takes a file's lines one by one, without their line ends, with the scan of each.
class LineReceiver
{
public:
    virtual ~LineReceiver() = default;
    // False stops the reading.
    virtual bool addLine(QByteArrayView windows1252, const LineLayout &layout) = 0;
    virtual bool addLine(QStringView utf16, const LineLayout &layout) = 0;
    // The next line is longer than a row can hold: the reading stops.
    virtual void nextLineTooLong() = 0;
};

// Cuts text into lines, whatever the pieces it comes in, and hands each line on in its character
// set: the bytes of a file without a byte-order mark line by line as Windows-1252 or UTF-8,
// those of a file marked as UTF-8 as UTF-8, and UTF-16 already decoded. Lines end with CR LF,
// LF or CR.
class LineSplitter
{
public:
    // `progress` is told now and then in a long line's work; it returns false to stop.
    LineSplitter(LineReceiver &receiver, const Progress &progress, bool utf8ByMark);

    // Stops at a line too long for a row, or when told to stop.
    void take(QByteArrayView bytes);
    void take(QStringView utf16);
    // Text after the last line end is a line of its own.
    void finish();

    // The lines read in each character set.
    const LineEncodings &encodings() const { return m_encodings; }

private:
    template<typename View> void takeText(View text);
    template<typename View> auto &partialOf();
    template<typename Text, typename View> bool grow(Text &partial, View more);
    bool line(QStringView text);
    bool line(QByteArrayView bytes);
    bool utf8Line(QByteArrayView bytes);

    // Stateless, for pieces that never cut a character; a U+FEFF at a line's start is text.
    static constexpr QStringConverter::Flags Flags
        = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

    LineReceiver &m_receiver;
    const Progress &m_progress;
    const bool m_utf8ByMark;
    QStringDecoder m_utf8 {QStringConverter::Utf8, Flags};
    // The unfinished line: bytes, or UTF-16 for a file marked as UTF-16.
    QByteArray m_partialBytes;
    QString m_partialText;
    LineLayout m_layout;
    LineEncodings m_encodings;
    bool m_skipLineFeed = false; // the text before ended with the CR of a CR LF
    bool m_failed = false;
};

// The byte-order mark at a file's start, which settles its character set, and the decoding of
// UTF-16 chunk by chunk.
class ByteOrder
{
public:
    // How many bytes of `head` (the file's first bytes) are a byte-order mark.
    qsizetype take(QByteArrayView head);

    std::optional<Encoding> encoding() const { return m_encoding; }
    bool isUtf16() const { return m_encoding && *m_encoding != Encoding::Utf8; }

    // Decodes UTF-16, the bytes held back from the chunk before standing in front of `bytes`; an
    // odd last byte waits for the next chunk, and at the end is a character that cannot be read.
    QString decode(QByteArrayView bytes, bool atEnd);
    // Bytes at the end of the last chunk that wait for the next one.
    qsizetype heldBack() const { return m_heldBack; }

private:
    // Stateless: an odd byte at a chunk's end is held back by hand. The byte-order mark is taken
    // off by hand too, so that a U+FEFF that starts a later chunk stays in its value.
    static constexpr QStringConverter::Flags Flags
        = QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom;

    std::optional<Encoding> m_encoding;
    qsizetype m_heldBack = 0;
    QStringDecoder m_decoder;
};

} // namespace ItemCsv
