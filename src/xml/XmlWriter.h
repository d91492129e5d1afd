#pragma once
// The writer: appends the XML text of nodes to one UTF-8 buffer, passing the
// depth down instead of asking every node for it. Internal to the XML library:
// callers use the document's save operations and the node's WriteToStream and
// WriteToString.

#include <string>
#include <string_view>

namespace orvex {

class TStream;
class TUtf8XmlNode;
class TUtf8XmlDocument;
class TXmlDocumentHooks;

class TXmlWriter {
public:
    // The layout (indent, line ends, short form) comes from document, or is
    // compact without one. With a sink, out is written to it whenever a node
    // leaves more than a block in it (and by Flush), so a large tree goes out
    // through a small buffer.
    TXmlWriter(std::string& out, const TXmlDocumentHooks* document, TStream* sink = nullptr);

    // Writes what out holds to the sink.
    void Flush();

    // Appends node and its subtree; depth is the node's TreeDepth (0 for a
    // root-level node).
    void WriteNode(TUtf8XmlNode& node, int depth);

    // The encoding of a declaration written at depth 0 that names anything else
    // is written as this name (none when empty).
    void SetDeclaredEncoding(std::string_view name) { FDeclaredEncoding = name; }

private:
    void AppendIndent(int depth);
    void AppendDeclarationAttributes(const TUtf8XmlNode& node, int depth);
    // The character data children from this index on are written with their CRs
    // as "&#13;" (NodeCount when none).
    static int FirstCrEscapedChild(const TUtf8XmlNode& node);
    void AppendCrAsReference(std::string_view text);

    std::string& FOut;
    TStream* FSink;
    int64_t FFlushed = 0; // bytes written to the sink so far
    TUtf8XmlDocument* FProgress = nullptr;
    std::string FIndentString;
    std::string FIndents;
    std::string_view FLineEnd;
    std::string_view FDeclaredEncoding;
    bool FReadable;
    bool FUseFullNodes;
};

} // namespace orvex
