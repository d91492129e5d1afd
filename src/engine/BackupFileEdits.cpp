#include "engine/BackupFileEdits.h"

#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/IIsBinding.h"
#include "engine/NodeKeys.h"
#include "engine/ProgressLog.h"
#include "engine/PropertyText.h"
#include "platform/base/CaseFold.h"
#include "platform/base/ExceptionText.h"

namespace orvex {

namespace {

using namespace backupxml;

TWideXmlNode* FindPropertyChild(const TWideXmlNode& element, std::u16string_view id) {
    for (int i = 0; i < element.NodeCount(); ++i) {
        TWideXmlNode* child = element.Nodes(i);
        if (IsBackupElement(*child, ElemProperty) &&
            SameTextIgnoreCase(child->AttributeByName(AttrId), id))
            return child;
    }
    return nullptr;
}

} // namespace

bool DeleteXmlNode(std::u16string_view backupName, std::u16string_view path) {
    try {
        TBackupFileEdit edit;
        TWideXmlNode* element = FindBackupNode(edit.Document(), backupName, path);
        if (!element || !element->Parent()) return false;
        element->Parent()->NodeRemove(element);
        edit.Save();
        return true;
    } catch (const std::exception& e) {
        LogBackupException(u"DeleteXmlNode: " + ExceptionMessage(e), clLogRed);
    }
    return false;
}

bool UpdateProperty(std::u16string_view backupName, std::u16string_view path, std::u16string_view id,
                    std::u16string_view type, std::u16string_view value) {
    try {
        for (auto [what, text] : {std::pair{u"id", id}, {u"type", type}, {u"value", value}}) {
            std::u16string problem = XmlTextProblem(text, TLineControls::lcRefused);
            if (problem.empty()) continue;
            LogBackupError(u"UpdateProperty: the " + std::u16string(what) + u" of property " + std::u16string(id) +
                               u" holds " + problem + u"; the file is left as it was",
                           clLogRed);
            return false;
        }
        TBackupFileEdit edit;
        TWideXmlNode* element = FindBackupNode(edit.Document(), backupName, path);
        if (!element) return false;
        if (TWideXmlNode* property = FindPropertyChild(*element, id)) {
            property->SetAttributeByName(AttrId, id);
            property->SetAttributeByName(AttrType, type);
            property->SetAttributeByName(AttrValue, value);
        } else {
            TWideXmlNode* added = element->NodeNew(ElemProperty);
            added->AttributeAdd(AttrId, id);
            added->AttributeAdd(AttrType, type);
            added->AttributeAdd(AttrValue, value);
            added->AttributeAdd(AttrInherit, u"False");
        }
        edit.Save();
        return true;
    } catch (const std::exception& e) {
        LogBackupException(u"UpdateProperty: " + ExceptionMessage(e), clLogRed);
    }
    return false;
}

bool DeleteProperty(std::u16string_view backupName, std::u16string_view path, std::u16string_view id) {
    try {
        TBackupFileEdit edit;
        TWideXmlNode* element = FindBackupNode(edit.Document(), backupName, path);
        TWideXmlNode* property = element ? FindPropertyChild(*element, id) : nullptr;
        if (!property) return false;
        element->NodeRemove(property);
        edit.Save();
        return true;
    } catch (const std::exception& e) {
        LogBackupException(u"DeleteProperty: " + ExceptionMessage(e), clLogRed);
    }
    return false;
}

} // namespace orvex
