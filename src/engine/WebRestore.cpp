#include "engine/WebRestore.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/ExceptionText.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"
#include "engine/EngineHost.h"
#include "engine/EngineOperation.h"
#include "engine/IIsBinding.h"
#include "engine/LocalMachineFacts.h"
#include "engine/Pop3Restore.h"
#include "engine/ProgressLog.h"
#include "engine/PropertyValues.h"
#include "engine/RestoreChecks.h"
#include "engine/SiteConflicts.h"
#include "engine/SupportedProperties.h"
#include "platform/EmulatedMachine.h"

#include <algorithm>
#include <stdexcept>

namespace orvex {

namespace {

using namespace backupxml;

std::runtime_error RestoreFailure(std::u16string_view text) { return std::runtime_error(Utf16ToUtf8(text)); }

void CheckBindingAddresses(const TWideXmlNode& property) {
    LogLine(u"Check IP Bindings......", clLogBlue);
    try {
        std::vector<std::u16string> local;
        GetLocalIPAddresses(local);
        if (std::find(local.begin(), local.end(), u"127.0.0.1") == local.end()) local.push_back(u"127.0.0.1");
        TOleVariant bindings = TextToPropertyValue(property.AttributeByName(AttrType),
                                                   property.AttributeByName(AttrValue), &property);
        for (int32_t i = 0; i <= bindings.HighBound(); ++i) {
            std::u16string entry = bindings[static_cast<size_t>(i)].ToText();
            size_t colon = entry.find(u':');
            if (colon == std::u16string::npos || colon == 0) continue;
            std::u16string address = entry.substr(0, colon);
            bool known = std::any_of(local.begin(), local.end(),
                                     [&](const std::u16string& a) { return SameTextIgnoreCase(a, address); });
            if (known) {
                LogLine(u"Check IP \"" + address + u"\"......ok.", clLogBlue);
            } else {
                LogBackupError(u"Check ip \"" + address + u"\"......does not exist!", clLogRed);
                LogBackupWarning(u"Can not find IP\"" + address + u"\" on your machine. Remember to add it!",
                                 clLogBlack);
            }
        }
    } catch (...) {
        LogLine(u"Check IP Bindings finished.", clLogBlue);
        throw;
    }
    LogLine(u"Check IP Bindings finished.", clLogBlue);
}

// A property whose attributes cannot be read is taken as not secret: writing it
// then reports the real failure.
bool IsSecureProperty(const TOleVariant& object, std::u16string_view id) {
    try {
        TOleVariant secure = object.Call(u"GetPropertyAttribObj", id).Property(u"Secure");
        return secure.Kind() == TVariantKind::vkBoolean && secure.AsBoolean();
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        return false;
    }
}

// The texts of the `Property` element being restored; their memory serves the next.
struct TPropertyTexts {
    std::u16string Id;
    std::u16string Type;
    std::u16string Value;
    std::u16string Line;
    TOleVariant Put[2];  // the arguments of "Put"
};

// Whether ids are supported, by their position among an element's children, per
// class: the objects of a class hold the same ids in the same order, so a restore
// looks each one up once.
class TSupportedIds {
public:
    bool Contains(const TSupportedPropertyList& list, size_t position, const std::u16string& id) {
        std::vector<TKnown>& known = Of(list);
        if (position < known.size() && known[position].Id == id)
            return known[position].Supported;
        const bool supported = list.Contains(id);
        if (position >= known.size())
            known.resize(position + 1);
        known[position].Id = id;
        known[position].Supported = supported;
        return supported;
    }

private:
    struct TKnown {
        std::u16string Id;
        bool Supported = false;
    };
    std::vector<TKnown>& Of(const TSupportedPropertyList& list) {
        for (auto& [each, known] : FLists)
            if (each == &list)
                return known;
        return FLists.emplace_back(&list, std::vector<TKnown>()).second;
    }
    std::vector<std::pair<const TSupportedPropertyList*, std::vector<TKnown>>> FLists;
};

// What one restore keeps from property to property.
struct TRestoreRun {
    TPropertyTexts Texts;
    TSupportedIds Supported;
};

constexpr std::u16string_view kPut = u"Put";
constexpr std::u16string_view kSetInfo = u"SetInfo";

// RestoreProperty with the object's supported properties known (the object's class
// is read once for all of them).
void RestoreSupportedProperty(const TOleVariant& object, const TSupportedPropertyList* supported,
                              const TWideXmlNode& property, size_t position, TRestoreRun& run) {
    if (!IsBackupElement(property, ElemProperty)) return;
    TPropertyTexts& texts = run.Texts;
    const std::u16string& id = texts.Id;
    const std::u16string& type = texts.Type;
    const std::u16string& value = texts.Value;
    const TPropertyUtf8Names& names = PropertyUtf8Names();
    property.AttributeByName(names.Id, texts.Id);
    property.AttributeByName(names.Type, texts.Type);
    if (!supported || !run.Supported.Contains(*supported, position, id) || SameAsciiText(type, TypeUnsupported))
        return;
    property.AttributeByName(names.Value, texts.Value);
    try {
        if (!IsKnownPropertyType(type)) throw RestoreFailure(u"Unknown property type " + type);
        if (SameAsciiText(id, u"AppRoot") && HasDotSteps(value))
            throw RestoreFailure(u"the application root holds a \".\" or \"..\" step, which would reach a key "
                                 u"outside its place");
        // A secret is never in the file: writing the empty text would wipe the password.
        if (value.empty() && type != TypeList && IsSecureProperty(object, id)) {
            LogLine(u"  Skip secure property: " + id + u" (no value in the backup)", clLogBlack);
            return;
        }
        if (SameAsciiText(id, u"ServerBindings") || SameAsciiText(id, u"SecureBindings"))
            CheckBindingAddresses(property);
        if (type == TypeIPSec) {
            WriteIPSecurityToObject(object, property);
        } else {
            texts.Put[0].AssignText(id);
            texts.Put[1] = TextToPropertyValue(type, value, &property);
            object.CallWith(kPut, texts.Put);
            object.CallWith(kSetInfo, {});
        }
        texts.Line.assign(u"  Restore property: ").append(id).append(u"=").append(value);
        LogLine(texts.Line, clLogGreen);
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        const TWideXmlNode* parent = property.Parent();
        LogBackupException(u"Problem in RestoreProperty: path=" + (parent ? GetDisplayPath(*parent) : std::u16string()) +
                               u" name=" + id + u" type=" + type + u" value=" + value + u" Error:" +
                               ExceptionMessage(e),
                           clLogRed);
    }
}

void RestorePropertiesIn(TRestoreRun& run, const TOleVariant& object, const TWideXmlNode& element) {
    const TSupportedPropertyList* supported = SupportedPropertiesOf(object.Property(u"Class").ToText());
    for (int i = 0; i < element.NodeCount(); ++i)
        RestoreSupportedProperty(object, supported, *element.Nodes(i), static_cast<size_t>(i), run);
}

// The object of node: bound when it exists, else created under its parent. Nothing
// (an empty variant) when that failed, after the failure was logged.
TOleVariant OpenOrCreateObject(std::u16string_view machine, const TWideXmlNode& element, const TTreeNode& node) {
    std::u16string path = GetTreeNodeADsPathOnly(node);
    std::u16string display = GetDisplayPath(element);
    if (IIsObjectExists(machine, path)) {
        LogLine(u"Restore directory: " + display, clLogBlue);
        try {
            return GetIIsObject(machine, path);
        } catch (const std::exception& e) {
            PassMachineFilesError(e);
            LogBackupException(u"Call GetObject error! Path=" + path + u" error=" + ExceptionMessage(e), clLogRed);
            return {};
        }
    }
    LogLine(u"Restore directory: " + display, clLogGreen);
    try {
        std::u16string parentPath = node.Parent() ? GetTreeNodeADsPathOnly(*node.Parent()) : std::u16string(PathWebService);
        TOleVariant container = GetIIsObject(machine, parentPath);
        TOleVariant object = container.Call(u"Create", NodeClassName(node), NodePath(node));
        object.Call(u"SetInfo");
        return object;
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"Call CreateObject error! Path=" + display + u".", clLogRed);
        LogBackupWarning(u"Hint: Virtual path cannot be restored unless web site exists. Try restoring the complete "
                         u"web site node!",
                         clLogBlack);
        return {};
    }
}

void RestoreDirectoryIn(TRestoreRun& run, std::u16string_view machine, std::u16string_view iisVersion,
                        const TWideXmlNode& element, std::vector<std::u16string>* skipList, const TTreeNode& node,
                        const TRefusedNodes* refused) {
    if (!IsNodeChecked(node) || (refused && refused->contains(&node))) return;
    std::u16string className = NodeClassName(node);
    if (className == ClassPop3) {
        RestorePopDirectory(machine, iisVersion, element, node);
        return;
    }
    if (className == ClassServiceExtensions) {
        RestoreServiceExtensions(machine, iisVersion, element, node);
        return;
    }
    std::u16string display;
    try {
        display = GetDisplayPath(element);
        TOleVariant object = OpenOrCreateObject(machine, element, node);
        if (object.IsEmpty()) return;
        if (ArePropertiesChecked(node)) RestorePropertiesIn(run, object, element);
        const TSubDirMap children = SubDirsOf(element);
        for (int i = 0; i < node.ChildCount(); ++i) {
            const TTreeNode& child = *node.Child(i);
            if (!IsNodeChecked(child) || (refused && refused->contains(&child))) continue;
            std::u16string childPath = NodePath(child);
            const TWideXmlNode* childElement = FindSubDir(children, childPath);
            if (!childElement) {
                LogBackupException(u"RestoreDirectory: Path=" + display + u" Error=Can not find path=" + childPath,
                                   clLogRed);
                continue;
            }
            if (skipList) {
                // Sites are skipped by identifier: names need not be unique or present.
                auto skipped = std::find(skipList->begin(), skipList->end(), childElement->AttributeByName(AttrPath));
                if (skipped != skipList->end()) {
                    skipList->erase(skipped);
                    continue;
                }
            }
            RestoreDirectoryIn(run, machine, iisVersion, *childElement, nullptr, child, refused);
        }
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"RestoreDirectory: Path=" + display + u" Error=" + ExceptionMessage(e), clLogRed);
    }
}

