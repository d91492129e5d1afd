#include "engine/IIsBinding.h"

#include "base/Utf.h"
#include "platform/AdsBinding.h"

namespace orvex {

std::u16string BuildIIsPath(std::u16string_view machine, std::u16string_view path) {
    std::u16string name = u"IIS://";
    name += machine.empty() ? std::u16string_view(u"localhost") : machine;
    if (!path.empty()) {
        name += u'/';
        name += path;
    }
    return name;
}

TOleVariant BindToDispatchObject(std::u16string_view name) {
    TBindCtx context = CreateBindCtx();
    TMoniker moniker = MkParseDisplayName(context, name);
    return BindMonikerToObject(context, moniker);
}

TOleVariant GetIIsObject(std::u16string_view machine, std::u16string_view path) {
    return BindToDispatchObject(BuildIIsPath(machine, path));
}

bool IIsObjectExists(std::u16string_view machine, std::u16string_view path) {
    try {
        const TBindCtx context = CreateBindCtx();
        return !BindMonikerToObjectIfFound(context, MkParseDisplayName(context, BuildIIsPath(machine, path))).IsEmpty();
    } catch (...) {
        return false;
    }
}

} // namespace orvex
