// TVeldarXmlDoc: the summary schema, validation against it, and the place of new
// nodes in its order.

#include "base/AsciiText.h"
#include "base/NumberText.h"
#include "base/TextFormat.h"
#include "keyedconfig/VeldarXmlDoc.h"

#include <exception>

namespace orvex {

namespace {

constexpr std::u16string_view kCrLf = u"\r\n";

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

// The index of the first element child named name (case ignored), -1 when none.
int FirstElementNamed(TWideXmlNode* parent, std::u16string_view name) {
    for (int i = 0; i < parent->NodeCount(); ++i) {
        TWideXmlNode* child = parent->Nodes(i);
        if (child->ElementType() == xeNormal && SameNameIgnoringCase(child->Name(), name))
            return i;
    }
    return -1;
}

int LastElementNamed(TWideXmlNode* parent, std::u16string_view name) {
    for (int i = parent->NodeCount() - 1; i >= 0; --i) {
        TWideXmlNode* child = parent->Nodes(i);
        if (child->ElementType() == xeNormal && SameNameIgnoringCase(child->Name(), name))
            return i;
    }
    return -1;
}

} // namespace

// --- Installing the summary ---

bool TVeldarXmlDoc::LoadXsdSummary(TWideXmlNode* summaryElement, std::u16string& errorMsg) {
    errorMsg.clear();
    TWideXmlNode* summaryRoot = summaryElement ? summaryElement->Nodes(0) : nullptr;
    if (!summaryRoot) {
        errorMsg = u"XsdSummary validation root node is missing";
        return false;
    }
    if (summaryRoot->Name() != FRequiredRootNodeName) {
        errorMsg = u"XsdSummary validation root node " + Quoted(summaryRoot->Name()) +
                   u" is invalid - should be " + Quoted(FRequiredRootNodeName);
        return false;
    }
    const std::u16string xsd = summaryElement->AttributeByName(u"xsd");
    const std::u16string contextSupported =
        AsciiLowerCase(summaryElement->AttributeByName(u"contextSupported"));
    const std::u16string deleteEmptyNodes =
        AsciiLowerCase(summaryElement->AttributeByName(u"deleteEmptyNodes"));
    if (contextSupported != u"true" && contextSupported != u"false")
        errorMsg = u"contextSupported=\"true|false\" must be specified in root node of XsdSummary";
    if (deleteEmptyNodes != u"true" && deleteEmptyNodes != u"false") {
        if (!errorMsg.empty())
            errorMsg += kCrLf;
        errorMsg += u"attribute deleteEmptyNodes=\"true|false\" must be ";
        errorMsg += u" specified in the opening <XsdSummary...> tag";
    }
    if (!errorMsg.empty())
        return false;
    FXsdUrl = xsd;
    FContextSupported = contextSupported == u"true";
    FDeleteEmptyNodesOnSave = deleteEmptyNodes == u"true";
    auto copy = std::make_unique<TWideXmlNode>();
    copy->Assign(*summaryElement);
    FXsdSummary = std::move(copy);
    return true;
}

bool TVeldarXmlDoc::SetXsdSummary(TWideXmlNode* xsdSummaryRootNodeToCopy, std::u16string& errorMsg) {
    errorMsg.clear();
    if (FXsdSummarySet)
        errorMsg = u"XsdSummary already set";
    else if (!xsdSummaryRootNodeToCopy)
        errorMsg = u"XsdSummaryRootNodeToCopy is nil";
    else
        FXsdSummarySet = LoadXsdSummary(xsdSummaryRootNodeToCopy, errorMsg);
    if (!errorMsg.empty())
        errorMsg = u"SetXsdSummary failed: \r\n" + errorMsg;
    return errorMsg.empty();
}

bool TVeldarXmlDoc::SetXsdSummary(std::u16string_view xsdSummaryAsString, std::u16string& errorMsg) {
    errorMsg.clear();
    if (FXsdSummarySet) {
        errorMsg = u"XsdSummary already set";
    } else if (xsdSummaryAsString.empty()) {
        errorMsg = u"XsdSummaryAsString is empty";
    } else {
        try {
            TWideXmlDocument scratch;
            scratch.ReadFromString(xsdSummaryAsString);
            TWideXmlNode* element = scratch.Root();
            if (!element || element->Name().empty())
                errorMsg = u"XsdSummaryAsString is not valid xml";
            else
                FXsdSummarySet = LoadXsdSummary(element, errorMsg);
        } catch (const std::exception&) {
            errorMsg = u"XsdSummaryAsString is not valid xml";
        }
    }
    if (!errorMsg.empty())
        errorMsg = u"SetXsdSummary failed: " + errorMsg;
    return errorMsg.empty();
}

bool TVeldarXmlDoc::SetXsdSummary(std::u16string_view xsdUrl, bool contextSupported,
                                  bool deleteEmptyNodesOnSave, std::u16string& errorMsg) {
    errorMsg.clear();
    if (FXsdSummarySet) {
        errorMsg = u"SetXsdSummary failed: XsdSummary already set";
        return false;
    }
    FXsdUrl = xsdUrl;
    FContextSupported = contextSupported;
    FDeleteEmptyNodesOnSave = deleteEmptyNodesOnSave;
    return true;
}

// --- Validation ---

bool TVeldarXmlDoc::ValidatesOK(std::u16string& errorMsg) {
    errorMsg.clear();
    TWideXmlNode* root = Root();
    const std::u16string rootName = root ? root->Name() : std::u16string();
    const std::u16string location =
        root ? root->AttributeByName(u"xsi:noNamespaceSchemaLocation") : std::u16string();
    if (!root || rootName != FRequiredRootNodeName)
        errorMsg = FormatTolerant(VeldarMessage(vmInvalidRootNode),
                                  {rootName, FRequiredRootNodeName}, TMissingValue::StaysVisible);
    else if (!FXsdUrl.empty() && !SameAsciiText(location, FXsdUrl))
        errorMsg = u"Invalid value in root node attribute \"xsi:noNamespaceSchemaLocation\". "
                   u"Attribute value is " + Quoted(location) + u" but should be " + Quoted(FXsdUrl) + u".";
    else if (FXsdSummary && FXsdSummary->Nodes(0))
        ValidateNodeSequence(root, FXsdSummary->Nodes(0), errorMsg);
    if (!errorMsg.empty())
        errorMsg = u"Validation failed\r\n" + errorMsg;
    return errorMsg.empty();
}

bool TVeldarXmlDoc::ValidateNodeSequence(TWideXmlNode* docNode, TWideXmlNode* summaryNode,
                                         std::u16string& report) {
    report.clear();
    auto addLine = [&report](std::u16string_view text) {
        if (!report.empty())
            report += kCrLf;
        report += text;
    };
    const int docCount = docNode->NodeCount();
    const int summaryCount = summaryNode->NodeCount();
    auto inSummary = [&](std::u16string_view name) {
        for (int i = 0; i < summaryCount; ++i)
            if (summaryNode->Nodes(i)->Name() == name)
                return true;
        return false;
    };
    auto reportUnknownElements = [&] {
        for (int i = 0; i < docCount; ++i) {
            TWideXmlNode* child = docNode->Nodes(i);
            if (child->ElementType() == xeNormal && !inSummary(child->Name()))
                addLine(u"  The element name " + Quoted(child->Name()) + u" is invalid.");
        }
    };
    // The first element named exactly name from index start on; skipped counts the
    // non-elements passed on the way.
    auto findElementFrom = [&](std::u16string_view name, int start, int& skipped) {
        skipped = 0;
        for (int i = start; i < docCount; ++i) {
            TWideXmlNode* child = docNode->Nodes(i);
            if (child->ElementType() != xeNormal)
                ++skipped;
            else if (child->Name() == name)
                return i;
        }
        return -1;
    };
    auto sequencePositionText = [&](std::u16string_view name) -> std::u16string {
        for (int i = 0; i < summaryCount; ++i)
            if (SameAsciiText(summaryNode->Nodes(i)->Name(), name))
                return i == 0 ? std::u16string(u"first")
                              : u"after " + Quoted(summaryNode->Nodes(i - 1)->Name());
        return u"after Unknown";
    };
    // Built only when needed: a node's path costs its depth and may be too long to build.
    auto errorUnder = [&] { return u" Error encountered under: " + Quoted(XPathOfNode(docNode)); };

    if (summaryCount > 0 && docCount > 0) {
        int position = 0;
        bool stop = false;
        for (int s = 0; s < summaryCount && !stop; ++s) {
            TWideXmlNode* summaryChild = summaryNode->Nodes(s);
            const std::u16string name = summaryChild->Name();
            const bool leaf = summaryChild->NodeCount() == 0;
            for (int occurrence = 1; !stop; ++occurrence) {
                int skipped = 0;
                const int found = findElementFrom(name, position, skipped);
                if (found < 0)
                    break;
                if (found == position + skipped) {
                    TWideXmlNode* match = docNode->Nodes(found);
                    std::u16string subReport;
                    if (!ValidateNodeSequence(match, summaryChild, subReport)) {
                        addLine(subReport);
                        stop = true;
                        break;
                    }
                    if (leaf && !FContextAttributeID.empty() && match->HasAttribute(FContextAttributeID) &&
                        match->AttributeByName(FContextAttributeID).empty())
                        addLine(u"Empty attribute context=\"\" is not allowed for node " +
                                Quoted(XPathOfNode(match)));
                    position = found + 1;
                    if (!report.empty() || position >= docCount)
                        stop = true;
                    continue;
                }
                const std::u16string header = name + u"[" + IntToText(occurrence - 1) + u"]";
                addLine(errorUnder());
                reportUnknownElements();
                addLine(u"  The element " + Quoted(header) + u" is out of sequence");
                addLine(u"  The element " + Quoted(header) + u" should occur " +
                        sequencePositionText(name) + u" but was encountered after " +
                        Quoted(docNode->Nodes(found - 1)->Name()));
                addLine(u"    The encountered sequence of elements was:");
                addLine(u"    " + XPathOfNode(docNode));
                for (int i = 0; i < docCount; ++i)
                    addLine(u"      " + docNode->Nodes(i)->Name() + (i == found ? u"   <== found here" : u""));
                addLine(u"    Expected sequence of elements is:");
                for (int i = 0; i < summaryCount; ++i) {
                    const std::u16string expected = summaryNode->Nodes(i)->Name();
                    addLine(u"     " + expected + (expected == name ? u"   <== should be here" : u""));
                }
                stop = true;
            }
        }
        if (report.empty() && position < docCount) {
            reportUnknownElements();
            if (!report.empty())
                report = errorUnder() + std::u16string(kCrLf) + report;
        }
    } else if (summaryCount == 0 && docCount > 0) {
        report = u"Child nodes not allowed for node: " + Quoted(XPathOfNode(docNode));
    }
    return report.empty();
}

// --- The summary in path lookups ---

void TVeldarXmlDoc::MapStepsOntoSummary(TWideXmlNode* startNode, bool absolute,
                                        std::vector<TXPathElement>& steps) {
    if (!FXsdSummary)
        return;
    TWideXmlNode* start = startNode ? startNode : Root();
    std::vector<TWideXmlNode*> chain;
    for (TWideXmlNode* node = start; node && !node->Name().empty(); node = node->ListingParent())
        chain.push_back(node);
    TWideXmlNode* current = FXsdSummary->Nodes(0);
    for (size_t i = chain.size(); current && i-- > 1;) {
        const int index = FirstElementNamed(current, chain[i - 1]->Name());
        current = index < 0 ? nullptr : current->Nodes(index);
    }
    if (!current || chain.empty())
        RaiseError(u"Start node is invalid: " + Quoted(XPathOfNode(start)) + u" not found in XsdSummary",
                   u"GetXPathElementsEx");
    std::u16string walked = XPathOfNode(start);
    for (size_t k = absolute ? 1 : 0; k < steps.size(); ++k) {
        TXPathElement& step = steps[k];
        if (walked.empty() || walked.back() != u'/')
            walked += u'/';
        walked += step.xeTagName;
        const int index = FirstElementNamed(current, step.xeTagName);
        if (index < 0)
            RaiseError(u"XPath is invalid: " + Quoted(walked) + u" not found in XsdSummary",
                       u"GetXPathElementsEx");
        step.xeXsdSummaryParentNode = current;
        step.xeXsdSummaryChildIndex = index;
        current = current->Nodes(index);
    }
}

int TVeldarXmlDoc::NewNodeIndex(TWideXmlNode* parent, std::span<const TXPathElement> steps,
                                size_t step) {
    const TXPathElement& element = steps[step];
    TWideXmlNode* summaryParent = element.xeXsdSummaryParentNode;
    if (!FXsdSummary || !summaryParent || element.xeXsdSummaryChildIndex < 0)
        return -1;
    TWideXmlNode* summaryNode = summaryParent->Nodes(element.xeXsdSummaryChildIndex);
    const std::u16string nameAttribute = summaryNode->AttributeByName(u"xsNameAttribute");
    const TXPathAttribute* namePredicate = nullptr;
    if (!nameAttribute.empty())
        for (const TXPathAttribute& attr : element.xeAttributes)
            if (attr.xaAttributeID == nameAttribute) {
                namePredicate = &attr;
                break;
            }
    int firstMatch = -1;
    int lastMatch = -1;
    for (int i = 0; i < parent->NodeCount(); ++i) {
        TWideXmlNode* child = parent->Nodes(i);
        if (child->ElementType() != xeNormal || !SameNameIgnoringCase(child->Name(), element.xeTagName))
            continue;
        if (namePredicate && (!child->HasAttribute(nameAttribute) ||
                              child->AttributeByName(nameAttribute) != namePredicate->xaAttributeValue))
            continue;
        if (firstMatch < 0)
            firstMatch = i;
        lastMatch = i;
    }
    if (lastMatch < 0) {
        // After the last child named like this step's summary element or one listed before it.
        for (int j = element.xeXsdSummaryChildIndex; j >= 0; --j) {
            TWideXmlNode* listed = summaryParent->Nodes(j);
            if (listed->ElementType() != xeNormal)
                continue;
            const int last = LastElementNamed(parent, listed->Name());
            if (last >= 0)
                return last + 1;
        }
        return 0;
    }
    const bool lastStep = step + 1 == steps.size();
    if (lastStep && summaryNode->NodeCount() == 0 &&
        !HasContextPredicate(steps.back(), FContextAttributeID))
        return firstMatch;
    return lastMatch + 1;
}

} // namespace orvex
