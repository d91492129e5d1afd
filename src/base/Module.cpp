#include "base/Module.h"

#include "base/Utf.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace orvex {

std::u16string ModuleFileName() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0)
        return {};
    return Utf8ToUtf16(std::string_view(buffer, static_cast<size_t>(length)));
}

std::u16string ExecutableFolder() {
    std::u16string path = ModuleFileName();
    const size_t slash = path.rfind(u'/');
    return slash == std::u16string::npos ? u"./" : path.substr(0, slash + 1);
}

std::u16string ComputerName() {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0)
        return {};
    std::string_view name(buffer);
    return Utf8ToUtf16(name.substr(0, name.find('.')));
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

std::optional<std::u16string> EnvironmentVariable(std::u16string_view name) {
    const char* value = std::getenv(Utf16ToUtf8(name).c_str());
    if (!value)
        return std::nullopt;
    return Utf8ToUtf16(value);
}

const char* EnvironmentVariableUtf8(const char* name) { return std::getenv(name); }

} // namespace orvex
