#pragma once
// Paths that a change follows to what it writes, renames or deletes, taken one
// step at a time from a folder held open: each step is checked on the handle the
// next one starts from, never on a name looked up again.
//
// The rule: no step goes from a folder or link that belongs to another user than
// root and the user we run as into a file, folder or link that belongs to yet
// another user (an unsafe transition). That user chose where their folder or link
// leads, and a change of ours must not be led by them into files that are not
// theirs. Root's folders and links, and our own, may lead anywhere; another
// user's may lead to their own files, by a path that passes through nothing else
// (an absolute link starts at "/", which is root's). Reading follows links freely;
// only changes keep to the rule.
//
// What a change makes in a folder of another user gets that folder's owner, so
// that the next step into it is a safe one for its owner as for us.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <sys/types.h>

namespace orvex {

// A step the rule refuses. Text: "<from>" belongs to <user> and leads to "<to>",
// which belongs to <user>
class EUnsafePathError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file handle that closes itself (-1: none).
class TFileHandle {
public:
    explicit TFileHandle(int handle = -1) : FHandle(handle) {}
    TFileHandle(TFileHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, -1)) {}
    TFileHandle& operator=(TFileHandle&& other) noexcept;
    ~TFileHandle();
    int Get() const { return FHandle; }

private:
    int FHandle;
};

// The account name of a user, for messages; "user <number>" when it has none.
std::string UserName(uid_t user);

// True for a step from from (a folder or link) into to that the rule refuses.
bool IsUnsafeTransition(const struct stat& from, const struct stat& to);

// Raises EUnsafePathError naming both when the step is unsafe.
void CheckTransition(const struct stat& from, const std::string& fromShown, const struct stat& to,
                     const std::string& toShown);

// Gives something just made in folder (its handle open for writing or reading, not
// as a path) the folder's owner and group, when the folder belongs to another user
// and we may give it away (as root); otherwise it stays ours.
void GiveFolderOwner(int handle, const struct stat& folder);

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
    // The same from the folder at start, opened here; when it cannot be, Handle(0)
    // is -1 and StartError() says why.
    explicit TSafeFolders(const std::string& start);
    int StartError() const { return FStartError; }

    int Handle(size_t folder) const { return FFolders[folder].Handle; }
    const struct stat& Status(size_t folder) const { return FFolders[folder].Status; }
    const std::string& Shown(size_t folder) const { return FFolders[folder].Shown; }

    // Follows path, relative to the folder from (the start folder: 0), to its
    // end: each folder on the way is entered, each link followed (up to 40 in a
    // row; an absolute one from "/"), the last entry too when it is a link. 0, or
    // the error of a step that cannot be taken (a missing folder, a link at the
    // end that leads nowhere, ENOTDIR, ELOOP, EISDIR for a path that ends in a
    // folder's "." or ".."); a missing last entry is none. Raises EUnsafePathError
    // for an unsafe step.
    int Follow(std::string_view path, TSafePlace& place, size_t from = 0) { return Walk(path, place, from, true); }
    // The same as a read follows it: no step is refused.
    int FollowToRead(std::string_view path, TSafePlace& place) { return Walk(path, place, 0, false); }

    // Makes the folder name in folder (an existing one is kept) and follows it:
    // as Follow, with the new folder given folder's owner.
    int MakeFolder(size_t folder, const std::string& name, TSafePlace& place);

private:
    struct TFolder {
        TFileHandle Owned;
        int Handle;
        struct stat Status;
        std::string Shown;
    };
    int Walk(std::string_view path, TSafePlace& place, size_t from, bool checked);
    // The folder of handle, added unless it is one already; its index.
    size_t Add(TFileHandle handle, const struct stat& status, std::string shown);

    std::vector<TFolder> FFolders;
    int FStartError = 0;
};

// Calls visit(name) for each name in the folder at handle (a handle of any kind)
// but "." and "..", until it returns false.
template <class TVisit>
void ForEachNameIn(int handle, TVisit visit);

// Removes the entry name in the folder at handle: a file or link, or a folder with
// all it holds, whose links are removed, never followed. 0, or the first error.
int RemoveTreeAt(int handle, const std::string& name);

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
