#include "engine/SiteConflicts.h"

#include "base/CaseFold.h"
#include "base/ExceptionText.h"
#include "base/NumberText.h"
#include "base/TextFormat.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/EngineHost.h"
#include "engine/EngineState.h"
#include "engine/IIsBinding.h"
#include "engine/ProgressLog.h"
#include "engine/WebBackup.h"

#include <memory>
#include <optional>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

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

void LogSiteList(std::u16string_view where, const TSiteList& list) {
    LogLine(u"Found " + IntToText(static_cast<int64_t>(list.size())) + u" sites in " + std::u16string(where) + u".",
            clLogBlue);
    for (const auto& line : list) LogLine(u"  " + line, clLogGreen);
}

// The direct `SubDir` children of one `Machine` element by case-folded path, each
// path's elements last to first, so that many renamed sites cost no repeated scans.
// A renamed site leaves the index: its new identifier is one that no site of the
// backup has, so it is never asked for.
class TSiteElements {
public:
    explicit TSiteElements(const TWideXmlNode& machine) {
        for (int i = machine.NodeCount() - 1; i >= 0; --i) {
            TWideXmlNode* child = machine.Nodes(i);
            if (IsBackupElement(*child, ElemSubDir))
                FByPath[CaseFoldedKey(child->AttributeByName(AttrPath))].push_back(child);
        }
    }

    // The first element of path not taken yet, as FindSubDirElement finds it once
    // the taken ones are renamed; nullptr when none.
    TWideXmlNode* Take(std::u16string_view path) {
        auto found = FByPath.find(CaseFoldedKey(path));
        if (found == FByPath.end() || found->second.empty()) return nullptr;
        TWideXmlNode* element = found->second.back();
        found->second.pop_back();
        return element;
    }

private:
    std::unordered_map<std::u16string, std::vector<TWideXmlNode*>> FByPath;
};

// New identifiers for sites of the selected backup, made in one loaded copy of the
// backup file, which stays locked until it is saved once; the tree's records
// follow only a saved file.
class TSiteRenumbering {
public:
    // copy: the caller's loaded copy of the file, renamed alike (or nullptr).
    TSiteRenumbering(const TRestoreTree& tree, TWideXmlDocument* copy) : FTree(tree), FCopy(copy) {}

    // Renames the site oldId in the copy (its path and AppRoot values). False, after
    // a red line for an exception, when it cannot; nothing is saved then.
    bool Add(std::u16string_view oldId, std::u16string_view newId) {
        try {
            if (!FEdit) {
                FMachineNode = FindSelectedMachineNode(FTree);
                if (!FMachineNode) return false;
                FEdit = std::make_unique<TBackupFileEdit>();
                if (TWideXmlNode* machine = SelectedMachineElement(FEdit->Document(), FTree))
                    FSites.emplace(*machine);
            }
            if (!FSites) return false;
            TWideXmlNode* site = FSites->Take(oldId);
            if (!site) return false;
            Rename(*site, oldId, newId);
            if (FCopy && !FCopySites) FCopySites.emplace(*SelectedMachineElement(*FCopy, FTree));
            if (TWideXmlNode* copy = FCopySites ? FCopySites->Take(oldId) : nullptr) Rename(*copy, oldId, newId);
            FRenamed.emplace_back(oldId, newId);
            return true;
        } catch (const std::exception& e) {
            LogBackupException(u"Problem in ChangeSitePath: " + ExceptionMessage(e), clLogRed);
        }
        return false;
    }

