#include "linesplitter.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <utility>

namespace ItemCsv {
namespace {

// Long work on one line asks to go on at least this often, so that Cancel works throughout.
constexpr qsizetype CharactersPerReport = qsizetype(1) << 20;

// The length of a UTF-8 character begun but not finished at the end of `bytes`.
qsizetype unfinishedUtf8Tail(QByteArrayView bytes)
{
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, bytes.size()); ++back) {
        const auto byte = uchar(bytes[bytes.size() - back]);
        if (byte < 0x80)
            return 0;
        if ((byte & 0xC0) == 0x80)
            continue;
        const qsizetype length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : 2;
        return length > back ? back : 0;
    }
    return 0;
}

// Hands `function` a line of UTF-8 a MiB at a time, never cutting a character, with `progress`
// told between the pieces: a line can be a gigabyte long. False when told to stop.
template<typename Function>
bool forEachPiece(QByteArrayView line, const Progress &progress, Function &&function)
{
    qsizetype from = 0;
    while (from < line.size()) {
        if (from > 0 && !progress(from, line.size()))
            return false;
        QByteArrayView piece = line.sliced(from, std::min(line.size() - from, CharactersPerReport));
        if (from + piece.size() < line.size())
            piece.chop(unfinishedUtf8Tail(piece));
        // A piece of nothing but an unfinished character is taken whole.
        if (piece.isEmpty())
            piece = line.sliced(from, std::min<qsizetype>(line.size() - from, 4));
        function(piece);
        from += piece.size();
    }
    return true;
}

const char *characters(QByteArrayView text)
{
    return text.data();
}
const char16_t *characters(QStringView text)
{
    return text.utf16();
}

struct ByteOrderMark
{
    const char *bytes;
    Encoding encoding;
};
constexpr ByteOrderMark byteOrderMarks[] = {{"\xEF\xBB\xBF", Encoding::Utf8},
    {"\xFF\xFE", Encoding::Utf16LittleEndian}, {"\xFE\xFF", Encoding::Utf16BigEndian}};

} // namespace

LineSplitter::LineSplitter(LineReceiver &receiver, const Progress &progress, bool utf8ByMark)
    : m_receiver(receiver)
    , m_progress(progress)
    , m_utf8ByMark(utf8ByMark)
{
}

template<typename View> void LineSplitter::takeText(View text)
{
    if (text.isEmpty() || m_failed)
        return;
    auto &partial = partialOf<View>();
    qsizetype start = 0;
    if (std::exchange(m_skipLineFeed, false) && text.front() == u'\n')
        start = 1;
    while (start < text.size()) {
        const qsizetype end
            = scanLine(characters(text), start, text.size(), partial.size(), m_layout);
        if (end == text.size()) {
            grow(partial, text.sliced(start));
            return;
        }
        const bool taken = partial.isEmpty()
            ? line(text.sliced(start, end - start))
            : grow(partial, text.sliced(start, end - start)) && line(View(partial));
        if (!taken)
            return;
        partial.clear();
        m_layout = {};
        start = end + 1;
        if (text[end] == u'\r') {
            if (start == text.size())
                m_skipLineFeed = true;
            else if (text[start] == u'\n')
                ++start;
        }
    }
}

void LineSplitter::take(QByteArrayView bytes)
{
    takeText(bytes);
}

void LineSplitter::take(QStringView utf16)
{
    takeText(utf16);
}

void LineSplitter::finish()
{
    if (!m_failed && !m_partialBytes.isEmpty())
        line(QByteArrayView(m_partialBytes));
    else if (!m_failed && !m_partialText.isEmpty())
        line(QStringView(m_partialText));
}

template<typename View> auto &LineSplitter::partialOf()
{
    if constexpr (std::is_same_v<View, QByteArrayView>)
        return m_partialBytes;
    else
        return m_partialText;
}

// A line that never ends would otherwise grow until memory runs out, or past what a row can
// hold.
template<typename Text, typename View> bool LineSplitter::grow(Text &partial, View more)
{
    if (partial.size() + more.size() > ItemRow::maxLength) {
        m_receiver.nextLineTooLong();
        m_failed = true;
        return false;
    }
    partial += more;
    return true;
}

bool LineSplitter::line(QStringView text)
{
    m_failed = !m_receiver.addLine(text, m_layout);
    return !m_failed;
}

bool LineSplitter::line(QByteArrayView bytes)
{
    if (!m_layout.beyondAscii) {
        m_failed = !m_receiver.addLine(bytes, m_layout);
        return !m_failed;
    }
    bool utf8 = m_utf8ByMark;
    if (!utf8) {
        utf8 = true;
        m_failed = !forEachPiece(bytes, m_progress,
            [&utf8](QByteArrayView piece) { utf8 = utf8 && piece.isValidUtf8(); });
        if (m_failed)
            return false;
        ++(utf8 ? m_encodings.utf8 : m_encodings.windows1252);
    }
    m_failed = utf8 ? !utf8Line(bytes) : !m_receiver.addLine(bytes, m_layout);
    return !m_failed;
}

// Decodes a line of UTF-8; a byte that is not UTF-8 in a file marked as UTF-8 becomes the
// replacement character.
bool LineSplitter::utf8Line(QByteArrayView bytes)
{
    QString text;
    LineLayout layout;
    const bool decoded = forEachPiece(bytes, m_progress, [&](QByteArrayView piece) {
        const qsizetype start = text.size();
        text += m_utf8.decode(piece);
        scanLine(text.utf16(), start, text.size(), start, layout);
    });
    return decoded && m_receiver.addLine(QStringView(text), layout);
}

qsizetype ByteOrder::take(QByteArrayView head)
{
    for (const ByteOrderMark &mark : byteOrderMarks) {
        if (!head.startsWith(mark.bytes))
            continue;
        m_encoding = mark.encoding;
        if (isUtf16()) {
            m_decoder = QStringDecoder(mark.encoding == Encoding::Utf16BigEndian
                    ? QStringConverter::Utf16BE
                    : QStringConverter::Utf16LE,
                Flags);
        }
        return qsizetype(std::strlen(mark.bytes));
    }
    return 0;
}

QString ByteOrder::decode(QByteArrayView bytes, bool atEnd)
{
    m_heldBack = atEnd ? 0 : bytes.size() % 2;
    const QByteArrayView whole = bytes.first(bytes.size() - m_heldBack);
    if (whole.size() % 2 != 0)
        return m_decoder.decode(whole.chopped(1)) + QChar(QChar::ReplacementCharacter);
    return m_decoder.decode(whole);
}

} // namespace ItemCsv
