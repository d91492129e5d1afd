#pragma once
// All the files that one change of a machine replaces, put in place together: a
// process killed at any point leaves the machine all old or all new.
//
// Each new file is first written to its temporary file beside its place and made
// durable. Then the commit record "Commit.txt" is written into the machine folder
// (atomically, and made durable with the folder): it lists each temporary file
// and the file it replaces, both relative to the machine folder, and the files it
// names are only those a machine consists of (Machine.xml, Metabase.xml, Pop3.xml,
// Sites/<site>.xml), so that a record can replace no other file. A machine file
// that is a link is named as the link; its temporary lies beside the file it links
// to. From then on the change has happened: the temporaries are renamed over their
// files, and the record goes. Whoever next takes the machine's lock finishes a
// record left behind (RecoverMachineFolder) before anything reads the files, and
// removes temporary files of the machine's files that no record lists: they are
// what is left of a change that never happened.
//
// Links are followed step by step from the folder's handle. Where a rename goes
// through a link (a machine file or Sites is one), the folder it leads to may be
// shared: a record's temporary there must be a regular file of the user we run as
// (or of its file's owner, which a save gives it), and only our own temporaries
// there are removed.

#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace orvex {

class TAtomicWrites;

// The commit record's name in a machine folder.
inline constexpr const char* kCommitRecordFile = "Commit.txt";

// folderHandle: an open handle of the machine folder, which the caller holds
// locked. The commit works relative to it: wherever the folder was moved
// meanwhile, the files go into that one.
class TMachineCommit {
public:
    TMachineCommit(std::filesystem::path folder, int folderHandle)
        : FFolder(std::move(folder)), FFolderHandle(folderHandle) {}
    ~TMachineCommit();  // removes the temporary files of a commit that never happened
    TMachineCommit(const TMachineCommit&) = delete;
    TMachineCommit& operator=(const TMachineCommit&) = delete;

    // Takes over the files of writes (into the machine folder) once they are on
    // disk. Raises EAtomicFileError naming a file that could not be made durable,
    // EMachineError for a file that is not the machine's.
    void Add(TAtomicWrites& writes);
    bool Empty() const { return FFiles.empty(); }

    // Puts every file added in place. Before the record is on disk (its folder
    // synced) a failure, also a link that leads nowhere or in a circle, raises
    // EMachineError and changes nothing; once it is, a failure (a rename, or a
    // folder sync after the renames) raises EMachineError and leaves the record for
    // the next RecoverMachineFolder to finish.
    void Commit();

private:
    std::filesystem::path FFolder;
    int FFolderHandle;
    // Each temporary file and the file it replaces, relative to the folder.
    std::vector<std::pair<std::string, std::string>> FFiles;
};

// True when the machine folder holds a commit record or temporary files of the
// machine's files: a change is being put in place, or one was interrupted.
bool HasUnfinishedCommit(const std::filesystem::path& folder);

// Finishes the commit whose record the folder holds (roll forward) and removes
// temporary files of the machine's files that no record lists, except those of
// this process. The caller holds the machine's lock; folderHandle is an open
// handle of the folder. A record that cannot be read or is damaged (a line naming
// another file, or a temporary that may not be renamed) raises EMachineError
// naming it, and a machine file whose link cannot be followed one naming that
// file; nothing is changed then. A line that the version before wrote for a
// linked file, by the absolute path its link led to, counts as that file's while
// its link leads there still.
void RecoverMachineFolder(const std::filesystem::path& folder, int folderHandle);

// For tests that kill the process at each step of a commit: called after each
// temporary file is on disk (step csTemporary, counted from 1), once the record
// is (csRecord), after each rename (csRename, counted from 1) and once the record
// is gone (csDone).
enum class TCommitStep { csTemporary, csRecord, csRename, csDone };
using TCommitWatch = void (*)(TCommitStep step, size_t count);
void WatchCommitSteps(TCommitWatch watch);

} // namespace orvex
