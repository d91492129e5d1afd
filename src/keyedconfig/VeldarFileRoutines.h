#pragma once
// File and node helpers of the keyed documents and the keybox map.

#include "xml/WideXmlNode.h"
#include "xml/XmlTypes.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// The file's modification time as a local TDateTime; 0 and false when it cannot
// be read.
bool GetFileAge(std::u16string_view fileName, TDateTime& age);

// False only when the file's time can be read and equals age.
bool FileChangedSince(std::u16string_view fileName, TDateTime age);

// What tells one version of a file from the next: its time to the nanosecond, its
// size and its inode. A file replaced by a rename within one clock tick keeps its
// time but not its inode, so a change is never missed.
struct TFileStamp {
    bool Exists = false;
    int64_t Seconds = 0;
    int64_t Nanoseconds = 0;
    int64_t Size = 0;
    uint64_t Inode = 0;
    uint64_t Device = 0;
    friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};
TFileStamp FileStampOf(std::u16string_view fileName);

// Replaces the file's bytes atomically (temporary file + rename). Unless
// heldByCaller, an existing file that an update holds against writers is left
// alone: false with the system's text in reason, as for any failed write.
bool WriteFileRespectingHolds(std::u16string_view fileName, std::string_view bytes, bool heldByCaller,
                              std::u16string& reason);

// A regular file (links followed) exists at the name.
bool FileExistsAt(std::u16string_view fileName);
bool FolderExistsAt(std::u16string_view folder);

// True when the folder part of the name is empty or exists, or was made with all
// its missing levels; otherwise false with the system's text in errorText.
bool ForceFolderOf(std::u16string_view fileName, std::u16string& errorText);

// The path begins with a path delimiter.
bool IsRootedPath(std::u16string_view path);

// The folder part of a file name with its trailing delimiter ("" without one).
std::u16string FolderOfFile(std::u16string_view fileName);
// The name after the last delimiter.
std::u16string FileNameOnly(std::u16string_view fileName);
// The name without folder and without its last extension.
std::u16string FileNameWithoutExtension(std::u16string_view fileName);
// The folder above the file's folder, with a trailing delimiter.
std::u16string ParentFolderOf(std::u16string_view fileName);
// The text with one trailing delimiter (an empty text stays empty).
std::u16string WithTrailingDelimiter(std::u16string_view path);

// A node with a parent that is not its first child moves to index 0.
void MoveNodeToFront(TWideXmlNode* node);
// When the node carries the attribute and it is not its last one, it moves last
// with the same value.
void MoveContextAttributeLast(TWideXmlNode* node, std::u16string_view contextAttributeID);

// A published property of an object, its value as text.
struct TPublishedProperty {
    std::u16string_view Name;
    std::u16string Value;
};
// The property list of an object: one line "name=value" per property, in the
// order of the names.
std::vector<std::u16string> PropertyList(std::initializer_list<TPublishedProperty> properties);
// Values as a property list shows them: "True" / "False"; a set as its
// bracketed, comma-separated element names ("[edFileNames,edMethodNames]").
std::u16string PropertyText(bool value);
std::u16string SetPropertyText(const std::vector<std::u16string_view>& setElements);

// Whether an event has a handler.
template <class TEvent>
bool IsEventAssigned(const TEvent& event) {
    return static_cast<bool>(event);
}

} // namespace orvex
