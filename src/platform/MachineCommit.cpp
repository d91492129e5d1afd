#include "platform/MachineCommit.h"

#include "base/AtomicFile.h"
#include "platform/MachineState.h"

#include <atomic>
#include <cerrno>
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

void SyncFolder(int folderHandle, const std::string& name) {
    const int handle = name.empty() ? folderHandle : ::openat(folderHandle, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return;
    ::fsync(handle);
    if (handle != folderHandle)
        ::close(handle);
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

// Writes the record under a temporary name and renames it into place, each made
// durable: the record is there whole or not at all. The subfolders holding the
// temporaries it lists are synced between the two, where a journalling file
// system has nothing left to write for them.
void WriteRecord(const std::filesystem::path& folder, int folderHandle, const std::string& text,
                 const std::set<std::string>& subfolders) {
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
    if (!error)
        for (const std::string& name : subfolders)
            SyncFolder(folderHandle, name);
    if (!error && ::renameat(folderHandle, temporary.c_str(), folderHandle, kCommitRecordFile) != 0)
        error = errno;
    if (error) {
        ::unlinkat(folderHandle, temporary.c_str(), 0);
        CannotWrite(folder / kCommitRecordFile, error);
    }
    SyncFolder(folderHandle, "");
}

// Renames each temporary over its file, in order, then makes the renames durable
// and removes the record. A temporary that is gone was renamed already (by a run
// of this that was interrupted).
void FinishRenames(const std::filesystem::path& folder, int folderHandle,
                   const std::vector<std::pair<std::string, std::string>>& files) {
    std::set<std::string> folders;
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& [temporary, target] = files[i];
        if (::renameat(folderHandle, temporary.c_str(), folderHandle, target.c_str()) != 0 && errno != ENOENT)
            CannotWrite(folder / target, errno);
        folders.insert(FolderOf(target));
        Reached(TCommitStep::csRename, i + 1);
    }
    for (const std::string& name : folders)
        SyncFolder(folderHandle, name);
    // Not synced: a record that comes back after a crash finds its temporaries
    // gone and its files in place.
    if (::unlinkat(folderHandle, kCommitRecordFile, 0) != 0 && errno != ENOENT)
        CannotWrite(folder / kCommitRecordFile, errno);
    Reached(TCommitStep::csDone, 0);
}

// A name the record may hold: inside the machine folder, or a path of its own
// (the file a machine file links to), without "." or ".." steps.
bool IsPlainFileName(std::string_view name) {
    if (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    if (name.empty())
        return false;
    for (size_t start = 0; start <= name.size();) {
        size_t end = name.find('/', start);
        if (end == std::string_view::npos)
            end = name.size();
        const std::string_view step = name.substr(start, end - start);
        if (step.empty() || step == "." || step == "..")
            return false;
        start = end + 1;
    }
    return true;
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
        if (!IsPlainFileName(target) || !IsTemporaryOf(temporary, target))
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
    for (const auto& [temporary, target] : FFiles)
        ::unlinkat(FFolderHandle, temporary.c_str(), 0);
}

void TMachineCommit::Add(TAtomicWrites& writes) {
    writes.Sync();
    const std::string prefix = FFolder.string() + "/";
    for (auto& [temporary, target] : writes.TakeWritten()) {
        // Written into the folder by name: kept relative to it, so that the
        // commit follows the folder it holds locked.
        if (temporary.starts_with(prefix) && target.starts_with(prefix))
            FFiles.emplace_back(temporary.substr(prefix.size()), target.substr(prefix.size()));
        else
            FFiles.emplace_back(std::move(temporary), std::move(target));
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
    std::set<std::string> subfolders;
    for (const auto& [temporary, target] : FFiles)
        if (const std::string folder = FolderOf(temporary); !folder.empty())
            subfolders.insert(folder);
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