// The steps of RestoreMachine after the count check, inside its operation. The
// backup file is read once; the site check renumbers sites in that copy as well.
void RestoreSelectedBackup(std::u16string_view machine, std::u16string_view iisVersion, const TRestoreTree& tree) {
    TMachineOperation::LockMachine(machine);
    TTreeNode* machineNode = FindSelectedMachineNode(tree);
    std::unique_ptr<TWideXmlDocument> document = machineNode ? LoadBackupDocument() : nullptr;
    TRefusedNodes refused;
    if (machineNode) {
        // Everything refused is known before anything is written.
        refused = CheckRestoreSelection(machine, *SelectedMachineElement(*document, tree), *machineNode);
        if (refused.contains(machineNode)) return;
    }
    std::vector<std::u16string> skipList;
    if (!CheckSites(machine, tree, skipList, &refused, document.get())) return;
    LogLine(u"Check sites finished.", clLogBlue);
    LogLine(u"Restoring......", clLogBlue);
    if (!machineNode) return;
    RestoreDirectory(machine, iisVersion, *SelectedMachineElement(*document, tree), &skipList, *machineNode, &refused);
}

// Calls each (child, its path, its element) for every checked child of node, the
// element found among element's `SubDir` children; one that is not there fails.
template <class TEach>
void ForEachCheckedSubDir(const TTreeNode& node, const TWideXmlNode& element, TEach each) {
    const TSubDirMap children = SubDirsOf(element);
    for (int i = 0; i < node.ChildCount(); ++i) {
        const TTreeNode& child = *node.Child(i);
        if (!IsNodeChecked(child)) continue;
        const std::u16string path = NodePath(child);
        const TWideXmlNode* found = FindSubDir(children, path);
        if (!found) throw RestoreFailure(u"Can not find path=" + path);
        each(child, path, *found);
    }
}

} // namespace

