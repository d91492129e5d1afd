#include "platform/MachineStorage.h"

#include "base/AsciiText.h"
#include "base/NumberText.h"
#include "base/SafePath.h"
#include "base/Utf.h"
#include "base/Workers.h"
#include "platform/MachineCommit.h"
#include "platform/MetabaseSchema.h"
#include "platform/MetabaseValues.h"
#include "xml/WideXmlDocument.h"
#include "xml/XmlStreams.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <set>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

namespace orvex {

namespace {

const char* const kFactsFile = "Machine.xml";
const char* const kMetabaseFile = "Metabase.xml";
const char* const kPop3File = "Pop3.xml";
const char* const kFaultsFile = "Faults.txt";
const char* const kDrivesFolder = "drives";

// A web site: a key of class IIsWebServer right below the root's W3SVC key.
bool IsSite(const TMetaObject& key) {
    const TMetaObject* service = key.Parent();
    return service && service->Parent() && !service->Parent()->Parent() &&
           SameMetabaseName(service->Name(), u"W3SVC") &&
           SameAsciiText(key.ClassName(), u"IIsWebServer");
}

const TMetaObject* SiteOf(const TMetaObject* key) {
    for (; key; key = key->Parent())
        if (IsSite(*key))
            return key;
    return nullptr;
}

// "Sites/<name>.xml"; characters other than ASCII letters, digits, '-' and '_'
// become "%" and four hex digits, so any key name makes a safe file name.
std::string SiteFileName(std::u16string_view siteName) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string name = std::string(kSitesFolder) + "/";
    for (char16_t c : siteName) {
        if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' || c == u'_') {
            name.push_back(static_cast<char>(c));
        } else {
            name.push_back('%');
            for (int shift = 12; shift >= 0; shift -= 4)
                name.push_back(kHex[(c >> shift) & 0xF]);
        }
    }
    return name + ".xml";
}

// A site file's name in Sites as SiteFileName makes it: ASCII letters, digits,
// '-', '_' and '%' with four hex digits, then ".xml".
bool IsSiteFileName(std::string_view name) {
    if (!name.ends_with(".xml") || name.size() == 4)
        return false;
    name.remove_suffix(4);
    const auto isHexDigit = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')
            continue;
        if (c != '%' || name.size() - i < 5 || !std::all_of(name.begin() + i + 1, name.begin() + i + 5, isHexDigit))
            return false;
        i += 4;
    }
    return true;
}

// A machine folder whose files are read: folders start at it, reached from "/"
// under the rule of SafePath.h. Readers on several threads take turns to walk.
struct TMachineFiles {
    TMachineFiles(const std::filesystem::path& folder, TSafeFolders& folders) : Folder(folder), Folders(folders) {}
    const std::filesystem::path& Folder;
    TSafeFolders& Folders;
    std::mutex Walking;
};

// A machine file being read: every complaint names it. It is reached under the
// rule, and read from a handle of the very file the walk checked.
class TReader {
public:
    TReader(TMachineFiles& files, std::string name)
        : FFiles(files), FFile(files.Folder / name), FName(std::move(name)) {}

    // False when the file is missing; raises EMachineError when it may not be read.
    bool Find() {
        const std::lock_guard lock(FFiles.Walking);
        int error = 0;
        try {
            error = FFiles.Folders.Follow(FName, FPlace);
        } catch (const EUnsafePathError& e) {
            RefuseReading(FFiles.Folder, e.what());
        }
        if (error && error != ENOENT)
            Unreadable(std::generic_category().message(error));
        FHandle = FFiles.Folders.Handle(FPlace.Folder);
        FFound = !error && FPlace.Exists;
        return FFound;
    }

