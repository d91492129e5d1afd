#include "engine/WebBackup.h"

#include "base/AsciiText.h"
#include "base/AtomicFile.h"
#include "base/CaseFold.h"
#include "base/ExceptionText.h"
#include "base/TextFormat.h"
#include "base/Utf.h"
#include "base/Workers.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"
#include "engine/EngineHost.h"
#include "engine/EngineState.h"
#include "engine/IIsBinding.h"
#include "engine/LocalMachineFacts.h"
#include "engine/Pop3Backup.h"
#include "engine/ProgressLog.h"
#include "engine/PropertyText.h"
#include "engine/PropertyValues.h"
#include "platform/AdsBinding.h"
#include "platform/EmulatedMachine.h"
#include "platform/Metabase.h"

#include <atomic>
#include <exception>
#include <functional>
#include <span>
#include <unordered_map>
#include <vector>

namespace orvex {

namespace {

using namespace backupxml;

bool IsTrueVariant(const TOleVariant& value) {
    return value.Kind() == TVariantKind::vkBoolean && value.AsBoolean();
}

bool HasSslCertificate(std::u16string_view name, const TOleVariant& propSchema, const TOleVariant& object) {
    if (!SameAsciiText(name, u"SecureBindings") || !SameAsciiText(propSchema.Property(u"Syntax").ToText(), TypeList))
        return false;
    TOleVariant bindings = object.Call(u"Get", name);
    bool addressed = false;
    if (bindings.IsArray())
        for (const auto& binding : bindings.AsArray()) {
            std::u16string text = binding.ToText();
            if (!text.empty() && text[0] != u':') addressed = true;
        }
    if (!addressed) return false;
    try {
        return !object.Call(u"Get", u"SSLStoreName").ToText().empty();
    } catch (const std::exception&) {
        return false;
    }
}

// The schema of one property as a walk needs it.
struct TPropertySchema {
    TOleVariant Object;
    std::u16string Syntax;
    std::u16string Type;  // the syntax in capitals: the `type` it is written with
    bool Secure = false;
};

// One property name of a class schema.
struct TSchemaName {
    TOleVariant Name;  // a text
    bool Shared;       // another name of the class is the same id (ignoring case)
    TPropertySchema* Schema = nullptr;  // once bound
};

// The schema of one class as a walk needs it: its property names as texts,
// mandatory ones first.
struct TClassSchema {
    TOleVariant Object;
    std::vector<TSchemaName> Names;
};

// Hashes a text and a view of one alike, so that a map keyed by texts is searched
// with a view.
struct TTextHash {
    using is_transparent = void;
    size_t operator()(std::u16string_view text) const { return std::hash<std::u16string_view>()(text); }
};

// A log line a walk on another thread kept: LogLine, or LogBackupException when
// Exception is set.
struct TKeptLine {
    std::u16string Text;
    TColor Colour;
    bool Exception;
};

// One walk of a machine's web service tree. Schema objects are bound once per name
// for the walk: only a bind that succeeded is kept, so a failing one is tried, and
// logged, again.
class TBackupWalk {
public:
    explicit TBackupWalk(std::u16string_view machine) : Machine(machine) {}
    const std::u16string Machine;

    // A walk on a thread other than the one that started the backup keeps its log
    // lines here; that thread logs them, in order, when the walk is over.
    std::vector<TKeptLine>* Kept = nullptr;
    void Line(std::u16string_view text, TColor colour) {
        Kept ? Kept->push_back({std::u16string(text), colour, false}) : LogLine(text, colour);
    }
    void Exception(std::u16string_view text, TColor colour) {
        Kept ? Kept->push_back({std::u16string(text), colour, true})
             : LogBackupException(text, colour);
    }

    // Raises the bind's failure; Syntax, Type and Secure are read on the first use.
    TPropertySchema& SchemaOf(TSchemaName& name) {
        if (!name.Schema) {
            const std::u16string& property = name.Name.AsText();
            auto it = FProperties.find(property);
            if (it == FProperties.end())
                it = FProperties.emplace(property, TPropertySchema{Bind(property), {}, {}, false}).first;
            name.Schema = &it->second;
        }
        return *name.Schema;
    }

