#include "engine/SiteConflicts.h"

#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/EngineHost.h"
#include "engine/EngineState.h"
#include "engine/IIsBinding.h"
#include "engine/ProgressLog.h"
#include "engine/WebBackup.h"
#include "keyedconfig/VeldarmarkMessages.h"
#include "platform/base/CaseFold.h"
#include "platform/base/TextFormat.h"

namespace orvex {

namespace {

using namespace backupxml;

struct TSiteLine {
    std::u16string Id;
    std::u16string Name;
};

TSiteLine SplitSiteLine(std::u16string_view line) {
    size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) return {std::u16string(line), {}};
    return {std::u16string(line.substr(0, equals)), std::u16string(line.substr(equals + 1))};
}

bool HasSiteId(const TSiteList& list, std::u16string_view id) {
    for (const auto& line : list)
        if (SameTextIgnoreCase(SplitSiteLine(line).Id, id)) return true;
    return false;
}

// The first line whose name equals name ignoring case, or nullptr.
const std::u16string* FindSiteName(const TSiteList& list, std::u16string_view name) {
    for (const auto& line : list)
        if (SameTextIgnoreCase(SplitSiteLine(line).Name, name)) return &line;
    return nullptr;
}

void ReplaceSiteId(TSiteList& list, std::u16string_view oldId, std::u16string_view newId) {
    for (auto& line : list) {
        TSiteLine site = SplitSiteLine(line);
        if (site.Id == oldId) {
            line = std::u16string(newId) + u"=" + site.Name;
            return;
        }
    }
}

void LogSiteList(std::u16string_view where, const TSiteList& list) {
    LogLine(u"Found " + IntToText(static_cast<int64_t>(list.size())) + u" sites in " + std::u16string(where) + u".",
            clLogBlue);
    for (const auto& line : list) LogLine(u"  " + line, clLogGreen);
}

bool IsElementNamed(const TWideXmlNode& node, std::u16string_view name) {
    return node.ElementType() == xeNormal && SameTextIgnoreCase(node.Name(), name);
}

// The selected backup's `Machine` element in document, or nullptr.
TWideXmlNode* SelectedMachineElement(TWideXmlDocument& document, const TTreeNode& machineNode) {
    return FindMachineElement(MachinesElement(document), machineNode.Text());
}

enum class TSiteDecision { sdOverwrite, sdSkip, sdNewId };

TSiteDecision DecideExistingSite(const TSiteLine& site, std::vector<std::u16string>& skipList) {
    switch (SiteConflictMode()) {
    case scmSkip:
        LogLine(u"skip website: " + site.Name, clLogBlack);
        skipList.push_back(site.Id);
        return TSiteDecision::sdSkip;
    case scmOverwrite:
        LogLine(u"overwrite website: " + site.Name, clLogBlack);
        return TSiteDecision::sdOverwrite;
    case scmAsk: {
        std::u16string question =
            FormatTolerant(EngineHost().DialogText(u"DialogYesNoCancel", u"websiteexist"),
                           {site.Name, site.Id}, TMissingValue::StaysVisible);
        int answer = EngineHost().AskYesNoCancel(question);
        if (answer == mrNone)
            LogLine(u"you do not make the choice of website conflict!we will choose another identifier for your "
                    u"website",
                    clLogBlue);
        if (answer == mrYes) return TSiteDecision::sdOverwrite;
        if (answer == mrCancel) {
            skipList.push_back(site.Id);
            return TSiteDecision::sdSkip;
        }
        return TSiteDecision::sdNewId;
    }
    default: return TSiteDecision::sdNewId;
    }
}

} // namespace

TTreeNode* FindSelectedMachineNode(const TRestoreTree& tree) {
    for (int i = 0; i < tree.TopLevelCount(); ++i) {
        TTreeNode* node = tree.TopLevelNode(i);
        if (node && IsNodeChecked(*node)) return node;
    }
    return nullptr;
}

bool ListDestinationSites(std::u16string_view machine, TSiteList& list) {
    list.clear();
    auto scratch = NewBackupDocument();
    TWideXmlNode* root = scratch->Root();
    root->SetName(ElemRoot);
    TWideXmlNode* machineElement = root->NodeNew(ElemMachines)->NodeNew(ElemMachine);
    machineElement->AttributeAdd(AttrBackupName, u"");
    machineElement->AttributeAdd(AttrMachineName, machine);
    machineElement->AttributeAdd(AttrPath, PathWebService);
    machineElement->AttributeAdd(AttrClassName, ClassWebService);
    bool complete = BackupSubDirectories(machine, machineElement->AttributeByName(AttrPath), *machineElement, false);
    for (int i = 0; i < machineElement->NodeCount(); ++i) {
        const TWideXmlNode& child = *machineElement->Nodes(i);
        if (IsElementNamed(child, ElemSubDir) && SameTextIgnoreCase(child.AttributeByName(AttrClassName), ClassWebServer))
            list.push_back(child.AttributeByName(AttrPath) + u"=" + child.AttributeByName(AttrSiteName));
    }
    return complete;
}

