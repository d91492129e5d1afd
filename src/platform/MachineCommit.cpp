#include "platform/MachineCommit.h"

#include "base/AtomicFile.h"
#include "base/Workers.h"
#include "platform/MachineState.h"
#include "platform/MachineStorage.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>

#include <fcntl.h>
#include <sys/resource.h>
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
    const std::string record = (folder / kCommitRecordFile).string();
    throw EMachineError("Machine file \"" + record + "\" is damaged: " + why +
                        "; check the machine's files, then remove \"" + record +
                        "\" to open the machine as its files stand");
}

[[noreturn]] void Refused(const std::filesystem::path& file, const EUnsafePathError& unsafe) {
    throw EMachineError("Machine file \"" + file.string() + "\" is not changed: " + unsafe.what());
}

// True for the name of a temporary file of target ("<target>.tmp-<pid>-<number>").
bool IsTemporaryOf(std::string_view temporary, std::string_view target) {
    return temporary.starts_with(target) && temporary.substr(target.size()).starts_with(".tmp-") &&
           temporary.find('/', target.size()) == std::string_view::npos && TemporaryFileOwner(temporary) > 0;
}

// Why no change may reach the machine folder: the steps to it from the machines
// folder break the rule, or they lead elsewhere than the folder held locked at
// lockedHandle (it was moved or replaced since it was locked); "" when neither.
std::string RefusalOfChanges(const std::filesystem::path& folder, int lockedHandle) {
    Reached(TCommitStep::csLocked, 0);
    TSafeFolders machines(folder.parent_path().string());
    TSafePlace place;
    const std::string why = FollowToLocked(machines, folder.filename().string(), lockedHandle, place);
    return why.empty() ? why : "Machine folder \"" + folder.string() + "\" is not changed: " + why;
}

