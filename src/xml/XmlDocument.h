#pragma once
// TUtf8XmlDocument: the XML document. It owns a hidden container node whose
// children are the root-level nodes (declaration, comments, DOCTYPE, the root
// element...), holds the settings that steer parsing and output, fires the
// document events, and loads and saves the tree by file, stream and string.
// Every text here is UTF-8; other encodings exist only on the stream and file
// paths, where the encoding is detected on loading and applied on saving.

#include "xml/XmlCodecStream.h"
#include "xml/XmlNode.h"
#include "xml/XmlTypes.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orvex {

class TXmlParser;

class TUtf8XmlDocument : public TXmlDocumentHooks {
public:
    using TXmlNodeEvent = std::function<void(TUtf8XmlDocument& sender, TUtf8XmlNode* node)>;
    using TXmlProgressEvent = std::function<void(TUtf8XmlDocument& sender, int64_t size)>;
    using TXmlNodeCompareEvent = std::function<int(TUtf8XmlDocument& sender, TUtf8XmlNode* node1,
                                                   TUtf8XmlNode* node2, void* info)>;
    using TNotifyEvent = std::function<void(TUtf8XmlDocument& sender)>;

    // Create: default settings, a declaration (version 1.0, encoding UTF-8) and an
    // unnamed empty root element.
    TUtf8XmlDocument();
    // CreateName: the root element gets the name (refused names raise).
    explicit TUtf8XmlDocument(std::string_view rootName);
    ~TUtf8XmlDocument() override;
    TUtf8XmlDocument(const TUtf8XmlDocument&) = delete;
    TUtf8XmlDocument& operator=(const TUtf8XmlDocument&) = delete;

    // Copies the output and parser settings (not the float settings, not the
    // events) and the whole tree.
    virtual void Assign(const TUtf8XmlDocument& source);
    // The container becomes a copy of node, children included.
    void Assign(const TUtf8XmlNode& node);
    // Assign when source is not null.
    void CopyFrom(const TUtf8XmlDocument* source);

    // Resets every setting of the defaults (not OnNodeCompare, OnProgress,
    // OnUnicodeLoss, ParserWarnings, AbortParsing).
    virtual void SetDefaults();
    // SetDefaults, then the tree of a new document.
    virtual void Clear();
    // No root element, or one without name, value, children and attributes.
    bool IsEmpty() const;

    // Loads from the stream's position, reading it through a codec stream (which
    // CodecStream gives meanwhile) a block at a time. The encoding is detected from
    // the first bytes (byte-order mark, UTF-16 form). An input without such
    // evidence is read as UTF-8 when a declaration without encoding or with
    // encoding UTF-8 says so, as code page 1252 when a declaration names another
    // encoding, and otherwise as UTF-8 when all of it is well-formed UTF-8, else
    // as 1252 (which a later declaration may still switch to UTF-8).
    // ExternalEncoding becomes the encoding used. Bytes that are no text in it
    // fire OnUnicodeLoss once. Parse errors are EFilerError; the tree then holds
    // what was read.
    virtual void LoadFromStream(TStream& stream);
    virtual void LoadFromFile(std::u16string_view fileName);
    // Parses UTF-8 text as it is: no detection, ExternalEncoding unchanged.
    virtual void ReadFromString(std::string_view value);
    virtual void ReadFromUTF8String(std::string_view value);
    // Parses a codec stream as LoadFromStream does; the rest of any other stream
    // as UTF-8 text, like ReadFromString.
    virtual void ParseStream(TStream& stream);

    // Saves in ExternalEncoding, with a byte-order mark for every encoding but
    // UTF-8. The declaration's encoding is written as "UTF-8" or "UTF-16" when the
    // output is in one of those and it names something else; the tree keeps it.
    virtual void SaveToStream(TStream& stream);
    // Writes a temporary file beside fileName and renames it over the file, so a
    // failed save leaves the old file as it was. EStreamError
    // "Cannot create file "%s". %s" on failure.
    virtual void SaveToFile(std::u16string_view fileName);
    // UTF-8 without byte-order mark, whatever ExternalEncoding says.
    virtual std::string WriteToString();
    // The UTF-8 text of the document into stream, as it is.
    virtual void WriteToStreamEx(TStream& stream);
    // Written after each root-level node: CR LF when readable, LF when compact.
    virtual std::string GetLineFeed() const;

    // Resolves the references to DOCTYPE entities below the root element.
    void ResolveEntityReferences();

    // The codec stream of the load or save in progress; nullptr otherwise.
    TxmCodecStream* CodecStream() const { return FCodecStream; }

    // --- Tree ---
    // The first root-level xeNormal node, or nullptr.
    TUtf8XmlNode* Root() const;
    TUtf8XmlNode* RootNodeList() override { return FRootNodes.get(); }
    const TUtf8XmlNode* RootNodeList() const { return FRootNodes.get(); }
    // Value of the first root-level comment; setting a non-empty text when there
    // is none inserts a comment at index 1.
    std::string CommentString() const;
    void SetCommentString(std::string_view value);
    // Attributes of the declaration (container child 0); setting inserts a
    // declaration at index 0 when there is none (for the version only when the
    // text is not empty).
    std::string EncodingString() const;
    void SetEncodingString(std::string_view value);
    std::string VersionString() const;
    void SetVersionString(std::string_view value);
    // The first root-level style sheet node; one is inserted at index 1 when there
    // is none.
    TUtf8XmlNode* StyleSheetNode();
    bool Utf8Encoded() const { return true; }

