#include "xml/XmlDocument.h"

#include "base/AtomicFile.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlBufferedStreams.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlParser.h"
#include "xml/XmlWriter.h"

namespace orvex {

namespace {

std::unique_ptr<TUtf8XmlNode> MakeUtf8Container(TXmlDocumentHooks* document) {
    return std::make_unique<TUtf8XmlNode>(document);
}

// The encoding name a declaration must give for output in an encoding; empty
// where any name goes.
std::string_view DeclaredName(TStringEncodingType encoding) {
    switch (encoding) {
    case seUTF8: return "UTF-8";
    case seUTF16LE:
    case seUTF16BE:
    case se16BitLE:
    case se16BitBE: return "UTF-16";
    default: return {};
    }
}

// The new contents of a file as a stream that only writes.
class TAtomicFileStream : public TStream {
public:
    explicit TAtomicFileStream(TAtomicFileWriter& file) : FFile(file) {}
    int64_t Read(void*, int64_t) override { throw EStreamError(std::string(sxCannotReadWhenWriting)); }
    int64_t Write(const void* buffer, int64_t count) override {
        FFile.Write(buffer, static_cast<size_t>(count));
        FWritten += count;
        return count;
    }
    int64_t Seek(int64_t, TSeekOrigin) override { return FWritten; }

private:
    TAtomicFileWriter& FFile;
    int64_t FWritten = 0;
};

// Sets the codec stream field for one load or save, also when it raises.
class TCodecInUse {
public:
    TCodecInUse(TxmCodecStream*& field, TxmCodecStream& codec) : FField(field) { FField = &codec; }
    ~TCodecInUse() { FField = nullptr; }
    TCodecInUse(const TCodecInUse&) = delete;
    TCodecInUse& operator=(const TCodecInUse&) = delete;

private:
    TxmCodecStream*& FField;
};

} // namespace

TUtf8XmlDocument::TUtf8XmlDocument() { Construct(MakeUtf8Container); }

TUtf8XmlDocument::TUtf8XmlDocument(std::string_view rootName) {
    Construct(MakeUtf8Container);
    Root()->SetName(rootName);
}

TUtf8XmlDocument::TUtf8XmlDocument(const TContainerFactory& makeContainer) {
    Construct(makeContainer);
}

TUtf8XmlDocument::~TUtf8XmlDocument() = default;

void TUtf8XmlDocument::Construct(const TContainerFactory& makeContainer) {
    FRootNodes = makeContainer(this);
    TUtf8XmlDocument::Clear();
}

void TUtf8XmlDocument::SetDefaults() {
    FExternalEncoding = seUTF8;
    FXmlFormat = xfCompact;
    FWriteOnDefault = true;
    FBinaryEncoding = xbeBase64;
    FIndentString = "  ";
    FDropCommentsOnParse = false;
    FUseFullNodes = false;
    FUseLocalBias = false;
    FFloatAllowScientific = true;
    FFloatSignificantDigits = 6;
    OnNodeNew = nullptr;
    OnNodeLoaded = nullptr;
}

void TUtf8XmlDocument::Clear() {
    SetDefaults();
    FRootNodes->Clear();
    std::unique_ptr<TUtf8XmlNode> declaration = FRootNodes->NewNodeOfClass(this);
    declaration->SetElementType(xeDeclaration);
    declaration->SetName("xml");
    declaration->AttributeAdd("version", "1.0");
    declaration->AttributeAdd("encoding", "UTF-8");
    FRootNodes->NodeAdd(std::move(declaration));
    FRootNodes->NodeNew("");
}

bool TUtf8XmlDocument::IsEmpty() const {
    const TUtf8XmlNode* root = Root();
    return !root || root->IsClear();
}

void TUtf8XmlDocument::Assign(const TUtf8XmlDocument& source) {
    if (&source == this)
        return;
    FBinaryEncoding = source.FBinaryEncoding;
    FDropCommentsOnParse = source.FDropCommentsOnParse;
    FExternalEncoding = source.FExternalEncoding;
    FParserWarnings = source.FParserWarnings;
    FIndentString = source.FIndentString;
    FUseFullNodes = source.FUseFullNodes;
    FUseLocalBias = source.FUseLocalBias;
    FWriteOnDefault = source.FWriteOnDefault;
    FXmlFormat = source.FXmlFormat;
    FRootNodes->Assign(*source.FRootNodes);
    FRootNodes->SetSubtreeDocument(this);
}

void TUtf8XmlDocument::Assign(const TUtf8XmlNode& node) {
    if (&node == FRootNodes.get())
        return;
    FRootNodes->Assign(node);
    FRootNodes->SetSubtreeDocument(this);
}

void TUtf8XmlDocument::CopyFrom(const TUtf8XmlDocument* source) {
    if (source)
        Assign(*source);
}

std::string TUtf8XmlDocument::GetLineFeed() const {
    return FXmlFormat == xfReadable ? "\r\n" : "\n";
}

// ---- Loading ----------------------------------------------------------------

void TUtf8XmlDocument::Parse(TXmlParser& parser) {
    FAbortParsing = false;
    FRootNodes->Clear();
    DoProgress(0);
    bool inProlog = true;
    do {
        TUtf8XmlNode* node = FRootNodes->NodeNew("");
        parser.ReadNode(*node, inProlog);
        if (FAbortParsing)
            return;
        inProlog = inProlog && !(node->ElementType() == xeNormal && !node->IsClear());
        if (node->ElementType() == xeDeclaration && parser.CanSwitchToUtf8()) {
            if (!node->HasAttribute("encoding") ||
                SameUtf8AsciiText(node->AttributeByName("encoding"), "UTF-8"))
                parser.SwitchToUtf8();
            else
                parser.SettleAnsi();
        }
        if (node->IsClear())
            FRootNodes->NodeRemove(node);
    } while (!parser.AtEnd());
    DoProgress(parser.InputSize());

    int elements = 0, declarations = 0, doctypes = 0, cdata = 0;
    int lastElement = -1, lastDoctype = -1, firstDeclaration = -1;
    for (int i = 0; i < FRootNodes->NodeCount(); ++i) {
        switch (FRootNodes->Nodes(i)->ElementType()) {
        case xeNormal: ++elements, lastElement = i; break;
        case xeCData: ++cdata; break;
        case xeDeclaration:
            if (declarations++ == 0)
                firstDeclaration = i;
            break;
        case xeDoctype: ++doctypes, lastDoctype = i; break;
        default: break;
        }
    }
    if (elements == 0)
        throw EFilerError(std::string(sxNoRootElement));
    if (!FParserWarnings)
        return;
    if (elements > 1)
        throw EFilerError(std::string(sxMoreThanOneRootElement));
    if (declarations > 1)
        throw EFilerError(std::string(sxMoreThanOneDeclaration));
    if (declarations == 1 && firstDeclaration != 0)
        throw EFilerError(std::string(sxDeclarationMustBeFirst));
    if (doctypes > 1)
        throw EFilerError(std::string(sxMoreThanOneDoctype));
    if (doctypes == 1 && lastDoctype > lastElement)
        throw EFilerError(std::string(sxDoctypeAfterRoot));
    if (cdata > 0)
        throw EFilerError(std::string(sxNoCDataInRoot));
}

void TUtf8XmlDocument::LoadFromStream(TStream& stream) {
    // A memory stream's text is parsed where it is; other streams are read a page
    // at a time.
    std::unique_ptr<TxmBufferedReadStream> buffered;
    TStream* source = &stream;
    if (!dynamic_cast<TxmUTF8StringStream*>(&stream)) {
        const int64_t start = stream.Position();
        buffered = std::make_unique<TxmBufferedReadStream>(&stream, false);
        buffered->Seek(start, soBeginning);
        source = buffered.get();
    }
    TxmUtf8Stream codec(source);
    if (ListensForUnicodeLoss())
        codec.OnUnicodeLoss = [this](TxmCodecStream&) { DoUnicodeLoss(); };
    const TCodecInUse inUse(FCodecStream, codec);
    ParseStream(codec);
    codec.SettleAtEnd();
    FExternalEncoding = codec.Encoding();
}

void TUtf8XmlDocument::LoadFromFile(std::u16string_view fileName) {
    TxmFileStream file(fileName);
    LoadFromStream(file);
}

void TUtf8XmlDocument::ReadFromString(std::string_view value) {
    TXmlParser parser(value, &FPages);
    Parse(parser);
}

void TUtf8XmlDocument::ReadFromUTF8String(std::string_view value) { ReadFromString(value); }

void TUtf8XmlDocument::ParseStream(TStream& stream) {
    if (auto* codec = dynamic_cast<TxmUtf8Stream*>(&stream)) {
        TXmlParser parser(*codec, &FPages);
        Parse(parser);
        return;
    }
    const std::string text = stream.ReadRest();
    TXmlParser parser(text, &FPages);
    Parse(parser);
}

std::vector<std::unique_ptr<TUtf8XmlNode>> TUtf8XmlDocument::ParseFragment(
    const TUtf8XmlNode& model, std::string_view text) {
    std::vector<std::unique_ptr<TUtf8XmlNode>> nodes;
    TXmlParser parser(text, &FPages);
    while (!parser.AtEnd() && !FAbortParsing) {
        nodes.push_back(model.NewNodeOfClass(this));
        parser.ReadNode(*nodes.back());
    }
    return nodes;
}

// ---- Saving -----------------------------------------------------------------

void TUtf8XmlDocument::WriteDocument(std::string& out, TStream* sink, std::string_view declaredEncoding) {
    if (!Root() && FParserWarnings)
        throw EFilerError(std::string(sxRootElementNotDefined));
    DoProgress(0);
    const std::string lineFeed = GetLineFeed();
    TXmlWriter writer(out, this, sink);
    for (int i = 0; i < FRootNodes->NodeCount(); ++i) {
        // Only the first node can be the document's declaration.
        writer.SetDeclaredEncoding(i == 0 ? declaredEncoding : std::string_view());
        writer.WriteNode(*FRootNodes->Nodes(i), 0);
        out += lineFeed;
    }
    writer.Flush();
}

void TUtf8XmlDocument::WriteToStreamEx(TStream& stream) {
    // Through the document's own codec the declaration names the output's encoding.
    std::string buffer;
    WriteDocument(buffer, &stream,
                  FCodecStream && &stream == FCodecStream ? DeclaredName(FCodecStream->Encoding())
                                                          : std::string_view());
    DoProgress(stream.Size());
}

std::string TUtf8XmlDocument::WriteToString() {
    // The text is the string itself: no stream to copy it through.
    std::string out;
    WriteDocument(out, nullptr, {});
    DoProgress(static_cast<int64_t>(out.size()));
    return out;
}

void TUtf8XmlDocument::SaveToStream(TStream& stream) {
    TxmBufferedWriteStream buffered(&stream, false);
    TxmUtf8Stream codec(&buffered);
    codec.SetEncoding(FExternalEncoding);
    {
        const TCodecInUse inUse(FCodecStream, codec);
        WriteToStreamEx(codec);
    }
    buffered.Flush();
}

void TUtf8XmlDocument::SaveToFile(std::u16string_view fileName) {
    try {
        TAtomicFileWriter file(fileName);
        TAtomicFileStream stream(file);
        SaveToStream(stream);
        file.Commit();
    } catch (const EAtomicFileError& e) {
        throw EStreamError(e.what());
    }
}

void TUtf8XmlDocument::ResolveEntityReferences() {
    if (TUtf8XmlNode* root = Root())
        root->ResolveEntityReferences();
}

// ---- Tree -------------------------------------------------------------------

TUtf8XmlNode* TUtf8XmlDocument::Root() const {
    return FRootNodes->NodeByElementType(xeNormal);
}

TUtf8XmlNode* TUtf8XmlDocument::DeclarationNode() const {
    TUtf8XmlNode* first = FRootNodes->Nodes(0);
    return first && first->ElementType() == xeDeclaration ? first : nullptr;
}

std::string TUtf8XmlDocument::CommentString() const {
    const TUtf8XmlNode* comment = FRootNodes->NodeByElementType(xeComment);
    return comment ? comment->ValueAsString() : std::string();
}

void TUtf8XmlDocument::SetCommentString(std::string_view value) {
    TUtf8XmlNode* comment = FRootNodes->NodeByElementType(xeComment);
    if (!comment) {
        if (value.empty())
            return;
        std::unique_ptr<TUtf8XmlNode> created = FRootNodes->NewNodeOfClass(this);
        created->SetElementType(xeComment);
        comment = created.get();
        FRootNodes->NodeInsert(std::min(1, FRootNodes->NodeCount()), std::move(created));
    }
    comment->SetValueAsString(value);
}

std::string TUtf8XmlDocument::EncodingString() const {
    const TUtf8XmlNode* declaration = DeclarationNode();
    return declaration ? declaration->AttributeByName("encoding") : std::string();
}

std::string TUtf8XmlDocument::VersionString() const {
    const TUtf8XmlNode* declaration = DeclarationNode();
    return declaration ? declaration->AttributeByName("version") : std::string();
}

namespace {

TUtf8XmlNode* EnsureDeclaration(TUtf8XmlDocument& document, TUtf8XmlNode& container) {
    TUtf8XmlNode* first = container.Nodes(0);
    if (first && first->ElementType() == xeDeclaration)
        return first;
    std::unique_ptr<TUtf8XmlNode> created = container.NewNodeOfClass(&document);
    created->SetElementType(xeDeclaration);
    TUtf8XmlNode* declaration = created.get();
    container.NodeInsert(0, std::move(created));
    return declaration;
}

} // namespace

void TUtf8XmlDocument::SetEncodingString(std::string_view value) {
    if (value == EncodingString())
        return;
    EnsureDeclaration(*this, *FRootNodes)->SetAttributeByName("encoding", value);
}

void TUtf8XmlDocument::SetVersionString(std::string_view value) {
    if (value == VersionString())
        return;
    TUtf8XmlNode* declaration = DeclarationNode();
    if (!declaration) {
        if (value.empty())
            return;
        declaration = EnsureDeclaration(*this, *FRootNodes);
    }
    declaration->SetAttributeByName("version", value);
}

TUtf8XmlNode* TUtf8XmlDocument::StyleSheetNode() {
    if (TUtf8XmlNode* sheet = FRootNodes->NodeByElementType(xeStylesheet))
        return sheet;
    std::unique_ptr<TUtf8XmlNode> created = FRootNodes->NewNodeOfClass(this);
    created->SetElementType(xeStylesheet);
    TUtf8XmlNode* sheet = created.get();
    FRootNodes->NodeInsert(std::min(1, FRootNodes->NodeCount()), std::move(created));
    return sheet;
}

// ---- Hooks and events -------------------------------------------------------

bool TUtf8XmlDocument::CompareNodes(TUtf8XmlNode* node1, TUtf8XmlNode* node2, void* info,
                                    int& result) {
    if (!OnNodeCompare)
        return false;
    result = OnNodeCompare(*this, node1, node2, info);
    return true;
}

std::string TUtf8XmlDocument::ResolveEntity(std::string_view name) {
    for (int i = 0; i < FRootNodes->NodeCount(); ++i) {
        const TUtf8XmlNode* doctype = FRootNodes->Nodes(i);
        if (doctype->ElementType() != xeDoctype)
            continue;
        for (int j = 0; j < doctype->NodeCount(); ++j) {
            const TUtf8XmlNode* entity = doctype->Nodes(j);
            if (entity->ElementType() == xeEntity && entity->Name() == name)
                return Utf8UnquoteText(Utf8TrimBlanks(entity->ValueDirect()));
        }
    }
    return {};
}

void TUtf8XmlDocument::DoNodeNew(TUtf8XmlNode* node) {
    if (OnNodeNew)
        OnNodeNew(*this, node);
}

void TUtf8XmlDocument::DoNodeLoaded(TUtf8XmlNode* node) {
    if (OnNodeLoaded)
        OnNodeLoaded(*this, node);
}

void TUtf8XmlDocument::DoProgress(int64_t position) {
    if (OnProgress)
        OnProgress(*this, position);
}

void TUtf8XmlDocument::DoUnicodeLoss() {
    if (OnUnicodeLoss)
        OnUnicodeLoss(*this);
}

} // namespace orvex
