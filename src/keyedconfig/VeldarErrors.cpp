#include "keyedconfig/VeldarErrors.h"

#include "base/TextFormat.h"
#include "base/Utf.h"
#include "keyedconfig/VeldarProjectOptions.h"
#include "keyedconfig/VeldarmarkMessages.h"

namespace orvex {

std::u16string VeldarErrorText(std::u16string_view msg, std::u16string_view methodName,
                               const TComponent* component) {
    if (component && !component->Name().empty() && !methodName.empty())
        return FormatTolerant(u"%s.%s: %s", {component->Name(), methodName, msg},
                              TMissingValue::StaysVisible);
    if (!methodName.empty())
        return FormatTolerant(u"Method \"%s\" reports: %s", {methodName, msg},
                              TMissingValue::StaysVisible);
    return FormatTolerant(u"KX Error: %s", {msg}, TMissingValue::StaysVisible);
}

void RaiseVeldarError(std::u16string_view msg, std::u16string_view methodName,
                      const TComponent* component) {
    throw EVeldarException(VeldarErrorText(msg, methodName, component));
}

void RaiseVeldarErrorFmt(std::u16string_view fmt, std::initializer_list<TFormatValue> args,
                         std::u16string_view methodName, const TComponent* component) {
    RaiseVeldarError(FormatTolerant(fmt, args, TMissingValue::StaysVisible), methodName, component);
}

void RaiseDocumentError(std::u16string_view msg, std::u16string_view methodName,
                        TErrorDetailAllowedSet governing) {
    RaiseVeldarError(msg, governing.Has(edMethodNames) ? methodName : std::u16string_view{},
                     nullptr);
}

std::u16string FileNameDetail(std::u16string_view filePathAndName, TErrorDetailAllowedSet governing) {
    std::u16string_view shown;
    if (governing.Has(edFilePathsAndNames)) {
        shown = filePathAndName;
    } else if (governing.Has(edFileNames)) {
        size_t slash = filePathAndName.find_last_of(u'/');
        shown = slash == std::u16string_view::npos ? filePathAndName
                                                   : filePathAndName.substr(slash + 1);
    }
    if (shown.empty())
        return {};
    std::u16string quoted(u"\"");
    return quoted.append(shown).append(u"\"");
}

std::u16string FormatFileError(std::u16string_view verb, std::u16string_view reason,
                               std::u16string_view fileNameDetail,
                               std::optional<std::u16string_view> keyDesc) {
    std::u16string fullReason(reason);
    if (!fileNameDetail.empty()) {
        fullReason += u"\r\nFilename: ";
        fullReason += fileNameDetail;
    }
    if (keyDesc)
        return FormatTolerant(VeldarMessage(vmUnableKeyedFile), {verb, *keyDesc, fullReason},
                              TMissingValue::StaysVisible);
    return FormatTolerant(VeldarMessage(vmUnableFile), {verb, fullReason},
                          TMissingValue::StaysVisible);
}

} // namespace orvex
