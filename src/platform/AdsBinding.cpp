#include "platform/AdsBinding.h"

#include "base/AsciiText.h"
#include "base/Utf.h"
#include "platform/EmulatedMachine.h"
#include "platform/MetabaseObjects.h"
#include "platform/MetabaseSchema.h"

namespace orvex {

namespace {

std::shared_ptr<TEmulatedMachine> OpenOrFail(std::u16string_view name, bool checkDisk) {
    try {
        return checkDisk ? OpenMachine(name) : OpenMachineAsItStands(name);
    } catch (const EMachineError& e) {
        throw EMachineFilesError(e.what());
    }
}

} // namespace

TBindCtx CreateBindCtx() { return {}; }

TMoniker MkParseDisplayName(const TBindCtx&, std::u16string_view displayName) {
    constexpr std::u16string_view prefix = u"IIS://";
    if (displayName.size() <= prefix.size() ||
        !SameAsciiText(displayName.substr(0, prefix.size()), prefix))
        throw EOleSysError(hr::MkSyntax);
    std::u16string_view rest = displayName.substr(prefix.size());
    const size_t slash = rest.find(u'/');
    TMoniker moniker{std::u16string(displayName), std::u16string(rest.substr(0, slash)), {}};
    if (slash != std::u16string_view::npos) {
        std::u16string_view path = rest.substr(slash + 1);
        if (!path.empty() && path.back() == u'/')
            path.remove_suffix(1);
        moniker.Path = path;
    }
    if (moniker.Machine.empty())
        throw EOleSysError(hr::MkSyntax);
    return moniker;
}

TOleVariant BindMonikerToObject(const TBindCtx& context, const TMoniker& moniker) {
    TOleVariant object = BindMonikerToObjectIfFound(context, moniker);
    if (object.IsEmpty())
        throw EOleSysError(hr::PathNotFound);
    return object;
}

TOleVariant BindMonikerToObjectIfFound(const TBindCtx&, const TMoniker& moniker) {
    std::u16string_view path = moniker.Path;
    constexpr std::u16string_view schema = u"Schema";
    // The schema never changes: its objects are bound against the machine as it
    // stands, which spares a look at the disk for every property a backup reads.
    const bool isSchema = path.size() >= schema.size() &&
                          SameAsciiText(path.substr(0, schema.size()), schema) &&
                          (path.size() == schema.size() || path[schema.size()] == u'/');
    // The "IIS:" namespace exists only where IIS 6 is installed locally.
    if (!IsLocalMachineName(moniker.Machine)) {
        std::shared_ptr<TEmulatedMachine> local = OpenOrFail(u"", false);
        if (!local || !local->Metabase())
            throw EOleSysError(hr::MkSyntax);
    }
    std::shared_ptr<TEmulatedMachine> machine = OpenOrFail(moniker.Machine, !isSchema);
    if (!machine)
        throw EOleSysError(hr::ServerUnavailable);
    if (!machine->Metabase())
        throw EOleSysError(hr::MkSyntax);
    machine->CheckFault(u"Bind", moniker.Path, u"");
    if (isSchema) {
        auto adsPath = [&](std::u16string_view below) {
            std::u16string text;
            text.reserve(6 + moniker.Machine.size() + 1 + below.size());
            text.append(u"IIS://").append(moniker.Machine).append(u"/").append(below);
            return text;
        };
        if (path.size() == schema.size())
            return TAutoObjectPtr(std::make_shared<TSchemaContainerObject>(adsPath(u"Schema")));
        const std::u16string_view name = path.substr(schema.size() + 1);
        if (const TClassDef* cls = FindClassDef(name))
            return TAutoObjectPtr(std::make_shared<TSchemaClassObject>(*cls, adsPath(path)));
        if (const TPropertyDef* property = FindPropertyDef(name))
            return TAutoObjectPtr(std::make_shared<TSchemaPropertyObject>(*property, adsPath(path)));
        return {};
    }
    TMetaObject* object = machine->Metabase()->Find(path);
    if (!object)
        return {};
    return TAutoObjectPtr(std::make_shared<TIIsObject>(machine, moniker.Machine, object->Path()));
}

TOleVariant BindToObject(std::u16string_view displayName) {
    const TBindCtx context = CreateBindCtx();
    return BindMonikerToObject(context, MkParseDisplayName(context, displayName));
}

int32_t ADsGetObject(std::u16string_view displayName, TOleVariant& container) {
    try {
        const TBindCtx context = CreateBindCtx();
        const TMoniker moniker = MkParseDisplayName(context, displayName);
        TOleVariant object = BindMonikerToObject(context, moniker);
        if (const auto* metabaseObject = dynamic_cast<const TIIsObject*>(object.AsObject().get()))
            metabaseObject->Machine()->CheckFault(u"Enum", metabaseObject->Path(), u"");
        container = std::move(object);
        return hr::S_OK;
    } catch (const EOleSysError& e) {
        return e.ErrorCode();
    } catch (const std::exception&) {
        return hr::E_FAIL;
    }
}

bool MayReadOnThreads(const TOleVariant& object) {
    const auto* metabaseObject = dynamic_cast<const TIIsObject*>(object.AsObject().get());
    return metabaseObject && !metabaseObject->Machine()->HasFaults();
}

} // namespace orvex
