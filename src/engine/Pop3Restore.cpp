#include "engine/Pop3Restore.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/ExceptionText.h"
#include "base/NumberText.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"
#include "engine/EngineOperation.h"
#include "engine/IIsBinding.h"
#include "engine/Pop3Backup.h"
#include "engine/ProgressLog.h"
#include "engine/PropertyText.h"
#include "engine/PropertyValues.h"
#include "engine/RestoreChecks.h"
#include "engine/RestoreTree.h"
#include "engine/SupportedProperties.h"
#include "platform/Pop3Admin.h"

#include <functional>
#include <random>
#include <stdexcept>

namespace orvex {

namespace {

using namespace backupxml;

enum class TPopKind { pkInteger, pkText };

// The value as the library takes it for that kind of property.
TOleVariant AsPopKind(const TOleVariant& value, TPopKind kind) {
    if (kind == TPopKind::pkText) return TOleVariant(value.ToText());
    switch (value.Kind()) {
    case TVariantKind::vkInteger: return value;
    case TVariantKind::vkBoolean: return TOleVariant(int32_t(value.AsBoolean() ? -1 : 0));
    default: return TOleVariant(TextToInteger(value.ToText()));
    }
}

// Writes one backed-up value when it differs from the current one; raises on failure.
void WritePopValue(const TOleVariant& object, const TWideXmlNode& element, std::u16string_view id, TPopKind kind) {
    TOleVariant backup;
    if (!ReadPopProperty(element, id, backup)) return;
    TOleVariant wanted = AsPopKind(backup, kind);
    if (AsPopKind(object.Property(id), kind) == wanted) return;
    object.SetProperty(id, wanted);
}

using TFailureText = std::function<std::u16string(std::u16string_view id, std::u16string_view message)>;

// WritePopValue for each id in turn; a failing one is logged and the next follows.
void WritePopValues(const TOleVariant& object, const TWideXmlNode& element,
                    std::initializer_list<std::pair<std::u16string_view, TPopKind>> ids, const TFailureText& failure) {
    for (const auto& [id, kind] : ids) {
        try {
            WritePopValue(object, element, id, kind);
        } catch (const std::exception& e) {
            PassMachineFilesError(e);
            LogBackupException(failure(id, ExceptionMessage(e)), clLogRed);
        }
    }
}

std::runtime_error MissingElement(std::u16string_view path) {
    return std::runtime_error(Utf16ToUtf8(u"Can not find path=" + std::u16string(path)));
}

// The `SubDir` among children (SubDirsOf the element) that node stands for; raises
// when the file lacks it.
const TWideXmlNode& ElementOf(const TSubDirMap& children, const TTreeNode& node) {
    std::u16string path = NodePath(node);
    const TWideXmlNode* child = FindSubDir(children, path);
    if (!child) throw MissingElement(path);
    return *child;
}

void RestorePopService(const TOleVariant& service, const TWideXmlNode& element, const TTreeNode& node) {
    if (!ArePropertiesChecked(node)) return;
    std::u16string display = GetDisplayPath(element);
    LogLine(u"Restore directory: " + display, clLogBlue);
    try {
        std::u16string path = GetTreeNodeADsPathOnly(node);
        WritePopValues(service, element,
                       {{u"ThreadCountPerCPU", TPopKind::pkInteger},
                        {u"Port", TPopKind::pkInteger},
                        {u"SPARequired", TPopKind::pkInteger}},
                       [&](std::u16string_view id, std::u16string_view message) {
                           return u"Property " + std::u16string(id) + u" at " + path + u" not restored. Errorr: " +
                                  std::u16string(message);
                       });
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"Problem in RestoreDirectory: Path=" + display + u" Error=" + ExceptionMessage(e), clLogRed);
    }
}

void RestorePopAuthMethods(const TOleVariant& methods, const TWideXmlNode& element, const TTreeNode& node) {
    if (!ArePropertiesChecked(node)) return;
    std::u16string display = GetDisplayPath(element);
    LogLine(u"Restore directory: " + display, clLogBlue);
    try {
        TOleVariant current = methods.Call(u"Item", methods.Property(u"CurrentAuthMethod"));
        std::u16string currentName = current.Property(u"Name").ToText();
        TOleVariant backup;
        if (!ReadPopProperty(element, u"Name", backup)) return;
        std::u16string name = backup.ToText();
        if (name == currentName) return;
        std::unique_ptr<TEnumVariant> all = methods.NewEnum();
        TOleVariant method;
        while (all->Next(method)) {
            if (SameTextIgnoreCase(method.Property(u"Name").ToText(), name)) {
                methods.SetProperty(u"CurrentAuthMethod", method);
                return;
            }
        }
        LogBackupError(u"Problem in RestorePopAuthMethods: Path=" + display + u" Problem: Authmethod " + name +
                           u" not found",
                       clLogRed);
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"RestoreDirectory: Path=" + display + u" Error=" + ExceptionMessage(e), clLogRed);
    }
}

