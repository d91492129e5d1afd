#include "xml/XmlParser.h"

#include "platform/base/CodePage1252.h"
#include "platform/base/TextFormat.h"
#include "platform/base/Utf.h"
#include "xml/UTF8StringUtils.h"
#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlNode.h"
#include "xml/XmlScanners.h"
#include "xml/XmlStringList.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <typeinfo>

namespace orvex {

namespace {

constexpr std::string_view kNestingTooDeep = "Elements nested too deeply in element %s";

[[noreturn]] void RaiseFiler(std::string_view message, std::string_view name) {
    throw EFilerError(FormatTolerant(message, {name}));
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

// Bytes that UTF8Trim removes: every control character and the space.
bool IsTrimmedByte(char c) { return static_cast<unsigned char>(c) <= 0x20; }

bool IsBlankOnly(std::string_view text) {
    for (char c : text)
        if (!IsTrimmedByte(c))
            return false;
    return true;
}

// Bytes that end a name or attribute name in the common tag form.
constexpr std::array<bool, 256> kNameStops = [] {
    std::array<bool, 256> stops{};
    for (unsigned char c : std::string_view("\t\n\r =\"'>/<"))
        stops[c] = true;
    return stops;
}();

bool IsNameStop(char c) { return kNameStops[static_cast<unsigned char>(c)]; }

} // namespace

TXmlParser::TXmlParser(std::string_view text) : FText(text) {}

TXmlParser::TXmlParser(TInput, std::string bytes) : FOwnedBytes(std::move(bytes)) {
    FBytes = FOwnedBytes;
    StartOnBytes();
}

TXmlParser::TXmlParser(TInput, std::string_view bytes) : FBytes(bytes) { StartOnBytes(); }

void TXmlParser::StartOnBytes() {
    const TEncodingDetection found = DetectEncoding(FBytes);
    CheckReadableEncoding(found.Encoding);
    FEncoding = found.Encoding;
    // A mark cut short by the end of the input is skipped as far as it goes.
    FMarkLength = std::min(found.MarkLength, FBytes.size());
    const std::string_view body = FBytes.substr(FMarkLength);
    if (FEncoding == seUTF8) {
        FText = body;
    } else if (FEncoding == seAnsi) {
        FSwitchable = true;
        FAsciiPrefix = FirstNonAsciiByte(body);
        // The ASCII prefix reads the same either way: the conversion waits until
        // a node may reach beyond it, and is not needed at all once a declaration
        // within the prefix switches the input to UTF-8.
        FText = body;
        FAnsiPending = FAsciiPrefix < body.size();
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
    FAnsiPending = false;
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
    FText = FBytes.substr(FMarkLength);
    FPos = raw;
    FPassThrough = true;
    FDecoded = std::string();
}

void TXmlParser::PrepareRootNode() {
    if (!FAnsiPending)
        return;
    size_t at = FPos;
    while (at < FText.size() && IsXmlBlank(FText[at]))
        ++at;
    const std::string_view rest = FText.substr(at);
    if (rest.starts_with("<?xml") && !rest.starts_with("<?xml-stylesheet")) {
        const size_t close = FindClosingText(FText, at + 5, "?>", true);
        if (close != std::string_view::npos && close + 2 <= FAsciiPrefix)
            return;
    }
    FDecoded = DecodeToUtf8(FText, seAnsi);
    FText = FDecoded;
    FPassThrough = false;
    FAnsiPending = false;
}

bool TXmlParser::SkipBlanks() {
    while (FPos < FText.size() && IsXmlBlank(FText[FPos]))
        ++FPos;
    return FPos < FText.size();
}

void TXmlParser::ReadNode(TUtf8XmlNode& node) { node.ReadFromStream(FSource); }

// The common start tag, name then name="value" pairs, read in one pass. False,
// with nothing consumed or set, for anything else; the general path then
// handles it exactly as written.
bool TXmlParser::ReadSimpleTag(const TNodeAccess& access, bool& isShort) {
    const char* const begin = FText.data();
    const char* const end = begin + FText.size();
    const char* p = begin + FPos;
    while (p < end && IsXmlBlank(*p))
        ++p;
    const char* nameStart = p;
    while (p < end && !IsNameStop(*p))
        ++p;
    if (p == nameStart)
        return false;
    const std::string_view name(nameStart, static_cast<size_t>(p - nameStart));
    struct TItem {
        const char* Start;
        const char* End;
    };
    TItem items[16];
    int count = 0;
    for (;;) {
        const char* blanks = p;
        while (p < end && IsXmlBlank(*p))
            ++p;
        if (p == end)
            return false;
        if (*p == '>' || (*p == '/' && p + 1 < end && p[1] == '>'))
            break;
        if (p == blanks || count == 16)
            return false;
        const char* itemStart = p;
        while (p < end && !IsNameStop(*p))
            ++p;
        if (p == itemStart || p + 1 >= end || *p != '=' || (p[1] != '"' && p[1] != '\''))
            return false;
        const char quote = p[1];
        const auto* close = static_cast<const char*>(std::memchr(p + 2, quote, static_cast<size_t>(end - p - 2)));
        if (!close)
            return false;
        p = close + 1;
        items[count++] = {itemStart, p};
    }
    isShort = *p == '/';
    FPos = static_cast<size_t>(p - begin) + (isShort ? 2 : 1);
    access.Name.assign(name);
    for (int i = 0; i < count; ++i)
        access.Attributes.Add(std::string(items[i].Start, static_cast<size_t>(items[i].End - items[i].Start)));
    return true;
}

void TXmlParser::ReadInto(TUtf8XmlNode& node, const TNodeAccess& access) {
    TUtf8XmlDocument* const document = node.Document();
    if (document && document->AbortParsing())
        return;
    node.Clear();
    if (!SkipBlanks())
        return;
    const size_t lessThan = FPos++;
    if (FText[lessThan] != '<')
        return;
    // Every opening but the plain "<" goes on with "!" or "?".
    const size_t next = lessThan + 1;
    const bool plain = next < FText.size() && FText[next] != '!' && FText[next] != '?';
    const TXmlTagRow& row =
        XmlTagTable[plain ? XmlTagTable.size() - 1
                          : static_cast<size_t>(MatchTagType(FText.substr(lessThan)))];
    FPos = lessThan + row.Opening.size();
    node.SetElementType(row.ElementType);

    // DoProgress and DoNodeLoaded fire when the node is done, also when reading it
    // raised, unless the parse was aborted.
    const auto finish = [&] {
        if (document && !document->AbortParsing()) {
            if (document->OnProgress)
                document->DoProgress(InputPosition());
            document->DoNodeLoaded(&node);
        }
    };
    const auto announce = [&] {
        if (!document)
            return false;
        document->DoNodeNew(&node);
        return document->AbortParsing();
    };
    try {
        switch (row.ElementType) {
        case xeNormal:
        case xeDeclaration:
        case xeStylesheet: {
            bool isShort = false;
            if (row.ElementType != xeNormal || !ReadSimpleTag(access, isShort)) {
                const size_t close = FindClosingText(FText, FPos, row.Closing, true);
                std::string_view tagText;
                if (close == std::string_view::npos) {
                    FPos = FText.size();
                } else {
                    tagText = FText.substr(FPos, close - FPos);
                    FPos = close + row.Closing.size();
                }
                if (row.ElementType == xeNormal && !tagText.empty() && tagText.back() == '/') {
                    isShort = true;
                    tagText.remove_suffix(1);
                }
                node.ParseTag(tagText);
            }
            if (announce())
                return;
            if (!isShort && row.ElementType == xeNormal)
                ReadElementBody(node, document);
            break;
        }
        case xeDoctype:
            access.Name = "DTD";
            if (announce())
                return;
            if (document)
                ReadDoctype(node, access);
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
            SplitNameAndValue(node, access, text, false);
            if (announce())
                return;
            break;
        }
        default: {
            access.Name = row.ElementType == xeComment ? "Comment"
                          : row.ElementType == xeCData ? "CData"
                                                       : "Special";
            if (announce())
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
        finish();
        throw;
    }
    finish();
}

void TXmlParser::SplitNameAndValue(TUtf8XmlNode& node, const TNodeAccess& access,
                                   std::string_view text, bool doctype) {
    TxmUTF8StringList items;
    Utf8ParseAttributes(text, items);
    if (items.Count() == 0)
        return;
    access.Name = items.Items(0);
    std::string value;
    for (int i = 1; i < items.Count(); ++i)
        value.append(items.Items(i)).append("\r\n");
    node.SetValueDirect(doctype ? UTF8Trim(Utf8StringReplaceAll(value, "\r\n", " ")) : UTF8Trim(value));
}

void TXmlParser::ReadChild(TUtf8XmlNode& parent, TUtf8XmlNode& child) {
    if (FDepth >= kMaxDepth)
        RaiseFiler(kNestingTooDeep, parent.Name());
    ++FDepth;
    try {
        child.ReadFromStream(FSource);
    } catch (...) {
        --FDepth;
        throw;
    }
    --FDepth;
}

void TXmlParser::ReadElementBody(TUtf8XmlNode& node, TUtf8XmlDocument* document) {
    size_t pendingStart = FPos;
    std::string_view pending;
    bool childRead = false;
    bool crSeen = false;
    while (!(document && document->AbortParsing())) {
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
            const std::string& name = node.Name();
            // The usual close tag names the element exactly.
            if (FText.compare(FPos, name.size(), name) == 0 && FPos + name.size() < FText.size() &&
                FText[FPos + name.size()] == '>') {
                FPos += name.size() + 1;
                break;
            }
            const size_t greaterThan = FindClosingText(FText, FPos, ">", true);
            if (greaterThan == std::string_view::npos) {
                FPos = FText.size();
                RaiseFiler(sxMissingGreaterThanInCloseTag, name);
            }
            const std::string closeName = UTF8Trim(FText.substr(FPos, greaterThan - FPos));
            FPos = greaterThan + 1;
            if (Utf8CompareText(closeName, name) != 0)
                RaiseFiler(sxIncorrectCloseTag, name);
            break;
        }
        // Text that UTF8Trim would empty makes no child.
        if (!IsBlankOnly(pending))
            node.AddCharData(pending, false);
        pending = {};
        crSeen = false;
        childRead = true;
        FPos = lessThan;
        std::unique_ptr<TUtf8XmlNode> owned = node.NewNodeOfClass(node.DocumentHooks());
        TUtf8XmlNode* child = owned.get();
        node.NodeAdd(std::move(owned));
        ReadChild(node, *child);
        if (document && document->DropCommentsOnParse() && child->ElementType() == xeComment)
            node.NodeRemove(child);
        pendingStart = FPos;
    }
    if (childRead ? !IsBlankOnly(pending) : !pending.empty())
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

void TXmlParser::ReadDoctype(TUtf8XmlNode& node, const TNodeAccess& access) {
    const size_t stop = FText.find_first_of(">[", FPos);
    if (stop == std::string_view::npos) {
        FPos = FText.size();
        return;
    }
    const std::string_view head = FText.substr(FPos, stop - FPos);
    FPos = stop + 1;
    SplitNameAndValue(node, access, head, true);
    if (FText[stop] != '[')
        return;
    const TUtf8XmlDocument* document = node.Document();
    for (;;) {
        if (document && document->AbortParsing())
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

int64_t TXmlParseSource::Read(void* buffer, int64_t count) {
    const std::string_view rest = FParser.FText.substr(FParser.FPos);
    const size_t n = std::min(rest.size(), static_cast<size_t>(std::max<int64_t>(count, 0)));
    std::memcpy(buffer, rest.data(), n);
    FParser.FPos += n;
    return static_cast<int64_t>(n);
}

int64_t TXmlParseSource::Write(const void*, int64_t) {
    throw EStreamError(std::string(sxCannotWriteWhenReading));
}

int64_t TXmlParseSource::Seek(int64_t offset, TSeekOrigin origin) {
    const auto size = static_cast<int64_t>(FParser.FText.size());
    int64_t position = origin == soBeginning ? offset
                       : origin == soCurrent ? static_cast<int64_t>(FParser.FPos) + offset
                                             : size + offset;
    FParser.FPos = static_cast<size_t>(std::clamp<int64_t>(position, 0, size));
    return static_cast<int64_t>(FParser.FPos);
}

// ---- The node's own entry points -------------------------------------------

void TUtf8XmlNode::ReadFromString(std::string_view text) {
    TXmlParser parser(text);
    parser.ReadNode(*this);
}

void TUtf8XmlNode::ReadFromStream(TStream& stream) {
    if (typeid(stream) == typeid(TXmlParseSource)) {
        static_cast<TXmlParseSource&>(stream).Parser().ReadInto(
            *this, TXmlParser::TNodeAccess{FName, FAttributes});
        return;
    }
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