    // Reads the file, whose root element must be rootName.
    TWideXmlDocument& Load(std::u16string_view rootName) {
        if (!FFound && !Find())
            Unreadable(std::generic_category().message(ENOENT));
        std::string bytes, why;
        if (ReadRegularFileAt(FHandle, FPlace.Name, kMostMachineFileBytes, bytes, why, O_NOFOLLOW, nullptr,
                              &FPlace.Status) != 0)
            Unreadable(why);
        try {
            TxmUTF8StringStream stream(std::move(bytes));
            FDocument.LoadFromStream(stream);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            Fail(e.what());
        }
        TWideXmlNode* root = FDocument.Root();
        if (!root || root->Name() != rootName)
            Fail("the root element is not " + Utf16ToUtf8(rootName));
        return FDocument;
    }

    // Runs read, which reads this file: memory running out meanwhile names it.
    template <class TRead>
    auto Reading(TRead read) {
        try {
            return read();
        } catch (const std::bad_alloc&) {
            FDocument.Clear();
            Unreadable("there is not enough memory to read it");
        }
    }

    [[noreturn]] void Unreadable(const std::string& why) const {
        throw EMachineError("Machine file \"" + FFile.string() + "\" cannot be read: " + why);
    }

    [[noreturn]] void Fail(const std::string& why) const {
        throw EMachineError("Machine file \"" + FFile.string() + "\" is damaged: " + why);
    }

    std::u16string Text(const TWideXmlNode& node, std::u16string_view name) const {
        if (!node.HasAttribute(name))
            Fail("<" + Utf16ToUtf8(node.Name()) + "> lacks the attribute " + Utf16ToUtf8(name));
        return node.AttributeByName(name);
    }

    int32_t Integer(const TWideXmlNode& node, std::u16string_view name) const {
        const std::string text = Utf16ToUtf8(Text(node, name));
        int32_t value = 0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
            Fail(Utf16ToUtf8(name) + "=\"" + text + "\" is not a 32-bit integer");
        return value;
    }

    bool Boolean(const TWideXmlNode& node, std::u16string_view name) const {
        const std::u16string text = Text(node, name);
        if (text == u"True")
            return true;
        if (text != u"False")
            Fail(Utf16ToUtf8(name) + "=\"" + Utf16ToUtf8(text) + "\" is neither True nor False");
        return false;
    }

    std::vector<std::u16string> Items(const TWideXmlNode& node, std::u16string_view element) const {
        std::vector<std::u16string> items;
        for (int i = 0; i < node.NodeCount(); ++i) {
            const TWideXmlNode* child = node.Nodes(i);
            if (child->ElementType() == xeNormal && child->Name() == element)
                items.push_back(Text(*child, u"value"));
        }
        return items;
    }

    TMachineFiles& Files() const { return FFiles; }

private:
    TMachineFiles& FFiles;
    std::filesystem::path FFile;
    std::string FName;  // relative to the machine folder
    TSafePlace FPlace;
    bool FFound = false;
    int FHandle = -1;  // of the folder that holds it
    TWideXmlDocument FDocument;
};

// The element children of a node, in order.
template <class TVisit>
void ForEachElement(const TWideXmlNode& node, TVisit visit) {
    for (int i = 0; i < node.NodeCount(); ++i)
        if (TWideXmlNode* child = node.Nodes(i); child->ElementType() == xeNormal)
            visit(*child);
}

void Save(TWideXmlDocument& document, const std::string& name, TMachineCommit& commit) {
    document.SetXmlFormat(xfReadable);
    TxmUTF8StringStream bytes;
    document.SaveToStream(bytes);
    commit.Write(name, bytes.DataString());
}

// ---- facts ----

TMachineFacts ReadFacts(TReader& reader) {
    TWideXmlNode& root = *reader.Load(u"Machine").Root();
    TMachineFacts facts;
    facts.ComputerName = reader.Text(root, u"computerName");
    ForEachElement(root, [&](TWideXmlNode& node) {
        if (node.Name() == u"Address") {
            facts.IPv4Addresses.push_back(reader.Text(node, u"value"));
        } else if (node.Name() == u"Registry") {
            TRegistryValue value{reader.Text(node, u"key"), reader.Text(node, u"name"), {}};
            const std::u16string type = reader.Text(node, u"type");
            if (type == u"Integer")
                value.Value = reader.Integer(node, u"value");
            else if (type == u"String")
                value.Value = reader.Text(node, u"value");
            else
                reader.Fail("registry type \"" + Utf16ToUtf8(type) + "\" is neither Integer nor String");
            facts.Registry.push_back(std::move(value));
        } else {
            reader.Fail("unexpected element <" + Utf16ToUtf8(node.Name()) + ">");
        }
    });
    return facts;
}

