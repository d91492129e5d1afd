#include "platform/MachineCommit.h"

#include "base/AtomicFile.h"
#include "base/Workers.h"
#include "platform/MachineState.h"
#include "platform/MachineStorage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string_view>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

namespace {

constexpr std::string_view kRecordHeader = "Orvex machine commit";
constexpr std::string_view kRecordEnd = "end";

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

[[noreturn]] void Refused(const std::filesystem::path& file, const EUnsafePathError& unsafe) {
    throw EMachineError("Machine file \"" + file.string() + "\" is not changed: " + unsafe.what());
}

// True for the name of a temporary file of target ("<target>.tmp-<pid>-<number>").
bool IsTemporaryOf(std::string_view temporary, std::string_view target) {
    return temporary.starts_with(target) && temporary.substr(target.size()).starts_with(".tmp-") &&
           temporary.find('/', target.size()) == std::string_view::npos && TemporaryFileOwner(temporary) > 0;
}

// True when a temporary file (info) belongs to us, or is a file of its own that
// belongs to the user a save gives it: the owner of the file it replaces
// (replaced; nullptr when there is none), else of its folder.
bool BelongsToASave(const struct stat& info, const struct stat* replaced, const struct stat& folder) {
    return info.st_uid == ::geteuid() ||
           (info.st_nlink == 1 && info.st_uid == (replaced ? replaced->st_uid : folder.st_uid));
}

// Why no change may reach the machine folder from the machines folder (the steps
// to it, through its links); "" when they keep to the rule or it is not there.
std::string RefusalOfStepsTo(const std::filesystem::path& folder) {
    TSafeFolders steps(folder.parent_path().string());
    TSafePlace place;
    if (steps.StartError())
        return {};
    try {
        steps.Follow(folder.filename().string(), place);
    } catch (const EUnsafePathError& e) {
        return "Machine folder \"" + folder.string() + "\" is not changed: " + e.what();
    }
    return {};
}

// True when the regular file name in the folder at handle holds exactly bytes.
bool FileHolds(int handle, const std::string& name, std::string_view bytes) {
    const TFileHandle file(::openat(handle, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<size_t>(info.st_size) != bytes.size())
        return false;
    std::string held(bytes.size(), '\0');
    size_t done = 0;
    while (done < held.size()) {
        const ssize_t n = ::read(file.Get(), held.data() + done, held.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return held == bytes;
}

// Calls visit(folder handle, name) for each temporary file of the
// machine's own files, of its record and of an install's mark (left where an
// install in place was killed once the machine was whole) that the rule lets us
// reach and that belongs to a save (BelongsToASave), until it returns false: a
// folder that Sites leads to may hold other users' and programs' files.
template <class TVisit>
void ForEachTemporary(TSafeFolders& folders, TVisit visit) {
    std::vector<size_t> places = {0};
    TSafePlace sites;
    try {
        if (folders.Follow(kSitesFolder, sites) == 0 && sites.Inside != TSafePlace::kNone)
            places.push_back(sites.Inside);
    } catch (const EUnsafePathError&) {
    }
    bool goOn = true;
    for (const size_t place : places) {
        const int handle = folders.Handle(place);
        ForEachNameIn(handle, [&](const std::string& name) {
            if (TemporaryFileOwner(name) <= 0)
                return true;
            const std::string file = name.substr(0, name.rfind(".tmp-"));
            if (!(place == 0 ? IsMachineFileName(file) || file == kCommitRecordFile || file == kInstallMarkFile
                             : IsMachineFileName(std::string(kSitesFolder) + "/" + file)))
                return true;
            struct stat info {}, replaced {};
            const bool replaces = ::fstatat(handle, file.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0;
            if (::fstatat(handle, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
                IsUnsafeTransition(folders.Status(place), info) ||
                !BelongsToASave(info, replaces ? &replaced : nullptr, folders.Status(place)))
                return true;
            goOn = visit(handle, name);
            return goOn;
        });
        if (!goOn)
            return;
    }
}

// Writes the record under a temporary name and renames it into place, each made
// durable: the record is there whole or not at all. The other folders holding the
// temporaries it lists are synced between the two, where a journalling file
// system has nothing left to write for them.
void WriteRecord(const std::filesystem::path& folder, const TSafeFolders& folders, const std::string& text,
                 const std::vector<int>& otherFolders) {
    const std::filesystem::path file = folder / kCommitRecordFile;
    const int handle = folders.Handle(0);
    const std::string temporary =
        WriteTemporaryFileAt(handle, folders.Status(0), kCommitRecordFile, nullptr, text, file.string());
    int error = 0;
    for (auto other = otherFolders.begin(); !error && other != otherFolders.end(); ++other)
        error = SyncFolder(*other, "");
    if (!error && ::renameat(handle, temporary.c_str(), handle, kCommitRecordFile) != 0)
        error = errno;
    if (error) {
        ::unlinkat(handle, temporary.c_str(), 0);
        CannotWrite(file, error);
    }
    // A record not known to be on disk is no commit: it goes, and nothing happened.
    if (const int synced = SyncFolder(handle, "")) {
        ::unlinkat(handle, kCommitRecordFile, 0);
        CannotWrite(file, synced);
    }
}

// Renames each pending temporary over its file, in order, then makes the renames
// durable and removes the record. A pending temporary that is gone is a failure:
// the change it held is lost.
void FinishRenames(const std::filesystem::path& folder, const TSafeFolders& folders,
                   const std::vector<TMachineRename>& renames) {
    // Each folder renamed into, with the first file renamed there.
    std::map<size_t, std::string> renamedInto;
    for (size_t i = 0; i < renames.size(); ++i) {
        const TMachineRename& rename = renames[i];
        if (rename.Pending) {
            const int handle = folders.Handle(rename.Folder);
            if (::renameat(handle, rename.Temporary.c_str(), handle, rename.File.c_str()) != 0)
                CannotWrite(folder / rename.Name, errno);
            renamedInto.emplace(rename.Folder, rename.Name);
        }
        Reached(TCommitStep::csRename, i + 1);
    }
    // Until the renames are on disk the record stays, for the next recovery.
    for (const auto& [where, name] : renamedInto)
        if (const int error = SyncFolder(folders.Handle(where), ""))
            CannotWrite(folder / name, error);
    // Not synced: a record that comes back after a crash finds its temporaries
    // gone and its files in place.
    if (::unlinkat(folders.Handle(0), kCommitRecordFile, 0) != 0 && errno != ENOENT)
        CannotWrite(folder / kCommitRecordFile, errno);
    Reached(TCommitStep::csDone, 0);
}

// Reads the lines between the record's first and last; false when there is none.
bool ReadRecord(const std::filesystem::path& folder, const TSafeFolders& folders, std::vector<std::string>& lines) {
    const std::filesystem::path file = folder / kCommitRecordFile;
    const TFileHandle handle(
        ::openat(folders.Handle(0), kCommitRecordFile, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (handle.Get() < 0) {
        if (errno == ENOENT)
            return false;
        if (errno == ELOOP)
            Damaged(folder, "it is a link");
        throw EMachineError("Machine file \"" + file.string() + "\" cannot be read: " + ErrorText(errno));
    }
    if (::fstat(handle.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        Damaged(folder, "it is not a regular file");
    try {
        CheckTransition(folders.Status(0), folders.Shown(0), info, file.string());
    } catch (const EUnsafePathError& e) {
        Refused(file, e);
    }
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(handle.Get(), buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0)
            text.append(buffer, static_cast<size_t>(n));
    if (n < 0)
        throw EMachineError("Machine file \"" + file.string() + "\" cannot be read: " + ErrorText(errno));
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
std::string MachineFileLinkingTo(TSafeFolders& folders, const std::string& path) {
    const size_t cut = path.rfind('/');
    struct stat where {};
    if (::stat(cut == 0 ? "/" : path.substr(0, cut).c_str(), &where) != 0)
        return {};
    std::vector<std::string> names;
    ForEachNameIn(folders.Handle(0), [&](const std::string& name) {
        names.push_back(name);
        return true;
    });
    TSafePlace sites;
    if (folders.FollowToRead(kSitesFolder, sites) == 0 && sites.Inside != TSafePlace::kNone)
        ForEachNameIn(folders.Handle(sites.Inside), [&](const std::string& name) {
            names.push_back(std::string(kSitesFolder) + "/" + name);
            return true;
        });
    // Found as a read follows links; the rule then applies to the file found.
    for (const std::string& name : names) {
        struct stat info {};
        TSafePlace place;
        if (IsMachineFileName(name) && ::fstatat(folders.Handle(0), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(info.st_mode) && folders.FollowToRead(name, place) == 0 &&
            folders.Status(place.Folder).st_dev == where.st_dev && folders.Status(place.Folder).st_ino == where.st_ino &&
            place.Name == path.substr(cut + 1))
            return name;
    }
    return {};
}

// Whether a temporary that a record lists is there to be renamed: false when it is
// gone (the process that wrote the record renamed it). Raises when it may not be
// renamed over its file.
bool IsToBeRenamed(const std::filesystem::path& folder, const TSafeFolders& folders, const TSafePlace& place,
                   const TMachineRename& rename, const std::string& line) {
    const TFileHandle entry(::openat(folders.Handle(place.Folder), rename.Temporary.c_str(),
                                     O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (entry.Get() < 0 || ::fstat(entry.Get(), &info) != 0) {
        if (errno == ENOENT)
            return false;
        throw EMachineError("Machine file \"" + (folder / rename.Name).string() + "\" cannot be read: " +
                            ErrorText(errno));
    }
    if (S_ISLNK(info.st_mode))
        Damaged(folder, line + " names a temporary file that is a link");
    if (!S_ISREG(info.st_mode))
        Damaged(folder, line + " names a temporary file that is not a regular file");
    const std::string shown = folders.Shown(place.Folder) + "/" + rename.Temporary;
    try {
        CheckTransition(folders.Status(place.Folder), folders.Shown(place.Folder), info, shown);
    } catch (const EUnsafePathError& e) {
        Refused(shown, e);
    }
    if (!BelongsToASave(info, place.Exists ? &place.Status : nullptr, folders.Status(place.Folder)))
        Damaged(folder, line + " names a temporary file that belongs to another user");
    return true;
}

// The renames the record lists, every line checked before anything is renamed;
// those whose temporary is gone already are not pending.
std::vector<TMachineRename> RenamesOfRecord(const std::filesystem::path& folder, TSafeFolders& folders,
                                            const std::vector<std::string>& lines) {
    std::vector<TMachineRename> renames;
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
        const TSafePlace place = FollowMachineFile(folder, folders, target);
        TMachineRename rename{target, place.Folder, place.Name, place.Name + temporary.substr(target.size())};
        rename.Pending = IsToBeRenamed(folder, folders, place, rename, line);
        renames.push_back(std::move(rename));
    }
    return renames;
}

} // namespace

TSafePlace FollowMachineFile(const std::filesystem::path& folder, TSafeFolders& folders, const std::string& name) {
    TSafePlace place;
    int error = 0;
    try {
        error = folders.Follow(name, place);
    } catch (const EUnsafePathError& e) {
        Refused(folder / name, e);
    }
    if (error)
        throw EMachineError("Machine file \"" + (folder / name).string() +
                            (place.ThroughLink ? "\" is a link that cannot be followed: " : "\" cannot be read: ") +
                            ErrorText(error));
    return place;
}

TMachineCommit::TMachineCommit(std::filesystem::path folder, int folderHandle)
    : FFolder(std::move(folder)), FFolderHandle(folderHandle) {}

TMachineCommit::~TMachineCommit() {
    for (const TMachineRename& rename : FRenames)
        ::unlinkat(FFolders->Handle(rename.Folder), rename.Temporary.c_str(), 0);
}

TSafeFolders& TMachineCommit::Folders() {
    if (!FFolders) {
        if (const std::string refusal = RefusalOfStepsTo(FFolder); !refusal.empty())
            throw EMachineError(refusal);
        FFolders.emplace(FFolderHandle, FFolder.string());
    }
    return *FFolders;
}

TSafePlace TMachineCommit::PlaceOf(const std::string& name) {
    if (const auto found = FPlaces.find(name); found != FPlaces.end())
        return found->second;
    if (!IsMachineFileName(name))
        throw EMachineError("\"" + (FFolder / name).string() + "\" is no file of the machine folder \"" +
                            FFolder.string() + "\"");
    TSafeFolders& folders = Folders();
    if (!FSitesMade && name.starts_with(std::string(kSitesFolder) + "/")) {
        TSafePlace sites;
        try {
            if (const int error = folders.MakeFolder(0, kSitesFolder, sites))
                CannotWrite(FFolder / name, error);
        } catch (const EUnsafePathError& e) {
            Refused(FFolder / name, e);
        }
        FSitesMade = true;
    }
    return FPlaces.emplace(name, FollowMachineFile(FFolder, folders, name)).first->second;
}

void TMachineCommit::Prepare(const std::vector<std::string>& names) {
    const std::lock_guard lock(FMutex);
    for (const std::string& name : names)
        PlaceOf(name);
}

void TMachineCommit::Write(const std::string& name, std::string_view bytes) {
    TSafePlace place;
    int handle = -1;
    struct stat folder {};
    {
        const std::lock_guard lock(FMutex);
        place = PlaceOf(name);
        handle = FFolders->Handle(place.Folder);
        folder = FFolders->Status(place.Folder);
    }
    if (place.Exists && FileHolds(handle, place.Name, bytes))
        return;  // a restore onto the machine its backup came from rewrites every site with what it holds
    // On its way to the disk while the next file is made; the commit waits for it.
    std::string temporary = WriteTemporaryFileAt(handle, folder, place.Name, place.Exists ? &place.Status : nullptr,
                                                 bytes, (FFolder / name).string(), false);
    const std::lock_guard lock(FMutex);
    FRenames.push_back({name, place.Folder, place.Name, std::move(temporary)});
    Reached(TCommitStep::csTemporary, FRenames.size());
}

void TMachineCommit::Commit() {
    if (FRenames.empty())
        return;
    std::string record(kRecordHeader);
    record += '\n';
    for (const TMachineRename& rename : FRenames)
        record.append(rename.Name + rename.Temporary.substr(rename.File.size()))
            .append("\t")
            .append(rename.Name)
            .append("\n");
    record.append(kRecordEnd).append("\n");
    // The temporaries are on disk before the record that lists them, each waited
    // for on a thread of its own; their names too, those in the machine folder
    // itself with the record's own sync.
    RunEachOnWorkers(FRenames.size(), [&](size_t i) {
        if (const int error = SyncFileAt(FFolders->Handle(FRenames[i].Folder), FRenames[i].Temporary))
            CannotWrite(FFolder / FRenames[i].Name, error);
    });
    std::vector<int> otherFolders;
    for (const TMachineRename& rename : FRenames)
        if (const int handle = FFolders->Handle(rename.Folder);
            rename.Folder != 0 && std::find(otherFolders.begin(), otherFolders.end(), handle) == otherFolders.end())
            otherFolders.push_back(handle);
    WriteRecord(FFolder, *FFolders, record, otherFolders);
    // From here on the temporaries belong to the record.
    const std::vector<TMachineRename> renames = std::move(FRenames);
    FRenames.clear();
    Reached(TCommitStep::csRecord, 0);
    FinishRenames(FFolder, *FFolders, renames);
}

bool HasUnfinishedCommit(const std::filesystem::path& folder) {
    const TFileHandle handle(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (handle.Get() < 0)
        return false;
    struct stat info {};
    bool found = ::fstatat(handle.Get(), kCommitRecordFile, &info, 0) == 0;
    if (!found) {
        TSafeFolders folders(handle.Get(), folder.string());
        ForEachTemporary(folders, [&](int, const std::string&) {
            found = true;
            return false;
        });
    }
    return found;
}

void RecoverMachineFolder(const std::filesystem::path& folder, int folderHandle) {
    TSafeFolders folders(folderHandle, folder.string());
    const std::string refusal = RefusalOfStepsTo(folder);
    std::vector<std::string> lines;
    if (ReadRecord(folder, folders, lines)) {
        if (!refusal.empty())
            throw EMachineError(refusal);
        const std::vector<TMachineRename> renames = RenamesOfRecord(folder, folders, lines);
        Reached(TCommitStep::csChecked, 0);
        FinishRenames(folder, folders, renames);
    }
    // Only what a killed change left: a living process may be writing its own.
    if (!refusal.empty())
        return;
    ForEachTemporary(folders, [&](int handle, const std::string& name) {
        if (IsStaleTemporary(name))
            ::unlinkat(handle, name.c_str(), 0);
        return true;
    });
}

void WatchCommitSteps(TCommitWatch watch) { gWatch.store(watch); }

} // namespace orvex
