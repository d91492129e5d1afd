#include "platform/MetabaseObjects.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "platform/MachineMemos.h"
#include "platform/Metabase.h"
#include "platform/MetabaseSchema.h"
#include "platform/MetabaseValues.h"

#include <array>
#include <optional>

namespace orvex {

namespace {

class TPropertyAttribObject : public TAutoObject {
public:
    TPropertyAttribObject(bool isInherit, const TPropertyDef& def) : FIsInherit(isInherit), FDef(def) {}
    TOleVariant GetProperty(std::u16string_view name) override {
        if (SameAsciiText(name, u"IsInherit"))
            return FIsInherit;
        if (SameAsciiText(name, u"Secure"))
            return FDef.Secure;
        if (SameAsciiText(name, u"Inherit"))
            return FDef.Inherit;
        return TAutoObject::GetProperty(name);
    }

private:
    bool FIsInherit;
    const TPropertyDef& FDef;
};

// An attribute object holds nothing that changes: one pair per property of the
// schema serves every call.
TAutoObjectPtr PropertyAttribObject(const TPropertyDef& def, bool isInherit) {
    static const std::vector<std::array<TAutoObjectPtr, 2>> objects = [] {
        std::vector<std::array<TAutoObjectPtr, 2>> pairs;
        for (const TPropertyDef& each : AllPropertyDefs())
            pairs.push_back({std::make_shared<TPropertyAttribObject>(false, each),
                             std::make_shared<TPropertyAttribObject>(true, each)});
        return pairs;
    }();
    return objects[static_cast<size_t>(&def - AllPropertyDefs().data())][isInherit ? 1 : 0];
}

TOleVariant* FindCached(std::vector<std::pair<const TPropertyDef*, TOleVariant>>& cache, const TPropertyDef& def) {
    for (auto& [cached, value] : cache)
        if (cached == &def)
            return &value;
    return nullptr;
}

std::u16string ParentPath(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    return slash == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(0, slash));
}

std::u16string LeafName(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// Field 1 (the file path) of a restriction-list entry "allow,path,deletable,group,description".
std::u16string_view ExtensionFileOf(std::u16string_view entry) {
    const size_t first = entry.find(u',');
    if (first == std::u16string_view::npos)
        return {};
    const size_t second = entry.find(u',', first + 1);
    return entry.substr(first + 1, second == std::u16string_view::npos ? std::u16string_view::npos : second - first - 1);
}

bool FlagArgument(const TOleVariant& value) {
    return value.Kind() == TVariantKind::vkInteger ? value.AsInteger() != 0 : value.AsBoolean();
}

std::u16string_view NameArgument(std::span<const TOleVariant> args, size_t count) {
    RequireArgs(args, count);
    return args[0].AsText();
}

} // namespace

TIIsObject::TIIsObject(std::shared_ptr<TEmulatedMachine> machine, std::u16string machineName, std::u16string path,
                       std::u16string pendingClass)
    : FMachine(std::move(machine)), FMachineName(std::move(machineName)), FPath(std::move(path)),
      FPendingClass(std::move(pendingClass)) {}

TMetaObject* TIIsObject::Existing() const {
    const TMetabase& metabase = *FMachine->Metabase();
    if (!FKey || FKeyRemovals != metabase.Removals() || MachineMemosBypassed()) {
        FKey = metabase.Find(FPath);
        FKeyRemovals = metabase.Removals();
        if (!FKey)
            throw EOleSysError(hr::PathNotFound);
    }
    return FKey;
}

std::u16string TIIsObject::ClassName() const { return FPendingClass.empty() ? Existing()->ClassName() : FPendingClass; }

std::u16string TIIsObject::AdsPathOf(std::u16string_view path) const {
    std::u16string result = u"IIS://" + FMachineName;
    if (!path.empty())
        result.append(u"/").append(path);
    return result;
}

const TPropertyDef& TIIsObject::PropertyOfClass(std::u16string_view id) const {
    if (FPendingClass.empty())
        Existing();  // a key that is gone raises PathNotFound first
    const bool bypassed = MachineMemosBypassed();
    if (FLastDef && EqualText(id, FLastDef->Name) && !bypassed)
        return *FLastDef;
    // A key keeps its class; a pending one has the class it will be created with.
    if (!FClass || bypassed)
        FClass = FindClassDef(ClassName());
    const TPropertyDef* def = nullptr;
    if (FClass) {
        // A backup or a restore asks for the class's properties mostly in their
        // order: the one after the last found is tried first.
        const std::vector<const TPropertyDef*>& ordered = ClassPropertyDefs(*FClass);
        size_t position = FNextInClass;
        if (bypassed || position >= ordered.size() || !EqualText(id, ordered[position]->Name))
            position = ClassPropertyPosition(*FClass, id);
        if (position < ordered.size()) {
            def = ordered[position];
            FNextInClass = position + 1;
        }
    } else {
        def = FindPropertyDef(id);
    }
    if (!def)
        throw EOleSysError(hr::AdsPropertyNotSupported);
    FLastDef = def;
    return *def;
}

TOleVariant TIIsObject::GetProperty(std::u16string_view name) {
    if (SameAsciiText(name, u"Class"))
        return ClassName();
    if (SameAsciiText(name, u"Name"))
        return FPath.empty() ? FMachineName : LeafName(FPath);
    if (SameAsciiText(name, u"ADsPath"))
        return AdsPathOf(FPath);
    if (SameAsciiText(name, u"Parent"))
        return FPath.empty() ? std::u16string(u"IIS:") : AdsPathOf(ParentPath(FPath));
    if (SameAsciiText(name, u"Schema"))
        return AdsPathOf(u"Schema/" + ClassName());
    if (FindPropertyDef(name))
        return Get(name);
    return TAutoObject::GetProperty(name);
}

void TIIsObject::SetProperty(std::u16string_view name, const TOleVariant& value) {
    if (!FindPropertyDef(name))
        TAutoObject::SetProperty(name, value);
    Put(name, value);
}

TOleVariant TIIsObject::CallMethod(std::u16string_view name, std::span<const TOleVariant> args) {
    FMachine->CheckFault(u"Call", FPath, name);
    if (SameAsciiText(name, u"Get"))
        return Get(NameArgument(args, 1));
    if (SameAsciiText(name, u"Put")) {
        RequireArgs(args, 2);
        Put(args[0].AsText(), args[1]);
        return {};
    }
    if (SameAsciiText(name, u"SetInfo")) {
        RequireArgs(args, 0);
        SetInfo();
        return {};
    }
    if (SameAsciiText(name, u"GetInfo")) {
        RequireArgs(args, 0);
        FCache.clear();
        return {};
    }
    if (SameAsciiText(name, u"Create")) {
        RequireArgs(args, 2);
        return Create(args[0].AsText(), args[1].AsText());
    }
    if (SameAsciiText(name, u"GetPropertyAttribObj"))
        return GetPropertyAttribObj(NameArgument(args, 1));
    const bool webService =
        FPendingClass.empty() && SameAsciiText(Existing()->ClassName(), u"IIsWebService");
    if (webService && SameAsciiText(name, u"AddExtensionFile")) {
        AddExtensionFile(args);
        return {};
    }
    if (webService && SameAsciiText(name, u"DeleteExtensionFileRecord")) {
        DeleteExtensionFileRecord(NameArgument(args, 1));
        return {};
    }
    return TAutoObject::CallMethod(name, args);
}

std::unique_ptr<TEnumVariant> TIIsObject::NewEnum() {
    std::vector<TOleVariant> children;
    if (FPendingClass.empty())
        for (const auto& child : Existing()->Children())
            children.emplace_back(TAutoObjectPtr(std::make_shared<TIIsObject>(FMachine, FMachineName, child->Path())));
    return std::make_unique<TEnumVariant>(std::move(children));
}

TOleVariant TIIsObject::Get(std::u16string_view id) {
    const TPropertyDef& def = PropertyOfClass(id);
    FMachine->CheckFault(u"Get", FPath, def.Name);
    if (const TOleVariant* cached = FindCached(FCache, def))
        return PresentPropertyValue(def, *cached);
    const TOleVariant* value = nullptr;
    if (FPendingClass.empty()) {
        value = Existing()->EffectiveValue(def);
    } else if (def.Inherit) {
        if (TMetaObject* parent = FMachine->Metabase()->Find(ParentPath(FPath)))
            value = parent->EffectiveValue(def);
    }
    return value ? PresentPropertyValue(def, *value) : DefaultPropertyValue(def);
}

void TIIsObject::Put(std::u16string_view id, const TOleVariant& value) {
    const TPropertyDef& def = PropertyOfClass(id);
    FMachine->CheckFault(u"Put", FPath, def.Name);
    TOleVariant stored = NormalisePropertyValue(def, value);
    if (TOleVariant* cached = FindCached(FCache, def)) {
        *cached = std::move(stored);
        return;
    }
    FCache.emplace_back(&def, std::move(stored));
}

void TIIsObject::SetInfo() {
    FMachine->CheckFault(u"SetInfo", FPath, u"");
    TMetaObject* created = nullptr;
    TMetaObject* parent = nullptr;
    TMetaObject* object = nullptr;
    if (!FPendingClass.empty()) {
        parent = FMachine->Metabase()->Find(ParentPath(FPath));
        if (!parent)
            throw EOleSysError(hr::PathNotFound);
        if (parent->FindChild(LeafName(FPath)))
            throw EOleSysError(hr::AlreadyExists);
        created = &parent->AddChild(LeafName(FPath), FPendingClass);
        created->SetValue(u"KeyType", FPendingClass);
        object = created;
    } else {
        object = Existing();
    }
    // Old values, to undo when the metabase cannot be written. A machine that an
    // operation holds locked only marks what changed: nothing to undo there, and
    // the cached values move (a failure there fails every later write as well).
    const bool mayFail = !FMachine->LockedByOperation();
    std::vector<std::pair<std::u16string_view, std::optional<TOleVariant>>> undo;
    for (auto& [def, value] : FCache) {
        if (mayFail) {
            const TOleVariant* old = object->FindValue(def->Name);
            undo.emplace_back(def->Name, old ? std::optional<TOleVariant>(*old) : std::nullopt);
            object->SetValue(*def, value);
        } else {
            object->SetValue(*def, std::move(value));
        }
    }
    try {
        FMachine->SaveMetabase(*object, created != nullptr);
    } catch (...) {
        if (created) {
            parent->RemoveChild(*created);
        } else {
            for (auto& [name, old] : undo)
                old ? object->SetValue(name, std::move(*old)) : object->RemoveValue(name);
        }
        throw;
    }
    FPendingClass.clear();
    FCache.clear();
}

TOleVariant TIIsObject::Create(std::u16string_view className, std::u16string_view name) {
    FMachine->CheckFault(u"Create", FPath, name);
    if (!FindClassDef(className))
        throw EOleSysError(hr::AdsUnknownObject);
    // "." and ".." would name a key beside or above this one in every path.
    if (name.empty() || name == u"." || name == u".." || name.find(u'/') != std::u16string_view::npos ||
        name.find(u'\\') != std::u16string_view::npos)
        throw EOleSysError(hr::AdsBadPathname);
    if (!FPendingClass.empty())
        throw EOleSysError(hr::PathNotFound);
    const std::u16string parentPath = Existing()->Path();
    const std::u16string childPath = parentPath.empty() ? std::u16string(name) : parentPath + u"/" + std::u16string(name);
    return TAutoObjectPtr(std::make_shared<TIIsObject>(FMachine, FMachineName, childPath, std::u16string(FindClassDef(className)->Name)));
}

TOleVariant TIIsObject::GetPropertyAttribObj(std::u16string_view id) {
    const TPropertyDef& def = PropertyOfClass(id);
    bool isInherit = false;
    if (def.Inherit && !FindCached(FCache, def)) {
        if (FPendingClass.empty()) {
            isInherit = Existing()->InheritsValue(def);
        } else if (TMetaObject* parent = FMachine->Metabase()->Find(ParentPath(FPath))) {
            isInherit = parent->EffectiveValue(def) != nullptr;
        }
    }
    return PropertyAttribObject(def, isInherit);
}

void TIIsObject::AddExtensionFile(std::span<const TOleVariant> args) {
    RequireArgs(args, 5);
    const std::u16string& file = args[0].AsText();
    const bool allowed = FlagArgument(args[1]);
    const std::u16string& group = args[2].AsText();
    const bool deletable = FlagArgument(args[3]);
    const std::u16string& description = args[4].AsText();
    if (file.empty())
        throw EOleSysError(hr::E_INVALIDARG);
    const TOleVariant* list = Existing()->FindValue(u"WebSvcExtRestrictionList");
    std::vector<std::u16string> entries = list ? TextsOfArray(*list) : std::vector<std::u16string>();
    for (const std::u16string& entry : entries)
        if (SameTextIgnoreCase(ExtensionFileOf(entry), file))
            throw EOleSysError(hr::AlreadyExists);
    entries.push_back(std::u16string(allowed ? u"1," : u"0,") + file + (deletable ? u",1," : u",0,") + group + u"," + description);
    ChangeRestrictionList(std::move(entries));
}

void TIIsObject::DeleteExtensionFileRecord(std::u16string_view file) {
    const TOleVariant* list = Existing()->FindValue(u"WebSvcExtRestrictionList");
    std::vector<std::u16string> entries = list ? TextsOfArray(*list) : std::vector<std::u16string>();
    const size_t before = entries.size();
    std::erase_if(entries, [&](const std::u16string& entry) { return SameTextIgnoreCase(ExtensionFileOf(entry), file); });
    if (entries.size() == before)
        throw EOleSysError(hr::FileNotFound);
    ChangeRestrictionList(std::move(entries));
}

void TIIsObject::ChangeRestrictionList(std::vector<std::u16string> entries) {
    TMetaObject* object = Existing();
    const TOleVariant* current = object->FindValue(u"WebSvcExtRestrictionList");
    std::optional<TOleVariant> old = current ? std::optional<TOleVariant>(*current) : std::nullopt;
    object->SetValue(u"WebSvcExtRestrictionList", TextArray(entries));
    try {
        FMachine->SaveMetabase(*object);
    } catch (...) {
        old ? object->SetValue(u"WebSvcExtRestrictionList", std::move(*old)) : object->RemoveValue(u"WebSvcExtRestrictionList");
        throw;
    }
}

TOleVariant TSchemaClassObject::GetProperty(std::u16string_view name) {
    auto texts = [](const std::vector<std::u16string_view>& names) {
        std::vector<TOleVariant> items;
        for (std::u16string_view n : names)
            items.emplace_back(n);
        return TOleVariant(std::move(items));
    };
    if (SameAsciiText(name, u"Name"))
        return FDef.Name;
    if (SameAsciiText(name, u"Class"))
        return u"Class";
    if (SameAsciiText(name, u"ADsPath"))
        return FAdsPath;
    if (SameAsciiText(name, u"MandatoryProperties"))
        return texts(FDef.Mandatory);
    if (SameAsciiText(name, u"OptionalProperties"))
        return texts(FDef.Optional);
    if (SameAsciiText(name, u"Container"))
        return FDef.Container;
    return TAutoObject::GetProperty(name);
}

TOleVariant TSchemaPropertyObject::GetProperty(std::u16string_view name) {
    if (SameAsciiText(name, u"Name"))
        return FDef.Name;
    if (SameAsciiText(name, u"Class"))
        return u"Property";
    if (SameAsciiText(name, u"ADsPath"))
        return FAdsPath;
    if (SameAsciiText(name, u"Syntax"))
        return SyntaxName(FDef.Syntax);
    if (SameAsciiText(name, u"Secure"))
        return FDef.Secure;
    if (SameAsciiText(name, u"Inherit"))
        return FDef.Inherit;
    return TAutoObject::GetProperty(name);
}

TOleVariant TSchemaContainerObject::GetProperty(std::u16string_view name) {
    if (SameAsciiText(name, u"Name"))
        return u"Schema";
    if (SameAsciiText(name, u"Class"))
        return u"Schema";
    if (SameAsciiText(name, u"ADsPath"))
        return FAdsPath;
    return TAutoObject::GetProperty(name);
}

std::unique_ptr<TEnumVariant> TSchemaContainerObject::NewEnum() {
    std::vector<TOleVariant> classes;
    for (const TClassDef& def : AllClassDefs())
        classes.emplace_back(TAutoObjectPtr(std::make_shared<TSchemaClassObject>(def, FAdsPath + u"/" + std::u16string(def.Name))));
    return std::make_unique<TEnumVariant>(std::move(classes));
}

} // namespace orvex