void WriteFacts(const TMachineFacts& facts, TMachineCommit& commit) {
    TWideXmlDocument document(u"Machine");
    TWideXmlNode& root = *document.Root();
    root.AttributeAdd(u"computerName", facts.ComputerName);
    for (const std::u16string& address : facts.IPv4Addresses)
        root.NodeNew(u"Address")->AttributeAdd(u"value", address);
    for (const TRegistryValue& value : facts.Registry) {
        TWideXmlNode& node = *root.NodeNew(u"Registry");
        node.AttributeAdd(u"key", value.Key);
        node.AttributeAdd(u"name", value.Name);
        const bool integer = value.Value.Kind() == TVariantKind::vkInteger;
        node.AttributeAdd(u"type", integer ? u"Integer" : u"String");
        node.AttributeAdd(u"value", value.Value.ToText());
    }
    Save(document, kFactsFile, commit);
}

// ---- metabase ----

TOleVariant ReadValue(const TReader& reader, const TWideXmlNode& node, const TPropertyDef& def) {
    switch (def.Syntax) {
    case TMetaSyntax::msString:
    case TMetaSyntax::msExpandSz:
        return reader.Text(node, u"value");
    case TMetaSyntax::msInteger:
        return reader.Integer(node, u"value");
    case TMetaSyntax::msBoolean:
        return reader.Boolean(node, u"value");
    case TMetaSyntax::msList:
    case TMetaSyntax::msMimeMap:
        return TextArray(reader.Items(node, u"Item"));
    case TMetaSyntax::msBinary: {
        std::vector<TOleVariant> bytes;
        for (const std::u16string& item : reader.Items(node, u"Item")) {
            const std::string text = Utf16ToUtf8(item);
            int32_t value = -1;
            const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
            if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() || value < 0 || value > 255)
                reader.Fail("byte \"" + text + "\" of " + Utf16ToUtf8(def.Name) + " is not 0 to 255");
            bytes.emplace_back(value);
        }
        return TOleVariant(std::move(bytes));
    }
    case TMetaSyntax::msIPSec: {
        auto ipsec = std::make_shared<TIPSecurityObject>();
        ipsec->GrantByDefault = reader.Boolean(node, u"grantByDefault");
        ipsec->IPDeny = reader.Items(node, u"IPDeny");
        ipsec->IPGrant = reader.Items(node, u"IPGrant");
        ipsec->DomainDeny = reader.Items(node, u"DomainDeny");
        ipsec->DomainGrant = reader.Items(node, u"DomainGrant");
        return TAutoObjectPtr(ipsec);
    }
    case TMetaSyntax::msNTAcl:
        return TextArray({reader.Text(node, u"owner"), reader.Text(node, u"group")});
    }
    return {};
}

// A site kept in a file of its own, to be read once its placeholder was.
struct TSiteFile {
    const TWideXmlNode* Placeholder;
    TMetaObject* Site;
};

// Reads the values and keys of node into key. Sites kept in files of their own are
// read at once, or, with deferred, listed there for ReadSiteFiles.
void ReadKey(const TReader& reader, const TWideXmlNode& node, TMetaObject& key,
             std::vector<TSiteFile>* deferred = nullptr);

