#pragma once
// Element, attribute, type and class names of the backup file, written exactly in
// this case by every writer.

#include <string_view>

namespace orvex::backupxml {

// Elements
inline constexpr std::u16string_view ElemRoot = u"Root";
inline constexpr std::u16string_view ElemMachines = u"Machines";
inline constexpr std::u16string_view ElemMachine = u"Machine";
inline constexpr std::u16string_view ElemSubDir = u"SubDir";
inline constexpr std::u16string_view ElemProperty = u"Property";
inline constexpr std::u16string_view ElemItem = u"Item";

// Attributes
inline constexpr std::u16string_view AttrBackupName = u"backupName";
inline constexpr std::u16string_view AttrMachineName = u"machineName";
inline constexpr std::u16string_view AttrPath = u"path";
inline constexpr std::u16string_view AttrClassName = u"className";
inline constexpr std::u16string_view AttrSiteName = u"siteName";
inline constexpr std::u16string_view AttrId = u"id";
inline constexpr std::u16string_view AttrType = u"type";
inline constexpr std::u16string_view AttrValue = u"value";
inline constexpr std::u16string_view AttrInherit = u"Inherit";

// Values of the `type` attribute
inline constexpr std::u16string_view TypeString = u"STRING";
inline constexpr std::u16string_view TypeExpandSz = u"EXPANDSZ";
inline constexpr std::u16string_view TypeBinary = u"BINARY";
inline constexpr std::u16string_view TypeInteger = u"INTEGER";
inline constexpr std::u16string_view TypeBoolean = u"BOOLEAN";
inline constexpr std::u16string_view TypeList = u"LIST";
inline constexpr std::u16string_view TypeIPSec = u"IPSEC";
inline constexpr std::u16string_view TypeUnsupported = u"UNSUPPORTED";

// True for the types a value can be restored from, written exactly in this case.
inline bool IsKnownPropertyType(std::u16string_view type) {
    for (auto known : {TypeString, TypeExpandSz, TypeBinary, TypeInteger, TypeBoolean, TypeList, TypeIPSec})
        if (type == known) return true;
    return false;
}

// Fixed paths and classes
inline constexpr std::u16string_view PathWebService = u"w3svc";
inline constexpr std::u16string_view ClassWebService = u"IIsWebService";
inline constexpr std::u16string_view ClassWebServer = u"IIsWebServer";
inline constexpr std::u16string_view PathPop3Service = u"Pop3 Service";
inline constexpr std::u16string_view ClassPop3 = u"Pop3Svc";
inline constexpr std::u16string_view PathServiceExtensions = u"Service Extensions";
inline constexpr std::u16string_view ClassServiceExtensions = u"ServiceExtensions";

} // namespace orvex::backupxml
