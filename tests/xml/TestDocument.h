#pragma once
// A document stand-in for node tests: plain settings, a map of entities, and a
// fragment reader that understands only <name>text</name> and <name/>.

#include "xml/XmlNode.h"

#include <map>

namespace orvex::test {

class TTestDocument : public TXmlDocumentHooks {
public:
    bool Abort = false;
    bool WriteDefaults = true;
    int Digits = 6;
    bool Scientific = true;
    bool FullNodes = false;
    bool LocalBias = false;
    TBinaryEncodingType Binary = xbeBase64;
    TXmlFormatType Format = xfCompact;
    std::string Indent = "  ";
    TXmlNodeCompareFunction OnCompare = nullptr;
    std::map<std::string, std::string> Entities;
    TUtf8XmlNode Container{this};

    TUtf8XmlDocument* Utf8Document() override { return nullptr; }
    TUtf8XmlNode* RootNodeList() override { return &Container; }
    bool AbortParsing() const override { return Abort; }
    bool WriteOnDefault() const override { return WriteDefaults; }
    int FloatSignificantDigits() const override { return Digits; }
    bool FloatAllowScientific() const override { return Scientific; }
    bool UseFullNodes() const override { return FullNodes; }
    bool UseLocalBias() const override { return LocalBias; }
    TBinaryEncodingType BinaryEncoding() const override { return Binary; }
    void SetBinaryEncoding(TBinaryEncodingType encoding) override { Binary = encoding; }
    TXmlFormatType XmlFormat() const override { return Format; }
    std::string IndentString() const override { return Indent; }
    bool CompareNodes(TUtf8XmlNode* a, TUtf8XmlNode* b, void* info, int& result) override {
        if (!OnCompare)
            return false;
        result = OnCompare(a, b, info);
        return true;
    }
    std::string ResolveEntity(std::string_view name) override {
        const auto it = Entities.find(std::string(name));
        return it == Entities.end() ? std::string() : it->second;
    }
    std::vector<std::unique_ptr<TUtf8XmlNode>> ParseFragment(const TUtf8XmlNode& model,
                                                             std::string_view text) override {
        std::vector<std::unique_ptr<TUtf8XmlNode>> nodes;
        size_t at = 0;
        while (at < text.size()) {
            auto node = model.NewNodeOfClass(this);
            const size_t open = text.find('<', at);
            if (open == std::string_view::npos)
                break;
            const size_t close = text.find('>', open);
            std::string_view tag = text.substr(open + 1, close - open - 1);
            if (!tag.empty() && tag.back() == '/') {
                node->SetName(tag.substr(0, tag.size() - 1));
                at = close + 1;
            } else {
                node->SetName(tag);
                const std::string end = "</" + std::string(tag) + ">";
                const size_t stop = text.find(end, close);
                node->SetValueDirect(std::string(text.substr(close + 1, stop - close - 1)));
                at = stop + end.size();
            }
            nodes.push_back(std::move(node));
        }
        return nodes;
    }
};

} // namespace orvex::test
