#include "detection.h"

#include "itemrow.h"

#include <algorithm>
#include <utility>

namespace ItemCsv {
namespace {

char16_t unit(char byte)
{
    return char16_t(uchar(byte));
}
char16_t unit(QChar character)
{
    return character.unicode();
}

} // namespace

DialectDetector::DialectDetector()
{
    for (std::size_t index = 0; index < Separators.size(); ++index)
        m_tallies[index].separator = char16_t(Separators[index]);
}

void DialectDetector::addLine(QByteArrayView line, const LineLayout &layout)
{
    add(line, layout);
}

void DialectDetector::addLine(QStringView line, const LineLayout &layout)
{
    add(line, layout);
}

template<typename View> void DialectDetector::add(View line, const LineLayout &layout)
{
    // A line too long to name the columns is not made into a string whole.
    if (std::exchange(m_firstLine, false))
        m_headingLine = headingCount(FieldText(line).toString(LongestHeadingLine + 1)) >= 2;
    m_tooManyCommas = m_tooManyCommas || layout.separators[0] >= ColumnCount;
    // Nearly every line of an item file, looked at by its layout alone.
    if (!layout.quote && !m_insideRecord) {
        if (layout.length > 0) {
            for (std::size_t index = 0; index < Separators.size(); ++index)
                m_tallies[index].addPlainLine(layout, index);
        }
        return;
    }
    m_insideRecord = false;
    for (std::size_t index = 0; index < Separators.size(); ++index) {
        Tally &tally = m_tallies[index];
        if (layout.quote || tally.at != Tally::At::ValueStart)
            tally.addLine(line, layout, index);
        else if (layout.length > 0)
            tally.addPlainLine(layout, index);
        m_quotedSpecial = m_quotedSpecial || tally.quotedHoldsSpecial;
        m_insideRecord = m_insideRecord || tally.at != Tally::At::ValueStart;
    }
}

void DialectDetector::finish()
{
    for (Tally &tally : m_tallies)
        tally.finish();
    m_finished = true;
}

char DialectDetector::separator() const
{
    const bool semicolon = splitsEveryLine(1);
    const bool tab = splitsEveryLine(2);
    if (semicolon && tab)
        return m_tallies[1].values >= m_tallies[2].values ? ';' : '\t';
    return semicolon ? ';' : tab ? '\t' : ',';
}

bool DialectDetector::quotesAllText() const
{
    // While the file is read any separator may still turn out to be the file's.
    if (!m_finished) {
        return m_tallies[0].quotesAllText() || m_tallies[1].quotesAllText()
            || m_tallies[2].quotesAllText();
    }
    const char chosen = separator();
    const auto index
        = std::size_t(std::find(Separators.begin(), Separators.end(), chosen) - Separators.begin());
    return m_tallies[index].quotesAllText();
}

template<typename View>
void DialectDetector::Tally::addLine(View line, const LineLayout &layout, std::size_t index)
{
    recordHasText = recordHasText || !line.isEmpty();
    if (layout.length > 0) {
        plainValues += layout.values(index);
        plainNonEmpty += layout.nonEmptyValues(index);
        plainFewest = std::min(plainFewest, layout.separators[index]);
        plainMost = std::max(plainMost, layout.separators[index]);
    }
    for (qsizetype i = 0; i < line.size(); ++i)
        take(unit(line[i]));
    switch (at) {
    case At::Quoted:
        // The line break is part of the value, and the record goes on.
        valueHasText = true;
        valueSpecial = true;
        return;
    case At::QuoteInQuoted:
        endValue(true, valueHasText);
        break;
    case At::Plain:
        endValue(false, true);
        break;
    case At::ValueStart:
        if (recordHasText)
            endValue(false, false);
        break;
    }
    at = At::ValueStart;
    endRecord();
}

void DialectDetector::Tally::take(char16_t character)
{
    switch (at) {
    case At::ValueStart:
        if (character == u'"') {
            at = At::Quoted;
            valueHasText = false;
            valueSpecial = false;
        } else if (character == separator) {
            endValue(false, false);
            ++recordSeparators;
        } else {
            at = At::Plain;
        }
        break;
    case At::Plain:
        if (character == separator) {
            endValue(false, true);
            ++recordSeparators;
            at = At::ValueStart;
        }
        break;
    case At::QuoteInQuoted:
        if (character == u'"') {
            valueHasText = true;
            valueSpecial = true;
            at = At::Quoted;
        } else if (character == separator) {
            endValue(true, valueHasText);
            ++recordSeparators;
            at = At::ValueStart;
        } else {
            // A quote that neither doubles nor closes the value makes it plain text.
            at = At::Plain;
        }
        break;
    case At::Quoted:
        if (character == u'"') {
            at = At::QuoteInQuoted;
        } else {
            valueHasText = true;
            valueSpecial = valueSpecial || character == u',';
        }
        break;
    }
}

void DialectDetector::Tally::finish()
{
    // A quote that is never closed opened no quoted value: its lines are plain lines.
    if (at == At::Quoted) {
        values += plainValues;
        nonEmpty += plainNonEmpty;
        if (plainMost >= 0) {
            countSeparators(plainFewest);
            countSeparators(plainMost);
        }
        recordHasText = false;
        endRecord();
    }
    at = At::ValueStart;
}

void DialectDetector::Tally::endValue(bool quotedValue, bool hasText)
{
    ++recordValues;
    recordNonEmpty += hasText ? 1 : 0;
    if (!quotedValue)
        return;
    recordHasQuotedValue = true;
    recordQuoted += hasText ? 1 : 0;
    quotedHoldsSpecial = quotedHoldsSpecial || valueSpecial;
}

void DialectDetector::Tally::endRecord()
{
    if (recordHasText) {
        values += recordValues;
        nonEmpty += recordNonEmpty;
        quoted += recordQuoted;
        linesWithQuoted += recordHasQuotedValue ? 1 : 0;
        countSeparators(recordSeparators);
    }
    recordHasText = false;
    recordSeparators = 0;
    recordValues = 0;
    recordNonEmpty = 0;
    recordQuoted = 0;
    recordHasQuotedValue = false;
    plainValues = 0;
    plainNonEmpty = 0;
    plainFewest = std::numeric_limits<qsizetype>::max();
    plainMost = -1;
}

} // namespace ItemCsv
