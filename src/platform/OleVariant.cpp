#include "platform/OleVariant.h"

#include "base/NumberText.h"
#include "base/Utf.h"

#include <charconv>

namespace orvex {

namespace {

thread_local uint32_t tLastOsError = 0;

struct TMessageRow {
    int32_t Code;
    const char16_t* Text;
};

const TMessageRow kMessages[] = {
    {hr::E_FAIL, u"Unspecified error"},
    {hr::E_INVALIDARG, u"The parameter is incorrect."},
    {hr::E_ACCESSDENIED, u"Access is denied."},
    {hr::FileNotFound, u"The system cannot find the file specified."},
    {hr::PathNotFound, u"The system cannot find the path specified."},
    {hr::AlreadyExists, u"Cannot create a file when that file already exists."},
    {hr::NoSuchDomain, u"The specified domain either does not exist or could not be contacted."},
    {hr::NoSuchUser, u"The specified account does not exist."},
    {hr::PasswordTooShort, u"The password does not meet the password policy requirements."},
    {hr::NoToken, u"An attempt was made to reference a token that does not exist."},
    {hr::IoPending, u"Overlapped I/O operation is in progress."},
    {hr::ServerUnavailable, u"The RPC server is unavailable."},
    {hr::MkSyntax, u"Invalid syntax"},
    {hr::MemberNotFound, u"Member not found."},
    {hr::TypeMismatch, u"Type mismatch."},
    {hr::UnknownName, u"Unknown name."},
    {hr::BadParamCount, u"Invalid number of parameters."},
    {hr::BadIndex, u"Invalid index."},
    {hr::AdsBadPathname, u"An invalid directory pathname was passed."},
    {hr::AdsUnknownObject, u"An unknown directory object was requested."},
    {hr::AdsPropertyNotSupported, u"The specified directory property is not supported."},
    {hr::AdsBadParameter, u"One or more input parameters are invalid."},
};

[[noreturn]] void ThrowTypeMismatch() { throw EOleSysError(hr::TypeMismatch); }

} // namespace

std::u16string OleErrorMessage(int32_t code) {
    for (const TMessageRow& row : kMessages)
        if (row.Code == code)
            return row.Text;
    return u"Unspecified error";
}

uint32_t GetLastOsError() { return tLastOsError; }
void SetLastOsError(uint32_t code) { tLastOsError = code; }

EOleSysError::EOleSysError(int32_t code) : EOleSysError(code, OleErrorMessage(code)) {}

EOleSysError::EOleSysError(int32_t code, std::u16string message)
    : ETextError(std::move(message)), FErrorCode(code), FLastOsError(tLastOsError) {}

bool TOleVariant::AsBoolean() const {
    if (const bool* value = std::get_if<bool>(&FValue))
        return *value;
    ThrowTypeMismatch();
}

int32_t TOleVariant::AsInteger() const {
    if (const int32_t* value = std::get_if<int32_t>(&FValue))
        return *value;
    ThrowTypeMismatch();
}

const std::u16string& TOleVariant::AsText() const {
    if (const std::u16string* value = std::get_if<std::u16string>(&FValue))
        return *value;
    ThrowTypeMismatch();
}

const std::vector<TOleVariant>& TOleVariant::AsArray() const {
    if (const auto* value = std::get_if<std::vector<TOleVariant>>(&FValue))
        return *value;
    ThrowTypeMismatch();
}

const TAutoObjectPtr& TOleVariant::AsObject() const {
    if (const TAutoObjectPtr* value = std::get_if<TAutoObjectPtr>(&FValue))
        if (*value)
            return *value;
    ThrowTypeMismatch();
}

std::u16string TOleVariant::ToText() const {
    switch (Kind()) {
    case TVariantKind::vkEmpty:
        return {};
    case TVariantKind::vkBoolean:
        return AsBoolean() ? u"True" : u"False";
    case TVariantKind::vkInteger:
        return IntToText(AsInteger());
    case TVariantKind::vkText:
        return AsText();
    default:
        ThrowTypeMismatch();
    }
}

void TOleVariant::ToText(std::u16string& text) const {
    if (Kind() == TVariantKind::vkText)
        text.assign(AsText());
    else
        text = ToText();
}

void TOleVariant::AssignText(std::u16string_view text) {
    if (auto* own = std::get_if<std::u16string>(&FValue))
        own->assign(text);
    else
        FValue = std::u16string(text);
}

const TOleVariant& TOleVariant::operator[](size_t index) const {
    const std::vector<TOleVariant>& items = AsArray();
    if (index >= items.size())
        throw EOleSysError(hr::BadIndex);
    return items[index];
}

TOleVariant TOleVariant::Property(std::u16string_view name) const { return AsObject()->GetProperty(name); }

void TOleVariant::SetProperty(std::u16string_view name, const TOleVariant& value) const {
    AsObject()->SetProperty(name, value);
}

TOleVariant TOleVariant::CallWith(std::u16string_view name, std::span<const TOleVariant> args) const {
    return AsObject()->CallMethod(name, args);
}

std::unique_ptr<TEnumVariant> TOleVariant::NewEnum() const { return AsObject()->NewEnum(); }

bool operator==(const TOleVariant& a, const TOleVariant& b) { return a.FValue == b.FValue; }

TOleVariant TextArray(const std::vector<std::u16string>& texts) {
    std::vector<TOleVariant> items(texts.begin(), texts.end());
    return TOleVariant(std::move(items));
}

bool TEnumVariant::Next(TOleVariant& item) {
    if (FPosition >= FItems.size())
        return false;
    item = FItems[FPosition++];
    return true;
}

TOleVariant TAutoObject::GetProperty(std::u16string_view) { throw EOleSysError(hr::UnknownName); }

void TAutoObject::SetProperty(std::u16string_view, const TOleVariant&) { throw EOleSysError(hr::UnknownName); }

TOleVariant TAutoObject::CallMethod(std::u16string_view, std::span<const TOleVariant>) {
    throw EOleSysError(hr::UnknownName);
}

std::unique_ptr<TEnumVariant> TAutoObject::NewEnum() { throw EOleSysError(hr::MemberNotFound); }

void RequireArgs(std::span<const TOleVariant> args, size_t count) {
    if (args.size() != count)
        throw EOleSysError(hr::BadParamCount);
}

} // namespace orvex
