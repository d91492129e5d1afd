#include "platform/MachineCommit.h"

#include "base/AtomicFile.h"
#include "platform/MachineState.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <map>
#include <random>
#include <set>
#include <string_view>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvex {

namespace {

constexpr std::string_view kRecordHeader = "Orvex machine commit";
constexpr std::string_view kRecordEnd = "end";
// The folders below the machine folder that hold files of a commit.
const char* const kSubfolders[] = {"Sites"};

std::atomic<TCommitWatch> gWatch{nullptr};

void Reached(TCommitStep step, size_t count) {
    if (const TCommitWatch watch = gWatch.load())
        watch(step, count);
}

std::string ErrorText(int error) { return std::generic_category().message(error); }

[[noreturn]] void CannotWrite(const std::filesystem::path& file, int error) {
    throw EMachineError("Cannot create file \"" + file.string() + "\". " + ErrorText(error));
}

// The folder of a name relative to the machine folder ("" for the folder itself).
std::string FolderOf(const std::string& name) {
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash);
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

// Where a machine file and its temporary are: relative to the machine folder, or,
// for a machine file that is a link, beside the file it links to (where the save
// followed it).
struct TPlace {
    int Handle;
    std::string Temporary;
    std::string Target;
};

TPlace PlaceOf(int folderHandle, const std::string& temporary, const std::string& target) {
    struct stat info {};
    if (::fstatat(folderHandle, target.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        const std::string link = "/proc/self/fd/" + std::to_string(folderHandle) + "/" + target;
        if (::realpath(link.c_str(), resolved))
            return {AT_FDCWD, resolved + temporary.substr(target.size()), resolved};
    }
    return {folderHandle, temporary, target};
}

// A folder that a commit renames in or out of: a handle and a name relative to it.
using TFolder = std::pair<int, std::string>;

TFolder FolderOf(const TPlace& place, const std::string& name) {
    if (place.Handle == AT_FDCWD)
        return {AT_FDCWD, std::filesystem::path(name).parent_path().string()};
    return {place.Handle, FolderOf(name)};
}

// Writes the record under a temporary name and renames it into place, each made
// durable: the record is there whole or not at all. The subfolders holding the
// temporaries it lists are synced between the two, where a journalling file
// system has nothing left to write for them.
void WriteRecord(const std::filesystem::path& folder, int folderHandle, const std::string& text,
                 const std::set<TFolder>& subfolders) {
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
    for (auto sub = subfolders.begin(); !error && sub != subfolders.end(); ++sub)
        error = SyncFolder(sub->first, sub->second);
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
void FinishRenames(const std::filesystem::path& folder, int folderHandle,
                   const std::vector<std::pair<std::string, std::string>>& files) {
    // Each folder renamed into, with the first file renamed there.
    std::map<TFolder, std::string> folders;
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& [temporary, target] = files[i];
        const TPlace place = PlaceOf(folderHandle, temporary, target);
        if (::renameat(place.Handle, place.Temporary.c_str(), place.Handle, place.Target.c_str()) != 0 &&
            errno != ENOENT)
            CannotWrite(folder / target, errno);
        folders.emplace(FolderOf(place, place.Target), target);
        Reached(TCommitStep::csRename, i + 1);
    }
    // Until the renames are on disk the record stays, for the next recovery.
    for (const auto& [where, target] : folders)
        if (const int error = SyncFolder(where.first, where.second))
            CannotWrite(folder / target, error);
    // Not synced: a record that comes back after a crash finds its temporaries
    // gone and its files in place.
    if (::unlinkat(folderHandle, kCommitRecordFile, 0) != 0 && errno != ENOENT)
        CannotWrite(folder / kCommitRecordFile, errno);
    Reached(TCommitStep::csDone, 0);
}

// A machine file's name, relative to the machine folder: a file of the folder
// itself or of one of its subfolders, and not the record.
bool IsMachineFileName(std::string_view name) {
    const size_t slash = name.find('/');
    const std::string_view file = slash == std::string_view::npos ? name : name.substr(slash + 1);
    if (file.empty() || file == "." || file == ".." || file.find('/') != std::string_view::npos ||
        file == kCommitRecordFile)
        return false;
    return slash == std::string_view::npos ||
           std::find(std::begin(kSubfolders), std::end(kSubfolders), name.substr(0, slash)) != std::end(kSubfolders);
}

// True for the name of a temporary file of target ("<target>.tmp-<pid>-<number>").
bool IsTemporaryOf(std::string_view temporary, std::string_view target) {
    return temporary.starts_with(target) && temporary.substr(target.size()).starts_with(".tmp-") &&
           temporary.find('/', target.size()) == std::string_view::npos && TemporaryFileOwner(temporary) > 0;
}

// Reads the files the record lists; false when there is no record.
bool ReadRecord(const std::filesystem::path& folder, int folderHandle,
                std::vector<std::pair<std::string, std::string>>& files) {
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
    const auto damaged = [&](const std::string& why) {
        return EMachineError("Machine file \"" + file.string() + "\" is damaged: " + why);
    };
    std::vector<std::string_view> lines;
    for (std::string_view rest = text; !rest.empty();) {
        const size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            throw damaged("its last line is cut off");
        lines.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    if (lines.empty() || lines.front() != kRecordHeader)
        throw damaged("it does not start with \"" + std::string(kRecordHeader) + "\"");
    if (lines.size() < 2 || lines.back() != kRecordEnd)
        throw damaged("it does not end with \"" + std::string(kRecordEnd) + "\"");
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const size_t tab = line.find('\t');
        const std::string_view temporary = line.substr(0, tab);
        const std::string_view target = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
        if (!IsMachineFileName(target) || !IsTemporaryOf(temporary, target))
            throw damaged("line " + std::to_string(i + 1) + " is not a temporary file and the file it replaces");
        files.emplace_back(temporary, target);
    }
    return true;
}

// Removes the temporary files of other processes in one folder of the machine.
void RemoveTemporaries(int folderHandle, const std::string& name) {
    const int handle = ::openat(folderHandle, name.empty() ? "." : name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return;
    DIR* directory = ::fdopendir(handle);
    if (!directory) {
        ::close(handle);
        return;
    }
    const int self = ::getpid();
    while (const dirent* entry = ::readdir(directory))
        if (const int owner = TemporaryFileOwner(entry->d_name); owner > 0 && owner != self)
            ::unlinkat(::dirfd(directory), entry->d_name, 0);
    ::closedir(directory);
}

bool HoldsTemporaries(const std::filesystem::path& folder) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(directory))
        if (TemporaryFileOwner(entry->d_name) > 0) {
            found = true;
            break;
        }
    ::closedir(directory);
    return found;
}

} // namespace