// Looks the mailbox up, or adds it first with add; a failure gives none.
TOleVariant TryUser(const TOleVariant& users, std::u16string_view name, const std::function<void()>& add) {
    try {
        if (add) add();
        return users.Call(u"Item", name);
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
    }
    return {};
}

void RestorePopUser(const TWideXmlNode& element, const TTreeNode& node, const TOleVariant& users,
                    std::u16string_view name) {
    if (!IsNodeChecked(node)) return;
    std::u16string display = GetDisplayPath(element);
    LogLine(u"Restore directory: " + display, clLogBlue);
    try {
        TOleVariant user = TryUser(users, name, nullptr);
        if (user.IsEmpty()) {
            bool created = false;
            user = TryUser(users, name, [&] {
                users.Call(u"AddEx", name, RandomMailboxPassword());
                created = true;
            });
            if (created)
                LogBackupWarning(u"Mailbox " + std::u16string(name) +
                                     u" was created with a random password. Set its password before it is used!",
                                 clLogBlack);
        }
        if (user.IsEmpty()) {
            try {
                users.Call(u"Add", name);
                user = users.Call(u"Item", name);
            } catch (const std::exception& e) {
                PassMachineFilesError(e);
                throw;
            }
        }
        if (ArePropertiesChecked(node)) WritePopValue(user, element, u"Lock", TPopKind::pkInteger);
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"RestorePopUser: Path=" + display + u" Error=" + ExceptionMessage(e), clLogRed);
    }
}

// Restores each checked child of a Users or Domains element with restoreChild(element,
// node, name); a failure ends the list and is logged under routine.
template <class RestoreChild>
void RestorePopList(std::u16string_view routine, const TWideXmlNode& element, const TTreeNode& node,
                    RestoreChild restoreChild) {
    if (!IsNodeChecked(node)) return;
    std::u16string display = GetDisplayPath(element);
    LogLine(u"Restore directory: " + display, clLogBlue);
    try {
        const TSubDirMap children = SubDirsOf(element);
        for (int i = 0; i < node.ChildCount(); ++i) {
            const TTreeNode& child = *node.Child(i);
            if (IsNodeChecked(child))
                restoreChild(ElementOf(children, child), child, NodePath(child));
        }
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(std::u16string(routine) + u": Path=" + display + u" Error=" +
                               ExceptionMessage(e),
                           clLogRed);
    }
}

void RestorePopUsers(const TWideXmlNode& element, const TTreeNode& node, const TOleVariant& users) {
    RestorePopList(
        u"RestorePopUsers", element, node,
        [&](const TWideXmlNode& userElement, const TTreeNode& userNode, std::u16string_view name) {
            RestorePopUser(userElement, userNode, users, name);
        });
}

void RestorePopDomain(const TWideXmlNode& element, const TTreeNode& node, const TOleVariant& domains,
                      std::u16string_view name) {
    if (!IsNodeChecked(node)) return;
    std::u16string display = GetDisplayPath(element);
    LogLine(u"Restore directory: " + display, clLogBlue);
    try {
        TOleVariant domain;
        try {
            domain = domains.Call(u"Item", name);
        } catch (const EOleSysError& e) {
            PassMachineFilesError(e);
            if (e.ErrorCode() == hr::PathNotFound) {
                LogBackupException(u"RestorePopDomain: Path=" + display + u" Problem: Domain " + std::u16string(name) +
                                       u" registered for SMTP, not POP3",
                                   clLogRed);
                return;
            }
            if (e.ErrorCode() != hr::NoSuchDomain) {
                LogBackupException(u"RestorePopDomain: Path=" + display + u" OleError=" +
                                       AsciiUpperCase(HexToText(static_cast<uint32_t>(e.ErrorCode()))) +
                                       u" Message=" + e.Message(),
                                   clLogRed);
                return;
            }
        }
        if (domain.IsEmpty()) {
            domains.Call(u"Add", name);
            domain = domains.Call(u"Item", name);
        }
        if (ArePropertiesChecked(node)) WritePopValue(domain, element, u"Lock", TPopKind::pkInteger);
        const TSubDirMap children = SubDirsOf(element);
        for (int i = 0; i < node.ChildCount(); ++i) {
            const TTreeNode& child = *node.Child(i);
            if (IsNodeChecked(child)) RestorePopUsers(ElementOf(children, child), child, domain.Property(u"Users"));
        }
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"RestorePopDomain: Path=" + display + u" Error=" + ExceptionMessage(e), clLogRed);
    }
}

