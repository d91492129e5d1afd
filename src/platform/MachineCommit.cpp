#include "platform/MachineCommit.h"

#include "base/AtomicFile.h"
#include "platform/MachineState.h"
#include "platform/MachineStorage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

namespace {

constexpr std::string_view kRecordHeader = "Orvex machine commit";
constexpr std::string_view kRecordEnd = "end";
// How many links in a row are followed before they count as a loop, as the system does.
constexpr int kMostLinks = 40;

std::atomic<TCommitWatch> gWatch{nullptr};

void Reached(TCommitStep step, size_t count) {
    if (const TCommitWatch watch = gWatch.load())
        watch(step, count);
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

[[noreturn]] void CannotWrite(const std::filesystem::path& file, int error) {
    throw EMachineError("Cannot create file \"" + file.string() + "\". " + ErrorText(error));
}

[[noreturn]] void Damaged(const std::filesystem::path& folder, const std::string& why) {
    throw EMachineError("Machine file \"" + (folder / kCommitRecordFile).string() + "\" is damaged: " + why);
}

bool IsLink(int folderHandle, const char* name) {
    struct stat info {};
    return ::fstatat(folderHandle, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
}

// True for the name of a temporary file of target ("<target>.tmp-<pid>-<number>").
bool IsTemporaryOf(std::string_view temporary, std::string_view target) {
    return temporary.starts_with(target) && temporary.substr(target.size()).starts_with(".tmp-") &&
           temporary.find('/', target.size()) == std::string_view::npos && TemporaryFileOwner(temporary) > 0;
}

bool WriteAll(int handle, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(handle, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            errno = n < 0 ? errno : EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// A handle that closes itself (-1: none).
class THandle {
public:
    explicit THandle(int handle = -1) : FHandle(handle) {}
    THandle(THandle&& other) noexcept : FHandle(std::exchange(other.FHandle, -1)) {}
    THandle& operator=(THandle&&) = delete;
    ~THandle() {
        if (FHandle >= 0)
            ::close(FHandle);
    }
    int Get() const { return FHandle; }

private:
    int FHandle;
};

// The folders that the files of a commit lie in: the machine folder (index 0, the
// caller's handle) and those its links lead to. Each is open once, as a path only
// (which needs no right to read it), so that a folder reached twice is one folder.
class TFolders {
public:
    explicit TFolders(int machineFolder) {
        struct stat info {};
        if (::fstat(machineFolder, &info) != 0)
            info = {};  // no folder opened later is taken for it
        FFolders.push_back({THandle(), machineFolder, info.st_dev, info.st_ino});
    }

    int Handle(size_t index) const { return FFolders[index].Handle; }

    // Opens the folder name relative to the folder at, following links; false with
    // errno set when it cannot be.
    bool Open(int at, const std::string& name, size_t& index) {
        FFolders.reserve(FFolders.size() + 1);
        THandle handle(::openat(at, name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        struct stat info {};
        if (handle.Get() < 0 || ::fstat(handle.Get(), &info) != 0)
            return false;
        for (index = 0; index < FFolders.size(); ++index)
            if (FFolders[index].Device == info.st_dev && FFolders[index].Node == info.st_ino)
                return true;
        const int opened = handle.Get();
        FFolders.push_back({std::move(handle), opened, info.st_dev, info.st_ino});
        return true;
    }

private:
    struct TFolder {
        THandle Owned;
        int Handle;
        dev_t Device;
        ino_t Node;
    };
    std::vector<TFolder> FFolders;
};

// Where a rename puts a machine file in place: the folder it lies in and its name
// there, at the end of its links, as a save followed them.
struct TPlace {
    std::string Name;  // the machine file, relative to the machine folder
    size_t Folder = 0; // in TFolders
    std::string File;
    std::string Temporary;
    bool ThroughLink = false; // the file or its folder is a link
};

// Follows the links of a machine file step by step, as the system would, without
// the process file system, which a chroot or a small container may lack: 0, or the
// error of a link that leads nowhere or in a circle.
int Follow(TFolders& folders, const std::string& name, const std::string& temporary, TPlace& place) {
    place = {name, 0, name, temporary, false};
    const size_t slash = name.rfind('/');
    if (slash != std::string::npos) {
        const std::string folder = name.substr(0, slash);
        place.ThroughLink = IsLink(folders.Handle(0), folder.c_str());
        if (!folders.Open(folders.Handle(0), folder, place.Folder))
            return errno;
        place.File = name.substr(slash + 1);
    }
    for (int links = 0;; ++links) {
        struct stat info {};
        if (::fstatat(folders.Handle(place.Folder), place.File.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            // A file that is not there yet is made by the rename; a link's is not.
            if (errno != ENOENT || links > 0)
                return errno;
            break;
        }
        if (!S_ISLNK(info.st_mode))
            break;
        place.ThroughLink = true;
        if (links == kMostLinks)
            return ELOOP;
        char text[PATH_MAX];
        const ssize_t size = ::readlinkat(folders.Handle(place.Folder), place.File.c_str(), text, sizeof text);
        if (size < 0)
            return errno;
        if (static_cast<size_t>(size) == sizeof text)
            return ENAMETOOLONG;
        const std::string_view link(text, static_cast<size_t>(size));
        const size_t cut = link.rfind('/');
        place.File = link.substr(cut + 1);
        if (place.File.empty() || place.File == "." || place.File == "..")
            return EISDIR;
        const std::string folder = cut == std::string_view::npos ? "." : cut == 0 ? "/" : std::string(link.substr(0, cut));
        if (!folders.Open(link.front() == '/' ? AT_FDCWD : folders.Handle(place.Folder), folder, place.Folder))
            return errno;
    }
    place.Temporary = place.File + temporary.substr(name.size());
    return 0;
}

TPlace PlaceOf(const std::filesystem::path& folder, TFolders& folders, const std::string& name,
               const std::string& temporary) {
    TPlace place;
    if (const int error = Follow(folders, name, temporary, place))
        throw EMachineError("Machine file \"" + (folder / name).string() +
                            (place.ThroughLink ? "\" is a link that cannot be followed: " : "\" cannot be read: ") +
                            ErrorText(error));
    return place;
}

// Calls visit(folder handle, name) for each name in the folder (relative to the
// folder at) until it returns false; false then.
template <class TVisit>
bool ForEachName(int at, const char* folder, TVisit visit) {
    const int handle = ::openat(at, folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return true;
    const std::unique_ptr<DIR, int (*)(DIR*)> directory(::fdopendir(handle), ::closedir);
    if (!directory) {
        ::close(handle);
        return true;
    }
    while (const dirent* entry = ::readdir(directory.get()))
        if (!visit(::dirfd(directory.get()), entry->d_name))
            return false;
    return true;
}

// Calls visit(folder handle, name, process) for each temporary file of the
// machine's own files and of its record until it returns false. Beyond a link only
// those of the user we run as: the folder it leads to may hold other programs' files.
template <class TVisit>
void ForEachTemporary(int folderHandle, TVisit visit) {
    const bool sitesLinked = IsLink(folderHandle, kSitesFolder);
    for (const bool sites : {false, true}) {
        const bool goOn = ForEachName(folderHandle, sites ? kSitesFolder : ".", [&](int handle, const char* name) {
            const std::string_view entry = name;
            const int owner = TemporaryFileOwner(entry);
            if (owner <= 0)
                return true;
            const std::string file(entry.substr(0, entry.rfind(".tmp-")));
            if (!(sites ? IsMachineFileName(std::string(kSitesFolder) + "/" + file)
                        : IsMachineFileName(file) || file == kCommitRecordFile))
                return true;
            struct stat info {};
            if (sites && sitesLinked &&
                (::fstatat(handle, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || info.st_uid != ::geteuid()))
                return true;
            return visit(handle, name, owner);
        });
        if (!goOn)
            return;
    }
}

// Writes the record under a temporary name and renames it into place, each made
// durable: the record is there whole or not at all. The other folders holding the
// temporaries it lists are synced between the two, where a journalling file
// system has nothing left to write for them.
void WriteRecord(const std::filesystem::path& folder, int folderHandle, const std::string& text,
                 const std::vector<int>& otherFolders) {
    const std::string temporary =
        std::string(kCommitRecordFile) + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(std::random_device()());
    const int handle = ::openat(folderHandle, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (handle < 0)
        CannotWrite(folder / kCommitRecordFile, errno);
    int error = 0;
    if (!WriteAll(handle, text) || ::fsync(handle) != 0)
        error = errno ? errno : EIO;
    if (::close(handle) != 0 && !error)
        error = errno;
    for (auto other = otherFolders.begin(); !error && other != otherFolders.end(); ++other)
        error = SyncFolder(*other, "");
    if (!error && ::renameat(folderHandle, temporary.c_str(), folderHandle, kCommitRecordFile) != 0)
        error = errno;
    if (error) {
        ::unlinkat(folderHandle, temporary.c_str(), 0);
        CannotWrite(folder / kCommitRecordFile, error);
    }
    // A record not known to be on disk is no commit: it goes, and nothing happened.
    if (const int synced = SyncFolder(folderHandle, "")) {
        ::unlinkat(folderHandle, kCommitRecordFile, 0);
        CannotWrite(folder / kCommitRecordFile, synced);
    }
}

// Renames each temporary over its file, in order, then makes the renames durable
// and removes the record. A temporary that is gone was renamed already (by a run
// of this that was interrupted).
void FinishRenames(const std::filesystem::path& folder, int folderHandle, const TFolders& folders,
                   const std::vector<TPlace>& places) {
    // Each folder renamed into, with the first file renamed there.
    std::map<size_t, std::string> renamedInto;
    for (size_t i = 0; i < places.size(); ++i) {
        const TPlace& place = places[i];
        const int handle = folders.Handle(place.Folder);
        if (::renameat(handle, place.Temporary.c_str(), handle, place.File.c_str()) != 0 && errno != ENOENT)
            CannotWrite(folder / place.Name, errno);
        renamedInto.emplace(place.Folder, place.Name);
        Reached(TCommitStep::csRename, i + 1);
    }
    // Until the renames are on disk the record stays, for the next recovery.
    for (const auto& [where, name] : renamedInto)
        if (const int error = SyncFolder(folders.Handle(where), ""))
            CannotWrite(folder / name, error);
    // Not synced: a record that comes back after a crash finds its temporaries
    // gone and its files in place.
    if (::unlinkat(folderHandle, kCommitRecordFile, 0) != 0 && errno != ENOENT)
        CannotWrite(folder / kCommitRecordFile, errno);
    Reached(TCommitStep::csDone, 0);
}

// Reads the lines between the record's first and last; false when there is no record.
bool ReadRecord(const std::filesystem::path& folder, int folderHandle, std::vector<std::string>& lines) {
    const std::filesystem::path file = folder / kCommitRecordFile;
    const int handle = ::openat(folderHandle, kCommitRecordFile, O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        if (errno == ENOENT)
            return false;
        throw EMachineError("Machine file \"" + file.string() + "\" cannot be read: " + ErrorText(errno));
    }
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(handle, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
    const int error = errno;
    ::close(handle);
    if (n < 0)
        throw EMachineError("Machine file \"" + file.string() + "\" cannot be read: " + ErrorText(error));
    for (std::string_view rest = text; !rest.empty();) {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            Damaged(folder, "its last line is cut off");
        lines.emplace_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    if (lines.empty() || lines.front() != kRecordHeader)
        Damaged(folder, "it does not start with \"" + std::string(kRecordHeader) + "\"");
    if (lines.size() < 2 || lines.back() != kRecordEnd)
        Damaged(folder, "it does not end with \"" + std::string(kRecordEnd) + "\"");
    lines.pop_back();
    lines.erase(lines.begin());
    return true;
}

// The machine file that is a link leading now to path (absolute); "" for none. The
// version before named a linked machine file in its records by where its link led.
std::string MachineFileLinkingTo(TFolders& folders, const std::string& path) {
    const size_t cut = path.rfind('/');
    size_t where = 0;
    if (!folders.Open(AT_FDCWD, cut == 0 ? "/" : path.substr(0, cut), where))
        return {};
    std::vector<std::string> names;
    for (const bool sites : {false, true})
        ForEachName(folders.Handle(0), sites ? kSitesFolder : ".", [&](int, const char* name) {
            names.push_back(sites ? std::string(kSitesFolder) + "/" + name : name);
            return true;
        });
    for (const std::string& name : names) {
        TPlace place;
        if (IsMachineFileName(name) && IsLink(folders.Handle(0), name.c_str()) &&
            Follow(folders, name, name, place) == 0 && place.Folder == where && place.File == path.substr(cut + 1))
            return name;
    }
    return {};
}

// Why a temporary that a record lists may not be renamed over its file; nullptr
// when it may, or when it is gone (renamed by a run that was interrupted).
const char* RefusalOfTemporary(const TFolders& folders, const TPlace& place) {
    const int handle = folders.Handle(place.Folder);
    struct stat info {};
    if (::fstatat(handle, place.Temporary.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return nullptr;
    if (S_ISLNK(info.st_mode))
        return "is a link";
    if (!S_ISREG(info.st_mode))
        return "is not a regular file";
    if (!place.ThroughLink || info.st_uid == ::geteuid())
        return nullptr;
    // A save gives its temporary the owner of the file it replaces: a file of its
    // own, not a second name of another.
    struct stat replaced {};
    if (info.st_nlink == 1 && ::fstatat(handle, place.File.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(replaced.st_mode) && replaced.st_uid == info.st_uid)
        return nullptr;
    return "belongs to another user";
}

// The places of the files the record lists, every line checked before anything
// is renamed.
std::vector<TPlace> PlacesOfRecord(const std::filesystem::path& folder, TFolders& folders,
                                   const std::vector<std::string>& lines) {
    std::vector<TPlace> places;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = "line " + std::to_string(i + 2);
        const size_t tab = lines[i].find('\t');
        std::string temporary = lines[i].substr(0, tab);
        std::string target = tab == std::string::npos ? std::string() : lines[i].substr(tab + 1);
        if (target.starts_with('/') && IsTemporaryOf(temporary, target))
            if (std::string name = MachineFileLinkingTo(folders, target); !name.empty()) {
                temporary = name + temporary.substr(target.size());
                target = std::move(name);
            }
        if (!IsMachineFileName(target) || !IsTemporaryOf(temporary, target))
            Damaged(folder, line + " is not a temporary file and the file it replaces");
        places.push_back(PlaceOf(folder, folders, target, temporary));
        if (const char* refusal = RefusalOfTemporary(folders, places.back()))
            Damaged(folder, line + " names a temporary file that " + refusal);
    }
    return places;
}

} // namespace

TMachineCommit::~TMachineCommit() {
    try {
        TFolders folders(FFolderHandle);
        for (const auto& [temporary, target] : FFiles) {
            TPlace place;
            // A link that leads nowhere was replaced itself by the save: its
            // temporary lies beside it.
            if (Follow(folders, target, temporary, place) == 0)
                ::unlinkat(folders.Handle(place.Folder), place.Temporary.c_str(), 0);
            else
                ::unlinkat(FFolderHandle, temporary.c_str(), 0);
        }
    } catch (const std::bad_alloc&) {
    }
}

void TMachineCommit::Add(TAtomicWrites& writes) {
    writes.Sync();
    // Named relative to the folder, so that the commit follows the folder it holds
    // locked and the record names nothing but machine files. A file that is a link
    // has its temporary beside the file it links to.
    const std::string prefix = FFolder.string() + "/";
    const auto nameOf = [&](const TAtomicWrites::TWritten& file) {
        return file.Path.starts_with(prefix) ? file.Path.substr(prefix.size()) : std::string();
    };
    const std::vector<TAtomicWrites::TWritten> written = writes.TakeWritten();
    for (const TAtomicWrites::TWritten& file : written)
        if (!IsMachineFileName(nameOf(file)) || !file.Temporary.starts_with(file.Target)) {
            for (const TAtomicWrites::TWritten& each : written)
                ::unlink(each.Temporary.c_str());
            throw EMachineError("\"" + file.Path + "\" is no file of the machine folder \"" + FFolder.string() + "\"");
        }
    for (const TAtomicWrites::TWritten& file : written) {
        FFiles.emplace_back(nameOf(file) + file.Temporary.substr(file.Target.size()), nameOf(file));
        Reached(TCommitStep::csTemporary, FFiles.size());
    }
}

void TMachineCommit::Commit() {
    if (FFiles.empty())
        return;
    std::string record(kRecordHeader);
    record += '\n';
    for (const auto& [temporary, target] : FFiles)
        record.append(temporary).append("\t").append(target).append("\n");
    record.append(kRecordEnd).append("\n");
    TFolders folders(FFolderHandle);
    std::vector<TPlace> places;
    for (const auto& [temporary, target] : FFiles)
        places.push_back(PlaceOf(FFolder, folders, target, temporary));
    // The temporaries' names are on disk before the record that lists them; those
    // in the machine folder itself go with the record's own sync.
    std::vector<int> otherFolders;
    for (const TPlace& place : places)
        if (place.Folder != 0 && std::find(otherFolders.begin(), otherFolders.end(), folders.Handle(place.Folder)) ==
                                     otherFolders.end())
            otherFolders.push_back(folders.Handle(place.Folder));
    WriteRecord(FFolder, FFolderHandle, record, otherFolders);
    // From here on the temporaries belong to the record.
    FFiles.clear();
    Reached(TCommitStep::csRecord, 0);
    FinishRenames(FFolder, FFolderHandle, folders, places);
}

bool HasUnfinishedCommit(const std::filesystem::path& folder) {
    const THandle handle(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (handle.Get() < 0)
        return false;
    struct stat info {};
    bool found = ::fstatat(handle.Get(), kCommitRecordFile, &info, 0) == 0;
    if (!found)
        ForEachTemporary(handle.Get(), [&](int, const char*, int) {
            found = true;
            return false;
        });
    return found;
}

void RecoverMachineFolder(const std::filesystem::path& folder, int folderHandle) {
    std::vector<std::string> lines;
    if (ReadRecord(folder, folderHandle, lines)) {
        TFolders folders(folderHandle);
        FinishRenames(folder, folderHandle, folders, PlacesOfRecord(folder, folders, lines));
    }
    const int self = ::getpid();
    ForEachTemporary(folderHandle, [&](int handle, const char* name, int owner) {
        if (owner != self)
            ::unlinkat(handle, name, 0);
        return true;
    });
}

void WatchCommitSteps(TCommitWatch watch) { gWatch.store(watch); }

} // namespace orvex
