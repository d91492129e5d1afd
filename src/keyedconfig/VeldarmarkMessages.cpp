#include "keyedconfig/VeldarmarkMessages.h"

namespace orvex {

namespace {

struct TMessageRow {
    int id;
    std::u16string_view text;
};

// Misspellings and the odd blanks and quotes are part of the texts callers match.
constexpr TMessageRow kMessages[] = {
    {vmVerbLocate, u"locate"},
    {vmWordErrorIn, u"error in"},
    {vmVerbCreate, u"create"},
    {vmWordRequestedNotUsed, u"requested but not used"},
    {vmWrongClassMethod, u"\"%s\" cannot be used with class  TVeldarXmlDocument. Use \"%s\" instead."},
    {vmInvalidRequestedRoot, u"Error finding node because requested root \"%s\" is invalid. Correct root "
                             u"is \"%s\". Requested XPath was \"%s\"."},
    {vmBlankXPathWithContext, u"XPath cannot be blank when using context. Error occurred with "
                              u"StartNode=\"%s\" XPath=\"[]\" ContextUsage=\"%s\"."},
    {vmErrorReadingNodeValue, u"Error reading value XPath node \"%s\": %s"},
    {vmErrorReadingAttributeValue, u"Error reading value for attribute \"%s\" in XPath \"%s\": %s"},
    {vmErrorConvertingValue, u"Error converting value \"%s\" to a variant type of \"%s\""},
    {vmVarDelimitersInUse, u"Cannot save the new Var Delimeters (\"%s\" and \"%s) as the existing "
                           u"delimiters (\"%s\" and \"%s) are already in use"},
    {vmVarInUse, u"Cannot delete variable \"%s\" on node \"%s\" as this variable is being used."},
    {vmCancelUpdateWithoutBegin, u"Invalid use of CancelUpdate - BeginUpdate must be called first."},
    {vmBeginUpdateTwice, u"Invalid use of BeginUpdate - BeginUpdate has already been called."},
    {vmEndUpdateWithoutBegin, u"Invalid use of EndUpdate - BeginUpdate must be called first."},
    {vmChangesBeforeBeginUpdate,
     u"Changes to document content are not allowed before calling BeginUpdate"},
    {vmNotAllowedDuringUpdate, u"Invalid use of %s - because BeginUpdate has been called and "
                               u"EndUpdate or CancelUpdate has not."},
    {vmSaveFileBeforeLoadFile, u"SaveFile not allowed unless LoadFile used first"},
    {vmVarDelimitersUndefined, u"Error Saving Variable \"%s\": Var Delimiters in the <Variables> node "
                               u"must be defined before saving a Variable is allowed."},
    {vmVerbLoad, u"load"},
    {vmVerbSave, u"save"},
    {vmNoKeyboxFile,
     u"Neither a Branch nor a Local Veldar Keybox file exists. \r\nDetails: \r\n%s \r\n%s"},
    {vmNodeNotFoundSearched, u"Node '%s' not found; searched %s"},
    {vmLibraryPathOutsideLibrary, u"Invalid LocalKeyboxLocation - Setting to \"klLibraryPath\" is "
                                  u"only valid inside a DLL or SO"},
    {vmCustomPathRequired,
     u"A CustomPath must be specified when setting LocalKeyboxLocation to \"klCustom\""},
    {vmPropertyLockedByKeys,
     u"Property \"%s\" cannot be changed as Veldar Keys have already been added"},
    {vmKeyGroupAndNameRequired, u"KeyGroup and KeyName are required for method \"%s\""},
    {vmKeyedFileNameRequired, u"KeyedFileName is required for method \"%s\""},
    {vmFilenameAttributeEmpty, u"Attribute \"filename\" is empty"},
    {vmFilenameAttributeMissing, u"Attribute \"filename\" is missing"},
    {vmKeyAlreadyExists, u"Key already exists"},
    {vmUnableKeyedFile, u"Unable to %s keyed file for key %s \r\nReason: %s"},
    {vmUnableFile, u"Unable to %s file: \r\nReason: %s"},
    {vmInvalidRootNode, u"Invalid root node found. Root node name is \"%s\" but should be \"%s\"."},
    {vmRelativeXPathRequired,
     u"Relative XPath required when StartNode is not nil. Do not start \"%s\" with \"/\"."},
    {vmInvalidXPathSyntax, u"Invalid Syntax in XPath \"%s\" at position \"%d\""},
    {vmXPathOfNodeTooLong, u"XPathOfNode too long: \"%s\""},
    {vmFileNotFound, u"File not found"},
    {vmIndexOutOfRange, u"Index value '%d' for %s is out of range"},
    {vmEnvironmentVariableMissing, u"Veldarmark environment variable not found"},
    {vmBranchNotSpecified, u"VeldarBranch was not specified"},
    {vmErrorLoadingBranchKeybox, u"Error loading Veldar Branch Keybox: Reason: %s"},
    {vmErrorLoadingLocalKeybox, u"Error loading Veldar Local Keybox: Reason: %s"},
};

} // namespace

std::u16string_view VeldarMessage(int id) {
    for (const TMessageRow& row : kMessages)
        if (row.id == id)
            return row.text;
    return {};
}

} // namespace orvex