// A site kept in a file of its own: the file named by the placeholder's "file".
void ReadSiteFile(const TReader& reader, const TWideXmlNode& placeholder, TMetaObject& site) {
    const std::u16string file = reader.Text(placeholder, u"file");
    if (Utf8ToUtf16(SiteFileName(site.Name())) != file)
        reader.Fail("site \"" + Utf16ToUtf8(site.Name()) + "\" refers to \"" + Utf16ToUtf8(file) + "\"");
    TReader siteReader(reader.Files(), Utf16ToUtf8(file));
    siteReader.Reading([&] {
        const TWideXmlNode& root = *siteReader.Load(u"Site").Root();
        if (siteReader.Text(root, u"name") != site.Name())
            siteReader.Fail("it holds site \"" + Utf16ToUtf8(siteReader.Text(root, u"name")) + "\"");
        ReadKey(siteReader, root, site);
    });
}

void ReadKey(const TReader& reader, const TWideXmlNode& node, TMetaObject& key, std::vector<TSiteFile>* deferred) {
    ForEachElement(node, [&](TWideXmlNode& child) {
        if (child.Name() == u"Value") {
            const std::u16string id = reader.Text(child, u"id");
            const TPropertyDef* def = FindPropertyDef(id);
            if (!def)
                reader.Fail("unknown property \"" + Utf16ToUtf8(id) + "\"");
            if (!SameAsciiText(reader.Text(child, u"type"), SyntaxName(def->Syntax)))
                reader.Fail("property \"" + Utf16ToUtf8(id) + "\" is not of type " + Utf16ToUtf8(SyntaxName(def->Syntax)));
            key.SetValue(*def, ReadValue(reader, child, *def));
        } else if (child.Name() == u"Key") {
            const std::u16string name = reader.Text(child, u"name");
            const std::u16string className = reader.Text(child, u"class");
            if (name.empty() || name == u"." || name == u".." || name.find(u'/') != std::u16string::npos ||
                key.FindChild(name))
                reader.Fail("key name \"" + Utf16ToUtf8(name) + "\" is empty, \".\" or \"..\", holds \"/\" or is used twice");
            TMetaObject& added = key.AddChild(name, className);
            if (child.HasAttribute(u"file") && deferred)
                deferred->push_back({&child, &added});
            else if (child.HasAttribute(u"file"))
                ReadSiteFile(reader, child, added);
            else
                ReadKey(reader, child, added, deferred);
        } else {
            reader.Fail("unexpected element <" + Utf16ToUtf8(child.Name()) + ">");
        }
    });
}

// Reads the listed site files, each into its own site, several at once: a
// machine's first bind reads them all. The failure of the first site in document
// order is raised once all are read.
void ReadSiteFiles(const TReader& reader, const std::vector<TSiteFile>& sites) {
    RunEachOnWorkers(sites.size(), [&](size_t i) { ReadSiteFile(reader, *sites[i].Placeholder, *sites[i].Site); });
}

// Writes keys into elements. A metabase holds many values: they are written
// through the UTF-8 face of the nodes, each element's attributes at once, their
// texts converted in buffers that every element reuses.
class TKeyWriter {
public:
    // A key's values and child keys.
    void WriteKeyContents(TUtf8XmlNode& node, const TMetaObject& key) {
        for (const auto& [id, value] : key.Properties()) {
            const TPropertyDef* def = FindPropertyDef(id);
            if (!def)
                continue;  // cannot happen: values pass through the schema
            WriteValue(*node.NodeNew("Value"), *def, value);
        }
        for (const auto& child : key.Children()) {
            TUtf8XmlNode& element = *node.NodeNew("Key");
            element.AttributesAdd({{"name", Utf8(0, child->Name())}, {"class", Utf8(1, child->ClassName())}});
            WriteKey(element, *child);
        }
    }

private:
    void WriteKey(TUtf8XmlNode& node, const TMetaObject& key) {
        // Sites go to files of their own (WriteSite); here they leave a placeholder.
        if (IsSite(key))
            node.AttributeAdd("file", SiteFileName(key.Name()));
        else
            WriteKeyContents(node, key);
    }