TTemporaryIdentity IdentityOf(const struct stat& file) {
    return {static_cast<uint64_t>(file.st_ino), true, static_cast<uint64_t>(file.st_size),
            static_cast<int64_t>(file.st_mtim.tv_sec) * 1'000'000'000 + file.st_mtim.tv_nsec};
}

// True when file may be the temporary of identity renamed over its place, as far
// as the identity tells.
bool IsFileOf(const TTemporaryIdentity& identity, const struct stat& file) {
    const TTemporaryIdentity found = IdentityOf(file);
    return found.Inode == identity.Inode &&
           (!identity.Stamped || (found.Size == identity.Size && found.Modified == identity.Modified));
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

// Calls visit(folder handle, name) for each temporary file of the machine's own
// files, of its record and of an install's mark (left where an install was killed
// once the machine was whole) that belongs to root or us, until it returns
// false: in the machine folder, which folders start at and the rule let us reach,
// and in its Sites folder unless that is reached through a link, as another
// machine's record may list what lies there.
template <class TVisit>
void ForEachTemporary(TSafeFolders& folders, TVisit visit) {
    std::vector<size_t> places = {0};
    try {
        TSafePlace sites;
        if (folders.Follow(kSitesFolder, sites) == 0 && sites.Inside != TSafePlace::kNone && !sites.ThroughLink)
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
            struct stat info {};
            if (::fstatat(handle, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
                !IsTrustedOwner(info.st_uid))
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
    const std::string temporary = WriteTemporaryFileAt(handle, kCommitRecordFile, nullptr, text, file.string()).Name;
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

// Reads the lines between the record's first and last, each ended by '\n', into
// lines; false when there is no record.
bool ReadRecord(const std::filesystem::path& folder, const TSafeFolders& folders, std::string& lines) {
    const std::filesystem::path file = folder / kCommitRecordFile;
    std::string text, why;
    struct stat info {};
    if (const int error =
            ReadRegularFileAt(folders.Handle(0), kCommitRecordFile, kMostMachineTextBytes, text, why, O_NOFOLLOW, &info)) {
        if (error == ENOENT)
            return false;
        if (error == ELOOP)
            Damaged(folder, "it is a link");
        if (error == EINVAL || error == EFBIG)
            Damaged(folder, why);
        throw EMachineError("Machine file \"" + file.string() + "\" cannot be read: " + why);
    }
    try {
        CheckOwner(info, file.string());
    } catch (const EUnsafePathError& e) {
        Refused(file, e);
    }
    const std::string head = std::string(kRecordHeader) + "\n", end = "\n" + std::string(kRecordEnd) + "\n";
    if (!text.empty() && !text.ends_with('\n'))
        Damaged(folder, "its last line is cut off");
    if (!text.starts_with(head))
        Damaged(folder, "it does not start with \"" + std::string(kRecordHeader) + "\"");
    if (!text.ends_with(end) || text.size() < head.size() + end.size() - 1)
        Damaged(folder, "it does not end with \"" + std::string(kRecordEnd) + "\"");
    lines = text.substr(head.size(), text.size() - head.size() - (end.size() - 1));
    return true;
}

// The machine files that are links, by where each leads now: the folder's device
// and inode and the name there. The version before named a linked machine file in
// its records by where its link led.
using TLinkedMachineFiles = std::map<std::tuple<dev_t, ino_t, std::string>, std::string>;

TLinkedMachineFiles LinkedMachineFiles(TSafeFolders& folders) {
    std::vector<std::string> names;
    ForEachNameIn(folders.Handle(0), [&](const std::string& name) {
        names.push_back(name);
        return true;
    });
    try {
        TSafePlace sites;
        if (folders.Follow(kSitesFolder, sites) == 0 && sites.Inside != TSafePlace::kNone)
            ForEachNameIn(folders.Handle(sites.Inside), [&](const std::string& name) {
                names.push_back(std::string(kSitesFolder) + "/" + name);
                return true;
            });
    } catch (const EUnsafePathError&) {
    }
    TLinkedMachineFiles linked;
    for (const std::string& name : names) {
        struct stat info {};
        TSafePlace place;
        if (!IsMachineFileName(name) || ::fstatat(folders.Handle(0), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISLNK(info.st_mode))
            continue;
        try {  // a link the rule refuses leads nowhere a record may name
            if (folders.Follow(name, place) == 0) {
                const struct stat& where = folders.Status(place.Folder);
                linked.emplace(std::tuple(where.st_dev, where.st_ino, place.Name), name);
            }
        } catch (const EUnsafePathError&) {
        }
    }
    return linked;
}

// The machine file that is a link leading now to path (absolute); "" for none.
std::string MachineFileLinkingTo(const TLinkedMachineFiles& linked, const std::string& path) {
    const size_t cut = path.rfind('/');
    struct stat where {};
    if (::stat(cut == 0 ? "/" : path.substr(0, cut).c_str(), &where) != 0)
        return {};
    const auto found = linked.find(std::tuple(where.st_dev, where.st_ino, path.substr(cut + 1)));
    return found == linked.end() ? std::string() : found->second;
}

// Whether a temporary that a record lists is there to be renamed: false when the
// process that wrote the record renamed it (its file is the one written, or the
// line, of a version before, does not say which that was). Raises when it may not
// be renamed over its file, or when it is lost: gone, and its file not the one written.
bool IsToBeRenamed(const std::filesystem::path& folder, const TSafeFolders& folders, const TSafePlace& place,
                   const TMachineRename& rename, const std::string& line) {
    const TFileHandle entry(::openat(folders.Handle(place.Folder), rename.Temporary.c_str(),
                                     O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    const std::string shown = folders.Shown(place.Folder) + "/" + rename.Temporary;
    if (entry.Get() < 0 || ::fstat(entry.Get(), &info) != 0) {
        if (errno != ENOENT)
            throw EMachineError("Machine file \"" + (folder / rename.Name).string() + "\" cannot be read: " +
                                ErrorText(errno));
        if (rename.Identity.Inode && !(place.Exists && IsFileOf(rename.Identity, place.Status)))
            Damaged(folder, line + " names a temporary file that is lost: \"" + shown + "\" is gone, and \"" +
                                (folder / rename.Name).string() + "\" is not the file it held");
        return false;
    }
    if (S_ISLNK(info.st_mode))
        Damaged(folder, line + " names a temporary file that is a link");
    if (!S_ISREG(info.st_mode))
        Damaged(folder, line + " names a temporary file that is not a regular file");
    try {
        CheckOwner(info, shown);
    } catch (const EUnsafePathError& e) {
        Refused(shown, e);
    }
    return true;
}

// The renames the record lists, every line checked before anything is renamed;
// those whose temporary is gone already are not pending. A line holds the
// temporary, the file it replaces and the temporary's inode, size and
// modification time; earlier versions wrote the inode alone, or none of them.
std::vector<TMachineRename> RenamesOfRecord(const std::filesystem::path& folder, TSafeFolders& folders,
                                            std::string_view lines) {
    std::vector<TMachineRename> renames;
    std::optional<TLinkedMachineFiles> linked;  // found at the first line that needs them
    for (size_t number = 2; !lines.empty(); ++number) {
        const std::string_view text = lines.substr(0, lines.find('\n'));
        lines.remove_prefix(text.size() + 1);
        const std::string line = "line " + std::to_string(number);
        std::vector<std::string_view> fields;
        for (size_t start = 0, tab = 0; tab != std::string_view::npos; start = tab + 1) {
            tab = text.find('\t', start);
            fields.push_back(text.substr(start, tab - start));
        }
        std::string temporary(fields[0]), target(fields.size() > 1 ? fields[1] : std::string_view());
        TTemporaryIdentity identity;
        const auto read = [&](size_t field, auto& value) {
            const std::string_view digits = fields[field];
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
            return error == std::errc() && end == digits.data() + digits.size();
        };
        if (fields.size() > 2) {
            identity.Stamped = fields.size() == 5;
            if (!(fields.size() == 3 || identity.Stamped) || !read(2, identity.Inode) || identity.Inode == 0 ||
                (identity.Stamped && !(read(3, identity.Size) && read(4, identity.Modified))))
                Damaged(folder,
                        line + " does not end with the inode, size and modification time of its temporary file");
        }
        if (target.starts_with('/') && IsTemporaryOf(temporary, target)) {
            if (!linked)
                linked = LinkedMachineFiles(folders);
            if (std::string name = MachineFileLinkingTo(*linked, target); !name.empty()) {
                temporary = name + temporary.substr(target.size());
                target = std::move(name);
            }
        }
        if (!IsMachineFileName(target) || !IsTemporaryOf(temporary, target))
            Damaged(folder, line + " is not a temporary file and the file it replaces");
        const TSafePlace place = FollowMachineFile(folder, folders, target);
        TMachineRename rename{target, place.Folder, place.Name, place.Name + temporary.substr(target.size()), identity};
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
    : FFolder(std::move(folder)), FFolderHandle(folderHandle) {
    // A few temporaries per processor on their way to the disk at once, each waited
    // for once later ones are written: the disk works alongside the writers instead
    // of taking every file at the commit (a quarter slower at 1,000 sites), and
    // never more than a quarter of the handles the process may open.
    FMostHeld = 2 * UsableProcessors();
    if (rlimit handles{}; ::getrlimit(RLIMIT_NOFILE, &handles) == 0 && handles.rlim_cur != RLIM_INFINITY)
        FMostHeld = std::min(FMostHeld, static_cast<size_t>(handles.rlim_cur / 4));
}

TMachineCommit::~TMachineCommit() {
    for (const TMachineRename& rename : FRenames)
        ::unlinkat(FFolders->Handle(rename.Folder), rename.Temporary.c_str(), 0);
}

TSafeFolders& TMachineCommit::Folders() {
    if (!FFolders) {
        if (const std::string refusal = RefusalOfChanges(FFolder, FFolderHandle); !refusal.empty())
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

void TMachineCommit::CheckFolder() {
    const std::lock_guard lock(FMutex);
    Folders();
}

void TMachineCommit::Prepare(const std::vector<std::string>& names) {
    const std::lock_guard lock(FMutex);
    for (const std::string& name : names)
        PlaceOf(name);
}

void TMachineCommit::Write(const std::string& name, std::string_view bytes) {
    TSafePlace place;
    int handle = -1;
    {
        const std::lock_guard lock(FMutex);
        place = PlaceOf(name);
        handle = FFolders->Handle(place.Folder);
    }
    if (place.Exists && FileHolds(handle, place.Name, bytes))
        return;  // a restore onto the machine its backup came from rewrites every site with what it holds
    TWrittenTemporary temporary = WriteTemporaryFileAt(handle, place.Name, place.Exists ? &place.Status : nullptr,
                                                       bytes, (FFolder / name).string(), false);
    TFileHandle oldest;
    std::string oldestName;
    {
        const std::lock_guard lock(FMutex);
        FRenames.push_back({name, place.Folder, place.Name, std::move(temporary.Name), IdentityOf(temporary.Status)});
        FWritten.push_back(std::move(temporary.Handle));
        if (FWritten.size() - FFirstHeld > FMostHeld) {
            oldestName = FRenames[FFirstHeld].Name;
            oldest = std::move(FWritten[FFirstHeld++]);
        }
        Reached(TCommitStep::csTemporary, FRenames.size());
    }
    // Written back long since, as later files were made: the wait is short.
    if (oldest.Get() >= 0 && ::fsync(oldest.Get()) != 0)
        CannotWrite(FFolder / oldestName, errno);
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
            .append("\t")
            .append(std::to_string(rename.Identity.Inode))
            .append("\t")
            .append(std::to_string(rename.Identity.Size))
            .append("\t")
            .append(std::to_string(rename.Identity.Modified))
            .append("\n");
    record.append(kRecordEnd).append("\n");
    // The temporaries are on disk before the record that lists them: each started
    // on its way when written, all waited for here on several threads. Their names
    // beyond the machine folder are made durable before the record too, those in
    // it with the record's own sync.
    RunEachOnWorkers(FWritten.size() - FFirstHeld, [&](size_t i) {
        if (::fsync(FWritten[FFirstHeld + i].Get()) != 0)
            CannotWrite(FFolder / FRenames[FFirstHeld + i].Name, errno);
    });
    FWritten.clear();
    FFirstHeld = 0;
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
    TSafeFolders folders(folder.string());
    if (folders.StartError())
        return false;  // one that may not be read is refused by its reader
    struct stat info {};
    bool found = ::fstatat(folders.Handle(0), kCommitRecordFile, &info, 0) == 0;
    if (!found) {
        ForEachTemporary(folders, [&](int, const std::string&) {
            found = true;
            return false;
        });
    }
    return found;
}

void RecoverMachineFolder(const std::filesystem::path& folder, int folderHandle) {
    if (const std::string refusal = RefusalOfChanges(folder, folderHandle); !refusal.empty())
        throw EMachineError(refusal);
    TSafeFolders folders(folderHandle, folder.string());
    std::string lines;
    if (ReadRecord(folder, folders, lines)) {
        const std::vector<TMachineRename> renames = RenamesOfRecord(folder, folders, lines);
        Reached(TCommitStep::csChecked, 0);
        FinishRenames(folder, folders, renames);
    }
    // Only what a killed change left: a living process may be writing its own.
    ForEachTemporary(folders, [&](int handle, const std::string& name) {
        if (IsStaleTemporary(name))
            ::unlinkat(handle, name.c_str(), 0);
        return true;
    });
}

void WatchCommitSteps(TCommitWatch watch) { gWatch.store(watch); }

} // namespace orvex