    // --- Settings ---
    bool AbortParsing() const final { return FAbortParsing; }
    void SetAbortParsing(bool value) { FAbortParsing = value; }
    TBinaryEncodingType BinaryEncoding() const override { return FBinaryEncoding; }
    void SetBinaryEncoding(TBinaryEncodingType value) override { FBinaryEncoding = value; }
    bool DropCommentsOnParse() const { return FDropCommentsOnParse; }
    void SetDropCommentsOnParse(bool value) { FDropCommentsOnParse = value; }
    TStringEncodingType ExternalEncoding() const { return FExternalEncoding; }
    void SetExternalEncoding(TStringEncodingType value) { FExternalEncoding = value; }
    bool FloatAllowScientific() const override { return FFloatAllowScientific; }
    void SetFloatAllowScientific(bool value) { FFloatAllowScientific = value; }
    int FloatSignificantDigits() const override { return FFloatSignificantDigits; }
    void SetFloatSignificantDigits(int value) { FFloatSignificantDigits = value; }
    std::string IndentString() const override { return FIndentString; }
    void SetIndentString(std::string_view value) { FIndentString = std::string(value); }
    bool ParserWarnings() const { return FParserWarnings; }
    void SetParserWarnings(bool value) { FParserWarnings = value; }
    bool UseFullNodes() const override { return FUseFullNodes; }
    void SetUseFullNodes(bool value) { FUseFullNodes = value; }
    bool UseLocalBias() const override { return FUseLocalBias; }
    void SetUseLocalBias(bool value) { FUseLocalBias = value; }
    bool WriteOnDefault() const override { return FWriteOnDefault; }
    void SetWriteOnDefault(bool value) { FWriteOnDefault = value; }
    TXmlFormatType XmlFormat() const override { return FXmlFormat; }
    void SetXmlFormat(TXmlFormatType value) { FXmlFormat = value; }

    // --- Events (SetDefaults clears OnNodeNew and OnNodeLoaded) ---
    TXmlNodeCompareEvent OnNodeCompare;
    TXmlNodeEvent OnNodeNew;
    TXmlNodeEvent OnNodeLoaded;
    // 0 at the start of a parse or write, positions on the way, the size at the end.
    TXmlProgressEvent OnProgress;
    TNotifyEvent OnUnicodeLoss;

    // --- What the nodes ask of their document ---
    TUtf8XmlDocument* Utf8Document() override { return this; }
    TXmlPages* NodePages() override { return &FPages; }
    bool CompareNodes(TUtf8XmlNode* node1, TUtf8XmlNode* node2, void* info,
                      int& result) override;
    // The trimmed, unquoted value of the first DOCTYPE entity of that exact name.
    std::string ResolveEntity(std::string_view name) override;
    std::vector<std::unique_ptr<TUtf8XmlNode>> ParseFragment(const TUtf8XmlNode& model,
                                                             std::string_view text) override;

    // Fired by the parser and the writer.
    void DoNodeNew(TUtf8XmlNode* node);
    void DoNodeLoaded(TUtf8XmlNode* node);
    void DoProgress(int64_t position);
    // Fired by the codec of a load; descendants may note the loss too.
    virtual void DoUnicodeLoss();
    // A load checks its text for lost characters only when someone listens:
    // OnUnicodeLoss, or a descendant that notes the loss itself.
    virtual bool ListensForUnicodeLoss() const { return static_cast<bool>(OnUnicodeLoss); }

protected:
    // For descendants whose nodes are of another class: the container comes from
    // makeContainer (called with this document), every other node from it.
    using TContainerFactory = std::function<std::unique_ptr<TUtf8XmlNode>(TXmlDocumentHooks*)>;
    explicit TUtf8XmlDocument(const TContainerFactory& makeContainer);

private:
    friend class TXmlParser;
    void Construct(const TContainerFactory& makeContainer);
    // The parse proper, shared by every load path.
    void Parse(TXmlParser& parser);
    // The UTF-8 text of the whole document into out, or through out to sink; a
    // non-empty declaredEncoding replaces the declaration's encoding when it
    // names another.
    void WriteDocument(std::string& out, TStream* sink, std::string_view declaredEncoding);
    TUtf8XmlNode* DeclarationNode() const;

    bool FAbortParsing = false;
    TBinaryEncodingType FBinaryEncoding = xbeBase64;
    TxmCodecStream* FCodecStream = nullptr;
    bool FDropCommentsOnParse = false;
    TStringEncodingType FExternalEncoding = seUTF8;
    bool FFloatAllowScientific = true;
    int FFloatSignificantDigits = 6;
    bool FParserWarnings = false;
    // What parses and NodeNew make lives here; declared before the tree, which
    // goes first.
    TXmlPages FPages;
    std::unique_ptr<TUtf8XmlNode> FRootNodes;
    std::string FIndentString = "  ";
    bool FUseFullNodes = false;
    bool FUseLocalBias = false;
    bool FWriteOnDefault = true;
    TXmlFormatType FXmlFormat = xfCompact;
};

} // namespace orvex