TMachineCommit::~TMachineCommit() {
    for (const auto& [temporary, target] : FFiles) {
        const TPlace place = PlaceOf(FFolderHandle, temporary, target);
        ::unlinkat(place.Handle, place.Temporary.c_str(), 0);
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
    // The temporaries' names are on disk before the record that lists them; those
    // in the machine folder itself go with the record's own sync.
    std::set<TFolder> subfolders;
    for (const auto& [temporary, target] : FFiles) {
        const TPlace place = PlaceOf(FFolderHandle, temporary, target);
        if (TFolder folder = FolderOf(place, place.Temporary); folder != TFolder(FFolderHandle, ""))
            subfolders.insert(std::move(folder));
    }
    WriteRecord(FFolder, FFolderHandle, record, subfolders);
    // From here on the temporaries belong to the record.
    const std::vector<std::pair<std::string, std::string>> files = std::move(FFiles);
    FFiles.clear();
    Reached(TCommitStep::csRecord, 0);
    FinishRenames(FFolder, FFolderHandle, files);
}

bool HasUnfinishedCommit(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::exists(folder / kCommitRecordFile, error) || HoldsTemporaries(folder))
        return true;
    for (const char* name : kSubfolders)
        if (HoldsTemporaries(folder / name))
            return true;
    return false;
}

void RecoverMachineFolder(const std::filesystem::path& folder, int folderHandle) {
    std::vector<std::pair<std::string, std::string>> files;
    if (ReadRecord(folder, folderHandle, files))
        FinishRenames(folder, folderHandle, files);
    RemoveTemporaries(folderHandle, "");
    for (const char* name : kSubfolders)
        RemoveTemporaries(folderHandle, name);
}

void WatchCommitSteps(TCommitWatch watch) { gWatch.store(watch); }

} // namespace orvex
