#include "xml/XmlParser.h"

#include "base/TextFormat.h"
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

namespace orvex {

namespace {

// Input decoded per refill; more when a single token is longer.
constexpr size_t kWindowBlock = 65536;
// The longest opening of the tag table ("<?xml-stylesheet").
constexpr size_t kLongestOpening = 16;

constexpr std::string_view kNestingTooDeep = "Elements nested too deeply in element %s";

[[noreturn]] void RaiseFiler(std::string_view message, std::string_view name) {
    throw EFilerError(FormatTolerant(message, {name}));
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

// Input bytes behind decoded text: one per character for code page 1252, two per
// 16-bit unit for UTF-16 (a four-byte character is a pair).
int64_t InputLengthOf(std::string_view text, TStringEncodingType encoding) {
    if (encoding == seUTF8)
        return static_cast<int64_t>(text.size());
    int64_t length = 0;
    const bool sixteen = encoding != seAnsi;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t bytes = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        length += sixteen ? (bytes == 4 ? 4 : 2) : 1;
        i += bytes;
    }
    return length;
}

} // namespace

TXmlParser::TXmlParser(std::string_view text, TXmlPages* pages)
    : FPages(pages ? pages : &FOwnPages), FText(text) {}

TXmlParser::TXmlParser(TxmUtf8Stream& codec, TXmlPages* pages)
    : FPages(pages ? pages : &FOwnPages), FCodec(&codec) {
    FCodec->StartTextReading();
    FInputBase = FCodec->Position();
}

// ---- Text window --------------------------------------------------------------

bool TXmlParser::Refill(size_t keep) {
    if (!FCodec)
        return false;
    keep = std::clamp(keep, FBase, End());
    const size_t have = End() - keep;
    const int64_t keepInput = InputPositionOf(keep);
    if (FCodec->CanLendText()) {
        const std::string_view lent = FCodec->LendText(keepInput, have);
        // Lending ends only when an open input turns out to be code page 1252.
        if (FCodec->CanLendText()) {
            if (lent.size() <= have)
                return false;
            FWindow.clear();
            FText = lent;
            FBase = keep;
            FInputBase = keepInput;
            FLending = true;
            return true;
        }
    }
    if (FLending) {
        // Only ASCII was lent, which reads the same in 1252: the kept text is
        // decoded again.
        FLending = false;
        FWindow.clear();
        FCodec->SeekInput(keepInput);
    } else {
        FWindow.erase(0, keep - FBase);
    }
    FBase = keep;
    FInputBase = keepInput;
    const size_t before = FWindow.size();
    FCodec->ReadText(FWindow, std::max(kWindowBlock, FWindow.size()));
    FText = FWindow;
    return FWindow.size() > before;
}

bool TXmlParser::Have(size_t pos, size_t count, size_t keep) {
    while (End() < pos + count)
        if (!Refill(keep))
            return false;
    return true;
}

bool TXmlParser::SkipBlanks(size_t keep) {
    for (;;) {
        while (FPos < End() && IsXmlBlank(At(FPos)))
            ++FPos;
        if (FPos < End())
            return true;
        if (!Refill(std::min(keep, FPos)))
            return false;
    }
}

size_t TXmlParser::Find(char c, size_t from, size_t keep) {
    for (;;) {
        if (from < End()) {
            const char* start = FText.data() + (from - FBase);
            if (const void* hit = std::memchr(start, c, End() - from))
                return from + static_cast<size_t>(static_cast<const char*>(hit) - start);
            from = End();
        }
        if (!Refill(keep))
            return std::string_view::npos;
    }
}

size_t TXmlParser::FindClosing(size_t from, std::string_view closing, bool honourQuotes,
                               size_t keep) {
    TClosingTextSearch search(closing, honourQuotes);
    size_t at = from - FBase;
    for (;;) {
        const size_t base = FBase;
        const size_t found = search.Continue(FText, from - base, at);
        if (found != std::string_view::npos)
            return base + found;
        at += base;
        if (!Refill(keep))
            return std::string_view::npos;
        at -= FBase;
    }
}

bool TXmlParser::AtEnd() { return FPos >= End() && !Refill(FPos); }

int64_t TXmlParser::InputPositionOf(size_t pos) const {
    if (!FCodec)
        return static_cast<int64_t>(pos);
    if (FLending || FCodec->ReadsBytesAsText())
        return FInputBase + static_cast<int64_t>(pos - FBase);
    return FInputBase + InputLengthOf(Slice(FBase, pos), FCodec->Encoding());
}

int64_t TXmlParser::InputPosition() const {
    if (!FCodec || FLending || FCodec->ReadsBytesAsText() || FText.empty())
        return InputPositionOf(FPos);
    // Decoded text: in proportion to the input read for the window.
    const double share = static_cast<double>(FPos - FBase) / static_cast<double>(FText.size());
    return FInputBase + static_cast<int64_t>(share * static_cast<double>(FCodec->Position() - FInputBase));
}

int64_t TXmlParser::InputSize() const {
    return FCodec ? FCodec->Size() : static_cast<int64_t>(FText.size());
}

void TXmlParser::SwitchToUtf8() {
    if (!CanSwitchToUtf8())
        return;
    // The text after the current position is read again as UTF-8; nothing before
    // it is needed any more.
    const int64_t input = InputPositionOf(FPos);
    FWindow.clear();
    FText = {};
    FBase = FPos;
    FInputBase = input;
    FLending = false;
    FCodec->SwitchToUtf8At(input);
}

void TXmlParser::SettleAnsi() {
    if (FCodec)
        FCodec->SettleAnsi();
}

void TXmlParser::ReturnUnreadInput() {
    if (FCodec)
        FCodec->SeekInput(InputPositionOf(FPos));
}

// ---- Nodes ----------------------------------------------------------------------

void TXmlParser::ReadNode(TUtf8XmlNode& node, bool inProlog) {
    FInProlog = inProlog;
    ReadInto(node);
}

// A processing instruction whose target (ending at targetEnd) is exactly "xml",
// in the prolog, whose first version item has a value (the writer drops a
// declaration's empty attributes). The items are looked for up to the first "?>",
// quotes or not, as far as the instruction's text would go; so a declaration
// written back is one again, and text that is not one stays not.
bool TXmlParser::IsDeclaration(size_t lessThan, size_t targetEnd) {
    if (!FInProlog || FDepth > 0 || Slice(lessThan + 2, targetEnd) != "xml")
        return false;
    const size_t close = FindClosing(targetEnd, "?>", false, lessThan);
    if (close == std::string_view::npos)
        return false;
    TxmUTF8StringList items;
    Utf8ParseAttributes(Slice(targetEnd, close), items);
    return !Utf8ResolveEntities(Utf8UnquoteText(items.Values("version"))).empty();
}

// The opening at lessThan: the row's element type, FPos after the opening. A
// processing instruction is a declaration only as IsDeclaration says and a style
// sheet only when its target is "xml-stylesheet"; any other, "XML" or
// "xml-model" say, is an instruction kept as written.
TXmlElementType TXmlParser::ReadOpening(size_t lessThan) {
    Have(lessThan, kLongestOpening, lessThan);
    const size_t next = lessThan + 1;
    if (next >= End() || (At(next) != '!' && At(next) != '?')) {
        FPos = next;
        return xeNormal;
    }
    if (At(next) == '?') {
        size_t end = next + 1;
        while ((end < End() || Refill(lessThan)) && !IsXmlBlank(At(end)) && At(end) != '?')
            ++end;
        if (IsDeclaration(lessThan, end)) {
            FPos = end;
            return xeDeclaration;
        }
        const std::string_view target = Slice(next + 1, end);
        FPos = target == "xml-stylesheet" ? end : next + 1;
        return target == "xml-stylesheet" ? xeStylesheet : xeQuestion;
    }
    const TXmlTagRow& row = XmlTagTable[static_cast<size_t>(
        MatchTagType(Slice(lessThan, std::min(End(), lessThan + kLongestOpening))))];
    FPos = lessThan + row.Opening.size();
    return row.ElementType;
}

// The common start tag, name then name="value" pairs, read in one pass. False,
// with nothing consumed or set, for anything else (and for a tag that the text
// in hand cuts off); the general path then handles it exactly as written.
bool TXmlParser::ReadSimpleTag(TUtf8XmlNode& node, bool& isShort) {
    const char* const begin = FText.data();
    const char* const end = begin + FText.size();
    const char* p = begin + (FPos - FBase);
    while (p < end && IsXmlBlank(*p))
        ++p;
    const char* nameStart = p;
    while (p < end && !IsNameStop(*p))
        ++p;
    if (p == nameStart)
        return false;
    const std::string_view name(nameStart, static_cast<size_t>(p - nameStart));
    TxmUTF8StringList::TSpan items[16];
    const char* first = nullptr;
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
        if (!first)
            first = itemStart;
        // A tag beyond 4 GB is left to the general path.
        if (static_cast<uint64_t>(p - first) > UINT32_MAX)
            return false;
        items[count++] = {static_cast<uint32_t>(itemStart - first), static_cast<uint32_t>(p - itemStart)};
    }
    isShort = *p == '/';
    FPos = FBase + static_cast<size_t>(p - begin) + (isShort ? 2 : 1);
    node.FName.SetIn(*FPages, name);
    if (count > 0) {
        const TxmUTF8StringList::TSpan& last = items[count - 1];
        node.FAttributes.AssignIn(*FPages, std::string_view(first, last.Offset + last.Length), items, count);
    }
    return true;
}

