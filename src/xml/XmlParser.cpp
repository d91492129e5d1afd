#include "xml/XmlParser.h"

#include "platform/base/CodePage1252.h"
#include "platform/base/Utf.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlNode.h"
#include "xml/XmlScanners.h"
#include "xml/XmlStringList.h"

#include <cstring>

namespace orvex {

namespace {

constexpr std::string_view kNestingTooDeep = "Elements nested too deeply in element %s";

[[noreturn]] void RaiseFiler(std::string_view message, std::string_view name) {
    throw EFilerError(FormatXmlMessage(message, name));
}

size_t FirstNonAsciiByte(std::string_view bytes) {
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (i < bytes.size() && static_cast<unsigned char>(bytes[i]) < 0x80)
        ++i;
    return i;
}

// Fires DoProgress and DoNodeLoaded when a node is done, also when reading it
// raised, unless the parse was aborted.
class TNodeFinisher {
public:
    TNodeFinisher(TUtf8XmlNode& node, const TXmlParser& parser) : FNode(node), FParser(parser) {}
    void Finish() {
        TUtf8XmlDocument* document = FNode.Document();
        if (document && !document->AbortParsing()) {
            document->DoProgress(FParser.InputPosition());
            document->DoNodeLoaded(&FNode);
        }
    }

private:
    TUtf8XmlNode& FNode;
    const TXmlParser& FParser;
};

bool Aborted(const TUtf8XmlNode& node) {
    const TUtf8XmlDocument* document = node.Document();
    return document && document->AbortParsing();
}

// DoNodeNew; true when a handler aborted the parse.
bool AnnounceNode(TUtf8XmlNode& node) {
    TUtf8XmlDocument* document = node.Document();
    if (!document)
        return false;
    document->DoNodeNew(&node);
    return document->AbortParsing();
}

// Name from the first item of text, the rest of the items returned. Nothing
// happens for text without items.
bool SplitNameAndItems(TUtf8XmlNode& node, std::string_view text, std::vector<std::string>& rest) {
    TxmUTF8StringList items;
    Utf8ParseAttributes(text, items);
    if (items.Count() == 0)
        return false;
    // ParseTag names the node after the first item without checking it as a name.
    node.ParseTag(items.Items(0));
    node.AttributesClear();
    for (int i = 1; i < items.Count(); ++i)
        rest.push_back(items.Items(i));
    return true;
}

} // namespace

TXmlParser::TXmlParser(std::string_view text) : FText(text) {}

TXmlParser::TXmlParser(TInput, std::string bytes) : FBytes(std::move(bytes)) {
    const TEncodingDetection found = DetectEncoding(FBytes);
    CheckReadableEncoding(found.Encoding);
    FEncoding = found.Encoding;
    FMarkLength = found.MarkLength;
    const std::string_view body = std::string_view(FBytes).substr(FMarkLength);
    if (FEncoding == seUTF8) {
        FText = body;
    } else if (FEncoding == seAnsi) {
        FSwitchable = true;
        FAsciiPrefix = FirstNonAsciiByte(body);
        if (FAsciiPrefix == body.size()) {
            FText = body;
        } else {
            FDecoded = DecodeToUtf8(body, seAnsi);
            FText = FDecoded;
            FPassThrough = false;
        }
    } else {
        FDecoded = DecodeToUtf8(body, FEncoding);
        FText = FDecoded;
        FPassThrough = false;
    }
}

int64_t TXmlParser::InputPosition() const {
    if (FBytes.empty())
        return static_cast<int64_t>(FPos);
    if (FPassThrough || FText.empty())
        return static_cast<int64_t>(FMarkLength + FPos);
    const double share = static_cast<double>(FPos) / static_cast<double>(FText.size());
    return static_cast<int64_t>(FMarkLength) +
           static_cast<int64_t>(share * static_cast<double>(FBytes.size() - FMarkLength));
}

void TXmlParser::SwitchToUtf8() {
    if (!FSwitchable)
        return;
    FSwitchable = false;
    FEncoding = seUTF8;
    // Text before the first non-ASCII byte is the same either way; beyond it, each
    // 1252 byte took as many UTF-8 bytes as its character needs.
    size_t raw = std::min(FPos, FAsciiPrefix);
    size_t text = raw;
    while (text < FPos) {
        const auto byte = static_cast<unsigned char>(FBytes[FMarkLength + raw]);
        text += byte < 0x80 ? 1 : Utf16ToUtf8(Cp1252ToUtf16(std::string_view(&FBytes[FMarkLength + raw], 1))).size();
        ++raw;
    }
    FText = std::string_view(FBytes).substr(FMarkLength);
    FPos = raw;
    FPassThrough = true;
    FDecoded = std::string();
}

bool TXmlParser::SkipBlanks() {
    while (FPos < FText.size() && IsXmlBlank(FText[FPos]))
        ++FPos;
    return FPos < FText.size();
}

void TXmlParser::ReadNode(TUtf8XmlNode& node) {
    if (Aborted(node))
        return;
    node.Clear();
    if (!SkipBlanks())
        return;
    const size_t lessThan = FPos++;
    if (FText[lessThan] != '<')
        return;
    const TXmlTagRow& row = XmlTagTable[static_cast<size_t>(MatchTagType(FText.substr(lessThan)))];
    FPos = lessThan + row.Opening.size();
    node.SetElementType(row.ElementType);

    TNodeFinisher finisher(node, *this);
    try {
        switch (row.ElementType) {
        case xeNormal:
        case xeDeclaration:
        case xeStylesheet: {
            const size_t close = FindClosingText(FText, FPos, row.Closing, true);
            std::string_view tagText;
            if (close == std::string_view::npos) {
                FPos = FText.size();
            } else {
                tagText = FText.substr(FPos, close - FPos);
                FPos = close + row.Closing.size();
            }
            bool isShort = false;
            if (row.ElementType == xeNormal && !tagText.empty() && tagText.back() == '/') {
                isShort = true;
                tagText.remove_suffix(1);
            }
            node.ParseTag(tagText);
            if (AnnounceNode(node))
                return;
            if (!isShort && row.ElementType == xeNormal)
                ReadElementBody(node);
            break;
        }
        case xeDoctype:
            node.SetName("DTD");
            if (AnnounceNode(node))
                return;
            if (node.Document())
                ReadDoctype(node);
            break;
        case xeElement:
        case xeAttList:
        case xeEntity:
        case xeNotation: {
            const size_t close = FindClosingText(FText, FPos, ">", true);
            std::string_view text;
            if (close == std::string_view::npos) {
                FPos = FText.size();
            } else {
                text = FText.substr(FPos, close - FPos);
                FPos = close + 1;
            }
            std::vector<std::string> rest;
            if (SplitNameAndItems(node, text, rest)) {
                std::string value;
                for (const std::string& item : rest)
                    value.append(item).append("\r\n");
                node.SetValueDirect(UTF8Trim(value));
            }
            if (AnnounceNode(node))
                return;
            break;
        }
        default: {
            node.SetName(row.ElementType == xeComment ? "Comment"
                         : row.ElementType == xeCData ? "CData"
                                                      : "Special");
            if (AnnounceNode(node))
                return;
            const size_t close = FindClosingText(FText, FPos, row.Closing, false);
            if (close == std::string_view::npos) {
                FPos = FText.size();
            } else {
                node.SetValueDirect(std::string(FText.substr(FPos, close - FPos)));
                FPos = close + row.Closing.size();
            }
            break;
        }
        }
    } catch (...) {
        finisher.Finish();
        throw;
    }
    finisher.Finish();
}

void TXmlParser::ReadChild(TUtf8XmlNode& parent, TUtf8XmlNode& child) {
    if (FDepth >= kMaxDepth)
        RaiseFiler(kNestingTooDeep, parent.Name());
    ++FDepth;
    try {
        ReadNode(child);
    } catch (...) {
        --FDepth;
        throw;
    }
    --FDepth;
}

void TXmlParser::ReadElementBody(TUtf8XmlNode& node) {
    size_t pendingStart = FPos;
    std::string_view pending;
    bool childRead = false;
    bool crSeen = false;
    while (!Aborted(node)) {
        const size_t lessThan = FText.find('<', FPos);
        if (lessThan == std::string_view::npos) {
            FPos = FText.size();
            RaiseFiler(sxMissingCloseTag, node.Name());
        }
        if (!crSeen && std::memchr(FText.data() + FPos, '\r', lessThan - FPos))
            crSeen = true;
        pending = FText.substr(pendingStart, lessThan - pendingStart);
        FPos = lessThan + 1;
        if (!SkipBlanks())
            RaiseFiler(sxMissingDataAfterLessThan, node.Name());
        if (FText[FPos] == '/') {
            ++FPos;
            const size_t greaterThan = FindClosingText(FText, FPos, ">", true);
            if (greaterThan == std::string_view::npos) {
                FPos = FText.size();
                RaiseFiler(sxMissingGreaterThanInCloseTag, node.Name());
            }
            const std::string closeName = UTF8Trim(FText.substr(FPos, greaterThan - FPos));
            FPos = greaterThan + 1;
            if (Utf8CompareText(closeName, node.Name()) != 0)
                RaiseFiler(sxIncorrectCloseTag, node.Name());
            break;
        }
        node.AddCharData(pending, false);
        pending = {};
        crSeen = false;
        childRead = true;
        FPos = lessThan;
        std::unique_ptr<TUtf8XmlNode> owned = node.NewNodeOfClass(node.DocumentHooks());
        TUtf8XmlNode* child = owned.get();
        node.NodeAdd(std::move(owned));
        ReadChild(node, *child);
        const TUtf8XmlDocument* document = node.Document();
        if (document && document->DropCommentsOnParse() && child->ElementType() == xeComment)
            node.NodeRemove(child);
        pendingStart = FPos;
    }
    node.AddCharData(pending, !childRead);
    if (childRead && crSeen) {
        for (int i = 0; i < node.NodeCount(); ++i) {
            TUtf8XmlNode* child = node.Nodes(i);
            if (child->ElementType() != xeCharData)
                continue;
            const std::string& value = child->ValueDirect();
            size_t end = value.size();
            while (end > 0 && (value[end - 1] == '\n' || value[end - 1] == '\r' || value[end - 1] == ' '))
                --end;
            if (end != value.size())
                child->SetValueDirect(value.substr(0, end));
        }
    }
    if (node.NodeCount() > 0 && node.Nodes(0)->ElementType() == xeCharData) {
        node.SetValueDirect(node.Nodes(0)->ValueDirect());
        node.NodeDelete(0);
    }
}

void TXmlParser::ReadDoctype(TUtf8XmlNode& node) {
    const size_t stop = FText.find_first_of(">[", FPos);
    if (stop == std::string_view::npos) {
        FPos = FText.size();
        return;
    }
    const std::string_view head = FText.substr(FPos, stop - FPos);
    FPos = stop + 1;
    std::vector<std::string> rest;
    if (SplitNameAndItems(node, head, rest)) {
        std::string value;
        for (const std::string& item : rest)
            value.append(item).append("\r\n");
        node.SetValueDirect(UTF8Trim(Utf8StringReplaceAll(value, "\r\n", " ")));
    }
    if (FText[stop] != '[')
        return;
    for (;;) {
        if (Aborted(node))
            return;
        std::unique_ptr<TUtf8XmlNode> owned = node.NewNodeOfClass(node.DocumentHooks());
        TUtf8XmlNode* child = owned.get();
        node.NodeAdd(std::move(owned));
        ReadChild(node, *child);
        // A stray byte of the subset (a parameter entity, say) leaves a node with
        // nothing in it, which could not be written back.
        if (child->IsClear())
            node.NodeRemove(child);
        if (!SkipBlanks())
            return;
        if (FText[FPos] == ']') {
            ++FPos;
            break;
        }
    }
    const size_t greaterThan = FText.find('>', FPos);
    FPos = greaterThan == std::string_view::npos ? FText.size() : greaterThan + 1;
}

// ---- The node's own entry points -------------------------------------------

void TUtf8XmlNode::ReadFromString(std::string_view text) {
    TXmlParser parser(text);
    parser.ReadNode(*this);
}

void TUtf8XmlNode::ReadFromStream(TStream& stream) {
    if (dynamic_cast<TxmCodecStream*>(&stream)) {
        // A codec hands out one byte a call and cannot seek forward again.
        std::string text;
        char ch;
        while (stream.Read(&ch, 1) == 1)
            text.push_back(ch);
        ReadFromString(text);
        return;
    }
    const int64_t start = stream.Position();
    const std::string text = stream.ReadRest();
    TXmlParser parser(text);
    parser.ReadNode(*this);
    stream.Seek(start + static_cast<int64_t>(parser.Position()), soBeginning);
}

} // namespace orvex