    // Raises the bind's failure, or what reading the property lists raises.
    TClassSchema& SchemaOfClass(std::u16string_view className) {
        if (auto it = FClasses.find(className); it != FClasses.end()) return it->second;
        TClassSchema schema{Bind(className), {}};
        std::unordered_map<std::u16string_view, int, TFoldedNameHash, TFoldedNameEqual> uses;
        for (auto list : {u"MandatoryProperties", u"OptionalProperties"}) {
            const TOleVariant items = schema.Object.Property(list);
            for (size_t i = 0; i < items.AsArray().size(); ++i)
                schema.Names.push_back({TOleVariant(items[i].ToText()), false});
        }
        for (const TSchemaName& name : schema.Names) ++uses[name.Name.AsText()];
        for (TSchemaName& name : schema.Names) name.Shared = uses[name.Name.AsText()] > 1;
        return FClasses.emplace(className, std::move(schema)).first->second;
    }

private:
    TOleVariant Bind(std::u16string_view name) { return GetIIsObject(Machine, u"Schema/" + std::u16string(name)); }

    std::unordered_map<std::u16string, TPropertySchema, TTextHash, std::equal_to<>> FProperties;
    std::unordered_map<std::u16string, TClassSchema, TTextHash, std::equal_to<>> FClasses;
};

// Rows 1 to 3 of a failed bind, displayPath naming the object.
void LogBindFailure(TBackupWalk& walk, std::u16string_view displayPath,
                    const std::exception& error) {
    const auto* ole = dynamic_cast<const EOleSysError*>(&error);
    std::u16string message = ExceptionMessage(error);
    if (ole && ole->ErrorCode() == hr::MkSyntax)
        walk.Exception(
            FormatTolerant(
                u"Call GetObject EOleSysError error on %s! The cause could be the use of IIS7 "
                u"without IIS6 compatibility tools. Path=%s; errornum=%d; errortext=%s",
                {walk.Machine, displayPath, int64_t(ole->ErrorCode()), message},
                TMissingValue::StaysVisible),
            clLogRed);
    else if (ole)
        walk.Exception(
            FormatTolerant(u"Call GetObject EOleSysError error! Path=%s; errornum=%d; errortext=%s",
                           {displayPath, int64_t(ole->ErrorCode()), message},
                           TMissingValue::StaysVisible),
            clLogRed);
    else
        walk.Exception(FormatTolerant(u"Path=%s; errortext=%s", {displayPath, message},
                                      TMissingValue::StaysVisible),
                       clLogRed);
}

// The calls made for every property, named once.
constexpr std::u16string_view kGetPropertyAttribObj = u"GetPropertyAttribObj";
constexpr std::u16string_view kIsInherit = u"IsInherit";
constexpr std::u16string_view kGet = u"Get";

// Writes one `Property` element of index's parent; appended without a lookup when
// the parent got no element of its id before and gets none after.
void WriteProperty(TPropertyIndex& index, bool alone, std::u16string_view id, std::u16string_view type,
                   const TOleVariant& value, bool isInherit) {
    if (alone)
        AppendPropertyNode(index, id, type, value, isInherit);
    else
        WritePropertyNode(index, id, type, value, isInherit);
}

// alone: the key's element held nothing before and no other name of the class is
// the same id.
void BackupProperty(TBackupWalk& walk, const TOleVariant& object, TSchemaName& name, std::u16string_view displayPath,
                    TPropertyIndex& index, bool alone) {
    const std::u16string& id = name.Name.AsText();
    const std::span<const TOleVariant> byName(&name.Name, 1);
    TOleVariant attributes;
    try {
        attributes = object.CallWith(kGetPropertyAttribObj, byName);
    } catch (const std::exception&) {
        return;
    }
    bool inherited = false;
    try {
        inherited = IsTrueVariant(attributes.Property(kIsInherit));
        if (inherited) {
            WriteProperty(index, alone, id, u"", TOleVariant(), true);
            return;
        }
    } catch (const std::exception&) {
        walk.Exception(u"Call IsInherit error! Path=" + std::u16string(displayPath) +
                           u" PropertyName=" + id,
                       clLogRed);
        return;
    }
    TPropertySchema* schema = nullptr;
    try {
        schema = &walk.SchemaOf(name);
    } catch (const std::exception& e) {
        walk.Exception(FormatTolerant(u"PropertyObjPath=%s; errortext=%s",
                                      {u"Schema/" + id, ExceptionMessage(e)},
                                      TMissingValue::StaysVisible),
                       clLogRed);
        return;
    }
    try {
        // Read first, so that any later failure names the type.
        if (schema->Syntax.empty()) {
            schema->Syntax = schema->Object.Property(u"Syntax").ToText();
            schema->Type = AsciiUpperCase(schema->Syntax);
            schema->Secure = IsTrueVariant(schema->Object.Property(u"Secure"));
        }
        if (HasSslCertificate(id, schema->Object, object)) {
            walk.Line(u"Warning: You should backup your certificate file manually!", clLogRed);
            walk.Line(u"Path=" + std::u16string(displayPath) + u"\\" + id, clLogRed);
        }
        // A secret value never reaches the file.
        WriteProperty(index, alone, id, schema->Type,
                      schema->Secure ? TOleVariant() : object.CallWith(kGet, byName), inherited);
    } catch (const std::exception&) {
        walk.Exception(u"Call WriteData error! Path=" + std::u16string(displayPath) +
                           u" PropertyName=" + id + u" PropertyType=" + schema->Syntax,
                       clLogRed);
    }
}

TWideXmlNode& FindOrAppendSubDir(TWideXmlNode& parent, TSubDirMap& map, const std::u16string& path) {
    std::u16string key = CaseFoldedKey(path);
    if (auto it = map.find(key); it != map.end()) return *it->second;
    TWideXmlNode& element = AppendSubDirElement(parent, path, ClassServiceExtensions);
    map.emplace(std::move(key), &element);
    return element;
}

bool BackupKey(TBackupWalk& walk, std::u16string_view path, TWideXmlNode& node, bool recursive);

// Backs up children, keys below path, into node, in order. A failure that ends
// the listing is raised.
void BackupChildren(TBackupWalk& walk, std::u16string_view path, TWideXmlNode& node,
                    std::span<const TOleVariant> children, bool recursive) {
    for (const TOleVariant& child : children) {
        std::u16string name = child.Property(u"Name").ToText();
        TWideXmlNode* added = nullptr;
        try {
            added = &AppendSubDirElement(node, name, child.Property(u"Class").ToText());
        } catch (const EPropertyValueError& e) {
            walk.Exception(u"Path=" + std::u16string(path) + u"; errortext=" + ExceptionMessage(e),
                           clLogRed);
            continue;
        }
        TWideXmlNode& element = *added;
        if (SameAsciiText(element.AttributeByName(AttrClassName), ClassWebServer)) {
            std::u16string sitePath = GetXmlNodeADsPathOnly(element);
            // A site whose comment cannot be read is still listed: the conflict
            // check needs every identifier of the destination.
            try {
                std::u16string comment =
                    GetIIsObject(walk.Machine, sitePath).Call(u"Get", u"ServerComment").ToText();
                std::u16string problem = XmlTextProblem(comment, TLineControls::lcAllowed);
                if (!problem.empty())
                    throw EPropertyValueError(Utf16ToUtf8(u"The comment holds " + problem));
                element.AttributeAdd(AttrSiteName, comment);
            } catch (const std::exception& e) {
                walk.Exception(u"Call Get ServerComment error! Path=" + sitePath + u"; errortext=" +
                                   ExceptionMessage(e),
                               clLogRed);
            }
        }
        if (recursive)
            BackupKey(walk, std::u16string(path) + u"/" + name, element, recursive);
    }
}

// A copy of element and its ancestors, names and attributes only, as the top of
// document: what is added under the copy has the paths it would have under element.
TWideXmlNode& CopyAncestry(const TWideXmlNode& element, TWideXmlDocument& document) {
    std::vector<const TWideXmlNode*> chain;
    for (const TWideXmlNode* e = &element; e->Parent(); e = e->Parent())
        chain.push_back(e);
    TWideXmlNode* copy = document.RootNodeList();
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const TUtf8XmlNode& original = **it;
        copy = it == chain.rbegin() ? document.Root()
                                    : TWideXmlNode::Cast(copy->TUtf8XmlNode::NodeNew(""));
        copy->TUtf8XmlNode::SetName(original.TUtf8XmlNode::Name());
        for (int i = 0; i < original.AttributeCount(); ++i)
            copy->TUtf8XmlNode::AttributeAdd(original.TUtf8XmlNode::AttributeName(i),
                                             original.TUtf8XmlNode::AttributeValue(i));
    }
    return *copy;
}

// Children backed up by groups on several threads: each group into a document of
// its own, under a copy of node, with a walk of its own whose log lines are kept.
// Then, on this thread and in order, each group's lines are logged and its elements
// moved into node; a failure that ended a group's listing is raised there, and the
// groups after it are dropped, as one walk would never have reached them.
constexpr size_t kPerGroup = 16;
void BackupChildrenOnWorkers(TBackupWalk& walk, std::u16string_view path, TWideXmlNode& node,
                             std::span<const TOleVariant> children) {
    struct TGroup {
        std::span<const TOleVariant> Children;
        TWideXmlDocument Document;
        TWideXmlNode* Parent = nullptr;
        std::vector<TKeptLine> Log;
        std::exception_ptr Failure;
    };
    std::vector<std::unique_ptr<TGroup>> groups;
    for (size_t first = 0; first < children.size(); first += kPerGroup) {
        auto& group = *groups.emplace_back(std::make_unique<TGroup>());
        group.Children = children.subspan(first, std::min(kPerGroup, children.size() - first));
        group.Parent = &CopyAncestry(node, group.Document);
    }
    const size_t workers = std::min(groups.size(), UsableProcessors());
    std::vector<TBackupWalk> walks(workers, TBackupWalk(walk.Machine));
    std::atomic<size_t> next = 0;
    RunOnWorkers(workers, [&](size_t worker, size_t) {
        TBackupWalk& own = walks[worker];
        for (size_t i; (i = next++) < groups.size();) {
            TGroup& group = *groups[i];
            own.Kept = &group.Log;
            try {
                BackupChildren(own, path, *group.Parent, group.Children, true);
            } catch (...) {
                group.Failure = std::current_exception();
            }
        }
    });
    for (const auto& group : groups) {
        for (const TKeptLine& line : group->Log)
            line.Exception ? walk.Exception(line.Text, line.Colour)
                           : walk.Line(line.Text, line.Colour);
        while (group->Parent->NodeCount() > 0)
            node.NodeAdd(group->Parent->NodeExtract(group->Parent->Nodes(0)));
        if (group->Failure)
            std::rethrow_exception(group->Failure);
    }
}

bool ListChildren(TBackupWalk& walk, std::u16string_view path, TWideXmlNode& node, bool recursive) {
    TOleVariant container;
    if (ADsGetObject(BuildIIsPath(walk.Machine, path), container) != hr::S_OK)
        return false;
    try {
        std::vector<TOleVariant> children;
        std::unique_ptr<TEnumVariant> listing = container.NewEnum();
        for (TOleVariant child; listing->Next(child);)
            children.push_back(std::move(child));
        // Many sites are read on several threads; a walk already on one of them, or
        // one that must meet the machine's calls in their order, stays on its thread.
        if (recursive && !walk.Kept && children.size() >= 2 * kPerGroup &&
            MayReadOnThreads(container))
            BackupChildrenOnWorkers(walk, path, node, children);
        else
            BackupChildren(walk, path, node, children, recursive);
    } catch (const std::exception& e) {
        walk.Exception(ExceptionMessage(e), clLogRed);
        return false;
    }
    return true;
}

bool BackupKey(TBackupWalk& walk, std::u16string_view path, TWideXmlNode& node, bool recursive) {
    std::u16string displayPath = GetDisplayPath(node);
    TOleVariant object;
    try {
        object = GetIIsObject(walk.Machine, path);
    } catch (const std::exception& e) {
        LogBindFailure(walk, displayPath, e);
        return false;
    }
    try {
        std::u16string className = object.Property(u"Class").ToText();
        TClassSchema* schema = nullptr;
        try {
            schema = &walk.SchemaOfClass(className);
        } catch (const std::exception& e) {
            walk.Exception(
                FormatTolerant(
                    u"Unable to GetObject for machine name %s! Schema Path=%s; errortext=%s",
                    {walk.Machine, u"Schema/" + className, ExceptionMessage(e)},
                    TMissingValue::StaysVisible),
                clLogRed);
            return false;
        }
        const bool fresh = node.NodeCount() == 0;
        TPropertyIndex index(node);
        for (TSchemaName& name : schema->Names)
            if (!name.Name.AsText().empty())
                BackupProperty(walk, object, name, displayPath, index, fresh && !name.Shared);
        walk.Line(u"Process Sub Directory: Path=" + displayPath, clLogBlue);
        ListChildren(walk, path, node, recursive);
    } catch (const std::exception& e) {
        walk.Exception(ExceptionMessage(e), clLogRed);
    }
    return true;
}

} // namespace