    void WriteValue(TUtf8XmlNode& node, const TPropertyDef& def, const TOleVariant& value) {
        const std::string_view id = Utf8(0, def.Name);
        const std::string_view type = Utf8(1, SyntaxName(def.Syntax));
        switch (def.Syntax) {
        case TMetaSyntax::msString:
        case TMetaSyntax::msExpandSz:
        case TMetaSyntax::msInteger:
        case TMetaSyntax::msBoolean:
            value.ToText(FText);
            node.AttributesAdd({{"id", id}, {"type", type}, {"value", Utf8(2, FText)}});
            break;
        case TMetaSyntax::msList:
        case TMetaSyntax::msMimeMap:
        case TMetaSyntax::msBinary:
            node.AttributesAdd({{"id", id}, {"type", type}});
            for (const TOleVariant& item : value.AsArray()) {
                item.ToText(FText);
                node.NodeNew("Item")->AttributeAdd("value", Utf8(2, FText));
            }
            break;
        case TMetaSyntax::msIPSec: {
            const auto& ipsec = dynamic_cast<const TIPSecurityObject&>(*value.AsObject());
            node.AttributesAdd({{"id", id}, {"type", type}, {"grantByDefault", ipsec.GrantByDefault ? "True" : "False"}});
            AddItems(node, "IPDeny", ipsec.IPDeny);
            AddItems(node, "IPGrant", ipsec.IPGrant);
            AddItems(node, "DomainDeny", ipsec.DomainDeny);
            AddItems(node, "DomainGrant", ipsec.DomainGrant);
            break;
        }
        case TMetaSyntax::msNTAcl:
            node.AttributesAdd({{"id", id}, {"type", type}, {"owner", Utf8(2, value[0].AsText())},
                                {"group", Utf8(3, value[1].AsText())}});
            break;
        }
    }

    void AddItems(TUtf8XmlNode& node, std::string_view element, const std::vector<std::u16string>& items) {
        for (const std::u16string& item : items)
            node.NodeNew(element)->AttributeAdd("value", Utf8(2, item));
    }

    // The UTF-8 form of text in buffer i.
    std::string_view Utf8(int i, std::u16string_view text) {
        Utf16ToUtf8(text, FUtf8[i]);
        return FUtf8[i];
    }

    std::string FUtf8[4];
    std::u16string FText;
};

std::unique_ptr<TMetabase> ReadMetabase(TMachineFiles& files) {
    TReader reader(files, kMetabaseFile);
    if (!reader.Find())
        return nullptr;
    auto metabase = std::make_unique<TMetabase>();
    std::vector<TSiteFile> sites;
    reader.Reading([&] { ReadKey(reader, *reader.Load(u"Metabase").Root(), metabase->Root(), &sites); });
    ReadSiteFiles(reader, sites);
    return metabase;
}

// ---- POP3 ----

std::unique_ptr<TPop3State> ReadPop3(TReader& reader) {
    const TWideXmlNode& root = *reader.Load(u"Pop3").Root();
    auto pop3 = std::make_unique<TPop3State>();
    pop3->LoggingLevel = reader.Integer(root, u"loggingLevel");
    pop3->MailRoot = reader.Text(root, u"mailRoot");
    pop3->ConfirmAddUser = reader.Integer(root, u"confirmAddUser");
    pop3->ThreadCountPerCPU = reader.Integer(root, u"threadCountPerCPU");
    pop3->Port = reader.Integer(root, u"port");
    pop3->SPARequired = reader.Integer(root, u"spaRequired");
    pop3->CurrentAuthMethod = reader.Integer(root, u"currentAuthMethod");
    pop3->MinPasswordLength = reader.Integer(root, u"minPasswordLength");
    ForEachElement(root, [&](TWideXmlNode& node) {
        if (node.Name() == u"AuthMethod") {
            pop3->AuthMethods.push_back({reader.Text(node, u"name"), reader.Text(node, u"id")});
        } else if (node.Name() == u"Domain") {
            TPop3Domain domain{reader.Text(node, u"name"), reader.Integer(node, u"lock"), {}};
            ForEachElement(node, [&](TWideXmlNode& mailbox) {
                if (mailbox.Name() != u"Mailbox")
                    reader.Fail("unexpected element <" + Utf16ToUtf8(mailbox.Name()) + ">");
                domain.Mailboxes.push_back({reader.Text(mailbox, u"name"), reader.Integer(mailbox, u"lock"),
                                            reader.Boolean(mailbox, u"password")});
            });
            pop3->Domains.push_back(std::move(domain));
        } else if (node.Name() == u"SmtpDomain") {
            pop3->SmtpDomains.push_back(reader.Text(node, u"name"));
        } else {
            reader.Fail("unexpected element <" + Utf16ToUtf8(node.Name()) + ">");
        }
    });
    if (pop3->CurrentAuthMethod < 1 || pop3->CurrentAuthMethod > static_cast<int32_t>(pop3->AuthMethods.size()))
        reader.Fail("currentAuthMethod is not the number of an AuthMethod");
    return pop3;
}

