#include "keyedconfig/VeldarXmlDoc.h"

#include "base/TextFormat.h"
#include "keyedconfig/Veldarmark.h"
#include "keyedconfig/WideXmlNodeOps.h"

namespace orvex {

TVeldarXmlDoc::TVeldarXmlDoc(std::u16string_view fileName, std::u16string_view requiredRootNodeName,
                             std::u16string_view contextDefault,
                             std::u16string_view contextAttributeID)
    : FFilePathAndName(fileName), FContextAttributeID(contextAttributeID),
      FContextDefault(contextDefault), FRequiredRootNodeName(requiredRootNodeName) {}

// A running update ends with the document: only the held file needs releasing.
TVeldarXmlDoc::~TVeldarXmlDoc() = default;

TWideXmlNodeOps TVeldarXmlDoc::Ops() {
    return TWideXmlNodeOps(
        Root(),
        [this](TWideXmlNode* parent, std::span<const TXPathElement> steps, size_t step) {
            return NewNodeIndex(parent, steps, step);
        },
        [this](TWideXmlNode* start, bool absolute, std::vector<TXPathElement>& steps) {
            MapStepsOntoSummary(start, absolute, steps);
        });
}

TXPathLookup<TWideXmlNodeOps> TVeldarXmlDoc::Lookup(TWideXmlNodeOps& ops) {
    return TXPathLookup<TWideXmlNodeOps>(ops, FContextAttributeID, ErrorDetailAllowed(), FLast);
}

TWideXmlNode* TVeldarXmlDoc::ZNode(TWideXmlNode* startNode, std::initializer_list<TPiece> xpath,
                                   TContextUsage contextUsage, bool create) {
    return ZNode(startNode, std::span<const TPiece>(xpath.begin(), xpath.size()), contextUsage,
                 create);
}

TWideXmlNode* TVeldarXmlDoc::ZNode(TWideXmlNode* startNode, std::span<const TPiece> xpath,
                                   TContextUsage contextUsage, bool create) {
    TWideXmlNodeOps ops = Ops();
    return Lookup(ops).ZNode(startNode, xpath, contextUsage, FContextDefault, create);
}

TWideXmlNode* TVeldarXmlDoc::ZNodeCommon(TWideXmlNode* startNode, std::u16string_view xpath,
                                         bool create) {
    TWideXmlNodeOps ops = Ops();
    return Lookup(ops).ZNodeCommon(startNode, xpath, create);
}

TWideXmlNode* TVeldarXmlDoc::ZCNodeCommon(TWideXmlNode* startNode, std::u16string_view xpath,
                                          TContextUsage contextUsage,
                                          std::u16string_view contextValue, bool create) {
    TWideXmlNodeOps ops = Ops();
    return Lookup(ops).ZCNodeCommon(startNode, xpath, contextUsage, contextValue, create);
}

void TVeldarXmlDoc::GetXPathElements(std::u16string_view xpath,
                                     std::vector<TXPathElement>& elements) const {
    orvex::GetXPathElements(xpath, elements, ErrorDetailAllowed());
}

void TVeldarXmlDoc::GetXPathElementsEx(TWideXmlNode* startNode, std::u16string_view xpath,
                                       bool absolute, std::vector<TXPathElement>& elements) {
    TWideXmlNodeOps ops = Ops();
    Lookup(ops).GetXPathElementsEx(startNode, xpath, absolute, elements);
}

std::u16string TVeldarXmlDoc::FullXPath(TWideXmlNode* startNode, std::u16string_view xpath) {
    TWideXmlNodeOps ops = Ops();
    return Lookup(ops).FullXPath(startNode, xpath);
}

std::u16string TVeldarXmlDoc::XPathOfNode(TWideXmlNode* node) {
    TWideXmlNodeOps ops(nullptr);
    return XPathOfNodeText(ops, node);
}

void TVeldarXmlDoc::RaiseError(std::u16string_view msg, std::u16string_view methodName) const {
    RaiseDocumentError(msg, methodName, ErrorDetailAllowed());
}

void TVeldarXmlDoc::RaiseErrorFmt(std::u16string_view fmt, std::initializer_list<TFormatValue> args,
                                  std::u16string_view methodName) const {
    RaiseError(FormatTolerant(fmt, args, TMissingValue::StaysVisible), methodName);
}

std::u16string TVeldarXmlDoc::FileNameDetail() const {
    const std::u16string& file = FVeldarKey ? FVeldarKey->KeyedFileName() : FFilePathAndName;
    return orvex::FileNameDetail(file, ErrorDetailAllowed());
}

std::u16string TVeldarXmlDoc::FormatFileError(std::u16string_view verb,
                                              std::u16string_view reason) const {
    if (FVeldarKey)
        return orvex::FormatFileError(verb, reason, FileNameDetail(),
                                      std::u16string_view(FVeldarKey->KeyedDetail().KeyDesc));
    return orvex::FormatFileError(verb, reason, FileNameDetail());
}

TErrorDetailAllowedSet TVeldarXmlDoc::ErrorDetailAllowed() const {
    return FVeldarmark ? FVeldarmark->ErrorDetailAllowed() : FErrorDetailAllowed;
}

int TVeldarXmlDoc::KeyIndex() const { return FVeldarKey ? FVeldarKey->KeyIndex() : -1; }

void TVeldarXmlDoc::LoadFromFile(std::u16string_view) {
    RaiseErrorFmt(VeldarMessage(vmWrongClassMethod), {u"LoadFromFile", u"LoadFile"},
                  u"LoadFromFile");
}

void TVeldarXmlDoc::SaveToFile(std::u16string_view) {
    RaiseErrorFmt(VeldarMessage(vmWrongClassMethod), {u"SaveToFile", u"SaveFile"}, u"SaveToFile");
}

} // namespace orvex
