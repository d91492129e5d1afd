#include "support/HostInfo.h"

#include "base/Module.h"

namespace orvex {

std::u16string GetModuleFileNameStr() { return ModuleFileName(); }

std::u16string StripLongPathPrefix(std::u16string_view path) {
    constexpr std::u16string_view kPrefix = u"\\\\?\\";
    if (path.substr(0, kPrefix.size()) != kPrefix)
        return std::u16string(path);
    const std::u16string_view rest = path.substr(kPrefix.size());
    const bool unc = rest.size() >= 3 && (rest[0] == u'U' || rest[0] == u'u') &&
                     (rest[1] == u'N' || rest[1] == u'n') && (rest[2] == u'C' || rest[2] == u'c');
    if (unc)
        return u"\\" + std::u16string(rest.substr(3));
    return std::u16string(rest);
}

std::u16string GetModuleFileNameNormalized() { return StripLongPathPrefix(GetModuleFileNameStr()); }

std::u16string GetComputerNameString() { return ComputerName(); }

uint32_t GetCurrentProcessIdValue() { return CurrentProcessId(); }

} // namespace orvex
