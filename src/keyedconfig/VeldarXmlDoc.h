#pragma once
// TVeldarXmlDoc: an XML document that knows the name its root element must have
// and the name of a "context" attribute with a default value, and finds or creates
// nodes by paths given as text or as a list of pieces. A missing node is answered
// with nullptr (or made on request); a malformed path raises EVeldarException.

#include "base/SharedFile.h"
#include "base/TextFormat.h"
#include "keyedconfig/VeldarErrors.h"
#include "keyedconfig/VeldarFileRoutines.h"
#include "keyedconfig/VeldarVariant.h"
#include "keyedconfig/VeldarmarkMessages.h"
#include "keyedconfig/WideXmlNodeOps.h"
#include "keyedconfig/XPathLookup.h"
#include "keyedconfig/XPathText.h"
#include "xml/WideXmlDocument.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

class TVeldarKey;
class TVeldarmark;

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

    // The detail set that governs this document's error texts: the owning map's
    // when a map owns the document, else the document's own.
    TErrorDetailAllowedSet ErrorDetailAllowed() const;
    // Raises with the method name only when the detail set allows it; never names
    // a component.
    [[noreturn]] void RaiseError(std::u16string_view msg, std::u16string_view methodName) const;
    [[noreturn]] void RaiseErrorFmt(std::u16string_view fmt,
                                    std::initializer_list<TFormatValue> args,
                                    std::u16string_view methodName) const;
    // The file name as errors may show it (between double quotes), or empty.
    std::u16string FileNameDetail() const;
    // "Unable to <verb> file: \r\nReason: <reason>[\r\nFilename: <detail>]"; for a
    // document a key owns, 65162 with the key's description and file name.
    std::u16string FormatFileError(std::u16string_view verb, std::u16string_view reason) const;
    // The owning key's index; -1 for a document no key owns.
    int KeyIndex() const;

    // The parent's file loading and saving are refused (65124): a keyed document
    // reads and writes its file through its own load and save. Streams and
    // strings load through the parent as usual.
    void LoadFromFile(std::u16string_view fileName) override;
    void SaveToFile(std::u16string_view fileName) override;

    // --- The file on disk and the update cycle (VeldarXmlDocFiles.cpp) ---

    // Loads the document's file (shared with other readers and writers) and
    // validates it. False with the reason in LastError for a missing, unreadable,
    // malformed or invalid file. Raises 65147 during an update.
    bool LoadFile();
    // Validates and saves atomically (temporary file + rename). False with the
    // reason in LastError when invalid, when another update holds the file, or when
    // the write fails (the file is then unchanged). Raises 65147 during an update
    // and 65148 before a successful LoadFile.
    bool SaveFile();
    // Holds the file against other writers, reloading it first when it changed on
    // disk (fileReloaded). False with the reason in LastError on failure. Raises
    // 65144 when already updating and 65146 when the document was changed before.
    bool BeginUpdate(bool& fileReloaded);
    // Returns to the content before the cycle and releases the file. Raises 65143
    // without a running update.
    void CancelUpdate();
    // Validates, writes the whole document atomically and releases the file. On a
    // validation or write failure the document returns to the content before the
    // cycle, the file is left unchanged and the result is False (reason in
    // LastError). Raises 65145 without a running update.
    bool EndUpdate();
    // The file differs from what was last loaded or saved (false without a file name).
    bool HasChangedOnDisk() const;
    void ClearWarnings() { FWarnings.clear(); }
    // A load met bytes that are no text in the file's encoding: a warning says so.
    void DoUnicodeLoss() override;
    bool ListensForUnicodeLoss() const override { return true; }

    // --- Typed access by pieces (VeldarXmlDocValues.cpp) ---

    // The attribute (or the node's text) with variables expanded, converted to the
    // type of fallback; fallback when the node or attribute is missing. A failed
    // conversion adds a warning (65139 / 65138) and gives fallback.
    TVeldarVariant ZNodeAttr(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                             TContextUsage contextUsage, const TVeldarVariant& fallback,
                             std::u16string_view attrName);
    TVeldarVariant ZNodeAttr(TWideXmlNode* startNode, std::initializer_list<TPiece> xpath,
                             TContextUsage contextUsage, const TVeldarVariant& fallback,
                             std::u16string_view attrName) {
        return ZNodeAttr(startNode, Span(xpath), contextUsage, fallback, attrName);
    }
    TVeldarVariant ZNodeValue(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                              TContextUsage contextUsage, const TVeldarVariant& fallback);
    TVeldarVariant ZNodeValue(TWideXmlNode* startNode, std::initializer_list<TPiece> xpath,
                              TContextUsage contextUsage, const TVeldarVariant& fallback) {
        return ZNodeValue(startNode, Span(xpath), contextUsage, fallback);
    }
    // Sets the attribute (or the text) of the node, made when create; with create
    // and a context usage the context attribute goes last. True when the node was
    // found or made; false with LastError on an exception.
    bool ZNodeAttrSave(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                       TContextUsage contextUsage, const TVeldarVariant& value,
                       std::u16string_view attrName, bool create);
    bool ZNodeAttrSave(TWideXmlNode* startNode, std::initializer_list<TPiece> xpath,
                       TContextUsage contextUsage, const TVeldarVariant& value,
                       std::u16string_view attrName, bool create) {
        return ZNodeAttrSave(startNode, Span(xpath), contextUsage, value, attrName, create);
    }
    bool ZNodeValueSave(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                        TContextUsage contextUsage, const TVeldarVariant& value, bool create);
    bool ZNodeValueSave(TWideXmlNode* startNode, std::initializer_list<TPiece> xpath,
                        TContextUsage contextUsage, const TVeldarVariant& value, bool create) {
        return ZNodeValueSave(startNode, Span(xpath), contextUsage, value, create);
    }

    // --- Variables under <Variables begin=".." end=".."><Var name value/></Variables> ---

    // Both delimiters of the root's Variables element; true when both are set.
    bool VarGetDelimiters(std::u16string& beginDelim, std::u16string& endDelim);
    // The value of a variable under the root; empty when missing.
    std::u16string VarValue(std::u16string_view varName);
    // Replaces each reference begin+name+end whose variable has a value; the end
    // delimiter is looked for after the begin delimiter. node is not consulted.
    std::u16string ExpandVarsIn(std::u16string_view value, TWideXmlNode* node = nullptr);
    // Some attribute value or leaf text under the root holds both delimiters.
    bool VarDelimitersInUse();
    // Some attribute value or leaf text below parentNode (the root for nullptr)
    // holds begin+name+end.
    bool VarIsInUse(TWideXmlNode* parentNode, std::u16string_view varName);
    // Sets both delimiters on the root's Variables element (made first among the
    // root's children). False with 65141 in LastError while the old ones are in use.
    bool SaveVarDelimiters(std::u16string_view beginDelimiter, std::u16string_view endDelimiter);
    // Sets Variables/Var[@name] below parentNode (the root for nullptr). False with
    // 65149 in LastError while no delimiters are set.
    bool SaveVar(TWideXmlNode* parentNode, std::u16string_view varName, std::u16string_view value);
    // True when deleted or missing; false with 65142 in LastError while in use.
    bool DeleteVar(TWideXmlNode* parentNode, std::u16string_view varName);

    // --- Summary schema (VeldarXmlDocSummary.cpp) ---

    // Installs a copy of a summary element (its first child is the skeleton root).
    bool SetXsdSummary(TWideXmlNode* xsdSummaryRootNodeToCopy, std::u16string& errorMsg);
    // Installs the summary from its XML text.
    bool SetXsdSummary(std::u16string_view xsdSummaryAsString, std::u16string& errorMsg);
    // Sets the schema location and the two flags without a skeleton.
    bool SetXsdSummary(std::u16string_view xsdUrl, bool contextSupported,
                       bool deleteEmptyNodesOnSave, std::u16string& errorMsg);
    // The common worker of the first two.
    bool LoadXsdSummary(TWideXmlNode* summaryElement, std::u16string& errorMsg);
    // Checks the root name, the schema location and the order; empty errorMsg when valid.
    bool ValidatesOK(std::u16string& errorMsg);
    // Checks one document element against one summary element, recursively.
    bool ValidateNodeSequence(TWideXmlNode* docNode, TWideXmlNode* summaryNode,
                              std::u16string& report);

    // --- Owners (set by the keybox map) ---

    TVeldarKey* VeldarKey() const { return FVeldarKey; }
    TVeldarmark* Veldarmark() const { return FVeldarmark; }
    void SetOwners(TVeldarmark* map, TVeldarKey* key) {
        FVeldarmark = map;
        FVeldarKey = key;
    }

    // --- Facts ---

    const std::u16string& FilePathAndName() const { return FFilePathAndName; }
    const std::u16string& RequiredRootNodeName() const { return FRequiredRootNodeName; }
    const std::u16string& ContextAttributeID() const { return FContextAttributeID; }
    const std::u16string& ContextDefault() const { return FContextDefault; }
    const std::u16string& LastError() const { return FLastError; }
    void SetLastError(std::u16string text) { FLastError = std::move(text); }
    const std::vector<std::u16string>& Warnings() const { return FWarnings; }
    TWideXmlNode* XsdSummary() const { return FXsdSummary.get(); }
    bool XsdSummarySet() const { return FXsdSummarySet; }
    const std::u16string& XsdUrl() const { return FXsdUrl; }
    bool ContextSupported() const { return FContextSupported; }
    bool DeleteEmptyNodesOnSave() const { return FDeleteEmptyNodesOnSave; }
    bool XmlOK() const { return FXmlOK; }
    bool FileLoaded() const { return FFileLoaded; }
    bool UpdateInProgress() const { return FUpdateInProgress; }
    TDateTime FileAgeBeforeChanges() const { return FFileAgeBeforeChanges; }
    // The document's text after the last load or save (UTF-8).
    const std::string& ContentBeforeChanges() const { return FContentBeforeChanges; }
    // The content snapshot := the document's text now; the file's date is left
    // alone, so a file never loaded still counts as changed at BeginUpdate.
    void SnapshotContent();

    // What the last lookup found. Like every node a lookup returns, LastNode is
    // valid only until that node is removed or the document is cleared or reloaded.
    TWideXmlNode* LastNode() const { return FLast.LastNode; }
    bool LastNodeAttrFound() const { return FLast.LastNodeAttrFound; }
    TContextUsage LastNodeContextUsage() const { return FLast.LastNodeContextUsage; }
    bool LastNodeContextUsed() const { return FLast.LastNodeContextUsed; }
    const std::u16string& LastNodeContextValue() const { return FLast.LastNodeContextValue; }
    const std::u16string& LastNodeSelectAttrID() const { return FLast.LastNodeSelectAttrID; }

