#include "engine/NodeKeys.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/Utf.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/ProgressLog.h"

#include <vector>

namespace orvex {

using namespace backupxml;

std::u16string GetNodeKey(const TWideXmlNode& element) {
    // Collected upwards, so a deep tree costs no recursion.
    std::vector<const TWideXmlNode*> chain;
    for (const TWideXmlNode* e = &element; e; e = e->Parent()) {
        std::u16string name = e->Name();
        if (SameAsciiText(name, ElemMachines) || SameAsciiText(name, ElemMachine)) {
            chain.push_back(e);
            break;
        }
        if (!SameAsciiText(name, ElemSubDir) && !SameAsciiText(name, ElemProperty) &&
            !SameAsciiText(name, ElemItem))
            throw ENodeKeyError(Utf16ToUtf8(u"Unknown type. type=" + name));
        chain.push_back(e);
        if (!e->Parent()) throw ENodeKeyError(Utf16ToUtf8(u"Unknown type. type=" + e->Name()));
    }
    std::u16string key;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const TWideXmlNode& e = **it;
        std::u16string name = e.Name();
        if (SameAsciiText(name, ElemMachines)) key.clear();
        else if (SameAsciiText(name, ElemMachine)) key = e.AttributeByName(AttrBackupName);
        else if (SameAsciiText(name, ElemSubDir)) key.append(u"/").append(e.AttributeByName(AttrPath));
        else if (SameAsciiText(name, ElemProperty)) key.append(u"@@").append(e.AttributeByName(AttrId));
        else key += u"@@Item";
    }
    return key;
}

TWideXmlNode* FindBackupNode(TWideXmlDocument& document, std::u16string_view backupName, std::u16string_view path) {
    TWideXmlNode* current = FindMachineElement(MachinesElement(document), backupName);
    if (!current) {
        LogLine(u"Error: Can not find backupName=" + std::u16string(backupName) + u"!", clLogBlack);
        return nullptr;
    }
    std::u16string_view rest = path;
    std::u16string walked;
    while (!rest.empty()) {
        size_t slash = rest.find(u'/');
        std::u16string_view segment = rest.substr(0, slash);
        rest = slash == std::u16string_view::npos ? std::u16string_view() : rest.substr(slash + 1);
        if (!walked.empty()) walked += u'/';
        walked += segment;
        if (SameTextIgnoreCase(walked, PathWebService)) continue;
        current = FindSubDirElement(*current, segment);
        if (!current) {
            LogLine(u"Error: Can not find path=" + walked + u"!", clLogBlack);
            return nullptr;
        }
    }
    return current;
}

} // namespace orvex
