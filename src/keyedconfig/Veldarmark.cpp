#include "keyedconfig/Veldarmark.h"

#include "base/AsciiText.h"
#include "base/ExceptionText.h"
#include "base/Module.h"
#include "base/NumberText.h"
#include "base/TextFormat.h"

#include <algorithm>
#include <exception>

namespace orvex {

namespace {

constexpr std::u16string_view kKeyboxName = u"KXKeybox.xml";
constexpr std::u16string_view kKeyboxRoot = u"KXKeybox";
constexpr std::u16string_view kContextAttribute = u"context";

std::u16string EnvironmentText(std::u16string_view name) {
    return EnvironmentVariable(name).value_or(std::u16string());
}

// The user's name: "USERNAME" as on Windows, else what a Linux session sets.
std::u16string CurrentUserName() {
    for (std::u16string_view name : {u"USERNAME", u"USER", u"LOGNAME"}) {
        std::u16string value = EnvironmentText(name);
        if (!value.empty())
            return value;
    }
    return {};
}

std::u16string_view UsageEnding(int usage) {
    switch (usage) {
    case 2:
        return u"\"Required\")";
    case 1:
        return u"\"Optional\")";
    default:
        return u"\"None\")";
    }
}

// The detail of a request for a key, before it is looked up; the arguments are
// GetKeyedAttribute's.
TKeyedDetail KeyRequest(std::u16string_view keyGroupName, TVeldarKeyType keyType, std::u16string_view callingMethod,
                        std::u16string_view defaultValue, std::u16string_view userNameValue,
                        TUserNameUsage userNameUsage, TUserNameType userNameType, std::u16string_view contextValue,
                        TContextUsage contextUsage, TContextType contextType, std::u16string_view keyName) {
    TKeyedDetail request;
    request.KeyGroupName = keyGroupName;
    request.KeyType = keyType;
    request.KeyName = keyName;
    request.ContextType = contextType;
    request.ContextUsage = contextUsage;
    request.ContextValue = contextValue;
    request.UserNameType = userNameType;
    request.UserNameUsage = userNameUsage;
    request.UserNameValue = userNameValue;
    request.DefaultValue = defaultValue;
    request.CallingMethod = callingMethod;
    return request;
}

} // namespace

// --- Life ---

TVeldarmark::TVeldarmark(TComponent* owner) : TComponent(owner) {
    FDefaultUserName = CurrentUserName();
    FExecutablePath = ExecutableFolder();
    FExecutableNameNoExt = FileNameWithoutExtension(ModuleFileName());
    // Never inside a shared library here: the local keybox lies beside the executable.
    FLocalKeyboxLocation = klExecutablePath;
    FLocalKeyboxPrefix = FExecutableNameNoExt;
    FLocalKeyboxPath = FExecutablePath;
    Reset();
}

TVeldarmark::~TVeldarmark() {
    if (IsEventAssigned(OnDestroy)) {
        try {
            OnDestroy(*this);
        } catch (...) {
            // A handler's failure must not escape a destructor.
        }
    }
    DeactivateAllKeys();
}

std::unique_ptr<TVeldarmark> TVeldarmark::CreateForBranch(TComponent* owner,
                                                          std::u16string_view veldarBranch) {
    auto map = std::make_unique<TVeldarmark>(owner);
    map->SetVeldarBranch(veldarBranch);
    return map;
}

std::unique_ptr<TVeldarmark> TVeldarmark::CreateForService(TComponent* owner,
                                                           std::u16string_view veldarBranch,
                                                           std::u16string_view localKeyboxPrefix) {
    auto map = CreateForBranch(owner, veldarBranch);
    map->FLocalKeyboxPrefix = localKeyboxPrefix;
    return map;
}

void TVeldarmark::Reset() {
    DeactivateAllKeys();
    const std::u16string root = EnvironmentText(u"Veldarmark");
    FVeldarmarkEnvVarExists = !root.empty();
    FVeldarmarkRoot = WithTrailingDelimiter(root);
    LoadLocalKeybox();
    LoadBranchKeybox();
}

// --- Keyboxes and contexts ---

std::u16string TVeldarmark::ReadDefaultContext(std::u16string_view fileName,
                                               std::u16string_view rootName) {
    if (!FileExistsAt(fileName))
        return {};
    try {
        TWideXmlDocument document;
        document.TUtf8XmlDocument::LoadFromFile(fileName);
        TWideXmlNode* root = document.Root();
        if (!root || !SameAsciiText(root->Name(), rootName))
            return {};
        TWideXmlNode* context = root->NodeByName(u"DefaultContext");
        return context ? context->AttributeByName(u"value") : std::u16string();
    } catch (const std::exception& e) {
        // An unreadable context file is no context, not a failure of the map.
        if (!FContextWarnings.empty())
            FContextWarnings += u"\r\n";
        FContextWarnings += FormatFileError(VeldarMessage(vmVerbLoad), ExceptionMessage(e),
                                            FileNameDetail(fileName, FErrorDetailAllowed));
        return {};
    }
}

void TVeldarmark::LoadKeybox(TKeyboxFile& keybox, std::u16string_view warningFormat) {
    keybox.Exists = FileExistsAt(keybox.Name);
    std::u16string failure(VeldarMessage(vmFileNotFound));
    if (keybox.Exists) {
        try {
            auto loaded = std::make_unique<TVeldarXmlDoc>(keybox.Name, kKeyboxRoot, FDefaultMapContext,
                                                          kContextAttribute);
            loaded->SetOwners(this, nullptr);
            if (loaded->LoadFile()) {
                keybox.Xml = std::move(loaded);
                GetFileAge(keybox.Name, keybox.FileAge);
                keybox.XmlOK = true;
                return;
            }
            failure = loaded->LastError();
        } catch (const std::exception& e) {
            // A keybox that cannot be read is a warning, never a failure of the map.
            failure = ExceptionMessage(e);
        }
    }
    keybox.Warnings = FormatTolerant(warningFormat, {failure}, TMissingValue::StaysVisible);
}

void TVeldarmark::LoadLocalKeybox() {
    FLocal = {};
    FKeyLastError.clear();
    FContextWarnings.clear();
    FLocalKeyboxSuffix = kKeyboxName;

    FDefaultMapContext = ReadDefaultContext(FLocalKeyboxPath + u"KXContext.xml", u"KXContext");
    if (FDefaultMapContext.empty() && FVeldarmarkEnvVarExists && FolderExistsAt(FVeldarmarkRoot)) {
        FDefaultMapContext =
            ReadDefaultContext(FVeldarmarkRoot + FVeldarBranch + u"KXContext.xml", u"KXContext");
        if (FDefaultMapContext.empty())
            FDefaultMapContext = ReadDefaultContext(FVeldarmarkRoot + u"KXGlobal.xml", u"KXGlobalSettings");
    }

    FLocal.Name = FLocalKeyboxPath + (FLocalKeyboxPrefixEnabled ? FLocalKeyboxPrefix : u"") +
                  FLocalKeyboxSuffix;
    LoadKeybox(FLocal, VeldarMessage(vmErrorLoadingLocalKeybox));
}

void TVeldarmark::LoadBranchKeybox() {
    FBranch = {};
    const std::u16string_view warning = VeldarMessage(vmErrorLoadingBranchKeybox);
    if (FVeldarBranch.empty()) {
        FBranch.Warnings = FormatTolerant(warning, {VeldarMessage(vmBranchNotSpecified)},
                                          TMissingValue::StaysVisible);
        return;
    }
    if (!FVeldarmarkEnvVarExists || !FolderExistsAt(FVeldarmarkRoot)) {
        FBranch.Warnings = FormatTolerant(warning, {VeldarMessage(vmEnvironmentVariableMissing)},
                                          TMissingValue::StaysVisible);
        return;
    }
    FBranch.Name = FVeldarmarkRoot + FVeldarBranch + std::u16string(kKeyboxName);
    LoadKeybox(FBranch, warning);
}

std::u16string TVeldarmark::WarningWithName(const std::u16string& warning,
                                            const std::u16string& keybox) const {
    if (warning.empty())
        return {};
    const std::u16string name = FileNameDetail(keybox, FErrorDetailAllowed);
    return name.empty() ? warning : name + u" " + warning;
}

std::u16string TVeldarmark::BranchKeyboxWarnings() const {
    return WarningWithName(FBranch.Warnings, FBranch.Name);
}

std::u16string TVeldarmark::LocalKeyboxWarnings() const {
    return WarningWithName(FLocal.Warnings, FLocal.Name);
}

// --- Lookups ---

TWideXmlNode* TVeldarmark::FindKeyNode(TVeldarXmlDoc& keybox, TVeldarKeyType keyType) {
    TKeyedDetail& request = FLastKeyedDetail;
    std::u16string elementName, answerAttribute;
    KeyTypeElementNames(keyType, elementName, answerAttribute);
    TWideXmlNode* group =
        keybox.ZNode(nullptr, {u"KeyGroups/KeyGroup", u"@name", request.KeyGroupName}, cxNone, false);
    if (!group)
        return nullptr;
    request.ContextUsed = false;
    request.UserNameUsed = false;
    const std::u16string keys = u"Keys/" + elementName;
    const bool withUserName = request.UserNameUsage != usrNone;
    auto lookup = [&](bool byUserName) -> TWideXmlNode* {
        if (request.ContextUsage == cxNone) {
            if (byUserName)
                return keybox.ZNode(group, {keys, u"@name", request.KeyName, u"@username", request.UserNameValue},
                                    cxNone, false);
            return keybox.ZNode(group, {keys, u"@name", request.KeyName}, cxNone, false);
        }
        const std::u16string path =
            byUserName
                ? BuildXPathFromPieces({keys, u"@name", request.KeyName, u"@username", request.UserNameValue},
                                       keybox.ErrorDetailAllowed())
                : BuildXPathFromPieces({keys, u"@name", request.KeyName}, keybox.ErrorDetailAllowed());
        return keybox.ZCNodeCommon(group, path, request.ContextUsage, request.ContextValue, false);
    };
    TWideXmlNode* found = lookup(withUserName);
    if (!found && withUserName && request.UserNameUsage == usrOptional)
        found = lookup(false);
    if (request.ContextUsage != cxNone)
        request.ContextUsed = keybox.LastNodeContextUsed();
    if (!found)
        return nullptr;
    if (withUserName)
        request.UserNameUsed =
            SameAsciiText(found->AttributeByName(u"username"), request.UserNameValue);

    std::u16string desc = u"/" + (keybox.Root() ? keybox.Root()->Name() : std::u16string()) +
                          u"/KeyGroups/KeyGroup[@name=\"" + request.KeyGroupName + u"\"]/Keys/" +
                          elementName + u"[@name=\"" + request.KeyName + u"\"] ";
    const std::u16string notUsed(VeldarMessage(vmWordRequestedNotUsed));
    if (request.ContextUsage != cxNone) {
        const std::u16string note =
            std::u16string(kContextAttribute) + u"=\"" + request.ContextValue + u"\"";
        desc += request.ContextUsed ? u"[@" + note + u"]" : u" (" + note + u" " + notUsed + u")";
    }
    if (withUserName) {
        const std::u16string note = u"username=" + request.UserNameValue;
        desc += request.UserNameUsed ? u"[@" + note + u"]" : u" (" + note + u" " + notUsed + u")";
    }
    request.KeyDesc = desc;
    return found;
}

std::u16string TVeldarmark::GetKeyedAttribute(std::u16string_view keyGroupName, TVeldarKeyType keyType,
                                              std::u16string_view callingMethod,
                                              std::u16string_view defaultValue,
                                              std::u16string_view userNameValue,
                                              TUserNameUsage userNameUsage, TUserNameType userNameType,
                                              std::u16string_view contextValue,
                                              TContextUsage contextUsage, TContextType contextType,
                                              std::u16string_view keyName) {
    TKeyedDetail request = KeyRequest(keyGroupName, keyType, callingMethod, defaultValue, userNameValue,
                                      userNameUsage, userNameType, contextValue, contextUsage, contextType,
                                      keyName);
    std::u16string desc = u"(KeyGroupName=\"" + request.KeyGroupName + u"\", KeyName=\"" +
                          request.KeyName + u"\"";
    if (!contextValue.empty())
        desc += u"(Context=\"" + request.ContextValue + u"\" Context Usage=" +
                std::u16string(UsageEnding(contextUsage));
    if (!userNameValue.empty())
        desc += u"(UserName=\"" + request.UserNameValue + u"\" UserName Usage=" +
                std::u16string(UsageEnding(userNameUsage));
    desc += u")";
    request.KeyDesc = desc;
    FLastKeyedDetail = request;

    if (keyGroupName.empty() || keyName.empty())
        RaiseMapErrorFmt(VeldarMessage(vmKeyGroupAndNameRequired), {callingMethod}, u"GetKeyedAttribute");
    if (!FBranch.XmlOK && !FLocal.XmlOK && defaultValue.empty())
        RaiseMapErrorFmt(VeldarMessage(vmNoKeyboxFile), {BranchKeyboxWarnings(), LocalKeyboxWarnings()},
                         callingMethod);

    TVeldarXmlDoc* answered = nullptr;
    TWideXmlNode* found = nullptr;
    if (FLocal.XmlOK && (found = FindKeyNode(*FLocal.Xml, keyType))) {
        FLastKeyedDetail.KeyBoxUsed = kuLocalKeybox;
        answered = FLocal.Xml.get();
    } else if (FBranch.XmlOK && (found = FindKeyNode(*FBranch.Xml, keyType))) {
        FLastKeyedDetail.KeyBoxUsed = kuBranchKeybox;
        answered = FBranch.Xml.get();
    }

    if (found) {
        std::u16string elementName, answerAttribute;
        KeyTypeElementNames(keyType, elementName, answerAttribute);
        std::u16string value = answered->ExpandVarsIn(found->AttributeByName(answerAttribute), found);
        if (value.empty())
            RaiseMapError(VeldarMessage(found->HasAttribute(answerAttribute) ? vmFilenameAttributeEmpty
                                                                               : vmFilenameAttributeMissing),
                          callingMethod);
        return value;
    }
    if (!defaultValue.empty()) {
        FLastKeyedDetail.ContextUsed = false;
        FLastKeyedDetail.UserNameUsed = false;
        FLastKeyedDetail.KeyBoxUsed = kuNone;
        return std::u16string(defaultValue);
    }
    std::u16string searched = FLocal.XmlOK && FBranch.XmlOK ? u"LocalKeybox and BranchKeybox"
                              : FLocal.XmlOK                ? u"LocalKeybox"
                                                            : u"BranchKeybox";
    searched += u" (and DefaultKeyedFileName=\"\"";
    RaiseMapErrorFmt(VeldarMessage(vmNodeNotFoundSearched), {FLastKeyedDetail.KeyDesc, searched},
                     callingMethod);
}

std::u16string TVeldarmark::KeyedFileName(std::u16string_view keyGroupName, std::u16string_view keyName,
                                          TContextUsage contextUsage, TUserNameUsage userNameUsage,
                                          std::u16string_view defaultFileName) {
    return GetKeyedAttribute(keyGroupName, ktFile, u"KeyedFileName", defaultFileName, FDefaultUserName,
                             userNameUsage, usrDefault, FDefaultMapContext, contextUsage, cxDefault, keyName);
}

std::u16string TVeldarmark::KeyedFolder(std::u16string_view keyGroupName, std::u16string_view keyName,
                                        TContextUsage contextUsage, TUserNameUsage userNameUsage,
                                        std::u16string_view defaultFolderName) {
    return GetKeyedAttribute(keyGroupName, ktFolder, u"KeyedFolder", defaultFolderName, FDefaultUserName,
                             userNameUsage, usrDefault, FDefaultMapContext, contextUsage, cxDefault, keyName);
}

std::u16string TVeldarmark::KeyedValue(std::u16string_view keyGroupName, std::u16string_view keyName,
                                       TContextUsage contextUsage, TUserNameUsage userNameUsage,
                                       std::u16string_view defaultValue) {
    return GetKeyedAttribute(keyGroupName, ktValue, u"KeyedValue", defaultValue, FDefaultUserName,
                             userNameUsage, usrDefault, FDefaultMapContext, contextUsage, cxDefault, keyName);
}

// --- Keys ---

TVeldarKey* TVeldarmark::AddKeyInternal(int& keyIndex, std::u16string_view keyGroupName,
                                        std::u16string_view callingMethod, std::u16string_view fileName,
                                        TContextUsage contextUsage, TUserNameUsage userNameUsage,
                                        std::u16string_view requiredRootNodeName,
                                        std::u16string_view keyName) {
    keyIndex = -1;
    std::u16string file(fileName);
    if (!file.empty() && !IsRootedPath(file))
        file = FLocalKeyboxPath + file;
    const bool temporary = callingMethod == u"ActivateTempKey";
    try {
        std::u16string keyedFileName;
        if (temporary) {
            FLastKeyedDetail = KeyRequest({}, ktFile, callingMethod, file, FDefaultUserName, userNameUsage,
                                          usrDefault, FDefaultMapContext, contextUsage, cxDefault, {});
            FLastKeyedDetail.KeyDesc = u"TempKey[]";
            FLastKeyedDetail.KeyBoxUsed = kuTemp;
            keyedFileName = file;
        } else {
            keyedFileName = GetKeyedAttribute(keyGroupName, ktFile, callingMethod, file, FDefaultUserName,
                                              userNameUsage, usrDefault, FDefaultMapContext, contextUsage,
                                              cxDefault, keyName);
        }
        if (keyedFileName.empty())
            RaiseMapErrorFmt(VeldarMessage(vmKeyedFileNameRequired), {callingMethod}, u"AddKeyInternal");
        const TKeyedDetail& request = FLastKeyedDetail;
        for (const std::unique_ptr<TVeldarKey>& key : FVeldarKeys) {
            if (!key)
                continue;
            const TKeyedDetail& held = key->KeyedDetail();
            const bool same =
                request.KeyGroupName.empty() || request.KeyName.empty()
                    ? key->KeyedFileName() == keyedFileName
                    : held.KeyGroupName == request.KeyGroupName && held.KeyName == request.KeyName &&
                          held.ContextUsage == request.ContextUsage &&
                          held.ContextValue == request.ContextValue &&
                          held.UserNameUsage == request.UserNameUsage &&
                          held.UserNameValue == request.UserNameValue;
            if (same)
                RaiseMapError(VeldarMessage(vmKeyAlreadyExists), callingMethod);
        }
        auto slot = std::find(FVeldarKeys.begin(), FVeldarKeys.end(), nullptr);
        const int index = static_cast<int>(slot - FVeldarKeys.begin());
        if (temporary)
            FLastKeyedDetail.KeyDesc = u"TempKey[" + IntToText(index) + u"]";
        auto key = std::make_unique<TVeldarKey>(this, index, keyedFileName, requiredRootNodeName,
                                                FLastKeyedDetail);
        TVeldarKey* result = key.get();
        if (slot == FVeldarKeys.end())
            FVeldarKeys.push_back(std::move(key));
        else
            *slot = std::move(key);
        FKeyLastError.clear();
        keyIndex = index;
        return result;
    } catch (const std::exception& e) {
        FKeyLastError = u"Error adding key: \r\n" + ExceptionMessage(e);
        return nullptr;
    }
}

TVeldarKey* TVeldarmark::ActivateKey(std::u16string_view keyGroupName, std::u16string_view keyName,
                                     TContextUsage contextUsage, TUserNameUsage userNameUsage,
                                     std::u16string_view requiredRootNodeName,
                                     std::u16string_view defaultKeyedFileName) {
    int index = -1;
    return AddKeyInternal(index, keyGroupName, u"ActivateKey", defaultKeyedFileName, contextUsage,
                          userNameUsage, requiredRootNodeName, keyName);
}

TVeldarKey* TVeldarmark::ActivateTempKey(std::u16string_view keyedFileName,
                                         std::u16string_view requiredRootNodeName) {
    int index = -1;
    return AddKeyInternal(index, {}, u"ActivateTempKey", keyedFileName, cxNone, usrNone,
                          requiredRootNodeName, {});
}

TVeldarXmlDoc* TVeldarmark::LoadKeyDocument(TVeldarKey* key) {
    if (!key)
        return nullptr;
    TVeldarXmlDoc* document = key->KeyedFile();
    if (document->LoadFile())
        return document;
    FKeyLastError = document->LastError();
    DeactivateKey(key->KeyIndex());
    return nullptr;
}

TVeldarXmlDoc* TVeldarmark::ActivateKeyDoc(std::u16string_view keyGroupName, std::u16string_view keyName,
                                           TContextUsage contextUsage, TUserNameUsage userNameUsage,
                                           std::u16string_view requiredRootNodeName,
                                           std::u16string_view defaultKeyedFileName) {
    return LoadKeyDocument(ActivateKey(keyGroupName, keyName, contextUsage, userNameUsage,
                                       requiredRootNodeName, defaultKeyedFileName));
}

TVeldarXmlDoc* TVeldarmark::ActivateTempKeyDoc(std::u16string_view keyedFileName,
                                               std::u16string_view requiredRootNodeName) {
    return LoadKeyDocument(ActivateTempKey(keyedFileName, requiredRootNodeName));
}

void TVeldarmark::DeactivateKey(int index) {
    if (index < 0 || index >= static_cast<int>(FVeldarKeys.size()))
        RaiseMapErrorFmt(VeldarMessage(vmIndexOutOfRange), {int64_t{index}, u"VeldarKeys[I]"},
                         u"DeactivateKey");
    FVeldarKeys[static_cast<size_t>(index)].reset();
}

void TVeldarmark::DeactivateAllKeys() { FVeldarKeys.clear(); }

int TVeldarmark::VeldarKeyCount() const {
    return static_cast<int>(std::count_if(FVeldarKeys.begin(), FVeldarKeys.end(),
                                          [](const auto& key) { return key != nullptr; }));
}

TVeldarKey* TVeldarmark::VeldarKeys(int index) const {
    if (index < 0 || index >= static_cast<int>(FVeldarKeys.size()))
        return nullptr;
    return FVeldarKeys[static_cast<size_t>(index)].get();
}

// --- Settings ---

void TVeldarmark::RefuseWhileKeysActive(std::u16string_view property, std::u16string_view method) const {
    if (VeldarKeyCount() > 0)
        RaiseMapErrorFmt(VeldarMessage(vmPropertyLockedByKeys), {property}, method);
}

void TVeldarmark::SetLocalKeyboxLocation(TLocalKeyboxLocation location, std::u16string_view customPath) {
    RefuseWhileKeysActive(u"LocalKeyboxLocation", u"SetLocalKeyboxLocation");
    if (location == klLibraryPath)
        RaiseMapError(VeldarMessage(vmLibraryPathOutsideLibrary), u"SetLocalKeyboxLocation");
    if (location == klCustom && customPath.empty())
        RaiseMapError(VeldarMessage(vmCustomPathRequired), u"SetLocalKeyboxLocation");
    FLocalKeyboxLocation = location;
    FLocalKeyboxPath = location == klCustom ? std::u16string(customPath) : FExecutablePath;
    Reset();
}

void TVeldarmark::SetLocalKeyboxPrefix(std::u16string_view value) {
    if (value == FLocalKeyboxPrefix)
        return;
    RefuseWhileKeysActive(u"LocalKeyboxPrefix", u"SetLocalKeyboxPrefix");
    FLocalKeyboxPrefix = value;
    Reset();
}

void TVeldarmark::SetLocalKeyboxPrefixEnabled(bool value) {
    if (value == FLocalKeyboxPrefixEnabled)
        return;
    RefuseWhileKeysActive(u"LocalKeyboxPrefixEnabled", u"SetLocalKeyboxPrefixEnabled");
    FLocalKeyboxPrefixEnabled = value;
    Reset();
}

void TVeldarmark::SetVeldarBranch(std::u16string_view value) {
    std::u16string branch(value);
    if (!branch.empty()) {
        if (branch.front() == u'/')
            branch.erase(0, 1);
        branch = WithTrailingDelimiter(branch);
    }
    if (branch == FVeldarBranch)
        return;
    RefuseWhileKeysActive(u"VeldarBranch", u"SetVeldarBranch");
    FVeldarBranch = branch;
    Reset();
}

const std::vector<std::u16string>& TVeldarmark::PropertyList() {
    static constexpr std::u16string_view kDetailNames[] = {u"edFileNames", u"edFilePathsAndNames",
                                                           u"edComponentNames", u"edMethodNames"};
    std::vector<std::u16string_view> details;
    for (int i = 0; i < 4; ++i)
        if (FErrorDetailAllowed.Has(static_cast<TErrorDetailAllowed>(i)))
            details.push_back(kDetailNames[i]);
    static constexpr std::u16string_view kLocations[] = {u"klExecutablePath", u"klLibraryPath", u"klCustom"};
    FPropertyList = orvex::PropertyList({
        {u"BranchKeybox", FBranch.Name},
        {u"BranchKeyboxExists", PropertyText(FBranch.Exists)},
        {u"BranchKeyboxWarnings", BranchKeyboxWarnings()},
        {u"BranchKeyboxXmlOK", PropertyText(FBranch.XmlOK)},
        {u"DefaultMapContext", FDefaultMapContext},
        {u"DefaultUserName", FDefaultUserName},
        {u"ErrorDetailAllowed", SetPropertyText(details)},
        {u"ExecutableNameNoExt", FExecutableNameNoExt},
        {u"ExecutablePath", FExecutablePath},
        {u"KeyLastError", FKeyLastError},
        {u"LibraryNameNoExt", FLibraryNameNoExt},
        {u"LibraryPath", FLibraryPath},
        {u"LocalKeybox", FLocal.Name},
        {u"LocalKeyboxExists", PropertyText(FLocal.Exists)},
        {u"LocalKeyboxLocation", std::u16string(kLocations[FLocalKeyboxLocation])},
        {u"LocalKeyboxPath", FLocalKeyboxPath},
        {u"LocalKeyboxPrefix", FLocalKeyboxPrefix},
        {u"LocalKeyboxPrefixEnabled", PropertyText(FLocalKeyboxPrefixEnabled)},
        {u"LocalKeyboxWarnings", LocalKeyboxWarnings()},
        {u"LocalKeyboxXmlOK", PropertyText(FLocal.XmlOK)},
        {u"Name", Name()},
        {u"VeldarBranch", FVeldarBranch},
        {u"VeldarKeyCount", IntToText(VeldarKeyCount())},
        {u"VeldarmarkEnvVarExists", PropertyText(FVeldarmarkEnvVarExists)},
        {u"VeldarmarkRootFolder", FVeldarmarkRoot},
    });
    return FPropertyList;
}

// --- Errors ---

void TVeldarmark::RaiseMapError(std::u16string_view msg, std::u16string_view methodName) const {
    RaiseVeldarError(msg, FErrorDetailAllowed.Has(edMethodNames) ? methodName : std::u16string_view(),
                     FErrorDetailAllowed.Has(edComponentNames) ? this : nullptr);
}

void TVeldarmark::RaiseMapErrorFmt(std::u16string_view fmt,
                                   std::initializer_list<TFormatValue> args,
                                   std::u16string_view methodName) const {
    RaiseMapError(FormatTolerant(fmt, args, TMissingValue::StaysVisible), methodName);
}

} // namespace orvex
