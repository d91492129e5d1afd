#pragma once
// Names and binding of metabase objects ("IIS://machine/path").

#include "platform/OleVariant.h"

#include <string>
#include <string_view>

namespace orvex {

// "IIS://" + machine ("localhost" when empty) + "/" + path (when not empty).
std::u16string BuildIIsPath(std::u16string_view machine, std::u16string_view path);

// Bind context, display-name parse and bind to the automation object; each step
// raises EOleSysError with its HRESULT.
TOleVariant BindToDispatchObject(std::u16string_view name);

// BindToDispatchObject(BuildIIsPath(machine, path)); schema objects have the path
// "Schema/" + class or property name.
TOleVariant GetIIsObject(std::u16string_view machine, std::u16string_view path);

// True when GetIIsObject succeeds; any failure gives false, unlogged.
bool IIsObjectExists(std::u16string_view machine, std::u16string_view path);

} // namespace orvex