void ListBackupSites(const TRestoreTree& tree, TSiteList& allSites, TSiteList& selectedSites) {
    allSites.clear();
    selectedSites.clear();
    TTreeNode* machineNode = FindSelectedMachineNode(tree);
    if (!machineNode) return;
    auto document = LoadBackupDocument();
    TWideXmlNode* machineElement = SelectedMachineElement(*document, *machineNode);
    for (int i = 0; i < machineNode->ChildCount(); ++i) {
        const TTreeNode& child = *machineNode->Child(i);
        if (!SameTextIgnoreCase(NodeClassName(child), ClassWebServer)) continue;
        std::u16string id = NodePath(child);
        const TWideXmlNode* site = machineElement ? FindSubDirElement(*machineElement, id) : nullptr;
        std::u16string line = id + u"=" + (site ? site->AttributeByName(AttrSiteName) : std::u16string());
        allSites.push_back(line);
        if (IsNodeChecked(child)) selectedSites.push_back(line);
    }
}

bool CheckSites(std::u16string_view machine, const TRestoreTree& tree, std::vector<std::u16string>& skipList) {
    TSiteList destination, backup, selected;
    // A site left out would look free and be overwritten whatever the mode.
    if (!ListDestinationSites(machine, destination)) {
        LogBackupError(u"CheckSites: the web sites of " + std::u16string(machine) +
                           u" could not all be listed; nothing is restored",
                       clLogRed);
        return false;
    }
    ListBackupSites(tree, backup, selected);
    LogSiteList(u"backup package", backup);
    LogSiteList(u"destination machine", destination);
    LogSiteList(u"selected list", selected);
    EngineHost().ProcessPendingEvents();

    const size_t count = selected.size();
    for (size_t i = 0; i < count; ++i) {
        LogLine(u"Check site: " + selected[i] + u"......", clLogBlue);
        TSiteLine site = SplitSiteLine(selected[i]);
        if (!HasSiteId(destination, site.Id)) continue;
        const std::u16string* sameName = FindSiteName(destination, site.Name);
        if (sameName && SplitSiteLine(*sameName).Id == site.Id) {
            LogLine(u"same name and path" + site.Name + u"=" + site.Id, clLogBlue);
            if (DecideExistingSite(site, skipList) != TSiteDecision::sdNewId) continue;
        }
        LogLine(u"destPath: 1", clLogBlue);
        int64_t n = 1;
        while (HasSiteId(backup, IntToText(n)) || HasSiteId(destination, IntToText(n))) ++n;
        std::u16string newId = IntToText(n);
        destination.push_back(newId + u"=" + site.Name);
        LogLine(u"Changed site path from " + site.Id + u" to " + newId, clLogBlue);
        ReplaceSiteId(backup, site.Id, newId);
        ReplaceSiteId(selected, site.Id, newId);
        if (!ChangeSitePath(site.Id, newId, tree)) {
            LogBackupError(u"Problem in ChangeSitePath: from " + site.Id + u" to " + newId, clLogRed);
            return false;
        }
    }
    return true;
}

bool ChangeSitePath(std::u16string_view oldId, std::u16string_view newId, const TRestoreTree& tree) {
    if (SameTextIgnoreCase(oldId, newId)) return true;
    try {
        TTreeNode* machineNode = FindSelectedMachineNode(tree);
        if (!machineNode) return false;
        auto document = LoadBackupDocument();
        TWideXmlNode* machineElement = SelectedMachineElement(*document, *machineNode);
        if (!machineElement) return false;
        TWideXmlNode* site = FindSubDirElement(*machineElement, oldId);
        if (!site) return false;
        site->SetAttributeByName(AttrPath, newId);
        RewriteAppRoot(oldId, newId, *site);
        SaveBackupDocument(*document);
        for (int i = 0; i < machineNode->ChildCount(); ++i) {
            TreeNodeData* data = machineNode->Child(i)->Data();
            if (data && data->PathText() == oldId) SetNodePath(*data, newId);
        }
        return true;
    } catch (const std::exception& e) {
        LogBackupException(u"Problem in ChangeSitePath: " + ExceptionMessage(e), clLogRed);
    }
    return false;
}

void RewriteAppRoot(std::u16string_view oldId, std::u16string_view newId, TWideXmlNode& element) {
    const std::u16string prefix = u"/LM/W3SVC/" + std::u16string(oldId);
    for (int i = 0; i < element.NodeCount(); ++i) {
        TWideXmlNode& child = *element.Nodes(i);
        if (IsElementNamed(child, ElemProperty) && SameTextIgnoreCase(child.AttributeByName(AttrId), u"AppRoot")) {
            std::u16string value = child.AttributeByName(AttrValue);
            // "/LM/W3SVC/12" is another site than "/LM/W3SVC/1".
            if (value.size() >= prefix.size() &&
                SameTextIgnoreCase(std::u16string_view(value).substr(0, prefix.size()), prefix) &&
                (value.size() == prefix.size() || value[prefix.size()] == u'/'))
                child.SetAttributeByName(AttrValue, u"/LM/W3SVC/" + std::u16string(newId) + value.substr(prefix.size()));
        } else if (IsElementNamed(child, ElemSubDir)) {
            RewriteAppRoot(oldId, newId, child);
        }
    }
}

} // namespace orvex
