#pragma once
// The library's one exception class and the routines that build its texts: the
// three error forms, the detail switches and the file-error text.

#include "base/ExceptionText.h"
#include "base/TextFormat.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace orvex {

class TComponent;

// Every failure of the keyed-configuration library. what() is the UTF-8 form of
// Message().
class EVeldarException : public ETextError {
public:
    using ETextError::ETextError;
};

// How much an error text may show.
enum TErrorDetailAllowed : int {
    edFileNames = 0,
    edFilePathsAndNames = 1,
    edComponentNames = 2,
    edMethodNames = 3,
};

// A set of TErrorDetailAllowed; bit values 1, 2, 4, 8 as the enumeration orders them.
struct TErrorDetailAllowedSet {
    uint8_t Bits = 0;

    constexpr bool Has(TErrorDetailAllowed detail) const { return (Bits >> detail) & 1u; }
    constexpr TErrorDetailAllowedSet& Include(TErrorDetailAllowed detail) {
        Bits = static_cast<uint8_t>(Bits | (1u << detail));
        return *this;
    }
    static constexpr TErrorDetailAllowedSet All() { return {0x0F}; }
    friend constexpr bool operator==(TErrorDetailAllowedSet, TErrorDetailAllowedSet) = default;
};

constexpr TErrorDetailAllowedSet MakeDetailSet(std::initializer_list<TErrorDetailAllowed> details) {
    TErrorDetailAllowedSet set;
    for (TErrorDetailAllowed detail : details)
        set.Include(detail);
    return set;
}

// The error text of Msg: "%s.%s: %s" (component name, method, message) when the
// component has a name and a method is given, "Method "%s" reports: %s" when only the
// method is given, else "KX Error: %s".
std::u16string VeldarErrorText(std::u16string_view msg, std::u16string_view methodName,
                               const TComponent* component);

// Raises EVeldarException with VeldarErrorText.
[[noreturn]] void RaiseVeldarError(std::u16string_view msg, std::u16string_view methodName,
                                   const TComponent* component);
// The same with the message made from fmt and args (FormatTolerant; a missing
// value leaves its placeholder visible).
[[noreturn]] void RaiseVeldarErrorFmt(std::u16string_view fmt, std::initializer_list<TFormatValue> args,
                                      std::u16string_view methodName, const TComponent* component);

// A keyed document's error: the method name is dropped unless the governing set
// allows method names, and a document never names a component.
[[noreturn]] void RaiseDocumentError(std::u16string_view msg, std::u16string_view methodName,
                                     TErrorDetailAllowedSet governing);

// The part of a file name an error may show, between double quotes: the whole path
// with edFilePathsAndNames, else the name without folder with edFileNames, else
// nothing (empty, without quotes). An empty file name gives empty text.
std::u16string FileNameDetail(std::u16string_view filePathAndName, TErrorDetailAllowedSet governing);

// A file error: message 65163 (verb, reason) or, for a document a key owns, 65162
// (verb, key description, reason). A non-empty file-name detail is appended to the
// reason after "\r\nFilename: ".
std::u16string FormatFileError(std::u16string_view verb, std::u16string_view reason,
                               std::u16string_view fileNameDetail,
                               std::optional<std::u16string_view> keyDesc = std::nullopt);

} // namespace orvex