std::u16string BackupRefusal(std::u16string_view machineName) {
    try {
        MachineFolderOf(machineName);
        // Read whole before the file is touched: a machine the rule keeps from being
        // read is refused; one that cannot be read otherwise is backed up as such.
        try {
            OpenMachine(machineName);
        } catch (const EMachineRefusedError&) {
            throw;
        } catch (const std::exception&) {
        }
    } catch (const std::exception& e) {
        return ExceptionMessage(e);
    }
    return Utf8ToUtf16(AtomicSaveRefusal(BackupFileName()));
}

bool BackupMachine(std::u16string_view backupName, std::u16string_view machineName) {
    try {
        if (const std::u16string refusal = BackupRefusal(machineName); !refusal.empty()) {
            LogBackupError(u"BackupMachine: " + refusal + u"; nothing was backed up", clLogRed);
            return false;
        }
        for (std::u16string_view name : {backupName, machineName})
            if (std::u16string problem = XmlTextProblem(name, TLineControls::lcRefused); !problem.empty())
                throw EPropertyValueError(Utf16ToUtf8(u"The name " + std::u16string(name) + u" holds " + problem));
        // No other process writes the file until this backup is in it.
        TBackupFileEdit edit;
        // A backup that ends without saving leaves no killed run's leftovers either.
        RemoveStaleTemporariesOf(BackupFileName());
        TWideXmlNode& machines = MachinesElement(edit.Document());
        TWideXmlNode* old = FindMachineElement(machines, backupName);
        if (old && !EngineHost().HasCmdLineSwitch(u"/o")) {
            std::u16string question =
                FormatTolerant(EngineHost().DialogText(u"DialogYesNo", u"backupexist"),
                               {backupName}, TMissingValue::StaysVisible) +
                EngineHost().DialogYesNoLastLine();
            if (!EngineHost().AskYesNo(question)) return false;
        }
        TWideXmlNode* machine = machines.NodeNew(ElemMachine);
        machine->AttributeAdd(AttrBackupName, backupName);
        machine->AttributeAdd(AttrMachineName, machineName);
        machine->AttributeAdd(AttrPath, PathWebService);
        machine->AttributeAdd(AttrClassName, ClassWebService);
        std::u16string path = machine->AttributeByName(AttrPath);
        // The backup reads one state of the machine, however long it takes.
        TMachineOperation operation;
        if (!BackupDirectory(machineName, path, *machine, true) && old) {
            LogBackupError(u"BackupMachine: the web service of machine \"" + std::u16string(machineName) +
                               u"\" could not be read; the backup \"" + old->AttributeByName(AttrBackupName) +
                               u"\" in the file is kept as it was",
                           clLogRed);
            return false;
        }
        BackupPopDirectory(machineName, *machine);
        BackupServiceExtensions(machineName, path, *machine);
        if (old) machines.NodeRemove(old);
        edit.Save();
        return true;
    } catch (const std::exception& e) {
        LogBackupException(u"XML problem; " + ExceptionMessage(e), clLogRed);
    } catch (...) {
        LogBackupException(u"XML problem; unknown error", clLogRed);
    }
    return false;
}

