#pragma once
// TVeldarmark: the keybox map. It resolves keys (group name, key name, optionally
// narrowed by a context value and a user name) to files, folders and values through
// two keybox files "KXKeybox.xml": the local keybox (beside the executable or in a
// custom folder) answers first, then the branch keybox below the folder named by
// the environment variable "Veldarmark". Activated keys own their keyed documents.

#include "base/TextFormat.h"
#include "keyedconfig/VeldarErrors.h"
#include "keyedconfig/VeldarKey.h"
#include "keyedconfig/VeldarKeyTypes.h"
#include "keyedconfig/VeldarProjectOptions.h"
#include "keyedconfig/VeldarXmlDoc.h"

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

class TVeldarmark : public TComponent {
public:
    using TNotifyEvent = std::function<void(TVeldarmark& sender)>;
    // Called with the key whose document reloaded its changed file at the start of
    // an update.
    using TKeyedFileChangedEvent = std::function<void(TVeldarKey* sender)>;

    // Reads the environment ("Veldarmark", and "USERNAME", else "USER" or "LOGNAME",
    // for the default user name) and loads the keyboxes; a missing or corrupt
    // keybox or context file leaves a warning, never an exception.
    explicit TVeldarmark(TComponent* owner = nullptr);
    ~TVeldarmark() override;

    static std::unique_ptr<TVeldarmark> CreateForBranch(TComponent* owner, std::u16string_view veldarBranch);
    // CreateForBranch, then stores the prefix without reloading or enabling it.
    static std::unique_ptr<TVeldarmark> CreateForService(TComponent* owner, std::u16string_view veldarBranch,
                                                         std::u16string_view localKeyboxPrefix);

    // --- Keys ---

    // Resolves the key's file (type ktFile, the map's default context and user) and
    // activates a key for it; nullptr with KeyLastError on failure.
    TVeldarKey* ActivateKey(std::u16string_view keyGroupName, std::u16string_view keyName,
                            TContextUsage contextUsage, TUserNameUsage userNameUsage,
                            std::u16string_view requiredRootNodeName,
                            std::u16string_view defaultKeyedFileName);
    // ActivateKey, then loads the key's document; nullptr (and the key deactivated)
    // when the load fails, with the document's error in KeyLastError.
    TVeldarXmlDoc* ActivateKeyDoc(std::u16string_view keyGroupName, std::u16string_view keyName,
                                  TContextUsage contextUsage, TUserNameUsage userNameUsage,
                                  std::u16string_view requiredRootNodeName,
                                  std::u16string_view defaultKeyedFileName);
    // A key for an explicit file; a relative name is taken in the local keybox's folder.
    TVeldarKey* ActivateTempKey(std::u16string_view keyedFileName, std::u16string_view requiredRootNodeName);
    TVeldarXmlDoc* ActivateTempKeyDoc(std::u16string_view keyedFileName,
                                      std::u16string_view requiredRootNodeName);

    // Lookups; raise EVeldarException when the key cannot be answered.
    std::u16string KeyedFileName(std::u16string_view keyGroupName, std::u16string_view keyName,
                                 TContextUsage contextUsage, TUserNameUsage userNameUsage,
                                 std::u16string_view defaultFileName);
    std::u16string KeyedFolder(std::u16string_view keyGroupName, std::u16string_view keyName,
                               TContextUsage contextUsage, TUserNameUsage userNameUsage,
                               std::u16string_view defaultFolderName);
    std::u16string KeyedValue(std::u16string_view keyGroupName, std::u16string_view keyName,
                              TContextUsage contextUsage, TUserNameUsage userNameUsage,
                              std::u16string_view defaultValue);
    // The common worker of the lookups; the request and its outcome stay in LastKeyedDetail.
    std::u16string GetKeyedAttribute(std::u16string_view keyGroupName, TVeldarKeyType keyType,
                                     std::u16string_view callingMethod, std::u16string_view defaultValue,
                                     std::u16string_view userNameValue, TUserNameUsage userNameUsage,
                                     TUserNameType userNameType, std::u16string_view contextValue,
                                     TContextUsage contextUsage, TContextType contextType,
                                     std::u16string_view keyName);

    // Frees the key in the slot (an empty slot is fine); raises 65179 outside the slots.
    void DeactivateKey(int index);
    void DeactivateAllKeys();
    // Deactivates every key and reloads the environment, contexts and keyboxes.
    void Reset();
    // Raises 65156 while keys are active, 65154 for klLibraryPath (never inside a
    // library here), 65155 for klCustom without a path; then reloads.
    void SetLocalKeyboxLocation(TLocalKeyboxLocation location, std::u16string_view customPath = {});
    int VeldarKeyCount() const;
    // The key in a slot; nullptr for an empty or missing slot.
    TVeldarKey* VeldarKeys(int index) const;

    // --- Properties ---

