#pragma once

#include <QByteArray>
#include <QString>

class ItemRow;

namespace ItemCsv {

// The text of a file that Open read, line after line, each line ended by LF whatever ended it
// in the file, so that it can be read again in any dialect without reading the file again. As a
// row does, it keeps Windows-1252 bytes, one a character, while every character has one, and
// UTF-16 from the first one that has none.
class FileText
{
public:
    // Appends a line, without its line end.
    void appendLine(QByteArrayView windows1252);
    void appendLine(QStringView utf16);
    // Appends the line that an item row was read from: its present fields joined by commas.
    void appendLine(const ItemRow &row);

    qint64 lineCount() const { return m_lines; }
    // Sets room aside for this many characters of Windows-1252, so that a large text is not
    // copied over and over while it grows.
    void reserve(qsizetype characters) { m_bytes.reserve(characters); }

    // Hands `function` the whole text as a QByteArrayView of Windows-1252 bytes or a
    // QStringView.
    template<typename Function> decltype(auto) visit(Function &&function) const
    {
        return m_wide ? function(QStringView(m_utf16)) : function(QByteArrayView(m_bytes));
    }

private:
    void becomeWide();

    QByteArray m_bytes;
    QString m_utf16;
    bool m_wide = false;
    qint64 m_lines = 0;
};

} // namespace ItemCsv
