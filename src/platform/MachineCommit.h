#pragma once
// All the files that one change of a machine replaces, put in place together: a
// process killed at any point leaves the machine all old or all new.
//
// Each new file is first written to its temporary file beside its place and made
// durable, the last ones together at the commit. Then the commit record "Commit.txt" is written into
// the machine folder (atomically, and made durable with the folder): it lists
// each temporary file, the file it replaces, both relative to the machine folder,
// and the temporary's identity (TTemporaryIdentity), and the files it names are
// only those a machine consists of (Machine.xml, Metabase.xml, Pop3.xml,
// Sites/<site>.xml), so that a record can replace no other file. A machine file
// that is a link is named as the link; its temporary lies beside the file it
// links to. From then on the change has happened: the temporaries are renamed
// over their files, and the record goes.
// Whoever next takes the machine's lock finishes a record left behind
// (RecoverMachineFolder) before anything reads the files, and removes temporary
// files of the machine's files whose process is gone: they are what is left of a
// change that never happened.
//
// Every path a change follows, from the machines folder to the machine folder and
// on to each file, temporary and the record, keeps to the rule of SafePath.h:
// all it reaches belongs to root or to us, and the machine folder it reaches is
// the one held locked. A path that breaks it is refused, naming what and whose,
// before anything changes.

#include "base/SafePath.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// The commit record's name in a machine folder.
inline constexpr const char* kCommitRecordFile = "Commit.txt";

// What tells a temporary written by a commit from a file that took its inode
// after it was gone; a rename keeps all three. Lines of earlier versions carry
// the inode alone (Stamped false) or nothing (Inode 0).
struct TTemporaryIdentity {
    uint64_t Inode = 0;
    bool Stamped = false;
    uint64_t Size = 0;
    int64_t Modified = 0;  // nanoseconds since 1970
};

// One rename of a commit: a machine file (relative to the machine folder), the
// folder its rename happens in (in TSafeFolders), its name there, its
// temporary's, and the temporary's identity. Pending: the temporary is there to
// be renamed.
struct TMachineRename {
    std::string Name;
    size_t Folder = 0;
    std::string File;
    std::string Temporary;
    TTemporaryIdentity Identity;
    bool Pending = true;
};

// folderHandle: an open handle of the machine folder, which the caller holds
// locked. The commit works relative to it: wherever the folder was moved
// meanwhile, the files go into that one.
class TMachineCommit {
public:
    TMachineCommit(std::filesystem::path folder, int folderHandle);
    ~TMachineCommit();  // removes the temporary files of a commit that never happened
    TMachineCommit(const TMachineCommit&) = delete;
    TMachineCommit& operator=(const TMachineCommit&) = delete;

    // Checks now that a change may reach the machine folder, the one held locked:
    // raises EMachineError naming why not.
    void CheckFolder();
    // Follows the paths to these machine files now, so that a change that may not
    // reach one fails before anything is written. Raises what Write raises.
    void Prepare(const std::vector<std::string>& names);
    // Writes bytes as the new contents of the machine file name (Sites/<site>.xml:
    // the folder Sites is made when missing) into its temporary file and starts
    // them on their way to the disk, which Commit waits for; a file that holds them
    // already stays as it is. Several threads may write at once. Raises
    // EMachineError for a name that is no machine file, a path the rule refuses or
    // one that leads nowhere or in a circle, EAtomicFileError for a file that
    // cannot be written.
    void Write(const std::string& name, std::string_view bytes);
    bool Empty() const { return FRenames.empty(); }

    // Puts every file written in place. Before the record is on disk (its folder
    // synced) a failure raises EMachineError or EAtomicFileError and changes
    // nothing; once it is, a failure (a rename, a temporary gone, or a folder sync
    // after the renames) raises EMachineError and leaves the record for the next
    // RecoverMachineFolder to finish.
    void Commit();

private:
    TSafeFolders& Folders();
    TSafePlace PlaceOf(const std::string& name);

    std::filesystem::path FFolder;
    int FFolderHandle;
    std::mutex FMutex;  // writes on several threads share the folders, the renames and the handles
    std::optional<TSafeFolders> FFolders;
    std::map<std::string, TSafePlace> FPlaces;  // by machine file name
    bool FSitesMade = false;
    std::vector<TMachineRename> FRenames;
    // The handle each temporary was written with, as FRenames lists them, held
    // until its bytes are waited for: the first FFirstHeld as later ones were
    // written, once more than FMostHeld were held, the rest by Commit.
    std::vector<TFileHandle> FWritten;
    size_t FFirstHeld = 0;
    size_t FMostHeld;
};

// Follows the path to the machine file name (relative to folder, held open as
// folders' start) under the rule. Raises EMachineError naming the file for an
// unsafe step or a step that cannot be taken.
TSafePlace FollowMachineFile(const std::filesystem::path& folder, TSafeFolders& folders, const std::string& name);

// True when the machine folder holds a commit record or temporary files of the
// machine's files: a change is being put in place, or one was interrupted.
bool HasUnfinishedCommit(const std::filesystem::path& folder);

// Finishes the commit whose record the folder holds (roll forward) and removes
// temporary files of the machine's files that no record lists and whose process
// is gone, where the rule lets a change reach them and not through a link (another
// machine's record may list what lies beyond it). The caller holds the machine's
// lock; folderHandle is the locked folder's handle. A machine folder that the rule
// keeps from changes, or that was moved since it was locked, raises EMachineError
// naming why. A record that cannot be read or is damaged (a link, no
// regular file, too large, a line naming another file, a temporary that may not
// be renamed, or one that is lost: gone without its file being the one it held)
// raises EMachineError naming it (a damaged one also what to do), a path the rule
// refuses one naming the path and its owner, and a machine file whose link cannot
// be followed one naming that file; nothing is changed then. The lines are
// checked before the first rename: a line whose temporary was gone then was
// renamed by the process that wrote the record, and is never renamed later. A
// line that the version before wrote for a linked file, by the absolute path its
// link led to, counts as that file's while its link leads there still. The work
// grows with the record's lines and the machine's files, never with their product.
void RecoverMachineFolder(const std::filesystem::path& folder, int folderHandle);

// For tests that kill the process at each step of a commit: called after each
// temporary file is written (step csTemporary, counted from 1), once the record
// is (csRecord), after each line of the record is renamed (csRename, counted
// from 1) and once the record is gone (csDone); in a recovery once every line of
// the record was checked (csChecked), before the first rename; in both once the
// machine folder is locked, before the steps to it are checked (csLocked).
enum class TCommitStep { csTemporary, csRecord, csRename, csDone, csChecked, csLocked };
using TCommitWatch = void (*)(TCommitStep step, size_t count);
void WatchCommitSteps(TCommitWatch watch);

} // namespace orvex