    const std::u16string& BranchKeybox() const { return FBranch.Name; }
    bool BranchKeyboxExists() const { return FBranch.Exists; }
    bool BranchKeyboxXmlOK() const { return FBranch.XmlOK; }
    TDateTime BranchKeyboxFileAge() const { return FBranch.FileAge; }
    // The stored warning after the keybox's name as the detail set allows; empty
    // when there is no warning.
    std::u16string BranchKeyboxWarnings() const;
    std::u16string LocalKeyboxWarnings() const;
    // Why a context file could not be read (empty when all were readable).
    const std::u16string& ContextWarnings() const { return FContextWarnings; }
    const std::u16string& DefaultMapContext() const { return FDefaultMapContext; }
    const std::u16string& DefaultUserName() const { return FDefaultUserName; }
    TErrorDetailAllowedSet ErrorDetailAllowed() const { return FErrorDetailAllowed; }
    void SetErrorDetailAllowed(TErrorDetailAllowedSet value) { FErrorDetailAllowed = value; }
    const std::u16string& ExecutableNameNoExt() const { return FExecutableNameNoExt; }
    const std::u16string& ExecutablePath() const { return FExecutablePath; }
    const std::u16string& KeyLastError() const { return FKeyLastError; }
    const std::u16string& LibraryNameNoExt() const { return FLibraryNameNoExt; }
    const std::u16string& LibraryPath() const { return FLibraryPath; }
    const std::u16string& LocalKeybox() const { return FLocal.Name; }
    bool LocalKeyboxExists() const { return FLocal.Exists; }
    TDateTime LocalKeyboxFileAge() const { return FLocal.FileAge; }
    TLocalKeyboxLocation LocalKeyboxLocation() const { return FLocalKeyboxLocation; }
    const std::u16string& LocalKeyboxPath() const { return FLocalKeyboxPath; }
    const std::u16string& LocalKeyboxPrefix() const { return FLocalKeyboxPrefix; }
    void SetLocalKeyboxPrefix(std::u16string_view value);
    bool LocalKeyboxPrefixEnabled() const { return FLocalKeyboxPrefixEnabled; }
    void SetLocalKeyboxPrefixEnabled(bool value);
    bool LocalKeyboxXmlOK() const { return FLocal.XmlOK; }
    const std::u16string& VeldarBranch() const { return FVeldarBranch; }
    void SetVeldarBranch(std::u16string_view value);
    bool VeldarmarkEnvVarExists() const { return FVeldarmarkEnvVarExists; }
    const std::u16string& VeldarmarkRootFolder() const { return FVeldarmarkRoot; }
    const TKeyedDetail& LastKeyedDetail() const { return FLastKeyedDetail; }
    // One "Name=Value" line per published property, refilled on each call.
    const std::vector<std::u16string>& PropertyList();

    TNotifyEvent OnDestroy;
    TKeyedFileChangedEvent OnKeyedFileReloaded;

    // Raises with the map as component and the method name as the detail set allows.
    [[noreturn]] void RaiseMapError(std::u16string_view msg, std::u16string_view methodName) const;
    [[noreturn]] void RaiseMapErrorFmt(std::u16string_view fmt,
                                       std::initializer_list<TFormatValue> args,
                                       std::u16string_view methodName) const;

private:
    // One keybox file and what loading it gave.
    struct TKeyboxFile {
        std::u16string Name;  // its path and name
        bool Exists = false;
        TDateTime FileAge = 0;
        std::u16string Warnings;
        std::unique_ptr<TVeldarXmlDoc> Xml;
        bool XmlOK = false;
    };

    void LoadLocalKeybox();
    void LoadBranchKeybox();
    // The "value" of the DefaultContext element of a context file; empty when the
    // file is missing, has another root or cannot be read (then a context warning).
    std::u16string ReadDefaultContext(std::u16string_view fileName, std::u16string_view rootName);
    // Loads the keybox named in keybox; when it is missing or cannot be loaded, its
    // warning is warningFormat filled with the reason.
    void LoadKeybox(TKeyboxFile& keybox, std::u16string_view warningFormat);
    TWideXmlNode* FindKeyNode(TVeldarXmlDoc& keybox, TVeldarKeyType keyType);
    TVeldarKey* AddKeyInternal(int& keyIndex, std::u16string_view keyGroupName,
                               std::u16string_view callingMethod, std::u16string_view fileName,
                               TContextUsage contextUsage, TUserNameUsage userNameUsage,
                               std::u16string_view requiredRootNodeName, std::u16string_view keyName);
    TVeldarXmlDoc* LoadKeyDocument(TVeldarKey* key);
    void RefuseWhileKeysActive(std::u16string_view property, std::u16string_view method) const;
    std::u16string WarningWithName(const std::u16string& warning, const std::u16string& keybox) const;

    TKeyboxFile FBranch;
    std::u16string FContextWarnings;
    std::u16string FDefaultMapContext;
    std::u16string FDefaultUserName;
    TErrorDetailAllowedSet FErrorDetailAllowed = TErrorDetailAllowedSet::All();
    std::u16string FExecutableNameNoExt;
    std::u16string FExecutablePath;
    std::u16string FKeyLastError;
    std::u16string FLibraryNameNoExt;
    std::u16string FLibraryPath;
    TKeyedDetail FLastKeyedDetail;
    TKeyboxFile FLocal;
    TLocalKeyboxLocation FLocalKeyboxLocation = klExecutablePath;
    std::u16string FLocalKeyboxPath;
    std::u16string FLocalKeyboxPrefix;
    bool FLocalKeyboxPrefixEnabled = false;
    std::u16string FLocalKeyboxSuffix = u"KXKeybox.xml";
    std::u16string FVeldarBranch;
    std::vector<std::unique_ptr<TVeldarKey>> FVeldarKeys;
    bool FVeldarmarkEnvVarExists = false;
    std::u16string FVeldarmarkRoot;
    std::vector<std::u16string> FPropertyList;
};

} // namespace orvex