void WritePop3(const TPop3State& pop3, TMachineCommit& commit) {
    TWideXmlDocument document(u"Pop3");
    TWideXmlNode& root = *document.Root();
    root.AttributeAdd(u"loggingLevel", IntToText(pop3.LoggingLevel));
    root.AttributeAdd(u"mailRoot", pop3.MailRoot);
    root.AttributeAdd(u"confirmAddUser", IntToText(pop3.ConfirmAddUser));
    root.AttributeAdd(u"threadCountPerCPU", IntToText(pop3.ThreadCountPerCPU));
    root.AttributeAdd(u"port", IntToText(pop3.Port));
    root.AttributeAdd(u"spaRequired", IntToText(pop3.SPARequired));
    root.AttributeAdd(u"currentAuthMethod", IntToText(pop3.CurrentAuthMethod));
    root.AttributeAdd(u"minPasswordLength", IntToText(pop3.MinPasswordLength));
    for (const TPop3AuthMethod& method : pop3.AuthMethods) {
        TWideXmlNode& node = *root.NodeNew(u"AuthMethod");
        node.AttributeAdd(u"name", method.Name);
        node.AttributeAdd(u"id", method.ID);
    }
    for (const TPop3Domain& domain : pop3.Domains) {
        TWideXmlNode& node = *root.NodeNew(u"Domain");
        node.AttributeAdd(u"name", domain.Name);
        node.AttributeAdd(u"lock", IntToText(domain.Lock));
        for (const TPop3Mailbox& mailbox : domain.Mailboxes) {
            TWideXmlNode& child = *node.NodeNew(u"Mailbox");
            child.AttributeAdd(u"name", mailbox.Name);
            child.AttributeAdd(u"lock", IntToText(mailbox.Lock));
            child.AttributeAdd(u"password", mailbox.HasPassword ? u"True" : u"False");
        }
    }
    for (const std::u16string& smtp : pop3.SmtpDomains)
        root.NodeNew(u"SmtpDomain")->AttributeAdd(u"name", smtp);
    Save(document, kPop3File, commit);
}

std::string FileStamp(const std::string& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0)
        return "-;";
    std::string stamp;
    for (const long long number : {static_cast<long long>(info.st_ino), static_cast<long long>(info.st_size),
                                   static_cast<long long>(info.st_mtim.tv_sec), static_cast<long long>(info.st_mtim.tv_nsec)}) {
        char buffer[24];
        stamp.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, number).ptr);
        stamp.push_back(':');
    }
    return stamp;
}

} // namespace

bool IsMachineFileName(std::string_view name) {
    const std::string_view sites = kSitesFolder;
    if (name.starts_with(sites) && name.substr(sites.size()).starts_with('/'))
        return IsSiteFileName(name.substr(sites.size() + 1));
    return name == kFactsFile || name == kMetabaseFile || name == kPop3File;
}

