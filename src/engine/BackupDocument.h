#pragma once
// Loading, saving and creating the backup file, and the cached read-only copy of
// it that the wizard's trees read.

#include "base/FileLock.h"
#include "engine/EngineState.h"
#include "xml/WideXmlDocument.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace orvex {

// A fresh document with the backup file's settings: readable layout, UTF-8.
std::unique_ptr<TWideXmlDocument> NewBackupDocument();

// A fresh document holding the file (BackupFileName unless named). Raises the XML
// library's errors (missing file, malformed or truncated XML, too little memory
// for it: naming the file).
std::unique_ptr<TWideXmlDocument> LoadBackupDocument(std::u16string_view fileName = BackupFileName());

// Saves document to BackupFileName in the readable layout, atomically (a failed
// save leaves the file as it was), then forgets the cached copy of that file.
void SaveBackupDocument(TWideXmlDocument& document);

// Creates BackupFileName as the empty skeleton (Root > Machines) unless a file of
// that name exists, whatever it holds (also one that another process creates at the
// same moment). File-system and XML errors pass.
void EnsureBackupFile();

// One change of the backup file BackupFileName by this process: the file is locked
// (another writer is waited for a bounded time, then EFileLockError says so) and
// loaded; Save() writes it atomically. Nothing else writes the file in between, so
// no change of another process is lost. The lock ends with the object.
class TBackupFileEdit {
public:
    TBackupFileEdit();
    TWideXmlDocument& Document() { return *FDocument; }
    void Save() { SaveBackupDocument(*FDocument); }

private:
    TFileLock FLock;
    std::unique_ptr<TWideXmlDocument> FDocument;
};

// True for an element (no comment or text) whose name equals name, an ASCII name,
// with ASCII letters compared ignoring case: the same under every locale.
bool IsBackupElement(const TWideXmlNode& node, std::u16string_view name);
// The first child of parent that IsBackupElement of name; nullptr when none.
TWideXmlNode* FindBackupElement(const TWideXmlNode& parent, std::u16string_view name);

// The `Machines` element of a backup document; raises EXmlError when the file has
// none or its root is not `Root`, so that nothing is written into a file of another kind.
TWideXmlNode& MachinesElement(TWideXmlDocument& document);

// The `Machine` element whose backupName equals backupName ignoring case, or nullptr.
TWideXmlNode* FindMachineElement(const TWideXmlNode& machines, std::u16string_view backupName);

// The index-th `Machine` element of machines (0 is the first), or nullptr.
TWideXmlNode* MachineElementAt(const TWideXmlNode& machines, int index);

// A new `SubDir` (path, className) appended to parent. A name that the file
// cannot hold (XmlTextProblem) raises EPropertyValueError and appends nothing.
TWideXmlNode& AppendSubDirElement(TWideXmlNode& parent, std::u16string_view path, std::u16string_view className);

// The direct `SubDir` child of parent with this path (ignoring case) and, when
// className is not empty, this class (ignoring case); nullptr when none.
TWideXmlNode* FindSubDirElement(const TWideXmlNode& parent, std::u16string_view path,
                                std::u16string_view className = {});

// Case-folded path -> element, for the direct `SubDir` children of one element:
// the first child of each path, as FindSubDirElement finds it.
using TSubDirMap = std::unordered_map<std::u16string, TWideXmlNode*>;
TSubDirMap SubDirsOf(const TWideXmlNode& parent);
// The element of path in map (ignoring case), or nullptr.
TWideXmlNode* FindSubDir(const TSubDirMap& map, std::u16string_view path);

// --- Cached backup documents ---
// Read-only copies of backup files for the wizard's trees, each keyed by its file:
// the path, and the size and modification time the file had when it was read, so
// that a change from outside is seen. Our own saves forget the copy of the file
// they wrote. The copies of the two files used last are kept: each tree reads the
// file it was built from.

// Forgets every copy; the next GetCachedBackupDocument reads its file again.
void ResetCachedBackupDocument();
// Forgets the copy of the file and, when the file exists, reads it anew.
void LoadCachedBackupDocument(std::u16string_view fileName = BackupFileName());
// The copy of the file, read first when there is none or the file changed since;
// nullptr when the file does not exist. Parse errors of the file pass.
TWideXmlDocument* GetCachedBackupDocument(std::u16string_view fileName = BackupFileName());

} // namespace orvex