void RestorePopDomains(const TOleVariant& domains, const TWideXmlNode& element, const TTreeNode& node) {
    RestorePopList(u"RestorePopDomains", element, node,
                   [&](const TWideXmlNode& domainElement, const TTreeNode& domainNode,
                       std::u16string_view name) {
                       RestorePopDomain(domainElement, domainNode, domains, name);
                   });
}

} // namespace

bool ReadPopProperty(const TWideXmlNode& element, std::u16string_view id, TOleVariant& value) {
    for (int i = 0; i < element.NodeCount(); ++i) {
        const TWideXmlNode& child = *element.Nodes(i);
        if (!IsBackupElement(child, ElemProperty)) continue;
        if (!SameTextIgnoreCase(child.AttributeByName(AttrId), id) || !IsSupportedProperty(ClassPop3, id)) continue;
        std::u16string type = child.AttributeByName(AttrType);
        // Anything else would become an empty text that looks restored.
        if (!IsKnownPropertyType(type))
            throw std::runtime_error(Utf16ToUtf8(u"Unknown property type " + type));
        std::u16string text = child.AttributeByName(AttrValue);
        if (SameAsciiText(id, u"MailRoot") && HasDotSteps(text))
            throw std::runtime_error("the mail root holds a \".\" or \"..\" step, which would reach a folder outside "
                                     "its place");
        value = TextToPropertyValue(type, text, nullptr);
        LogLine(u"  Restore property: " + std::u16string(id) + u"=" + text, clLogGreen);
        return true;
    }
    return false;
}

std::u16string RandomMailboxPassword() {
    static constexpr std::u16string_view Alphabet =
        u"ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789!#$%*+-=?@_";
    std::random_device source;
    std::uniform_int_distribution<size_t> pick(0, Alphabet.size() - 1);
    std::u16string password;
    for (int i = 0; i < 16; ++i) password += Alphabet[pick(source)];
    return password;
}

void RestorePopDirectory(std::u16string_view machine, std::u16string_view, const TWideXmlNode& element,
                         const TTreeNode& node) {
    std::u16string display = GetDisplayPath(element);
    LogLine(u"Restore directory: " + display, clLogBlue);
    TOleVariant config;
    try {
        config = CreateP3Config();
        config.SetProperty(u"MachineName", TOleVariant(machine));
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupError(Pop3ConnectFailureText(GetLastOsError(), ExceptionMessage(e)), clLogRed);
        return;
    }
    try {
        if (ArePropertiesChecked(node)) {
            std::u16string path = GetTreeNodeADsPathOnly(node);
            WritePopValues(config, element,
                           {{u"LoggingLevel", TPopKind::pkInteger},
                            {u"MailRoot", TPopKind::pkText},
                            {u"ConfirmAddUser", TPopKind::pkInteger}},
                           [&](std::u16string_view id, std::u16string_view message) {
                               return u"RestorePopDirectory: Property " + std::u16string(id) + u" at " + path +
                                      u" not restored. Errorr: " + std::u16string(message);
                           });
        }
        const TSubDirMap children = SubDirsOf(element);
        for (int i = 0; i < node.ChildCount(); ++i) {
            const TTreeNode& child = *node.Child(i);
            if (!IsNodeChecked(child)) continue;
            std::u16string path = NodePath(child);
            if (SameTextIgnoreCase(path, u"Service"))
                RestorePopService(config.Property(u"Service"), ElementOf(children, child), child);
            else if (SameTextIgnoreCase(path, u"CurrentAuthMethod"))
                RestorePopAuthMethods(config.Property(u"Authentication"), ElementOf(children, child), child);
            else if (SameTextIgnoreCase(path, u"Domains"))
                RestorePopDomains(config.Property(u"Domains"), ElementOf(children, child), child);
        }
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
        LogBackupException(u"RestorePopDirectory: Path=" + display + u" Error=" + ExceptionMessage(e), clLogRed);
    }
}

} // namespace orvex
