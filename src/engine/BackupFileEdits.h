#pragma once
// Edits of the backup file BackupFileName from the wizard: delete a node, add or
// change a property, delete a property. Each locks and loads the file, changes one
// element, saves atomically and resets the cached copy; a failed edit leaves the
// file byte for byte as it was. Paths are metabase-style ("w3svc/1/ROOT").

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// Deletes the element (with its subtree). False, and the file untouched, when the
// element is not found (after FindBackupNode's black line) or on a failure (red).
bool DeleteXmlNode(std::u16string_view backupName, std::u16string_view path);

// Sets id, type and value of the element's `Property` with this id (Inherit is
// kept), or appends a new one (id, type, value, Inherit "False") after all
// children. False, without saving, when the element is not found, when a text
// holds a character that does not read back from XML (XmlTextProblem: NUL and
// the other control characters, lone surrogates; a red line names it) or on a
// failure.
bool UpdateProperty(std::u16string_view backupName, std::u16string_view path, std::u16string_view id,
                    std::u16string_view type, std::u16string_view value);

// Deletes the element's `Property` with this id. False, without saving, when the
// element or the property is not found or on a failure.
bool DeleteProperty(std::u16string_view backupName, std::u16string_view path, std::u16string_view id);

// A new `value` for the element a node key names: a `Property`
// ("Default/1/ROOT@@Path"), or with "@@Item" behind it the first `Item` of that
// property whose value equals OldValue ignoring case.
struct TValueRewrite {
    std::u16string Key;
    std::u16string OldValue;
    std::u16string NewValue;
};

// Writes the rewrites in order into one load of the file and saves it once when
// at least one was written; two rewrites of one old value thus reach two items.
// Gives whether each was written (a key that does not resolve costs FindBackupNode's
// black line). nullopt, with a red line and the file as it was, when a new value
// holds a character the file cannot hold (XmlTextProblem) or the file cannot be
// loaded or saved.
std::optional<std::vector<bool>> RewriteValuesByKey(const std::vector<TValueRewrite>& rewrites);

} // namespace orvex
