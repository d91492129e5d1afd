#include "xml/WideXmlDocument.h"

#include "xml/UTF8StringUtils.h"
#include "xml/XmlErrors.h"
#include "xml/XmlMessages.h"

namespace orvex {

namespace {

std::unique_ptr<TUtf8XmlNode> MakeWideContainer(TXmlDocumentHooks* document) {
    return std::make_unique<TWideXmlNode>(document);
}

} // namespace

TWideXmlDocument::TWideXmlDocument() : TUtf8XmlDocument(MakeWideContainer) {}

TWideXmlDocument::TWideXmlDocument(std::u16string_view rootName)
    : TUtf8XmlDocument(MakeWideContainer) {
    TUtf8XmlDocument::Root()->SetName(TUtf8XmlNode::FromUnicodeString(rootName));
}

std::u16string TWideXmlDocument::CommentString() const {
    return TUtf8XmlNode::ToUnicodeString(TUtf8XmlDocument::CommentString());
}

void TWideXmlDocument::SetCommentString(std::u16string_view value) {
    TUtf8XmlDocument::SetCommentString(TUtf8XmlNode::FromUnicodeString(value));
}

std::u16string TWideXmlDocument::EncodingString() const {
    return TUtf8XmlNode::ToUnicodeString(TUtf8XmlDocument::EncodingString());
}

void TWideXmlDocument::SetEncodingString(std::u16string_view value) {
    TUtf8XmlDocument::SetEncodingString(TUtf8XmlNode::FromUnicodeString(value));
}

std::u16string TWideXmlDocument::IndentString16() const {
    return TUtf8XmlNode::ToUnicodeString(TUtf8XmlDocument::IndentString());
}

void TWideXmlDocument::SetIndentString(std::u16string_view value) {
    TUtf8XmlDocument::SetIndentString(TUtf8XmlNode::FromUnicodeString(value));
}

std::u16string TWideXmlDocument::VersionString() const {
    return TUtf8XmlNode::ToUnicodeString(TUtf8XmlDocument::VersionString());
}

void TWideXmlDocument::SetVersionString(std::u16string_view value) {
    TUtf8XmlDocument::SetVersionString(TUtf8XmlNode::FromUnicodeString(value));
}

void TWideXmlDocument::SetOnNodeNew(TWideXmlNodeEvent handler) {
    if (!handler) {
        OnNodeNew = nullptr;
        return;
    }
    OnNodeNew = [handler = std::move(handler)](TUtf8XmlDocument& sender, TUtf8XmlNode* node) {
        handler(static_cast<TWideXmlDocument&>(sender), TWideXmlNode::Cast(node));
    };
}

void TWideXmlDocument::SetOnNodeLoaded(TWideXmlNodeEvent handler) {
    if (!handler) {
        OnNodeLoaded = nullptr;
        return;
    }
    OnNodeLoaded = [handler = std::move(handler)](TUtf8XmlDocument& sender, TUtf8XmlNode* node) {
        handler(static_cast<TWideXmlDocument&>(sender), TWideXmlNode::Cast(node));
    };
}

void TWideXmlDocument::SetOnNodeCompare(TWideXmlNodeCompareEvent handler) {
    if (!handler) {
        OnNodeCompare = nullptr;
        return;
    }
    OnNodeCompare = [handler = std::move(handler)](TUtf8XmlDocument& sender, TUtf8XmlNode* node1,
                                                   TUtf8XmlNode* node2, void* info) {
        return handler(static_cast<TWideXmlDocument&>(sender), TWideXmlNode::Cast(node1),
                       TWideXmlNode::Cast(node2), info);
    };
}

void TWideXmlDocument::ReadFromString(std::u16string_view value) {
    TUtf8XmlDocument::ReadFromString(TUtf8XmlNode::FromUnicodeString(value));
}

void TWideXmlDocument::ReadFromUTF8String(std::string_view value8) {
    if (UTF8Copy(value8, 1, 80).find("encoding=\"UTF-8\"") == std::string::npos)
        throw EXmlError(std::string(sxUtf8EncodingRequired));
    TUtf8XmlDocument::ReadFromString(value8);
}

std::u16string TWideXmlDocument::WriteToString16() {
    return TUtf8XmlNode::ToUnicodeString(TUtf8XmlDocument::WriteToString());
}

} // namespace orvex
