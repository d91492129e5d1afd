#pragma once
// The parser: reads nodes from UTF-8 text. String loads parse their text as it
// stands; file and stream loads read theirs through the codec stream a block at
// a time (in place when the input is a memory stream read as UTF-8), so only a
// window of the input is held besides the tree. Internal to the XML library:
// callers use the document's load operations and the node's ReadFromStream and
// ReadFromString.

#include "xml/XmlCodecStream.h"
#include "xml/XmlPages.h"
#include "xml/XmlTypes.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

class TUtf8XmlDocument;
class TUtf8XmlNode;

class TXmlParser {
public:
    // Deeper nesting is refused with EFilerError, so that crafted input cannot
    // exhaust the stack: a level takes up to about 2 KB of stack in a sanitizer
    // build, and reading, writing and freeing a tree all recurse over its depth.
    static constexpr int kMaxDepth = 2000;

    // Over UTF-8 text as it stands; text must outlive the parser. The nodes come
    // from pages (a document's), or from pages of the parser's own.
    explicit TXmlParser(std::string_view text, TXmlPages* pages = nullptr);
    // Over the text of an input, decoded by the codec as it is needed.
    explicit TXmlParser(TxmUtf8Stream& codec, TXmlPages* pages = nullptr);

    TXmlParser(const TXmlParser&) = delete;
    TXmlParser& operator=(const TXmlParser&) = delete;

    // Reads one node with all its children from the current position. inProlog:
    // the node stands at the root level before the root element, the one place
    // where an XML declaration may stand.
    void ReadNode(TUtf8XmlNode& node, bool inProlog = false);

    // Nothing is left to read.
    bool AtEnd();
    // Progress positions in the input's own bytes (estimated where the text is
    // decoded from another encoding).
    int64_t InputPosition() const;
    int64_t InputSize() const;

    // The encoding in use (UTF-8 for text).
    TStringEncodingType Encoding() const { return FCodec ? FCodec->Encoding() : seUTF8; }
    // A declaration may still say the input is UTF-8.
    bool CanSwitchToUtf8() const { return FCodec && FCodec->CanSwitchToUtf8(); }
    // The input from the current position on is UTF-8.
    void SwitchToUtf8();
    // An input whose encoding is still open is code page 1252.
    void SettleAnsi();
    // Hands the text not yet parsed back to the codec's input.
    void ReturnUnreadInput();

private:
    // Text positions count from the start of the text: FText holds those from
    // FBase to End(), and text before a position still needed is kept.
    size_t End() const { return FBase + FText.size(); }
    char At(size_t pos) const { return FText[pos - FBase]; }
    std::string_view Slice(size_t from, size_t to) const {
        return FText.substr(from - FBase, to - from);
    }
    // More text after End(); text before keep may go. False at the end of input.
    bool Refill(size_t keep);
    // count bytes from pos on are there, or the input ends first.
    bool Have(size_t pos, size_t count, size_t keep);
    bool SkipBlanks(size_t keep);
    size_t Find(char c, size_t from, size_t keep);
    size_t FindClosing(size_t from, std::string_view closing, bool honourQuotes, size_t keep);
    int64_t InputPositionOf(size_t pos) const;

    void ReadInto(TUtf8XmlNode& node);
    TXmlElementType ReadOpening(size_t lessThan);
    bool IsDeclaration(size_t lessThan, size_t targetEnd);
    bool ReadSimpleTag(TUtf8XmlNode& node, bool& isShort);
    void ReadElementBody(TUtf8XmlNode& node, TUtf8XmlDocument* document);
    void ReadDoctype(TUtf8XmlNode& node);
    void ReadChild(TUtf8XmlNode& parent, TUtf8XmlNode& child);
    void SplitNameAndValue(TUtf8XmlNode& node, std::string_view text, bool doctype);

    TXmlPages FOwnPages;
    TXmlPages* FPages;
    TxmUtf8Stream* FCodec = nullptr;
    std::string FWindow;      // decoded text, when it is not lent in place
    std::string_view FText;
    size_t FBase = 0;
    size_t FPos = 0;
    int64_t FInputBase = 0;   // input position of the text at FBase
    bool FLending = false;    // FText is the input's own memory
    bool FInProlog = false;   // the node ReadNode reads may be a declaration
    int FDepth = 0;
};

} // namespace orvex