bool BackupDirectory(std::u16string_view machine, std::u16string_view path, TWideXmlNode& node, bool recursive) {
    TBackupWalk walk(machine);
    return BackupKey(walk, path, node, recursive);
}

bool BackupSubDirectories(std::u16string_view machine, std::u16string_view path, TWideXmlNode& node,
                          bool recursive) {
    TBackupWalk walk(machine);
    return ListChildren(walk, path, node, recursive);
}

void BackupServiceExtensions(std::u16string_view machine, std::u16string_view path, TWideXmlNode& node) {
    int32_t version = GetIISMajorVersion();
    if (version == 0 || version == 4 || version == 5) return;
    LogLine(u"Process Service Extensions...", clLogBlue);
    TBackupWalk walk(machine);
    std::vector<std::u16string> entries;
    try {
        TOleVariant service = GetIIsObject(machine, path);
        TOleVariant list = service.Call(u"Get", u"WebSvcExtRestrictionList");
        for (const auto& entry : list.AsArray()) entries.push_back(entry.ToText());
    } catch (const EOleSysError& e) {
        LogBindFailure(walk, u"node", e);
        return;
    }
    // Only the Machine's own subtree of that class: a site or directory that happens
    // to be named "Service Extensions" is not it.
    TWideXmlNode* extensions = FindSubDirElement(node, PathServiceExtensions, ClassServiceExtensions);
    if (!extensions) extensions = &AppendSubDirElement(node, PathServiceExtensions, ClassServiceExtensions);
    // Descriptions are looked up among the direct children of the extensions element
    // and files among the direct children of their description only: a description
    // text equal to a file path elsewhere must not give that file a GroupID and files.
    TSubDirMap descriptions = SubDirsOf(*extensions);
    struct TDescriptionIndex {
        explicit TDescriptionIndex(TWideXmlNode& element) : Properties(element), Files(SubDirsOf(element)) {}
        TPropertyIndex Properties;
        TSubDirMap Files;
    };
    std::unordered_map<TWideXmlNode*, TDescriptionIndex> indexOf;
    for (std::u16string entry : entries) {
        std::u16string fields[5];
        for (auto& field : fields) field = NextToken(entry, u',');
        const auto& [allow, file, deletable, groupId, description] = fields;
        if (description.empty()) continue;
        try {
            TWideXmlNode& descElement = FindOrAppendSubDir(*extensions, descriptions, description);
            TDescriptionIndex& index = indexOf.try_emplace(&descElement, descElement).first->second;
            WritePropertyNode(index.Properties, u"GroupID", TypeString, TOleVariant(groupId), false);
            TWideXmlNode& fileElement = FindOrAppendSubDir(descElement, index.Files, file);
            WritePropertyNode(fileElement, u"AllowDenyFlag", TypeBoolean, TOleVariant(allow == u"1"), false);
            WritePropertyNode(fileElement, u"DeletableFlag", TypeBoolean, TOleVariant(deletable == u"1"), false);
        } catch (const EPropertyValueError& e) {
            LogBackupException(u"Service extension " + file + u" not backed up: " + ExceptionMessage(e), clLogRed);
        }
    }
}

} // namespace orvex
