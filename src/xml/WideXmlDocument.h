#pragma once
// TWideXmlDocument: the document the rest of the program creates. Its nodes are
// TWideXmlNode; its texts are UTF-16 at this face and UTF-8 inside.

#include "xml/WideXmlNode.h"
#include "xml/XmlDocument.h"

#include <functional>
#include <string>
#include <string_view>

namespace orvex {

class TWideXmlDocument : public TUtf8XmlDocument {
public:
    using TWideXmlNodeEvent = std::function<void(TWideXmlDocument& sender, TWideXmlNode* node)>;
    using TWideXmlNodeCompareEvent = std::function<int(
        TWideXmlDocument& sender, TWideXmlNode* node1, TWideXmlNode* node2, void* info)>;

    TWideXmlDocument();
    // CreateName: the root element gets the name (refused names raise).
    explicit TWideXmlDocument(std::u16string_view rootName);

    TWideXmlDocument* WideDocument() override { return this; }

    TWideXmlNode* Root() const { return TWideXmlNode::Cast(TUtf8XmlDocument::Root()); }
    TWideXmlNode* RootNodeList() override {
        return TWideXmlNode::Cast(TUtf8XmlDocument::RootNodeList());
    }
    TWideXmlNode* StyleSheetNode() { return TWideXmlNode::Cast(TUtf8XmlDocument::StyleSheetNode()); }

    std::u16string CommentString() const;
    void SetCommentString(std::u16string_view value);
    std::u16string EncodingString() const;
    void SetEncodingString(std::u16string_view value);
    std::u16string IndentString16() const;
    void SetIndentString(std::u16string_view value);
    using TUtf8XmlDocument::SetIndentString;
    std::u16string VersionString() const;
    void SetVersionString(std::u16string_view value);

    // The same event fields as the UTF-8 document, seen with TWideXmlNode.
    void SetOnNodeNew(TWideXmlNodeEvent handler);
    void SetOnNodeLoaded(TWideXmlNodeEvent handler);
    void SetOnNodeCompare(TWideXmlNodeCompareEvent handler);

    // Parses the UTF-8 form of value as it stands (no detection).
    void ReadFromString(std::u16string_view value);
    using TUtf8XmlDocument::ReadFromString;
    // Refuses text without encoding="UTF-8" (exactly so) in its first 80
    // characters: EXmlError "Encoding attribute of "UTF-8" required in ?xml tag",
    // before anything is parsed.
    void ReadFromUTF8String(std::string_view value8) override;
    // The document's XML text.
    std::u16string WriteToString16();
};

} // namespace orvex