    // Saves the copy (atomically) when anything was renamed, then renames the
    // tree's records. False, after a red line, when the file could not be saved.
    bool Finish() {
        if (FRenamed.empty()) return true;
        try {
            FEdit->Save();
            FEdit.reset();
        } catch (const std::exception& e) {
            LogBackupException(u"Problem in ChangeSitePath: " + ExceptionMessage(e), clLogRed);
            return false;
        }
        std::unordered_map<std::u16string, std::u16string> newIdOf;
        for (const auto& [oldId, newId] : FRenamed) newIdOf.emplace(oldId, newId);
        for (int i = 0; i < FMachineNode->ChildCount(); ++i) {
            TreeNodeData* data = FMachineNode->Child(i)->Data();
            if (!data) continue;
            auto renamed = newIdOf.find(std::u16string(data->PathText()));
            if (renamed != newIdOf.end()) SetNodePath(*data, renamed->second);
        }
        return true;
    }

private:
    static void Rename(TWideXmlNode& site, std::u16string_view oldId, std::u16string_view newId) {
        site.SetAttributeByName(AttrPath, newId);
        RewriteAppRoot(oldId, newId, site);
    }

    const TRestoreTree& FTree;
    TWideXmlDocument* FCopy;
    std::unique_ptr<TBackupFileEdit> FEdit;
    TTreeNode* FMachineNode = nullptr;
    std::optional<TSiteElements> FSites, FCopySites;
    std::vector<std::pair<std::u16string, std::u16string>> FRenamed;
};

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

TWideXmlNode* SelectedMachineElement(TWideXmlDocument& document, const TRestoreTree& tree) {
    for (int i = 0; i < tree.TopLevelCount(); ++i) {
        TTreeNode* node = tree.TopLevelNode(i);
        if (!node || !IsNodeChecked(*node)) continue;
        TWideXmlNode* element = MachineElementAt(MachinesElement(document), i);
        if (!element || element->AttributeByName(AttrBackupName) != node->Text())
            throw std::runtime_error(Utf16ToUtf8(u"The backup file changed since it was loaded: backup " +
                                                 node->Text() + u" is no longer where the tree shows it"));
        return element;
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
        if (IsBackupElement(child, ElemSubDir) && SameTextIgnoreCase(child.AttributeByName(AttrClassName), ClassWebServer))
            list.push_back(child.AttributeByName(AttrPath) + u"=" + child.AttributeByName(AttrSiteName));
    }
    return complete;
}

void ListBackupSites(const TRestoreTree& tree, TSiteList& allSites, TSiteList& selectedSites,
                     const TRefusedNodes* refused, TWideXmlDocument* copy) {
    allSites.clear();
    selectedSites.clear();
    TTreeNode* machineNode = FindSelectedMachineNode(tree);
    if (!machineNode) return;
    std::unique_ptr<TWideXmlDocument> loaded = copy ? nullptr : LoadBackupDocument();
    TWideXmlNode* machineElement = SelectedMachineElement(copy ? *copy : *loaded, tree);
    const TSubDirMap children = machineElement ? SubDirsOf(*machineElement) : TSubDirMap();  // one pass for all sites
    for (int i = 0; i < machineNode->ChildCount(); ++i) {
        const TTreeNode& child = *machineNode->Child(i);
        if (!SameTextIgnoreCase(NodeClassName(child), ClassWebServer)) continue;
        std::u16string id = NodePath(child);
        const TWideXmlNode* site = FindSubDir(children, id);
        std::u16string line = id + u"=" + (site ? site->AttributeByName(AttrSiteName) : std::u16string());
        allSites.push_back(line);
        if (IsNodeChecked(child) && !(refused && refused->contains(&child))) selectedSites.push_back(line);
    }
}