private:
    TXPathLookup<TWideXmlNodeOps> Lookup(TWideXmlNodeOps& ops);
    TWideXmlNodeOps Ops();
    // Where a node a lookup creates goes among its parent's children: -1 appends;
    // with a summary schema its order decides (VeldarXmlDocSummary.cpp).
    int NewNodeIndex(TWideXmlNode* parent, std::span<const TXPathElement> steps, size_t step);
    // Ties parsed steps to the summary schema; nothing while no summary is set
    // (VeldarXmlDocSummary.cpp).
    void MapStepsOntoSummary(TWideXmlNode* startNode, bool absolute,
                             std::vector<TXPathElement>& steps);
    // text of node (found at xpath from startNode), its variables expanded, as
    // fallback's type; a text that does not convert gives fallback and a warning:
    // about the attribute attrName, or the node's value when attrName is empty.
    TVeldarVariant ConvertedText(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                                 TWideXmlNode* node, std::u16string_view text,
                                 const TVeldarVariant& fallback, std::u16string_view attrName);
    // Finds (or, with create, makes) the node at xpath and lets write change it; a
    // node made keeps the context attribute last. False when there is no node, or
    // when a step fails: FLastError is then failureText and the reason.
    bool SaveAt(TWideXmlNode* startNode, std::span<const TPiece> xpath, TContextUsage contextUsage,
                bool create, std::u16string_view failureText,
                const std::function<void(TWideXmlNode&)>& write);

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

    // Owners, file state and the update cycle.
    TVeldarKey* FVeldarKey = nullptr;
    TVeldarmark* FVeldarmark = nullptr;
    bool FXmlOK = false;
    std::string FContentBeforeChanges;
    TDateTime FFileAgeBeforeChanges = 0;
    TFileStamp FFileStampBeforeChanges;
    bool FFileLoaded = false;
    std::unique_ptr<TSharedFile> FFileStreamForUpdate;
    bool FUpdateInProgress = false;
    std::u16string FXsdUrl;

    static std::span<const TPiece> Span(std::initializer_list<TPiece> pieces) {
        return {pieces.begin(), pieces.size()};
    }
    // The content snapshot and the file's date now.
    void TakeSnapshot();
    bool ReadFileContent(std::u16string& reason);
    // ValidatesOK for the file operations, which report rather than raise.
    bool ValidatesForFile(std::u16string& reason);
    bool WriteDocumentAtomically(std::u16string& reason);
    void ReleaseUpdateFile() { FFileStreamForUpdate.reset(); }
};

} // namespace orvex
