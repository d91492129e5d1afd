#include "base/CommandLine.h"

#include "base/Utf.h"

#include <vector>

namespace orvex {

namespace {

std::vector<std::u16string>& Arguments() {
    static std::vector<std::u16string> arguments;
    return arguments;
}

} // namespace

void SetCommandLine(int argc, const char* const* argv) {
    std::vector<std::u16string> captured;
    for (int i = 0; i < argc && argv && argv[i]; ++i)
        captured.push_back(Utf8ToUtf16(argv[i]));
    Arguments() = std::move(captured);
}

int ParamCount() {
    const auto count = static_cast<int>(Arguments().size());
    return count > 0 ? count - 1 : 0;
}

std::u16string ParamStr(int index) {
    const auto& arguments = Arguments();
    if (index < 0 || static_cast<size_t>(index) >= arguments.size())
        return {};
    return arguments[static_cast<size_t>(index)];
}

} // namespace orvex
