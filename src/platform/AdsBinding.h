#pragma once
// Binding of ADSI display names ("IIS://machine/path") to automation objects, in
// place of CreateBindCtx, MkParseDisplayName, binding a moniker to IDispatch and
// ADsGetObject with the container interface.
//
// Errors (EOleSysError):
//   hr::MkSyntax (0x800401E4) - parsing: the name is not an "IIS://machine[/path]"
//       name; binding: the local machine has no IIS 6 metabase (no provider) or the
//       named machine has none;
//   hr::ServerUnavailable (0x800706BA) - no such machine (an unreachable server);
//   hr::PathNotFound (0x80070003) - no such key, schema class or schema property;
//   hr::E_FAIL - a machine file is damaged (the message names it);
//   any HRESULT planted with a "Bind" fault (see MachineFaults.h).

#include "platform/OleVariant.h"

#include <string>
#include <string_view>

namespace orvex {

// A bind context; holds nothing, kept so that callers read like COM code.
class TBindCtx {};

// A parsed display name.
struct TMoniker {
    std::u16string DisplayName;
    std::u16string Machine;  // as written in the name
    std::u16string Path;     // below the machine, without leading or trailing "/"
};

TBindCtx CreateBindCtx();

// Parses a display name; raises hr::MkSyntax for a malformed one.
TMoniker MkParseDisplayName(const TBindCtx& context, std::u16string_view displayName);

// Binds a parsed name to its object: a metabase object, a schema object
// ("Schema/<class>", "Schema/<property>") or the schema container ("Schema").
TOleVariant BindMonikerToObject(const TBindCtx& context, const TMoniker& moniker);
// The same, but an empty variant where that raises hr::PathNotFound: a restore asks
// for every key before it creates the key.
TOleVariant BindMonikerToObjectIfFound(const TBindCtx& context, const TMoniker& moniker);

// All three steps at once.
TOleVariant BindToObject(std::u16string_view displayName);

// Opens a name as a container whose NewEnum() walks its children. Returns S_OK and
// sets container, or returns the failure's HRESULT (an "Enum" fault included).
int32_t ADsGetObject(std::u16string_view displayName, TOleVariant& container);

// True when the machine of a metabase object may be read on several threads at
// once, each binding objects of its own, while nothing changes it: not when faults
// are planted on it, for a fault that fires a number of times must meet the calls
// in their order.
bool MayReadOnThreads(const TOleVariant& object);

} // namespace orvex
