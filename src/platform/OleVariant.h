#pragma once
// Automation values and late-bound objects, in place of COM's VARIANT and IDispatch.
// Every object of the emulated machine (metabase objects, schema objects, POP3
// administration objects) answers property reads, property writes and method calls
// by name; names are compared ignoring ASCII case, as IDispatch does.

#include "base/ExceptionText.h"

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace orvex {

// HRESULTs the emulation raises. Values are those of the Windows platform.
namespace hr {
constexpr int32_t Code(uint32_t value) { return static_cast<int32_t>(value); }
inline constexpr int32_t S_OK = 0;
inline constexpr int32_t S_FALSE = 1;
inline constexpr int32_t E_FAIL = Code(0x80004005);
inline constexpr int32_t E_INVALIDARG = Code(0x80070057);
inline constexpr int32_t E_ACCESSDENIED = Code(0x80070005);
inline constexpr int32_t FileNotFound = Code(0x80070002);         // ERROR_FILE_NOT_FOUND
inline constexpr int32_t PathNotFound = Code(0x80070003);         // ERROR_PATH_NOT_FOUND
inline constexpr int32_t AlreadyExists = Code(0x800700B7);        // ERROR_ALREADY_EXISTS
inline constexpr int32_t NoSuchDomain = Code(0x8007054B);         // ERROR_NO_SUCH_DOMAIN
inline constexpr int32_t NoSuchUser = Code(0x80070525);           // ERROR_NO_SUCH_USER
inline constexpr int32_t PasswordTooShort = Code(0x800708C5);     // NERR_PasswordTooShort
inline constexpr int32_t NoToken = Code(0x800703F0);              // ERROR_NO_TOKEN (1008)
inline constexpr int32_t IoPending = Code(0x800703E5);            // ERROR_IO_PENDING (997)
inline constexpr int32_t ServerUnavailable = Code(0x800706BA);    // RPC_S_SERVER_UNAVAILABLE
inline constexpr int32_t MkSyntax = Code(0x800401E4);             // MK_E_SYNTAX
inline constexpr int32_t MemberNotFound = Code(0x80020003);       // DISP_E_MEMBERNOTFOUND
inline constexpr int32_t TypeMismatch = Code(0x80020005);         // DISP_E_TYPEMISMATCH
inline constexpr int32_t UnknownName = Code(0x80020006);          // DISP_E_UNKNOWNNAME
inline constexpr int32_t BadParamCount = Code(0x8002000E);        // DISP_E_BADPARAMCOUNT
inline constexpr int32_t BadIndex = Code(0x8002000B);             // DISP_E_BADINDEX
inline constexpr int32_t AdsBadPathname = Code(0x80005000);       // E_ADS_BAD_PATHNAME
inline constexpr int32_t AdsUnknownObject = Code(0x80005004);     // E_ADS_UNKNOWN_OBJECT
inline constexpr int32_t AdsPropertyNotSupported = Code(0x80005006);
inline constexpr int32_t AdsBadParameter = Code(0x80005008);      // E_ADS_BAD_PARAMETER
} // namespace hr

// The system's message text for an HRESULT ("Unspecified error" for unknown ones).
std::u16string OleErrorMessage(int32_t code);

// The calling thread's last OS error code, as GetLastError gives it. The POP3
// administration objects leave 1008 or 997 here when they fail to connect.
uint32_t GetLastOsError();
void SetLastOsError(uint32_t code);

// An automation call failed. what() is the UTF-8 message.
class EOleSysError : public ETextError {
public:
    // Message from OleErrorMessage; LastOsError is the thread's code at this moment.
    explicit EOleSysError(int32_t code);
    EOleSysError(int32_t code, std::u16string message);

    int32_t ErrorCode() const { return FErrorCode; }
    uint32_t LastOsError() const { return FLastOsError; }

private:
    int32_t FErrorCode;
    uint32_t FLastOsError;
};

class TAutoObject;
class TEnumVariant;
using TAutoObjectPtr = std::shared_ptr<TAutoObject>;

enum class TVariantKind { vkEmpty, vkBoolean, vkInteger, vkText, vkArray, vkObject };

// An automation value: empty, boolean, 32-bit integer, text, array (first index 0)
// or object. Wrong-kind access raises EOleSysError(hr::TypeMismatch).
class TOleVariant {
public:
    TOleVariant() = default;
    TOleVariant(bool value) : FValue(value) {}
    TOleVariant(int32_t value) : FValue(value) {}
    TOleVariant(std::u16string value) : FValue(std::move(value)) {}
    TOleVariant(std::u16string_view value) : FValue(std::u16string(value)) {}
    TOleVariant(const char16_t* value) : FValue(std::u16string(value)) {}
    TOleVariant(const char*) = delete; // would silently become a boolean
    TOleVariant(std::vector<TOleVariant> items) : FValue(std::move(items)) {}
    TOleVariant(TAutoObjectPtr object) : FValue(std::move(object)) {}

    TVariantKind Kind() const { return static_cast<TVariantKind>(FValue.index()); }
    bool IsEmpty() const { return Kind() == TVariantKind::vkEmpty; }
    bool IsArray() const { return Kind() == TVariantKind::vkArray; }
    bool IsObject() const { return Kind() == TVariantKind::vkObject; }

    bool AsBoolean() const;
    int32_t AsInteger() const;
    const std::u16string& AsText() const;
    const std::vector<TOleVariant>& AsArray() const;
    const TAutoObjectPtr& AsObject() const;

    // The value as text, the way a variant converts to a string: empty "", boolean
    // "True"/"False", integer in decimal. Arrays and objects raise a type mismatch.
    std::u16string ToText() const;
    // The same into text, whose memory is reused.
    void ToText(std::u16string& text) const;
    // The variant becomes this text, reusing its memory when it held a text.
    void AssignText(std::u16string_view text);

    // Upper bound of an array's only dimension (-1 for no elements).
    int32_t HighBound() const { return static_cast<int32_t>(AsArray().size()) - 1; }
    const TOleVariant& operator[](size_t index) const;

    // Late-bound access to an object value.
    TOleVariant Property(std::u16string_view name) const;
    void SetProperty(std::u16string_view name, const TOleVariant& value) const;
    template <class... TArgs>
    TOleVariant Call(std::u16string_view name, TArgs&&... args) const {
        const TOleVariant list[] = {TOleVariant(std::forward<TArgs>(args))..., TOleVariant()};
        return CallWith(name, std::span<const TOleVariant>(list, sizeof...(TArgs)));
    }
    TOleVariant CallWith(std::u16string_view name, std::span<const TOleVariant> args) const;
    // The object's enumerator ("_NewEnum").
    std::unique_ptr<TEnumVariant> NewEnum() const;

    // Same kind and equal contents (objects by identity).
    friend bool operator==(const TOleVariant& a, const TOleVariant& b);

private:
    std::variant<std::monostate, bool, int32_t, std::u16string, std::vector<TOleVariant>, TAutoObjectPtr> FValue;
};

// An array variant of texts.
TOleVariant TextArray(const std::vector<std::u16string>& texts);

// Walks a collection one item at a time, over a snapshot taken when it was made.
class TEnumVariant {
public:
    explicit TEnumVariant(std::vector<TOleVariant> items) : FItems(std::move(items)) {}
    // The next item; false (S_FALSE) when none is left.
    bool Next(TOleVariant& item);

private:
    std::vector<TOleVariant> FItems;
    size_t FPosition = 0;
};

// A late-bound object. Unknown names raise EOleSysError(hr::UnknownName).
class TAutoObject {
public:
    virtual ~TAutoObject() = default;
    virtual TOleVariant GetProperty(std::u16string_view name);
    virtual void SetProperty(std::u16string_view name, const TOleVariant& value);
    virtual TOleVariant CallMethod(std::u16string_view name, std::span<const TOleVariant> args);
    // Collections and containers answer with their items; others raise MemberNotFound.
    virtual std::unique_ptr<TEnumVariant> NewEnum();
};

// Raises BadParamCount unless args holds exactly count values.
void RequireArgs(std::span<const TOleVariant> args, size_t count);

} // namespace orvex