std::u16string PropertyValueOf(const TWideXmlNode& element, std::u16string_view id) {
    for (int i = 0; i < element.NodeCount(); ++i) {
        const TWideXmlNode& child = *element.Nodes(i);
        if (IsBackupElement(child, ElemProperty) && SameTextIgnoreCase(child.AttributeByName(AttrId), id))
            return child.AttributeByName(AttrValue);
    }
    throw RestoreFailure(u"Can not find property " + std::u16string(id) + u" at " + GetDisplayPath(element));
}

void RestoreMachine(std::u16string_view machine, std::u16string_view iisVersion, const TRestoreTree& tree) {
    int checked = 0;
    for (int i = 0; i < tree.TopLevelCount(); ++i)
        if (IsNodeChecked(*tree.TopLevelNode(i))) ++checked;
    if (checked >= 2) {
        EngineHost().ShowWarning(EngineHost().DialogText(u"MsgWarningOk", u"restoremachinecount"));
        return;
    }
    LogLine(u"Check sites......", clLogBlue);
    // No other process writes the machine until the restore ends, and the restore
    // writes its files once, at the end.
    TMachineOperation operation;
    std::u16string failure;
    try {
        RestoreSelectedBackup(machine, iisVersion, tree);
    } catch (const std::exception& e) {
        failure = ExceptionMessage(e);
        LogBackupException(u"RestoreMachine: " + failure, clLogRed);
    }
    try {
        operation.Commit();
    } catch (const std::exception& e) {
        // A machine that ended the restore cannot write what it had kept either.
        if (ExceptionMessage(e) != failure) LogBackupException(u"RestoreMachine: " + ExceptionMessage(e), clLogRed);
    }
}

