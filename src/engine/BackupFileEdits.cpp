#include "engine/BackupFileEdits.h"

#include "base/CaseFold.h"
#include "base/ExceptionText.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/IIsBinding.h"
#include "engine/NodeKeys.h"
#include "engine/ProgressLog.h"
#include "engine/PropertyText.h"
#include "support/StringUtils.h"

#include <algorithm>

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

TWideXmlNode* FindRewriteTarget(TWideXmlDocument& document, const TValueRewrite& rewrite) {
    std::u16string element, rest, id, itemMark, backupName, path;
    SplitString(rewrite.Key, u"@@", element, rest);
    SplitString(rest, u"@@", id, itemMark);
    SplitString(element, u"/", backupName, path);
    if (backupName.empty()) return nullptr;
    TWideXmlNode* node = FindBackupNode(document, backupName, path);
    TWideXmlNode* property = node ? FindPropertyChild(*node, id) : nullptr;
    if (!property || itemMark.empty()) return property;
    for (int i = 0; i < property->NodeCount(); ++i) {
        TWideXmlNode* item = property->Nodes(i);
        if (IsBackupElement(*item, ElemItem) &&
            SameTextIgnoreCase(item->AttributeByName(AttrValue), rewrite.OldValue))
            return item;
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

std::optional<std::vector<bool>> RewriteValuesByKey(const std::vector<TValueRewrite>& rewrites) {
    try {
        for (const TValueRewrite& rewrite : rewrites) {
            std::u16string problem = XmlTextProblem(rewrite.NewValue, TLineControls::lcRefused);
            if (problem.empty()) continue;
            LogBackupError(u"RewriteValuesByKey: the new value of " + rewrite.Key + u" holds " + problem +
                               u"; the file is left as it was",
                           clLogRed);
            return std::nullopt;
        }
        TBackupFileEdit edit;
        std::vector<bool> written;
        for (const TValueRewrite& rewrite : rewrites) {
            TWideXmlNode* target = FindRewriteTarget(edit.Document(), rewrite);
            if (target) target->SetAttributeByName(AttrValue, rewrite.NewValue);
            written.push_back(target != nullptr);
        }
        if (std::find(written.begin(), written.end(), true) != written.end()) edit.Save();
        return written;
    } catch (const std::exception& e) {
        LogBackupError(u"RewriteValuesByKey: " + ExceptionMessage(e), clLogRed);
    }
    return std::nullopt;
}

} // namespace orvex
