#pragma once
// The automation objects of the emulated IIS 6 metabase provider, as binding an
// "IIS://machine/path" name gives them (see AdsBinding.h).
//
// A metabase object answers:
//   properties "Class", "Name", "ADsPath", "Parent", "Schema", and every schema
//     property of its class by name (read: as "Get", write: as "Put");
//   "Get" (id): the cached, own or inherited value, else the schema default;
//   "Put" (id, value): checks the value's kind against the syntax and caches it;
//   "SetInfo" (): writes the cache (and a pending "Create") to the metabase;
//   "GetInfo" (): drops the cache;
//   "Create" (class, name): a child that exists only after its own "SetInfo";
//   "GetPropertyAttribObj" (id): an object answering "IsInherit", "Secure", "Inherit";
//   on the web service (class IIsWebService) also "AddExtensionFile" (file path,
//     allowed, group id, deletable, description) and "DeleteExtensionFileRecord"
//     (file path), which change "WebSvcExtRestrictionList" at once;
//   enumeration: its children, in metabase order.
// "IPSecurity" reads as an object with "GrantByDefault", "IPDeny", "IPGrant".
// A schema class object ("Schema/IIsWebServer") answers "Name", "Class",
// "MandatoryProperties", "OptionalProperties" (arrays of texts) and "Container";
// a schema property object ("Schema/ServerBindings") answers "Name", "Class",
// "Syntax", "Secure" and "Inherit".

#include "platform/EmulatedMachine.h"
#include "platform/OleVariant.h"

#include <memory>
#include <string>

namespace orvex {

struct TClassDef;
struct TPropertyDef;
class TMetaObject;

class TIIsObject : public TAutoObject {
public:
    // path: the stored path of an existing key ("" for the machine key). With a
    // pendingClass the key does not exist yet: "SetInfo" creates it.
    TIIsObject(std::shared_ptr<TEmulatedMachine> machine, std::u16string machineName, std::u16string path,
               std::u16string pendingClass = {});

    TOleVariant GetProperty(std::u16string_view name) override;
    void SetProperty(std::u16string_view name, const TOleVariant& value) override;
    TOleVariant CallMethod(std::u16string_view name, std::span<const TOleVariant> args) override;
    std::unique_ptr<TEnumVariant> NewEnum() override;

    const std::u16string& Path() const { return FPath; }
    const std::shared_ptr<TEmulatedMachine>& Machine() const { return FMachine; }

private:
    TMetaObject* Existing() const;  // raises PathNotFound when the key is gone
    std::u16string ClassName() const;
    std::u16string AdsPathOf(std::u16string_view path) const;
    const TPropertyDef& PropertyOfClass(std::u16string_view id) const;

    TOleVariant Get(std::u16string_view id);
    void Put(std::u16string_view id, const TOleVariant& value);
    void SetInfo();
    TOleVariant Create(std::u16string_view className, std::u16string_view name);
    TOleVariant GetPropertyAttribObj(std::u16string_view id);
    void AddExtensionFile(std::span<const TOleVariant> args);
    void DeleteExtensionFileRecord(std::u16string_view file);
    void ChangeRestrictionList(std::vector<std::u16string> entries);

    std::shared_ptr<TEmulatedMachine> FMachine;
    std::u16string FMachineName;
    std::u16string FPath;
    std::u16string FPendingClass;
    std::vector<std::pair<const TPropertyDef*, TOleVariant>> FCache;  // what "Put" gave
    // The key and its class as last found: a backup asks an object for every
    // property of its class. The key is looked up again once any key was removed.
    mutable TMetaObject* FKey = nullptr;
    mutable uint64_t FKeyRemovals = 0;
    mutable const TClassDef* FClass = nullptr;
    // The property last found for the class: a backup asks for its attributes,
    // then for its value (by the schema's spelling, matched exactly).
    mutable const TPropertyDef* FLastDef = nullptr;
    mutable size_t FNextInClass = 0;  // in ClassPropertyDefs
};

class TSchemaClassObject : public TAutoObject {
public:
    TSchemaClassObject(const TClassDef& def, std::u16string adsPath) : FDef(def), FAdsPath(std::move(adsPath)) {}
    TOleVariant GetProperty(std::u16string_view name) override;

private:
    const TClassDef& FDef;
    std::u16string FAdsPath;
};

class TSchemaPropertyObject : public TAutoObject {
public:
    TSchemaPropertyObject(const TPropertyDef& def, std::u16string adsPath) : FDef(def), FAdsPath(std::move(adsPath)) {}
    TOleVariant GetProperty(std::u16string_view name) override;

private:
    const TPropertyDef& FDef;
    std::u16string FAdsPath;
};

// "Schema" itself: enumerates the class objects.
class TSchemaContainerObject : public TAutoObject {
public:
    explicit TSchemaContainerObject(std::u16string adsPath) : FAdsPath(std::move(adsPath)) {}
    TOleVariant GetProperty(std::u16string_view name) override;
    std::unique_ptr<TEnumVariant> NewEnum() override;

private:
    std::u16string FAdsPath;
};

} // namespace orvex