void RestoreDirectory(std::u16string_view machine, std::u16string_view iisVersion, const TWideXmlNode& element,
                      std::vector<std::u16string>* skipList, const TTreeNode& node, const TRefusedNodes* refused) {
    TRestoreRun run;
    RestoreDirectoryIn(run, machine, iisVersion, element, skipList, node, refused);
}

void RestoreProperties(const TOleVariant& object, const TWideXmlNode& element) {
    TRestoreRun run;
    RestorePropertiesIn(run, object, element);
}

void RestoreProperty(const TOleVariant& object, const TWideXmlNode& property) {
    std::u16string className;
    try {
        className = object.Property(u"Class").ToText();
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"Problem in RestoreProperty: " + ExceptionMessage(e), clLogRed);
        return;
    }
    TRestoreRun run;
    RestoreSupportedProperty(object, SupportedPropertiesOf(className), property, 0, run);
}

void RestoreServiceExtensions(std::u16string_view machine, std::u16string_view, const TWideXmlNode& element,
                              const TTreeNode& node) {
    try {
        TOleVariant service = GetIIsObject(machine, u"W3SVC");
        ForEachCheckedSubDir(node, element, [&](const TTreeNode& groupNode, const std::u16string& description,
                                                const TWideXmlNode& group) {
            std::u16string groupId = PropertyValueOf(group, u"GroupID");
            ForEachCheckedSubDir(groupNode, group, [&](const TTreeNode&, const std::u16string& file,
                                                       const TWideXmlNode& fileElement) {
                bool allow = PropertyValueOf(fileElement, u"AllowDenyFlag") == u"True";
                bool deletable = PropertyValueOf(fileElement, u"DeletableFlag") == u"True";
                try {
                    service.Call(u"AddExtensionFile", file, allow, groupId, deletable, description);
                } catch (const std::exception& e) {
                    PassMachineFilesError(e);
                    service.Call(u"DeleteExtensionFileRecord", file);
                    service.Call(u"AddExtensionFile", file, allow, groupId, deletable, description);
                }
                LogLine(u"Restore Service Extention: " + file, clLogGreen);
            });
        });
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"RestoreServiceExtensions: Path=" + GetDisplayPath(element) + u" Error=" +
                               ExceptionMessage(e),
                           clLogRed);
    }
}

} // namespace orvex
