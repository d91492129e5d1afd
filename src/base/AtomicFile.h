#pragma once
// Replaces a file's contents so that a reader, a crash or a failure sees either
// the old file or the complete new one, never a part.

#include "base/SafePath.h"

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvex {

// Raised when the new contents could not be put in place; the old file is then
// unchanged and no temporary file is left. Text: Cannot create file "<path>". <reason>
class EAtomicFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes bytes to a temporary file in the folder of path, flushes it to disk,
// gives it the permissions and group of the file it replaces and renames it over
// path. A file without write permission is refused (as a read-only file: also for
// root). path is followed from "/" under the rule of SafePath.h, a symbolic link
// at its end too: its target gets the new contents, and the file replaced keeps to
// the rule like every step on the way to it. Everything after that happens
// in the folder the walk reached. Temporary files of earlier saves of the same
// file whose process is gone (a killed program leaves them) are removed first, if
// root's or ours; other files' are left alone.
void WriteFileAtomically(std::u16string_view path, std::string_view bytes);

// Removes the temporary files that saves of path (a link: of its target) left
// when their process was killed, those of this process and of living ones kept.
// A writer that may end without saving calls it when it starts.
void RemoveStaleTemporariesOf(std::u16string_view path);

// Why a save to path would be refused before anything is written: a step the
// rule refuses, a folder, a device, pipe or socket, a read-only file (a link is
// judged by its target). The text is that of the EAtomicFileError the save would
// raise; empty when path may be saved, also when it does not exist yet.
std::string AtomicSaveRefusal(std::u16string_view path);

// A file's new contents written piece by piece into its temporary file, with the
// checks, mode and group of WriteFileAtomically; Commit puts them in place once
// they are on disk. Without a Commit the temporary file goes and the file stays
// as it was. Every failure raises EAtomicFileError.
class TAtomicFileWriter {
public:
    explicit TAtomicFileWriter(std::u16string_view path);
    ~TAtomicFileWriter();
    TAtomicFileWriter(const TAtomicFileWriter&) = delete;
    TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

    void Write(const void* data, size_t size);
    void Commit();

private:
    friend class TAtomicWrites;
    friend bool WriteNewFileAtomically(std::u16string_view path, std::string_view bytes);
    friend struct TWrittenTemporary WriteTemporaryFileAt(int folder, const std::string& name,
                                                         const struct stat* replaced, std::string_view bytes,
                                                         const std::string& shown, bool durable);
    friend void RemoveStaleTemporariesOf(std::u16string_view path);
    friend std::string AtomicSaveRefusal(std::u16string_view path);
    // The stale temporaries of each folder read so far (by its device and inode),
    // by the file they were to replace: a batch reads each folder once.
    using TStaleTemporaries = std::map<std::pair<uint64_t, uint64_t>, std::multimap<std::string, std::string>>;
    // Where a save by path puts its file: the folder that holds it, open, and the
    // file's name there, with its status when it exists.
    struct TTarget {
        TFileHandle Folder;
        std::string Name;
        bool Exists = false;
        struct stat Status {};
    };
    // Follows path from "/" under the rule, a link at its end too. Raises
    // EAtomicFileError for a step the rule refuses; error: a step that cannot be
    // taken (the second form raises it).
    static TTarget FindTarget(const std::string& path, int& error);
    static TTarget FindTarget(const std::string& path);
    TAtomicFileWriter(std::u16string_view path, TStaleTemporaries* stale);
    TAtomicFileWriter(std::string path, TTarget target, TStaleTemporaries* stale);
    // For name in the folder at folder (see WriteTemporaryFileAt).
    TAtomicFileWriter(int folder, const std::string& name, const struct stat* replaced, const std::string& shown);
    void Open(const struct stat* existing);
    // Starts the bytes on their way to the disk and hands the temporary file over
    // to the caller, with the handle it was written with (to sync it on); its name.
    std::string Finish(TFileHandle& handle);
    [[noreturn]] void Fail(int error) const;

    std::string FPath;         // as given, for the error text
    TFileHandle FOwnedFolder;  // for a save by path
    int FFolder;               // what FTarget and FTemporary are relative to
    std::string FTarget; // the file replaced (a link's target)
    std::string FTemporary;
    int FHandle = -1;
};

// Several files replaced together: each is written to its temporary file and
// started on its way to the disk by Write(), while the next is prepared, and all
// take their places at Commit(), each once its bytes are on disk. A failure before
// Commit() leaves every file as it was. Each file's stale temporaries go, as in
// WriteFileAtomically. A file that later files name is committed before they are
// written.
class TAtomicWrites {
public:
    TAtomicWrites() = default;
    ~TAtomicWrites();  // removes the temporaries of writes not committed
    TAtomicWrites(const TAtomicWrites&) = delete;
    TAtomicWrites& operator=(const TAtomicWrites&) = delete;

    // The checks, mode and group of WriteFileAtomically. Raises EAtomicFileError.
    void Write(std::u16string_view path, std::string_view bytes);
    // Puts the files written since the last Commit() in place, in the order written,
    // and makes the renames durable. Raises EAtomicFileError naming the first file
    // it could not put in place, or one whose folder could not be synced; the files
    // before it are in place.
    void Commit();

private:
    friend class TAtomicFileWriter; // whose Commit is that of one file
    // A file written and not yet in place: the path as given, the folder it is in,
    // the file it replaces there (a link's target) and its temporary file, with the
    // handle it was written with.
    struct TPending {
        std::string Path;
        TFileHandle Folder;
        std::string Target;
        std::string Temporary;
        TFileHandle Handle;
    };
    std::vector<TPending> FPending;
    TAtomicFileWriter::TStaleTemporaries FStale;
};

// The process that wrote a temporary file of these writes, from its name
// ("<file>.tmp-<pid>-<number>"); 0 for any other name.
int TemporaryFileOwner(std::string_view name);
// A new temporary name for target in that pattern, owned by this process.
std::string TemporaryNameFor(const std::string& target);
// True when name is a temporary name whose process is gone: what a killed program
// left. False for this process's, a living one's and any other name.
bool IsStaleTemporary(std::string_view name);

// A file's new contents in a temporary file beside it, for a change that renames
// it into place itself: written with the checks and mode of WriteFileAtomically
// and made durable on the handle it was written with; where durable is false,
// only started on its way to the disk, and the caller waits for it on that
// handle (fsync). folder: an open handle of the folder that holds the file; name:
// the file there; replaced: its status, nullptr for a new file. shown: the path
// errors name. The temporary's name in that folder, which the caller then owns,
// the handle, and the status taken on it after the last write: its inode, size
// and modification time stay the file's once the temporary is renamed over it.
// Raises EAtomicFileError, leaving nothing.
struct TWrittenTemporary {
    std::string Name;
    TFileHandle Handle;
    struct stat Status {};
};
TWrittenTemporary WriteTemporaryFileAt(int folder, const std::string& name, const struct stat* replaced,
                                       std::string_view bytes, const std::string& shown, bool durable = true);

// The same for a file that must not exist yet: false, writing nothing, when path
// exists (whatever it is), so that two processes never both create it.
bool WriteNewFileAtomically(std::u16string_view path, std::string_view bytes);

// Makes the renames and links in the folder name (relative to the folder at
// folderHandle, or AT_FDCWD; "" for that folder itself) durable: 0, else the
// error of the sync. A folder that cannot be opened, or a file system that cannot
// sync folders, gives 0: nothing more can be done for it.
int SyncFolder(int folderHandle, const std::string& name);

} // namespace orvex
