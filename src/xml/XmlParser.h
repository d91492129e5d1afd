#pragma once
// The parser: reads nodes from UTF-8 text in contiguous memory. File and stream
// loads decode their bytes to UTF-8 once (detecting the encoding first); string
// loads parse the text as it is. Internal to the XML library: callers use the
// document's load operations and the node's ReadFromStream/ReadFromString.

#include "xml/XmlCodecStream.h"
#include "xml/XmlStringList.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

class TUtf8XmlDocument;
class TUtf8XmlNode;
class TXmlParser;

// The stream a node reads itself from while a parser runs: the node's
// ReadFromStream recognises it and lets the parser fill the node directly.
class TXmlParseSource final : public TStream {
public:
    explicit TXmlParseSource(TXmlParser& parser) : FParser(parser) {}
    TXmlParser& Parser() const { return FParser; }
    // Bytes of UTF-8 text, as a string stream over it would give them.
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    TXmlParser& FParser;
};

class TXmlParser {
public:
    // The parts of a node that the parser sets without the checks of the
    // public setters (names are split off the text as written).
    struct TNodeAccess {
        std::string& Name;
        TxmUTF8StringList& Attributes;
        std::vector<std::unique_ptr<TUtf8XmlNode>>& Nodes;
    };

    // Deeper nesting is refused with EFilerError, so that crafted input cannot
    // exhaust the stack: a level takes up to about 2 KB of stack in a sanitizer
    // build, and reading, writing and freeing a tree all recurse over its depth.
    static constexpr int kMaxDepth = 2000;

    enum TInput { UTF8Text, EncodedBytes };

    // Over UTF-8 text as it stands; text must outlive the parser.
    explicit TXmlParser(std::string_view text);
    // EncodedBytes: the bytes of a file or stream. Detects the encoding
    // (EStreamError "Unsupported string encoding" for those that cannot be read)
    // and decodes.
    TXmlParser(TInput kind, std::string bytes);
    // The same over bytes that outlive the parser.
    TXmlParser(TInput kind, std::string_view bytes);

    // FText points into the parser's own strings.
    TXmlParser(const TXmlParser&) = delete;
    TXmlParser& operator=(const TXmlParser&) = delete;

    // Reads one node with all its children from the current position (through
    // the node's virtual ReadFromStream).
    void ReadNode(TUtf8XmlNode& node);
    // What ReadFromStream runs for a node on this parser's source.
    void ReadInto(TUtf8XmlNode& node, const TNodeAccess& access);

    bool AtEnd() const { return FPos >= FText.size(); }
    // Bytes of text consumed so far.
    size_t Position() const { return FPos; }
    // Progress positions in the input's own bytes (proportional for decoded input).
    int64_t InputPosition() const;
    int64_t InputSize() const { return static_cast<int64_t>(FBytes.empty() ? FText.size() : FBytes.size()); }

    // The encoding in use: the detected one, or UTF-8 after a switch.
    TStringEncodingType Encoding() const { return FEncoding; }
    // True while the input is read as code page 1252 for lack of any evidence
    // of its encoding: only then may the declaration switch it to UTF-8.
    bool CanSwitchToUtf8() const { return FSwitchable; }
    // The rest of the input is read as UTF-8.
    void SwitchToUtf8();
    // Called before each root-level node: input read as 1252 is converted here,
    // unless the node is a declaration that ends within the ASCII prefix.
    void PrepareRootNode();

private:
    friend class TXmlParseSource;
    bool SkipBlanks();
    bool ReadSimpleTag(const TNodeAccess& access, bool& isShort);
    void ReadElementBody(TUtf8XmlNode& node, const TNodeAccess& access, TUtf8XmlDocument* document);
    void ReadDoctype(TUtf8XmlNode& node, const TNodeAccess& access);
    void ReadChild(TUtf8XmlNode& parent, TUtf8XmlNode& child);
    void SplitNameAndValue(TUtf8XmlNode& node, const TNodeAccess& access, std::string_view text,
                           bool doctype);

    void StartOnBytes();

    std::string FOwnedBytes;
    std::string_view FBytes;     // the input's own bytes (file and stream loads)
    std::string FDecoded;        // the UTF-8 text when the input was converted
    std::string_view FText;      // what is parsed
    size_t FPos = 0;
    size_t FMarkLength = 0;
    size_t FAsciiPrefix = 0;     // leading bytes that read the same in 1252 and UTF-8
    bool FPassThrough = true;    // FText is FBytes (after the mark) unconverted
    bool FSwitchable = false;
    bool FAnsiPending = false;   // 1252 input not yet converted beyond the ASCII prefix
    int FDepth = 0;
    TStringEncodingType FEncoding = seUTF8;
    TXmlParseSource FSource{*this};
};

} // namespace orvex
