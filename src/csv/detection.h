#pragma once

#include "dialect.h"
#include "linelayout.h"

#include <QByteArrayView>
#include <QStringView>

#include <array>
#include <limits>

namespace ItemCsv {

// Judges, line by line while Open reads a file, whether the file is written as an item file,
// which Open reads as it always has, or as a spreadsheet exports, which the user sees in a
// preview first. A file is an item file unless one of these holds:
//  a. a line has more than six parts at commas;
//  b. read with quoted values, some quoted value holds a comma, a "" or a line break;
//  c. the first line names the columns: two of its values are column headings;
//  d. semicolon or Tab, counted outside quoted values, appears the same number of times (at
//     least once) on every non-empty line, and splits the lines into more values than comma;
//  e. quoted values appear on at least two lines, and at least half of all non-empty values
//     are quoted values (a spreadsheet that quotes all text).
// Quoted values are judged at each separator, since a quote opens a value only at the start of
// a line or right after the separator; a quote that never closes opens no quoted value.
class DialectDetector
{
public:
    DialectDetector();

    // The next line of the file, without its line end. Its characters are looked at again only
    // where its layout cannot tell: a quote in it, or a quoted value open since an earlier line.
    void addLine(QByteArrayView line, const LineLayout &layout);
    void addLine(QStringView line, const LineLayout &layout);
    // After the last line.
    void finish();

    // Whether a, b or c holds: no line that follows can make the file an item file.
    bool isSurelyNotItemFile() const { return m_tooManyCommas || m_headingLine || m_quotedSpecial; }
    // Whether the lines so far are not an item file; after finish(), whether the file is not.
    // Asked after every line.
    bool isNotItemFile() const
    {
        return isSurelyNotItemFile() || splitsEveryLine(1) || splitsEveryLine(2) || quotesAllText();
    }
    // The separator the file seems written with, and whether its first line names the columns.
    char separator() const;
    bool hasHeadingLine() const { return m_headingLine; }

private:
    // The file read at one separator with quoted values.
    struct Tally
    {
        enum class At : std::uint8_t { ValueStart, Plain, Quoted, QuoteInQuoted };

        char16_t separator = u',';
        At at = At::ValueStart;
        // The record being read: a line, or lines joined by line breaks in a quoted value.
        bool recordHasText = false;
        qsizetype recordSeparators = 0;
        qint64 recordValues = 0;
        qint64 recordNonEmpty = 0;
        qint64 recordQuoted = 0; // non-empty quoted values
        bool recordHasQuotedValue = false;
        // The quoted value being read.
        bool valueHasText = false;
        bool valueSpecial = false; // it holds a comma, a "" or a line break
        // Every record so far.
        qint64 values = 0;
        qint64 nonEmpty = 0;
        qint64 quoted = 0;
        qint64 linesWithQuoted = 0;
        qsizetype perLine = -1; // separators on the first non-empty record
        bool samePerLine = true;
        bool quotedHoldsSpecial = false;
        // The lines of the record being read as plain lines, quotes as text, which is what they
        // are if a quote opened in them never closes.
        qint64 plainValues = 0;
        qint64 plainNonEmpty = 0;
        qsizetype plainFewest = std::numeric_limits<qsizetype>::max();
        qsizetype plainMost = -1;

        template<typename View>
        void addLine(View line, const LineLayout &layout, std::size_t index);
        // The next character of a line that its layout cannot tell about.
        void take(char16_t character);
        // A line without quotes outside any record: its layout says everything. The state of a
        // record is clear outside one.
        void addPlainLine(const LineLayout &layout, std::size_t index)
        {
            values += layout.values(index);
            nonEmpty += layout.nonEmptyValues(index);
            countSeparators(layout.separators[index]);
        }
        void finish();
        void endValue(bool quotedValue, bool hasText);
        void endRecord();
        void countSeparators(qsizetype separators)
        {
            samePerLine = samePerLine && (perLine < 0 || perLine == separators);
            perLine = separators;
        }
        bool quotesAllText() const { return linesWithQuoted >= 2 && 2 * quoted >= nonEmpty; }
    };

    template<typename View> void add(View line, const LineLayout &layout);
    // Rule e.
    bool quotesAllText() const;
    // Rule d for the separator at `index` of Separators.
    bool splitsEveryLine(std::size_t index) const
    {
        const Tally &tally = m_tallies[index];
        return tally.samePerLine && tally.perLine >= 1 && tally.values > m_tallies[0].values;
    }

    std::array<Tally, Separators.size()> m_tallies {};
    bool m_firstLine = true;
    bool m_tooManyCommas = false;
    bool m_headingLine = false;
    bool m_quotedSpecial = false;
    // Whether a record of some separator goes on from the last line, inside a quoted value.
    bool m_insideRecord = false;
    bool m_finished = false;
};

} // namespace ItemCsv