void RefuseReading(const std::filesystem::path& folder, const std::string& why) {
    throw EMachineRefusedError("Machine folder \"" + folder.string() + "\" is not read: " + why);
}

TSafeFolders ReachMachineFolder(const std::filesystem::path& folder) {
    TSafeFolders folders(folder.string());
    if (folders.StartRefused())
        RefuseReading(folder, folders.StartFailure());
    return folders;
}

bool MachineExists(const std::filesystem::path& folder) {
    TSafeFolders folders = ReachMachineFolder(folder);
    if (folders.StartError())
        return false;
    TMachineFiles files(folder, folders);
    return TReader(files, kFactsFile).Find();
}

TMachineState LoadMachineState(const std::filesystem::path& folder) {
    TSafeFolders folders = ReachMachineFolder(folder);
    if (folders.StartError())
        throw EMachineError("Machine folder \"" + folder.string() + "\" cannot be read: " + folders.StartFailure());
    TMachineFiles files(folder, folders);
    TMachineState state;
    TReader facts(files, kFactsFile);
    state.Facts = facts.Reading([&] { return ReadFacts(facts); });
    state.Metabase = ReadMetabase(files);
    if (TReader pop3(files, kPop3File); pop3.Find())
        state.Pop3 = pop3.Reading([&] { return ReadPop3(pop3); });
    return state;
}

TMachineFaults LoadMachineFaults(const std::filesystem::path& folder) {
    const std::filesystem::path file = folder / kFaultsFile;
    TSafeFolders folders = ReachMachineFolder(folder);
    std::string text, why;
    int error = folders.StartError();
    try {
        if (!error)
            error = folders.Read(kFaultsFile, kMostMachineTextBytes, text, why);
    } catch (const EUnsafePathError& e) {
        RefuseReading(folder, e.what());
    }
    if (error == ENOENT)
        return {};
    if (error)
        throw EMachineError("Machine file \"" + file.string() + "\" cannot be read: " +
                            (folders.StartError() ? folders.StartFailure() : why));
    return TMachineFaults::Parse(text, file.string());
}

namespace {

void WriteMainFile(const TMetabase& metabase, TMachineCommit& commit) {
    TWideXmlDocument document(u"Metabase");
    TKeyWriter().WriteKeyContents(*document.Root(), metabase.Root());
    Save(document, kMetabaseFile, commit);
}

// A site's file: its values and keys below a root element <Site name="...">.
void WriteSite(const TMetaObject& site, TMachineCommit& commit) {
    TWideXmlDocument document(u"Site");
    TWideXmlNode& root = *document.Root();
    root.AttributeAdd(u"name", site.Name());
    TKeyWriter().WriteKeyContents(root, site);
    Save(document, SiteFileName(site.Name()), commit);
}

// Writes the files of sites to their temporary files. Each file is made from its
// site alone: a machine of many sites has them made on several threads at once.
// The failure of the first site in their order is raised; the commit takes the
// temporaries written away.
void WriteSites(const std::vector<const TMetaObject*>& sites, TMachineCommit& commit) {
    RunEachOnWorkers(sites.size(), [&](size_t i) { WriteSite(*sites[i], commit); });
}

} // namespace

void TMetabaseFiles::Add(const TMetaObject& changed, bool created) {
    if (&changed == FLast && !created)
        return;  // a restore changes one key many times in a row
    FLast = &changed;
    const TMetaObject* site = SiteOf(&changed);
    if (!site || (created && site == &changed))
        FMain = true;
    if (site && FSiteSet.insert(site).second)
        FSites.push_back(site);
}

void TMetabaseFiles::Clear() {
    FSites.clear();
    FSiteSet.clear();
    FMain = false;
    FLast = nullptr;
}

