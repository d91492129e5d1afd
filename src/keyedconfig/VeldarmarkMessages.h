#pragma once
// The keyed-configuration library's message table (string-table ids 65120-65183).
// Its "%s" and "%d" placeholders are filled by FormatTolerant (base/TextFormat.h)
// with TMissingValue::StaysVisible.

#include <cstdint>
#include <string>
#include <string_view>

namespace orvex {

// Message ids of the table; texts are fixed and used exactly as they stand.
enum TVeldarMessageId : int {
    vmVerbLocate = 65120,
    vmWordErrorIn = 65121,
    vmVerbCreate = 65122,
    vmWordRequestedNotUsed = 65123,
    vmWrongClassMethod = 65124,
    vmInvalidRequestedRoot = 65136,
    vmBlankXPathWithContext = 65137,
    vmErrorReadingNodeValue = 65138,
    vmErrorReadingAttributeValue = 65139,
    vmErrorConvertingValue = 65140,
    vmVarDelimitersInUse = 65141,
    vmVarInUse = 65142,
    vmCancelUpdateWithoutBegin = 65143,
    vmBeginUpdateTwice = 65144,
    vmEndUpdateWithoutBegin = 65145,
    vmChangesBeforeBeginUpdate = 65146,
    vmNotAllowedDuringUpdate = 65147,
    vmSaveFileBeforeLoadFile = 65148,
    vmVarDelimitersUndefined = 65149,
    vmVerbLoad = 65150,
    vmVerbSave = 65151,
    vmNoKeyboxFile = 65152,
    vmNodeNotFoundSearched = 65153,
    vmLibraryPathOutsideLibrary = 65154,
    vmCustomPathRequired = 65155,
    vmPropertyLockedByKeys = 65156,
    vmKeyGroupAndNameRequired = 65157,
    vmKeyedFileNameRequired = 65158,
    vmFilenameAttributeEmpty = 65159,
    vmFilenameAttributeMissing = 65160,
    vmKeyAlreadyExists = 65161,
    vmUnableKeyedFile = 65162,
    vmUnableFile = 65163,
    vmInvalidRootNode = 65164,
    vmRelativeXPathRequired = 65165,
    vmInvalidXPathSyntax = 65166,
    vmXPathOfNodeTooLong = 65167,
    vmFileNotFound = 65178,
    vmIndexOutOfRange = 65179,
    vmEnvironmentVariableMissing = 65180,
    vmBranchNotSpecified = 65181,
    vmErrorLoadingBranchKeybox = 65182,
    vmErrorLoadingLocalKeybox = 65183,
};

// The text of a message id; empty for an id outside the table (65125-65135 and
// 65168-65177 belong to others).
std::u16string_view VeldarMessage(int id);

} // namespace orvex
