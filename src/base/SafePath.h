#pragma once
// Paths to what we read, write, rename or delete, taken one step at a time from
// "/" or from a folder reached so: each step is checked on the handle the next one
// starts from, never on a name looked up again.
//
// The rule: everything on the way from "/" (each folder and link) and what is
// read or changed at its end belongs to root or to the user we run as. Another
// user could otherwise rename, fill or link what we reach, and have us write
// where they may not, or read what they may not. Root's links and ours may lead
// anywhere that keeps to the rule.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace orvex {

// Something a change would reach that the rule refuses. Text: "<path>" belongs to
// <user>: run Orvex as <user>, or give it to <the user we run as>
class EUnsafePathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file handle that closes itself (-1: none).
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(int handle) : FHandle(handle) {}
    TFileHandle(TFileHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, -1)) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    ~TFileHandle();
    int Get() const { return FHandle; }

private:
    int FHandle = -1;
};

// The account name of a user, for messages; "user <number>" when it has none.
std::string UserName(uid_t user);

// True when a and b are one file (device and inode).
bool SameFile(const struct stat& a, const struct stat& b);

// The rule: true when owner is root or the user we run as. It holds for files and
// folders and for the servers of displays an unattended run may wait on.
bool IsTrustedOwner(uid_t owner);

// The rule's refusal of shown, which belongs to owner: "<shown>" belongs to <owner>:
// run Orvex as <owner>, or give it to <the user we run as>
std::string OwnerRefusal(uid_t owner, const std::string& shown);

// Raises EUnsafePathError with that text when status is not trusted.
void CheckOwner(const struct stat& status, const std::string& shown);

// Where a path ends: the folder that holds its last entry and the entry's name
// there, with its status when it exists (a link at the end is followed, so it is
// never a link). A last entry that is a folder is entered too (Inside).
struct TSafePlace {
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t Folder = 0;  // in TSafeFolders
    std::string Name;
    bool Exists = false;
    struct stat Status {};
    size_t Inside = kNone;  // the folder it is, when it is one
    bool ThroughLink = false;
    std::string Shown;  // the path as followed, for messages
};

// The folders that paths followed from one start folder pass through, each open
// once, as a path (which needs no right to read it), so that a folder reached
// twice is one folder. Not for several threads at once.
class TSafeFolders {
public:
    // start: an open handle of the folder paths start from, which the caller keeps
    // open; shown: its path in messages.
    TSafeFolders(int start, std::string shown);
    // The same from the folder at the path start (relative: to the current
    // folder), followed from "/" under the rule. When it cannot be, Handle(0) is
    // -1, StartError() is the error (EPERM: a step the rule refuses) and
    // StartFailure() the text for a message, the rule's refusal or the error's.
    explicit TSafeFolders(const std::string& start);
    int StartError() const { return FStartError; }
    bool StartRefused() const { return !FStartRefusal.empty(); }
    std::string StartFailure() const;

    int Handle(size_t folder) const { return FFolders[folder].Handle; }
    const struct stat& Status(size_t folder) const { return FFolders[folder].Status; }
    const std::string& Shown(size_t folder) const { return FFolders[folder].Shown; }

    // Follows path, relative to the folder from (the start folder: 0), to its
    // end: each folder on the way is entered, each link followed (up to 40 in a
    // row; an absolute one from "/"), the last entry too when it is a link; the
    // folder it starts from and everything it reaches keep to the rule. 0, or
    // the error of a step that cannot be taken (a missing folder, a link at the
    // end that leads nowhere, ENOTDIR, ELOOP, EISDIR for a path that ends in a
    // folder's "." or ".."); a missing last entry is none. Raises EUnsafePathError
    // for what the rule refuses.
    int Follow(std::string_view path, TSafePlace& place, size_t from = 0);
    // Follows path as Follow does and reads the regular file at its end whole, as
    // ReadRegularFileAt reads it, from a handle of the very file the walk checked.
    // ENOENT when it is missing.
    int Read(std::string_view path, size_t limit, std::string& bytes, std::string& why, size_t from = 0);

    // Makes the folder name in folder (an existing one is kept) and follows it.
    int MakeFolder(size_t folder, const std::string& name, TSafePlace& place);

private:
    struct TFolder {
        TFileHandle Owned;
        int Handle;
        struct stat Status;
        std::string Shown;
    };
    // The folder of handle, added unless it is one already; its index.
    size_t Add(TFileHandle handle, const struct stat& status, std::string shown);

    std::vector<TFolder> FFolders;
    int FStartError = 0;
    std::string FStartRefusal;
};

// The path as followed from "/": a relative one joined to the current folder. 0,
// or the error of finding that.
int PathFromRoot(const std::string& path, std::string& absolute);

// Makes the folder at path (relative: to the current folder) and each folder it
// lies in that is missing, each in its folder under the rule, followed from "/":
// 0, or the error of a step that cannot be made. Raises EUnsafePathError.
int MakeFolders(const std::string& path);

// Follows name from the start folder of folders (as Follow) and checks that it ends
// in the folder open at locked, which the caller holds locked: "" then, else why
// not, for a message: the rule's refusal, the system's error, or "it was moved or
// replaced while it was locked".
std::string FollowToLocked(TSafeFolders& folders, const std::string& name, int locked, TSafePlace& place);

// Calls visit(name) for each name in the folder at handle (a handle of any kind)
// but "." and "..", until it returns false.
template <class TVisit>
void ForEachNameIn(int handle, TVisit visit);

// Removes the entry name in the folder at handle: a file or link, or a folder with
// all it holds, whose links are removed, never followed. What belongs to another
// user than root and us is neither entered nor removed (EPERM), and so stays with
// the folders that hold it. 0, or the first error.
int RemoveTreeAt(int handle, const std::string& name);

// Reads the file name (relative to the folder at folder; AT_FDCWD: a path) whole
// into bytes. It is opened without waiting, so that a pipe never blocks, and
// only a regular file of at most limit bytes is read, as its handle says. 0, or
// the error (EINVAL: no regular file, EFBIG: larger than limit, ENOMEM: no memory
// for it, ESTALE: not the file expected), with why saying it for a message ("it
// is a pipe, not a regular file"). flags: more flags of the open (O_NOFOLLOW);
// status, when given, gets the file's status once it is open; expected, when
// given, is the file it must be (a walk checked it).
int ReadRegularFileAt(int folder, const std::string& name, size_t limit, std::string& bytes, std::string& why,
                      int flags = 0, struct stat* status = nullptr, const struct stat* expected = nullptr);

// "a pipe", "a character device", "a folder"... for a file that is no regular file.
const char* FileKindText(mode_t mode);

// True when the folder at handle is the root of a mounted file system, which a
// rename cannot replace.
bool IsMountRoot(int handle, const struct stat& parent);

namespace detail {
// The names in the folder at handle but "." and ".."; false when it cannot be read.
bool NamesIn(int handle, std::vector<std::string>& names);
} // namespace detail

template <class TVisit>
void ForEachNameIn(int handle, TVisit visit) {
    std::vector<std::string> names;
    if (detail::NamesIn(handle, names))
        for (const std::string& name : names)
            if (!visit(name))
                return;
}

} // namespace orvex
