#pragma once
// The scanning routines the parser recognises tags with. They work on
// contiguous UTF-8 bytes, allocate nothing per character and are linear in the
// length of what they scan.

#include "xml/XmlStringList.h"
#include "xml/XmlTypes.h"

#include <array>
#include <cstddef>
#include <string_view>

namespace orvex {

struct TXmlTagRow {
    std::string_view Opening;
    std::string_view Closing;
    TXmlElementType ElementType;
};

// Rows in matching order; row 11 ("<" ... ">") is the plain element.
inline constexpr std::array<TXmlTagRow, 12> XmlTagTable = {{
    {"<![CDATA[", "]]>", xeCData},
    {"<!DOCTYPE", ">", xeDoctype},
    {"<!ELEMENT", ">", xeElement},
    {"<!ATTLIST", ">", xeAttList},
    {"<!ENTITY", ">", xeEntity},
    {"<!NOTATION", ">", xeNotation},
    {"<?xml-stylesheet", "?>", xeStylesheet},
    {"<?xml", "?>", xeDeclaration},
    {"<!--", "-->", xeComment},
    {"<!", ">", xeExclam},
    {"<?", "?>", xeQuestion},
    {"<", ">", xeNormal},
}};

// The row of XmlTagTable for a tag: tag starts at its "<". The longest opening
// that the text begins with wins, byte by byte and case-sensitively, so "<!-x"
// gives row 9 and "<!doctype" row 9 as well. The bytes after the row's opening
// are the tag's own.
int MatchTagType(std::string_view tag);

// Offset in text (searching from `from`) at which closing begins, or npos when the
// text ends first or closing is empty. With honourQuotes a double or single quote
// opens a run that only the same byte closes, and closing is not looked for in it.
size_t FindClosingText(std::string_view text, size_t from, std::string_view closing,
                       bool honourQuotes);

// The same search, able to go on when the text grows: Continue searches
// text[at, end) for closing at or after from (text[from, at) was searched
// already) and leaves at at the end; it keeps whether a quote is open.
class TClosingTextSearch {
public:
    TClosingTextSearch(std::string_view closing, bool honourQuotes)
        : FClosing(closing), FHonourQuotes(honourQuotes) {}
    size_t Continue(std::string_view text, size_t from, size_t& at);

private:
    std::string_view FClosing;
    bool FHonourQuotes;
    char FQuote = 0;
};

// Narrows [start, close) of 1-based character positions past blanks at both ends;
// start becomes at least 1, close at most the byte length + 1. True when a
// non-empty range remains.
bool Utf8TrimPos(std::string_view text, int& start, int& close);

// The next word of a tag's text from pos on (blanks skipped): the bytes up to a
// blank outside quotes. pos ends after it; empty at the end of the text.
std::string_view NextTagWord(std::string_view text, size_t& pos);

// The first word of a tag's text, taken as it stands (it never joins what
// follows); rest becomes the text after it. Empty when the text is all blanks.
std::string_view SplitTagName(std::string_view text, std::string_view& rest);

// Splits a tag's text into its words and joins the words of one attribute
// written with blanks around its "=": name = "v", name= "v" and name ="v" each
// give the item name="v" (the quote may be either). No other words join, so
// the items written back separated by blanks read back as the same items.
// list is cleared first, unless text is all blanks.
void Utf8ParseAttributes(std::string_view text, TxmUTF8StringList& list);

} // namespace orvex