void TXmlParser::ReadInto(TUtf8XmlNode& node) {
    TUtf8XmlDocument* const document = node.Document();
    if (document && document->AbortParsing())
        return;
    node.Clear();
    if (!SkipBlanks(FPos))
        return;
    const size_t lessThan = FPos;
    if (At(lessThan) != '<') {
        ++FPos;
        return;
    }
    const TXmlElementType type = ReadOpening(lessThan);
    node.SetElementType(type);

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
    // The text up to closing (quotes honoured or not), FPos after it; all the rest
    // of the input, and FPos at its end, when closing never comes.
    const auto readUntil = [&](std::string_view closing, bool honourQuotes, bool& found) {
        const size_t start = FPos;
        const size_t close = FindClosing(start, closing, honourQuotes, start);
        found = close != std::string_view::npos;
        FPos = found ? close + closing.size() : End();
        return Slice(start, found ? close : End());
    };
    try {
        bool found = false;
        switch (type) {
        case xeNormal:
        case xeDeclaration:
        case xeStylesheet: {
            bool isShort = false;
            if (type != xeNormal || !ReadSimpleTag(node, isShort)) {
                std::string_view tagText = readUntil(type == xeNormal ? ">" : "?>", true, found);
                if (!found)
                    tagText = {};
                if (type == xeNormal && !tagText.empty() && tagText.back() == '/') {
                    isShort = true;
                    tagText.remove_suffix(1);
                }
                node.ParseTag(tagText);
            }
            if (announce())
                return;
            if (!isShort && type == xeNormal)
                ReadElementBody(node, document);
            break;
        }
        case xeDoctype:
            node.FName.Set("DTD");
            if (announce())
                return;
            if (document)
                ReadDoctype(node);
            break;
        case xeElement:
        case xeAttList:
        case xeEntity:
        case xeNotation: {
            const std::string_view text = readUntil(">", true, found);
            SplitNameAndValue(node, found ? text : std::string_view(), false);
            if (announce())
                return;
            break;
        }
        default: {
            node.FName.Set(type == xeComment ? "Comment" : type == xeCData ? "CData" : "Special");
            if (announce())
                return;
            const std::string_view closing = type == xeComment ? "-->"
                                             : type == xeCData ? "]]>"
                                             : type == xeQuestion ? "?>"
                                                                  : ">";
            const std::string_view value = readUntil(closing, false, found);
            if (found)
                node.FValue.SetIn(*FPages, value);
            break;
        }
        }
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void TXmlParser::SplitNameAndValue(TUtf8XmlNode& node, std::string_view text, bool doctype) {
    // The name never joins the words after it, as in a start tag, so the value
    // written after it reads back the same.
    std::string_view rest;
    const std::string_view name = SplitTagName(text, rest);
    if (name.empty())
        return;
    node.FName.SetIn(*FPages, name);
    TxmUTF8StringList items;
    Utf8ParseAttributes(rest, items);
    std::string value;
    for (int i = 0; i < items.Count(); ++i)
        value.append(items.Items(i)).append("\r\n");
    node.FValue.SetIn(*FPages, doctype ? UTF8Trim(Utf8StringReplaceAll(value, "\r\n", " ")) : UTF8Trim(value));
}

void TXmlParser::ReadChild(TUtf8XmlNode& parent, TUtf8XmlNode& child) {
    if (FDepth >= kMaxDepth)
        RaiseFiler(kNestingTooDeep, parent.Name());
    ++FDepth;
    try {
        ReadInto(child);
    } catch (...) {
        --FDepth;
        throw;
    }
    --FDepth;
}

void TXmlParser::ReadElementBody(TUtf8XmlNode& node, TUtf8XmlDocument* document) {
    size_t pendingStart = FPos;
    size_t pendingEnd = FPos;
    bool childRead = false;
    while (!(document && document->AbortParsing())) {
        const size_t lessThan = Find('<', FPos, pendingStart);
        if (lessThan == std::string_view::npos) {
            FPos = End();
            RaiseFiler(sxMissingCloseTag, node.Name());
        }
        pendingEnd = lessThan;
        FPos = lessThan + 1;
        if (!SkipBlanks(pendingStart))
            RaiseFiler(sxMissingDataAfterLessThan, node.Name());
        if (At(FPos) == '/') {
            ++FPos;
            const std::string_view name = node.Name();
            // The usual close tag names the element exactly.
            if (Have(FPos, name.size() + 1, pendingStart) && Slice(FPos, FPos + name.size()) == name &&
                At(FPos + name.size()) == '>') {
                FPos += name.size() + 1;
                break;
            }
            const size_t greaterThan = FindClosing(FPos, ">", true, pendingStart);
            if (greaterThan == std::string_view::npos) {
                FPos = End();
                RaiseFiler(sxMissingGreaterThanInCloseTag, name);
            }
            const std::string closeName = UTF8Trim(Slice(FPos, greaterThan));
            FPos = greaterThan + 1;
            if (Utf8CompareText(closeName, name) != 0)
                RaiseFiler(sxIncorrectCloseTag, name);
            break;
        }
        // Text that UTF8Trim would empty makes no child.
        const std::string_view pending = Slice(pendingStart, pendingEnd);
        if (!IsBlankOnly(pending))
            node.AddCharData(pending, false, FPages);
        childRead = true;
        FPos = lessThan;
        TUtf8XmlNode* child = node.NewNodeOfClassIn(*FPages, node.DocumentHooks());
        node.AppendParsed(child, *FPages);
        ReadChild(node, *child);
        if (document && document->DropCommentsOnParse() && child->ElementType() == xeComment)
            node.NodeRemove(child);
        pendingStart = pendingEnd = FPos;
    }
    const std::string_view pending = Slice(pendingStart, pendingEnd);
    if (childRead ? !IsBlankOnly(pending) : !pending.empty())
        node.AddCharData(pending, !childRead, FPages);
    // A CR after the last child element began (in the text before the close tag)
    // trims the trailing line ends and blanks of all character data.
    if (childRead && pending.find('\r') != std::string_view::npos) {
        for (int i = 0; i < node.NodeCount(); ++i) {
            TUtf8XmlNode* child = node.Nodes(i);
            if (child->ElementType() != xeCharData)
                continue;
            const std::string_view value = child->ValueDirect();
            size_t end = value.size();
            while (end > 0 && (value[end - 1] == '\n' || value[end - 1] == '\r' || value[end - 1] == ' '))
                --end;
            if (end != value.size())
                child->FValue.SetIn(*FPages, value.substr(0, end));
        }
    }
    if (node.NodeCount() > 0 && node.Nodes(0)->ElementType() == xeCharData) {
        node.FValue = std::move(node.Nodes(0)->FValue);
        node.NodeDelete(0);
    }
}

void TXmlParser::ReadDoctype(TUtf8XmlNode& node) {
    const size_t start = FPos;
    size_t stop = start;
    for (;; ++stop) {
        if (stop >= End() && !Refill(start)) {
            FPos = End();
            return;
        }
        if (At(stop) == '>' || At(stop) == '[')
            break;
    }
    FPos = stop + 1;
    SplitNameAndValue(node, Slice(start, stop), true);
    if (At(stop) != '[')
        return;
    const TUtf8XmlDocument* document = node.Document();
    for (;;) {
        if (document && document->AbortParsing())
            return;
        if (!SkipBlanks(FPos))
            return;
        // An empty subset ends right here.
        if (At(FPos) == ']') {
            ++FPos;
            break;
        }
        if (At(FPos) == '%') {
            // A parameter-entity reference stays as written.
            const size_t reference = FPos;
            while ((FPos < End() || Refill(reference)) && At(FPos) != ';' && !IsXmlBlank(At(FPos)) &&
                   At(FPos) != '<' && At(FPos) != ']' && At(FPos) != '>')
                ++FPos;
            if (FPos < End() && At(FPos) == ';')
                ++FPos;
            node.AddCharData(Slice(reference, FPos), true, FPages);
            continue;
        }
        TUtf8XmlNode* child = node.NewNodeOfClassIn(*FPages, node.DocumentHooks());
        node.AppendParsed(child, *FPages);
        ReadChild(node, *child);
        // A stray byte of the subset leaves a node with nothing in it, which could
        // not be written back.
        if (child->IsClear())
            node.NodeRemove(child);
    }
    const size_t greaterThan = Find('>', FPos, FPos);
    FPos = greaterThan == std::string_view::npos ? End() : greaterThan + 1;
}

// ---- The node's own entry points -------------------------------------------

void TUtf8XmlNode::ReadFromString(std::string_view text) {
    TXmlParser parser(text);
    parser.ReadNode(*this);
}

void TUtf8XmlNode::ReadFromStream(TStream& stream) {
    if (auto* codec = dynamic_cast<TxmUtf8Stream*>(&stream)) {
        TXmlParser parser(*codec);
        parser.ReadNode(*this);
        parser.ReturnUnreadInput();
        return;
    }
    const int64_t start = stream.Position();
    const std::string text = stream.ReadRest();
    TXmlParser parser(text);
    parser.ReadNode(*this);
    stream.Seek(start + parser.InputPosition(), soBeginning);
}

} // namespace orvex
