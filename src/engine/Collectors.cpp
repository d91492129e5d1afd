#include "engine/Collectors.h"

#include "base/CaseFold.h"
#include "base/ExceptionText.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/IIsBinding.h"
#include "engine/NodeKeys.h"
#include "engine/ProgressLog.h"
#include "engine/PropertyValues.h"
#include "engine/SiteConflicts.h"
#include "platform/MachineFacts.h"

namespace orvex {

namespace {

using namespace backupxml;

using TSiteVisitor = void (*)(std::vector<std::u16string>& list, const TWideXmlNode& site);

// Calls visit for the `SubDir` of every top-level child of the selected backup
// that passes accept.
template <class TAccept>
void VisitSelectedSites(std::vector<std::u16string>& list, const TRestoreTree& tree, TAccept accept,
                        TSiteVisitor visit) {
    auto document = LoadBackupDocument();
    TTreeNode* machineNode = FindSelectedMachineNode(tree);
    if (!machineNode) return;
    TWideXmlNode* machine = SelectedMachineElement(*document, tree);
    if (!machine) return;
    const TSubDirMap sites = SubDirsOf(*machine);
    for (int i = 0; i < machineNode->ChildCount(); ++i) {
        const TTreeNode& child = *machineNode->Child(i);
        if (!accept(child)) continue;
        if (const TWideXmlNode* site = FindSubDir(sites, NodePath(child))) visit(list, *site);
    }
}

void CollectNonexistPaths(std::vector<std::u16string>& list, const TWideXmlNode& element) {
    std::u16string value = element.AttributeByName(AttrValue);
    std::u16string path = ExtractPathFromValue(value).Path;
    if (!path.empty() && !MachineFileExists(path) && !MachineDirectoryExists(path))
        list.push_back(GetNodeKey(element) + u"=" + value);
    for (int i = 0; i < element.NodeCount(); ++i) {
        const TWideXmlNode& child = *element.Nodes(i);
        if (child.ElementType() == xeNormal) CollectNonexistPaths(list, child);
    }
}

void CollectBindings(std::vector<std::u16string>& list, const TWideXmlNode& element) {
    for (int i = 0; i < element.NodeCount(); ++i) {
        const TWideXmlNode& child = *element.Nodes(i);
        if (!IsBackupElement(child, ElemProperty)) continue;
        std::u16string type = child.AttributeByName(AttrType);
        std::u16string id = child.AttributeByName(AttrId);
        if (SameTextIgnoreCase(type, TypeUnsupported)) continue;
        if (!SameTextIgnoreCase(id, u"ServerBindings") && !SameTextIgnoreCase(id, u"SecureBindings")) continue;
        TOleVariant bindings = TextToPropertyValue(type, child.AttributeByName(AttrValue), &child);
        for (int32_t b = 0; b <= bindings.HighBound(); ++b) {
            std::u16string entry = bindings[static_cast<size_t>(b)].ToText();
            size_t colon = entry.find(u':');
            if (colon != std::u16string::npos && colon > 0) list.push_back(GetNodeKey(child) + u"=" + entry);
        }
    }
}

} // namespace

TExtractedPath ExtractPathFromValue(std::u16string_view value) {
    TExtractedPath result;
    size_t drive = value.find(u":\\");
    if (value.empty() || drive == std::u16string_view::npos) return result;
    size_t start = drive;  // 0-based here
    while (start > 0 && value[start - 1] != u',') --start;
    size_t end = start;
    while (end + 1 < value.size() && value[end + 1] != u',') ++end;
    result.Start = static_cast<int>(start) + 1;
    result.End = static_cast<int>(end) + 1;
    result.Path = std::u16string(value.substr(start, end - start + 1));
    return result;
}

void GetNonexistPath(std::vector<std::u16string>& list, const TRestoreTree& tree, bool) {
    try {
        VisitSelectedSites(
            list, tree,
            [](const TTreeNode& site) {
                return SameTextIgnoreCase(NodeClassName(site), ClassWebServer) && IsNodeChecked(site);
            },
            CollectNonexistPaths);
    } catch (const std::exception& e) {
        LogBackupException(u"GetNonexistPath: " + ExceptionMessage(e), clLogRed);
    }
}

void GetAllIP(std::vector<std::u16string>& list, const TRestoreTree& tree, bool onlyChecked) {
    try {
        VisitSelectedSites(
            list, tree, [onlyChecked](const TTreeNode& node) { return !onlyChecked || IsNodeChecked(node); },
            CollectBindings);
    } catch (const std::exception& e) {
        LogBackupException(u"GetAllIP: " + ExceptionMessage(e), clLogRed);
    }
}

} // namespace orvex
