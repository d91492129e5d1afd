#include "engine/Pop3Backup.h"

#include "base/CaseFold.h"
#include "base/ExceptionText.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"
#include "engine/IIsBinding.h"
#include "engine/ProgressLog.h"
#include "engine/PropertyValues.h"
#include "platform/Pop3Admin.h"

#include <initializer_list>

namespace orvex {

namespace {

using namespace backupxml;

TWideXmlNode& AppendPopElement(TWideXmlNode& parent, std::u16string_view path) {
    TWideXmlNode& element = AppendSubDirElement(parent, path, ClassPop3);
    LogLine(u"Process Sub Directory: Path=" + GetDisplayPath(element), clLogBlue);
    return element;
}

void WritePopProps(const TOleVariant& object, TWideXmlNode& node, std::initializer_list<std::u16string_view> ids) {
    for (auto id : ids) WriteVariantProperty(node, id, object.Property(id));
}

void BackupPopService(const TOleVariant& config, TWideXmlNode& node) {
    TOleVariant service = config.Property(u"Service");
    WritePopProps(service, AppendPopElement(node, u"Service"), {u"ThreadCountPerCPU", u"Port", u"SPARequired"});
}

void BackupPopAuthMethod(const TOleVariant& config, TWideXmlNode& node) {
    try {
        TOleVariant methods = config.Property(u"Authentication");
        TOleVariant method = methods.Call(u"Item", methods.Property(u"CurrentAuthMethod"));
        WritePopProps(method, AppendPopElement(node, u"CurrentAuthMethod"), {u"Name", u"ID"});
    } catch (const std::exception& e) {
        LogBackupException(u"Authentication not backed up. Error: " + ExceptionMessage(e), clLogRed);
    }
}

// The element of owner's collection (the domains, a domain's mailboxes) and in it
// one element per item, named by the item and holding its lock state, which
// backUpItem then fills.
template <class TBackUpItem>
void BackupPopCollection(const TOleVariant& owner, std::u16string_view collection, TWideXmlNode& node,
                         TBackUpItem backUpItem) {
    std::unique_ptr<TEnumVariant> items = owner.Property(collection).NewEnum();
    TWideXmlNode& collectionElement = AppendPopElement(node, collection);
    TOleVariant item;
    while (items->Next(item)) {
        TWideXmlNode& itemElement = AppendPopElement(collectionElement, item.Property(u"Name").ToText());
        WritePopProps(item, itemElement, {u"Lock"});
        backUpItem(item, itemElement);
    }
}

void BackupPopUsers(const TOleVariant& domain, TWideXmlNode& node) {
    BackupPopCollection(domain, u"Users", node, [](const TOleVariant&, TWideXmlNode&) {});
}

void BackupPopDomains(const TOleVariant& config, TWideXmlNode& node) {
    BackupPopCollection(config, u"Domains", node, BackupPopUsers);
}

} // namespace

void WriteVariantProperty(TWideXmlNode& node, std::u16string_view id, const TOleVariant& value) {
    std::u16string_view type;
    switch (value.Kind()) {
    case TVariantKind::vkInteger: type = TypeInteger; break;
    case TVariantKind::vkText: type = TypeString; break;
    case TVariantKind::vkBoolean: type = TypeBoolean; break;
    default: break;
    }
    WritePropertyNode(node, id, type, value, false);
}

std::u16string Pop3ConnectFailureText(uint32_t osError, std::u16string_view message) {
    if (osError == 1008)
        return u"POP3 service not installed on this computer";
    if (osError == 997)
        return u"POP3 service not installed on remote computer";
    return u"POP3 service not connected. Error=" + std::u16string(message);
}

void BackupPopDirectory(std::u16string_view machine, TWideXmlNode& node) {
    TOleVariant config;
    try {
        config = CreateP3Config();
        config.SetProperty(u"MachineName", TOleVariant(machine));
    } catch (const std::exception& e) {
        uint32_t code = GetLastOsError();
        LogLine(Pop3ConnectFailureText(code, ExceptionMessage(e)), clLogBlack);
        return;
    }
    try {
        TWideXmlNode& pop = AppendPopElement(node, PathPop3Service);
        WritePopProps(config, pop, {u"LoggingLevel", u"MailRoot", u"ConfirmAddUser"});
        BackupPopService(config, pop);
        BackupPopAuthMethod(config, pop);
        BackupPopDomains(config, pop);
    } catch (const std::exception& e) {
        LogBackupException(ExceptionMessage(e), clLogRed);
    }
}

} // namespace orvex
