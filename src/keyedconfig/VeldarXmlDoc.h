#pragma once
// TVeldarXmlDoc: an XML document that knows the name its root element must have
// and the name of a "context" attribute with a default value, and finds or creates
// nodes by paths given as text or as a list of pieces. A missing node is answered
// with nullptr (or made on request); a malformed path raises EVeldarException.

#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "keyedconfig/VeldarErrors.h"
#include "keyedconfig/VeldarmarkMessages.h"
#include "keyedconfig/WideXmlNodeOps.h"
#include "keyedconfig/XPathLookup.h"
#include "keyedconfig/XPathText.h"
#include "xml/WideXmlDocument.h"

namespace orvex {

class TVeldarXmlDoc : public TWideXmlDocument {
public:
    // An empty document (a declaration and a nameless root element); nothing is read
    // from fileName. The program's catalogue uses the root name
    // "PelluxToolsSoftwareTolkara" and the context attribute "context".
    TVeldarXmlDoc(std::u16string_view fileName, std::u16string_view requiredRootNodeName,
                  std::u16string_view contextDefault, std::u16string_view contextAttributeID);
    ~TVeldarXmlDoc() override;

    // --- Lookups (every one resets the last-lookup facts first) ---

    // Joins the pieces (BuildXPathFromPieces) and looks the path up: plainly with
    // cxNone, else with the context attribute and the document's context default.
    // startNode nullptr starts at the root element; then a path beginning with "/"
    // names the root element first.
    TWideXmlNode* ZNode(TWideXmlNode* startNode, std::initializer_list<TPiece> xpath,
                        TContextUsage contextUsage, bool create);
    TWideXmlNode* ZNode(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                        TContextUsage contextUsage, bool create);
    // Finds or creates the node of a path text.
    TWideXmlNode* ZNodeCommon(TWideXmlNode* startNode, std::u16string_view xpath, bool create);
    // The same with the context attribute: the node whose context attribute holds
    // contextValue; cxOptional falls back to the node without it, cxRequired with
    // create makes the node with it. An empty contextValue means no context.
    TWideXmlNode* ZCNodeCommon(TWideXmlNode* startNode, std::u16string_view xpath,
                               TContextUsage contextUsage, std::u16string_view contextValue,
                               bool create);

    // Parses a path text; raises 65166 on a syntax error.
    void GetXPathElements(std::u16string_view xpath, std::vector<TXPathElement>& elements) const;
    // GetXPathElements, then ties the steps to the summary schema when one is set.
    void GetXPathElementsEx(TWideXmlNode* startNode, std::u16string_view xpath, bool absolute,
                            std::vector<TXPathElement>& elements);
    // XPathOfNode of startNode joined with xpath, for messages.
    std::u16string FullXPath(TWideXmlNode* startNode, std::u16string_view xpath);
    // "/root/a/b[2]" (see XPathOfNodeText); "/" for nullptr. Raises 65167 beyond
    // 1024 characters, always naming the method.
    static std::u16string XPathOfNode(TWideXmlNode* node);

    // --- Errors ---

    // The detail set that governs this document's error texts.
    TErrorDetailAllowedSet ErrorDetailAllowed() const { return FErrorDetailAllowed; }
    // Raises with the method name only when the detail set allows it; never names
    // a component.
    [[noreturn]] void RaiseError(std::u16string_view msg, std::u16string_view methodName) const;
    [[noreturn]] void RaiseErrorFmt(std::u16string_view fmt, std::initializer_list<TFormatArg> args,
                                    std::u16string_view methodName) const;
    // The file name as errors may show it (between double quotes), or empty.
    std::u16string FileNameDetail() const;
    // "Unable to <verb> file: \r\nReason: <reason>[\r\nFilename: <detail>]".
    std::u16string FormatFileError(std::u16string_view verb, std::u16string_view reason) const;
    // The owning key's index; -1 for a document no key owns.
    int KeyIndex() const { return -1; }

    // The parent's file loading and saving are refused (65124): a keyed document
    // reads and writes its file through its own load and save. Streams and
    // strings load through the parent as usual.
    void LoadFromFile(std::u16string_view fileName) override;
    void SaveToFile(std::u16string_view fileName) override;

    // --- Facts ---

    const std::u16string& FilePathAndName() const { return FFilePathAndName; }
    const std::u16string& RequiredRootNodeName() const { return FRequiredRootNodeName; }
    const std::u16string& ContextAttributeID() const { return FContextAttributeID; }
    const std::u16string& ContextDefault() const { return FContextDefault; }
    const std::u16string& LastError() const { return FLastError; }
    const std::vector<std::u16string>& Warnings() const { return FWarnings; }
    TWideXmlNode* XsdSummary() const { return FXsdSummary.get(); }

    TWideXmlNode* LastNode() const { return FLast.LastNode; }
    bool LastNodeAttrFound() const { return FLast.LastNodeAttrFound; }
    TContextUsage LastNodeContextUsage() const { return FLast.LastNodeContextUsage; }
    bool LastNodeContextUsed() const { return FLast.LastNodeContextUsed; }
    const std::u16string& LastNodeContextValue() const { return FLast.LastNodeContextValue; }
    const std::u16string& LastNodeSelectAttrID() const { return FLast.LastNodeSelectAttrID; }

private:
    TXPathLookup<TWideXmlNodeOps> Lookup(TWideXmlNodeOps& ops);
    TWideXmlNodeOps Ops();
    // Where a node a lookup creates goes among its parent's children: -1 appends.
    // The summary schema's order will decide here once a summary can be set.
    int NewNodeIndex(TWideXmlNode* parent, std::span<const TXPathElement> steps, size_t step);
    // Ties parsed steps to the summary schema; nothing while no summary is set.
    void MapStepsOntoSummary(TWideXmlNode* startNode, bool absolute,
                             std::vector<TXPathElement>& steps);

    std::u16string FFilePathAndName;
    std::u16string FContextAttributeID;
    std::u16string FContextDefault;
    TErrorDetailAllowedSet FErrorDetailAllowed;
    std::u16string FLastError;
    TXPathLookupState<TWideXmlNode> FLast;
    std::u16string FRequiredRootNodeName;
    std::vector<std::u16string> FWarnings;
    bool FContextSupported = false;
    bool FDeleteEmptyNodesOnSave = false;
    std::unique_ptr<TWideXmlNode> FXsdSummary;
    bool FXsdSummarySet = false;
};

} // namespace orvex
