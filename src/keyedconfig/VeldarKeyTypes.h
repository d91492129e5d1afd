#pragma once
// The enumerations and the request record of the keybox map and its keys.

#include <string>

#include "keyedconfig/XPathText.h"

namespace orvex {

enum TVeldarKeyType : int { ktFile, ktFolder, ktValue };
enum TContextType : int { cxDefault, cxCustom };
enum TUserNameType : int { usrDefault, usrCustom };
enum TUserNameUsage : int { usrNone, usrOptional, usrRequired };
enum TKeyboxUsed : int { kuNone, kuBranchKeybox, kuLocalKeybox, kuTemp };
enum TLocalKeyboxLocation : int { klExecutablePath, klLibraryPath, klCustom };

// One key request and what answered it.
struct TKeyedDetail {
    std::u16string KeyGroupName;
    TVeldarKeyType KeyType = ktFile;
    std::u16string KeyName;
    TContextType ContextType = cxDefault;
    TContextUsage ContextUsage = cxNone;
    std::u16string ContextValue;
    TUserNameType UserNameType = usrDefault;
    TUserNameUsage UserNameUsage = usrNone;
    std::u16string UserNameValue;
    std::u16string DefaultValue;
    std::u16string CallingMethod;
    std::u16string KeyDesc; // the key as messages show it
    TKeyboxUsed KeyBoxUsed = kuNone;
    bool ContextUsed = false;
    bool UserNameUsed = false;
    bool ExceptionOccurred = false;
    std::u16string ErrorMessage;
};

// The keybox element of a key type and the attribute that holds its answer:
// "Key2File"/"filename", "Key2Folder"/"folder", "Key2Value"/"value".
void KeyTypeElementNames(TVeldarKeyType keyType, std::u16string& elementName,
                         std::u16string& answerAttribute);

} // namespace orvex