bool CheckSites(std::u16string_view machine, const TRestoreTree& tree, std::vector<std::u16string>& skipList,
                const TRefusedNodes* refused, TWideXmlDocument* copy) {
    TSiteList destination, backup, selected;
    // A site left out would look free and be overwritten whatever the mode.
    if (!ListDestinationSites(machine, destination)) {
        LogBackupError(u"CheckSites: the web sites of " + std::u16string(machine) +
                           u" could not all be listed; nothing is restored",
                       clLogRed);
        return false;
    }
    ListBackupSites(tree, backup, selected, refused, copy);
    LogSiteList(u"backup package", backup);
    LogSiteList(u"destination machine", destination);
    LogSiteList(u"selected list", selected);
    EngineHost().ProcessPendingEvents();

    // Built once and kept up to date, so that many sites cost no repeated scans:
    // the destination's identifiers, the first destination identifier of each name,
    // and every identifier in use in backup or destination (all case-folded).
    std::unordered_set<std::u16string> destinationIds, usedIds;
    std::unordered_map<std::u16string, std::u16string> destinationIdOfName;
    for (const auto& line : destination) {
        TSiteLine site = SplitSiteLine(line);
        destinationIds.insert(CaseFoldedKey(site.Id));
        usedIds.insert(CaseFoldedKey(site.Id));
        destinationIdOfName.emplace(CaseFoldedKey(site.Name), site.Id);
    }
    for (const auto& line : backup) usedIds.insert(CaseFoldedKey(SplitSiteLine(line).Id));
    int64_t lowestCandidate = 1;  // every smaller number is in use
    TSiteRenumbering renumbering(tree, copy);

    const size_t count = selected.size();
    for (size_t i = 0; i < count; ++i) {
        LogLine(u"Check site: " + selected[i] + u"......", clLogBlue);
        TSiteLine site = SplitSiteLine(selected[i]);
        if (!destinationIds.contains(CaseFoldedKey(site.Id))) continue;
        auto sameName = destinationIdOfName.find(CaseFoldedKey(site.Name));
        if (sameName != destinationIdOfName.end() && sameName->second == site.Id) {
            LogLine(u"same name and path" + site.Name + u"=" + site.Id, clLogBlue);
            if (DecideExistingSite(site, skipList) != TSiteDecision::sdNewId) continue;
        }
        LogLine(u"destPath: 1", clLogBlue);
        while (usedIds.contains(IntToText(lowestCandidate))) ++lowestCandidate;
        std::u16string newId = IntToText(lowestCandidate);
        destinationIds.insert(newId);
        usedIds.insert(newId);
        destinationIdOfName.emplace(CaseFoldedKey(site.Name), newId);
        LogLine(u"Changed site path from " + site.Id + u" to " + newId, clLogBlue);
        // The selected list keeps the old identifier: its first line with it is this
        // one or an earlier one, and no line is read again.
        if (!renumbering.Add(site.Id, newId)) {
            LogBackupError(u"Problem in ChangeSitePath: from " + site.Id + u" to " + newId, clLogRed);
            return false;
        }
    }
    return renumbering.Finish();
}

bool ChangeSitePath(std::u16string_view oldId, std::u16string_view newId, const TRestoreTree& tree) {
    if (SameTextIgnoreCase(oldId, newId)) return true;
    TSiteRenumbering renumbering(tree, nullptr);
    return renumbering.Add(oldId, newId) && renumbering.Finish();
}

void RewriteAppRoot(std::u16string_view oldId, std::u16string_view newId, TWideXmlNode& element) {
    const std::u16string prefix = u"/LM/W3SVC/" + std::u16string(oldId);
    for (int i = 0; i < element.NodeCount(); ++i) {
        TWideXmlNode& child = *element.Nodes(i);
        if (IsBackupElement(child, ElemProperty) && SameTextIgnoreCase(child.AttributeByName(AttrId), u"AppRoot")) {
            std::u16string value = child.AttributeByName(AttrValue);
            // "/LM/W3SVC/12" is another site than "/LM/W3SVC/1".
            if (value.size() >= prefix.size() && !HasDotSteps(value) &&
                SameTextIgnoreCase(std::u16string_view(value).substr(0, prefix.size()), prefix) &&
                (value.size() == prefix.size() || value[prefix.size()] == u'/'))
                child.SetAttributeByName(AttrValue, u"/LM/W3SVC/" + std::u16string(newId) + value.substr(prefix.size()));
        } else if (IsBackupElement(child, ElemSubDir)) {
            RewriteAppRoot(oldId, newId, child);
        }
    }
}

} // namespace orvex
