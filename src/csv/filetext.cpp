#include "filetext.h"

#include "codepage.h"
#include "itemrow.h"

#include <algorithm>
#include <utility>

namespace ItemCsv {

void FileText::appendLine(QByteArrayView windows1252)
{
    if (m_wide) {
        FieldText(windows1252).appendTo(m_utf16);
        m_utf16 += u'\n';
    } else {
        m_bytes += windows1252;
        m_bytes += '\n';
    }
    ++m_lines;
}

void FileText::appendLine(QStringView utf16)
{
    if (!m_wide) {
        // Lines read from UTF-8 are nearly always Western text, which the code page holds.
        const CodePage::Table &table = CodePage::windows1252();
        const bool fits = std::all_of(utf16.begin(), utf16.end(),
            [&table](QChar character) { return table.byteFor(character.unicode()) >= 0; });
        if (fits) {
            const qsizetype start = m_bytes.size();
            m_bytes.resize(start + utf16.size());
            char *out = m_bytes.data() + start;
            for (const QChar character : utf16)
                *out++ = char(table.bytes[character.unicode()]);
            m_bytes += '\n';
            ++m_lines;
            return;
        }
        becomeWide();
    }
    m_utf16 += utf16;
    m_utf16 += u'\n';
    ++m_lines;
}

void FileText::appendLine(const ItemRow &row)
{
    if (!row.isOneByte() && !m_wide)
        becomeWide();
    for (const Column column : AllColumns) {
        if (!row.isPresent(column))
            break;
        const FieldText field = row.text(column);
        if (m_wide) {
            if (column != Column::ItemName)
                m_utf16 += u',';
            field.appendTo(m_utf16);
        } else {
            if (column != Column::ItemName)
                m_bytes += ',';
            m_bytes += field.bytes();
        }
    }
    if (m_wide)
        m_utf16 += u'\n';
    else
        m_bytes += '\n';
    ++m_lines;
}

void FileText::becomeWide()
{
    FieldText(QByteArrayView(m_bytes)).appendTo(m_utf16);
    QByteArray().swap(m_bytes);
    m_wide = true;
}

} // namespace ItemCsv
