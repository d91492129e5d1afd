#pragma once
// Files compiled into the program (see orvex_embed_resources in CMake).

#include <optional>
#include <string_view>

namespace orvex {

// The bytes of the embedded resource of this name (the file name without its
// extension, compared exactly), or nullopt. The bytes live as long as the program.
std::optional<std::string_view> FindEmbeddedResource(std::u16string_view name);

} // namespace orvex
