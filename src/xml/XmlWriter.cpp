#include "xml/XmlWriter.h"

#include "xml/UTF8StringUtils.h"
#include "xml/XmlDocument.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"
#include "xml/XmlNode.h"
#include "xml/XmlStreams.h"

namespace orvex {

namespace {

// What a writer with a sink gathers before it writes.
constexpr size_t kSinkBlock = 65536;

} // namespace

TXmlWriter::TXmlWriter(std::string& out, const TXmlDocumentHooks* document, TStream* sink)
    : FOut(out), FSink(sink), FReadable(document && document->XmlFormat() == xfReadable),
      FUseFullNodes(document && document->UseFullNodes()) {
    if (FReadable) {
        FIndentString = document->IndentString();
        FLineEnd = "\r\n";
    }
    // Progress is reported only to a document that listens.
    TUtf8XmlDocument* owner =
        document ? const_cast<TXmlDocumentHooks*>(document)->Utf8Document() : nullptr;
    if (owner && owner->OnProgress)
        FProgress = owner;
    if (FSink)
        FOut.reserve(kSinkBlock + kSinkBlock / 4);
}

void TXmlWriter::Flush() {
    if (!FSink || FOut.empty())
        return;
    FSink->Write(FOut.data(), static_cast<int64_t>(FOut.size()));
    FFlushed += static_cast<int64_t>(FOut.size());
    FOut.clear();
}

void TXmlWriter::AppendIndent(int depth) {
    if (!FReadable || FIndentString.empty() || depth <= 0)
        return;
    // The indent of every depth is a prefix of the deepest one seen so far.
    const size_t length = FIndentString.size() * static_cast<size_t>(depth);
    while (FIndents.size() < length)
        FIndents += FIndentString;
    FOut.append(FIndents, 0, length);
}

namespace {

void AppendAttributes(std::string& out, const TUtf8XmlNode& node) {
    const TxmUTF8StringList& attributes = node.Attributes();
    for (int i = 0; i < attributes.Count(); ++i) {
        out += ' ';
        out += attributes.Items(i);
    }
}

} // namespace

void TXmlWriter::AppendDeclarationAttributes(const TUtf8XmlNode& node, int depth) {
    const int encoding = FDeclaredEncoding.empty() || depth > 0 ? -1 : node.AttributeIndexByName("encoding");
    if (encoding < 0 || SameUtf8AsciiText(node.AttributeValue(encoding), FDeclaredEncoding)) {
        AppendAttributes(FOut, node);
        return;
    }
    const TxmUTF8StringList& attributes = node.Attributes();
    for (int i = 0; i < attributes.Count(); ++i) {
        FOut += ' ';
        const std::string_view item = attributes.Items(i);
        if (i != encoding) {
            FOut += item;
            continue;
        }
        const size_t eq = item.find('=');
        const char quote = eq + 1 < item.size() && IsXmlQuote(item[eq + 1]) ? item[eq + 1] : '"';
        FOut.append(item, 0, eq + 1).append(1, quote).append(FDeclaredEncoding).append(1, quote);
    }
}

namespace {

bool EndsInTrimmedByte(std::string_view text) {
    return !text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ');
}

} // namespace

// A CR in the text after an element's last other child makes the parser trim the
// line ends and spaces at the end of all the element's text (its value and its
// character data). Where that would cut anything, the CRs of that text are
// written as references, which the parser keeps.
int TXmlWriter::FirstCrEscapedChild(const TUtf8XmlNode& node) {
    const int count = node.NodeCount();
    int first = count;
    while (first > 0 && node.Nodes(first - 1)->ElementType() == xeCharData)
        --first;
    if (first == 0 || first == count)
        return count;
    bool crAfterLastChild = false;
    for (int i = first; i < count && !crAfterLastChild; ++i)
        crAfterLastChild = node.Nodes(i)->ValueDirect().find('\r') != std::string_view::npos;
    if (!crAfterLastChild)
        return count;
    if (EndsInTrimmedByte(node.ValueDirect()))
        return first;
    for (int i = 0; i < count; ++i)
        if (node.Nodes(i)->ElementType() == xeCharData &&
            EndsInTrimmedByte(node.Nodes(i)->ValueDirect()))
            return first;
    return count;
}

void TXmlWriter::AppendCrAsReference(std::string_view text) {
    for (size_t cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r')) {
        FOut.append(text.substr(0, cr)).append("&#13;");
        text.remove_prefix(cr + 1);
    }
    FOut += text;
}

void TXmlWriter::WriteNode(TUtf8XmlNode& node, int depth) {
    const TXmlElementType type = node.ElementType();
    if (type > xeUnknown)
        throw EFilerError(std::string(sxIllegalElementType));
    const std::string_view name = node.Name();
    const std::string_view value = node.ValueDirect();
    const int count = node.NodeCount();
    switch (type) {
    case xeNormal: {
        const bool isShort = value.empty() && count == 0 && !FUseFullNodes && depth > 0;
        AppendIndent(depth);
        FOut += '<';
        // "<!" and "<?" would open another kind of node.
        if (!name.empty() && (name[0] == '!' || name[0] == '?'))
            FOut += ' ';
        FOut += name;
        AppendAttributes(FOut, node);
        // A start tag whose text ends in "/" would read back as an empty element.
        if (!isShort && FOut.back() == '/')
            FOut += ' ';
        FOut += isShort ? "/>" : ">";
        FOut += value;
        if (count > 0)
            FOut += FLineEnd;
        // Asked at the first character data child, which most elements lack: the
        // children are read in the order they lie in memory, as a look at the
        // last one first would cost a cache miss per element with children.
        int escapeFrom = -1;
        for (int i = 0; i < count; ++i) {
            TUtf8XmlNode* child = node.Nodes(i);
            // Character data takes no line end, nor the node before it.
            if (child->ElementType() == xeCharData) {
                if (escapeFrom < 0)
                    escapeFrom = FirstCrEscapedChild(node);
                if (i >= escapeFrom)
                    AppendCrAsReference(child->ValueDirect());
                else
                    WriteNode(*child, depth + 1);
                continue;
            }
            WriteNode(*child, depth + 1);
            const TUtf8XmlNode* next = node.Nodes(i + 1);
            if (!(next && next->ElementType() == xeCharData))
                FOut += FLineEnd;
        }
        if (!isShort) {
            if (count > 0)
                AppendIndent(depth);
            FOut += "</";
            FOut += name;
            FOut += '>';
        }
        break;
    }
    case xeComment:
        AppendIndent(depth);
        FOut.append("<!--").append(value).append("-->");
        break;
    case xeCData:
        AppendIndent(depth);
        FOut.append("<![CDATA[").append(value).append("]]>");
        break;
    case xeDeclaration:
        node.DeleteEmptyAttributes();
        AppendIndent(depth);
        FOut += "<?xml";
        AppendDeclarationAttributes(node, depth);
        FOut += "?>";
        break;
    case xeStylesheet:
        AppendIndent(depth);
        FOut += "<?xml-stylesheet";
        AppendAttributes(FOut, node);
        FOut += "?>";
        break;
    case xeDoctype:
        AppendIndent(depth);
        FOut.append("<!DOCTYPE ").append(name).append(" ").append(value);
        if (count == 0) {
            FOut += '>';
            break;
        }
        FOut.append(" [").append(FLineEnd);
        for (int i = 0; i < count; ++i) {
            WriteNode(*node.Nodes(i), depth + 1);
            FOut += FLineEnd;
        }
        FOut += "]>";
        break;
    case xeElement:
    case xeAttList:
    case xeEntity:
    case xeNotation: {
        static constexpr std::string_view kOpenings[] = {"<!ELEMENT ", "<!ATTLIST ", "<!ENTITY ",
                                                         "<!NOTATION "};
        AppendIndent(depth);
        FOut.append(kOpenings[type - xeElement]).append(name).append(" ").append(value).append(">");
        break;
    }
    case xeExclam:
        AppendIndent(depth);
        FOut.append("<!").append(value).append(">");
        break;
    case xeQuestion:
        AppendIndent(depth);
        FOut.append("<?").append(value).append("?>");
        break;
    case xeCharData:
        FOut += value;
        break;
    case xeUnknown:
        AppendIndent(depth);
        FOut.append("<").append(value).append(">");
        break;
    }
    if (FSink && FOut.size() >= kSinkBlock)
        Flush();
    if (FProgress)
        FProgress->DoProgress(FFlushed + static_cast<int64_t>(FOut.size()));
}

// ---- The node's own entry points -------------------------------------------

std::string TUtf8XmlNode::WriteToString() {
    std::string out;
    TXmlWriter(out, DocumentHooks()).WriteNode(*this, TreeDepth());
    return out;
}

void TUtf8XmlNode::WriteToStream(TStream& stream) {
    const std::string out = WriteToString();
    if (!out.empty())
        stream.Write(out.data(), static_cast<int64_t>(out.size()));
}

} // namespace orvex