void StageMachineMetabase(const TMetabase& metabase, const TMetabaseFiles& files, TMachineCommit& commit) {
    std::vector<std::string> names;
    for (const TMetaObject* site : files.FSites)
        names.push_back(SiteFileName(site->Name()));
    if (files.FMain)
        names.push_back(kMetabaseFile);
    commit.Prepare(names);
    // The site files are renamed first: a reader in the middle of the renames
    // never finds the main file naming a site file that is not there yet.
    WriteSites(files.FSites, commit);
    if (files.FMain)
        WriteMainFile(metabase, commit);
}

void StageMachinePop3(const TPop3State& pop3, TMachineCommit& commit) { WritePop3(pop3, commit); }

TSafeFolders MadeMachineFolder(const std::filesystem::path& folder) {
    int error = 0;
    try {
        error = MakeFolders(folder.string());
    } catch (const EUnsafePathError& e) {
        throw EMachineError("Cannot make the machine folder \"" + folder.string() + "\": " + e.what());
    }
    TSafeFolders folders(folder.string());
    if (error || folders.StartError())
        throw EMachineError("Cannot make the machine folder \"" + folder.string() + "\": " +
                            (error ? std::generic_category().message(error) : folders.StartFailure()));
    return folders;
}

void SaveMachineState(const std::filesystem::path& folder, const TMachineState& state) {
    const TSafeFolders folders = MadeMachineFolder(folder);
    SaveMachineState(folder, folders.Handle(0), state);
}

void SaveMachineState(const std::filesystem::path& folder, int folderHandle, const TMachineState& state) {
    TSafeFolders folders(folderHandle, folder.string());
    TSafePlace made;
    const auto cannotMake = [&](const std::string& why) {
        throw EMachineError("Cannot make the folder \"" + (folder / kDrivesFolder).string() + "\": " + why);
    };
    try {
        if (const int error = folders.MakeFolder(0, kDrivesFolder, made))
            cannotMake(std::generic_category().message(error));
    } catch (const EUnsafePathError& e) {
        cannotMake(e.what());
    }
    std::set<std::string> sites;  // the names of their files in Sites
    {
        TMachineCommit commit(folder, folderHandle);
        if (state.Metabase) {
            TMetabaseFiles all;
            if (const TMetaObject* service = state.Metabase->Find(u"W3SVC"))
                for (const auto& child : service->Children())
                    if (IsSite(*child)) {
                        all.Add(*child, false);
                        sites.insert(SiteFileName(child->Name()).substr(std::string_view(kSitesFolder).size() + 1));
                    }
            all.Add(state.Metabase->Root(), false);  // the main file
            StageMachineMetabase(*state.Metabase, all, commit);
        }
        if (state.Pop3)
            StageMachinePop3(*state.Pop3, commit);
        commit.Commit();
    }
    // What the state does not hold goes, the files of sites it does not have too.
    if (!state.Metabase) {
        ::unlinkat(folderHandle, kMetabaseFile, 0);
        RemoveTreeAt(folderHandle, kSitesFolder);
    } else if (const TSafePlace place = FollowMachineFile(folder, folders, kSitesFolder);
               place.Inside != TSafePlace::kNone) {
        ForEachNameIn(folders.Handle(place.Inside), [&](const std::string& name) {
            if (!sites.count(name))
                RemoveTreeAt(folders.Handle(place.Inside), name);
            return true;
        });
    }
    if (!state.Pop3)
        ::unlinkat(folderHandle, kPop3File, 0);
    // Last: a machine exists once its facts file does.
    TMachineCommit facts(folder, folderHandle);
    WriteFacts(state.Facts, facts);
    facts.Commit();
}

std::string MachineStamp(const std::filesystem::path& folder) {
    // Asked on every bind that looks at the disk: plain text paths, one buffer.
    std::string base = folder.string();
    if (!base.empty() && base.back() != '/')
        base.push_back('/');
    std::string stamp;
    // A commit record left behind changes it too: the copy is read again, after
    // the commit is finished.
    for (const char* file : {kFactsFile, kMetabaseFile, kPop3File, kFaultsFile, kSitesFolder, kCommitRecordFile})
        stamp += FileStamp(base + file);
    return stamp;
}

} // namespace orvex
