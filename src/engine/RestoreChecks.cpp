#include "engine/RestoreChecks.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/NumberText.h"
#include "engine/BackupDocument.h"
#include "engine/BackupGrammar.h"
#include "engine/BackupPaths.h"
#include "engine/EngineOperation.h"
#include "engine/IIsBinding.h"
#include "engine/ProgressLog.h"
#include "engine/RestoreTree.h"

#include <unordered_map>

namespace orvex {

namespace {

using namespace backupxml;

// A name as a log line can show it: control characters as "\x00".
std::u16string Visible(std::u16string_view name) {
    static const char16_t digits[] = u"0123456789abcdef";
    std::u16string out;
    for (char16_t c : name) {
        if (c >= 0x20) {
            out += c;
            continue;
        }
        out += u"\\x";
        out += digits[c >> 4];
        out += digits[c & 0xF];
    }
    return out;
}

std::u16string KeyNameProblem(std::u16string_view name) {
    std::u16string quoted = u"\"" + Visible(name) + u"\"";
    if (name.empty()) return u"the key name is empty";
    if (name == u"." || name == u"..") return u"the key name " + quoted + u" would reach a key outside its place";
    for (char16_t c : name)
        if (c == u'/' || c == u'\\')
            return u"the key name " + quoted + u" holds \"" + std::u16string(1, c) +
                   u"\", which would reach a key outside its place";
    return {};
}

bool IsSiteIdentifier(std::u16string_view name) {
    if (name.empty()) return false;
    for (char16_t c : name)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// True when the destination has a web site under this key.
bool StandsOnSite(std::u16string_view machine, std::u16string_view name) {
    if (IsSiteIdentifier(name)) return true;
    try {
        TOleVariant object = GetIIsObject(machine, std::u16string(PathWebService) + u"/" + std::u16string(name));
        return SameAsciiText(object.Property(u"Class").ToText(), ClassWebServer);
    } catch (const std::exception& e) {
        PassMachineFilesError(e);
    }
    return false;
}

void Refuse(const TWideXmlNode& element, const std::u16string& reason) {
    LogBackupError(u"Restore refused: Path=" + GetDisplayPath(element) + u" Error=" + reason +
                       u"; it is not restored, nor anything below it",
                   clLogRed);
}

void CheckChildren(std::u16string_view machine, const TWideXmlNode& element, const TTreeNode& node, bool topLevel,
                   TRefusedNodes& refused) {
    if (node.ChildCount() == 0) return;
    // The first element of each path (case folded), as the restore finds it, and how
    // many elements have that path.
    std::unordered_map<std::u16string, std::pair<const TWideXmlNode*, int>> children;
    // A tree node's record ends at a NUL: such an element is known by the part of
    // its path before it, and a node of that path may stand for it.
    std::unordered_map<std::u16string, const TWideXmlNode*> cutAtNul;
    for (int i = 0; i < element.NodeCount(); ++i) {
        const TWideXmlNode& child = *element.Nodes(i);
        if (!IsBackupElement(child, ElemSubDir)) continue;
        std::u16string path = child.AttributeByName(AttrPath);
        ++children.try_emplace(CaseFoldedKey(path), &child, 0).first->second.second;
        if (size_t nul = path.find(u'\0'); nul != std::u16string::npos)
            cutAtNul.emplace(CaseFoldedKey(path.substr(0, nul)), &child);
    }
    for (int i = 0; i < node.ChildCount(); ++i) {
        const TTreeNode& child = *node.Child(i);
        if (!IsNodeChecked(child)) continue;
        std::u16string className = NodeClassName(child);
        if (className == ClassPop3 || className == ClassServiceExtensions) continue;
        std::u16string name = NodePath(child);
        std::u16string key = CaseFoldedKey(name);
        if (auto nul = cutAtNul.find(key); nul != cutAtNul.end()) {
            Refuse(*nul->second, u"the key name \"" + Visible(nul->second->AttributeByName(AttrPath)) +
                                     u"\" holds a NUL character");
            refused.insert(&child);
            continue;
        }
        auto found = children.find(key);
        if (found == children.end()) continue;  // the restore reports it
        const auto& [childElement, count] = found->second;
        std::u16string reason = KeyNameProblem(name);
        if (reason.empty() && count > 1)
            reason = u"the path \"" + Visible(name) + u"\" is used by " + IntToText(count) +
                     u" elements of this backup; none of them is restored";
        if (reason.empty() && topLevel && !SameAsciiText(className, ClassWebServer) && StandsOnSite(machine, name))
            reason = u"the element stands on the web site key \"" + name + u"\" but is of class " + className +
                     u", not " + std::u16string(ClassWebServer) + u": it would slip past the site check";
        if (!reason.empty()) {
            Refuse(*childElement, reason);
            refused.insert(&child);
            continue;
        }
        CheckChildren(machine, *childElement, child, false, refused);
    }
}

} // namespace

TRefusedNodes CheckRestoreSelection(std::u16string_view machine, const TWideXmlNode& machineElement,
                                    const TTreeNode& machineNode) {
    TRefusedNodes refused;
    std::u16string path = NodePath(machineNode);
    if (!SameAsciiText(path, PathWebService)) {
        Refuse(machineElement, u"the backup's own path is \"" + Visible(path) + u"\", not \"" +
                                   std::u16string(PathWebService) + u"\"");
        refused.insert(&machineNode);
        return refused;
    }
    CheckChildren(machine, machineElement, machineNode, true, refused);
    return refused;
}

bool HasDotSteps(std::u16string_view metabasePath) {
    size_t start = 0;
    while (start <= metabasePath.size()) {
        size_t end = metabasePath.find_first_of(u"/\\", start);
        if (end == std::u16string_view::npos) end = metabasePath.size();
        std::u16string_view step = metabasePath.substr(start, end - start);
        if (step == u"." || step == u"..") return true;
        start = end + 1;
    }
    return false;
}

} // namespace orvex
