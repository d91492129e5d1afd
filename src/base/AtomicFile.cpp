#include "base/AtomicFile.h"

#include "base/SafePath.h"
#include "base/Utf.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace orvex {

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";

std::string CannotCreateText(const std::string& path, const std::string& reason) {
    return "Cannot create file \"" + path + "\". " + reason;
}

[[noreturn]] void Fail(const std::string& path, int error) {
    throw EAtomicFileError(CannotCreateText(path, std::generic_category().message(error)));
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The process id of a name "<file>.tmp-<pid>-<number>", or 0 for any other name.
pid_t TemporaryOwner(std::string_view name) {
    const size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string_view::npos || mark == 0)
        return 0;
    const std::string_view rest = name.substr(mark + kTemporaryMark.size());
    const size_t dash = rest.find('-');
    if (dash == std::string_view::npos || !AllDigits(rest.substr(0, dash)) || !AllDigits(rest.substr(dash + 1)) ||
        dash > 9)
        return 0;
    return static_cast<pid_t>(std::atol(std::string(rest.substr(0, dash)).c_str()));
}

// A process killed but not yet waited for by its parent still answers kill(), yet
// will never finish its file.
bool IsGone(pid_t process) {
    if (::kill(process, 0) != 0)
        return errno == ESRCH;
    std::ifstream stat("/proc/" + std::to_string(process) + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t name = line.rfind(')');  // the command name may hold anything
    return name != std::string::npos && line.compare(name, 3, ") Z") == 0;
}

// A program killed while it saved leaves its temporary file behind, as large as
// the file it wrote. The temporaries in folder whose process is gone, by the name
// of the file they were to replace.
std::multimap<std::string, std::string> StaleTemporariesIn(const std::string& folder) {
    std::multimap<std::string, std::string> stale;
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return stale;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (IsStaleTemporary(name))
            stale.emplace(name.substr(0, name.rfind(kTemporaryMark)), name);
    }
    ::closedir(directory);
    return stale;
}

// Removes the stale temporaries of one file: only its own, as the folder may hold
// other programs' files of the same pattern.
void RemoveStaleTemporaries(const std::string& folder, const std::multimap<std::string, std::string>& stale,
                            const std::string& file) {
    const auto [first, last] = stale.equal_range(file);
    for (auto it = first; it != last; ++it)
        ::unlink((folder + "/" + it->second).c_str());
}

// The folder and the name of a file.
std::pair<std::string, std::string> SplitPath(const std::string& path) {
    const size_t slash = path.rfind('/');
    return {FolderOf(path), slash == std::string::npos ? path : path.substr(slash + 1)};
}

void RemoveStaleTemporariesOfFile(const std::string& path) {
    const auto [folder, file] = SplitPath(path);
    RemoveStaleTemporaries(folder, StaleTemporariesIn(folder), file);
}

// A file that we may not write: the Windows read-only attribute. Root passes every
// permission check, so for root a file without any write bit counts as read-only.
bool IsReadOnly(int folder, const std::string& target, const struct stat& info) {
    if (::geteuid() == 0)
        return (info.st_mode & 0222) == 0;
    return ::faccessat(folder, target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

// Why an existing target may not be replaced, or empty. A device or pipe would
// lose what is written to it, or be replaced by a plain file.
std::string RefusalOf(int folder, const std::string& target, const struct stat& info) {
    if (S_ISDIR(info.st_mode))
        return std::generic_category().message(EISDIR);
    if (!S_ISREG(info.st_mode))
        return std::string("It is ") + FileKindText(info.st_mode) + ", not a regular file";
    if (IsReadOnly(folder, target, info))
        return std::generic_category().message(EACCES);
    return {};
}

// The file a save to path replaces: path, or the target of the link at path.
std::string TargetOf(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved))
            return resolved;
    }
    return path;
}

} // namespace

// ---- TAtomicFileWriter ---------------------------------------------------------

void TAtomicFileWriter::Fail(int error) const { orvex::Fail(FPath, error); }

TAtomicFileWriter::TAtomicFileWriter(std::u16string_view path) : TAtomicFileWriter(path, nullptr) {}

TAtomicFileWriter::TAtomicFileWriter(std::u16string_view path16, TStaleTemporaries* stale)
    : FPath(Utf16ToUtf8(path16)), FFolder(AT_FDCWD), FTarget(TargetOf(FPath)) {
    struct stat info {};
    bool exists = false;
    if (::stat(FTarget.c_str(), &info) == 0) {
        if (const std::string refusal = RefusalOf(AT_FDCWD, FTarget, info); !refusal.empty())
            throw EAtomicFileError(CannotCreateText(FPath, refusal));
        exists = true;
    }
    if (stale) {
        const auto [folder, file] = SplitPath(FTarget);
        auto found = stale->find(folder);
        if (found == stale->end())
            found = stale->emplace(folder, StaleTemporariesIn(folder)).first;
        RemoveStaleTemporaries(folder, found->second, file);
    } else {
        RemoveStaleTemporariesOfFile(FTarget);
    }
    Open(exists ? &info : nullptr);
}

TAtomicFileWriter::TAtomicFileWriter(std::string path, TNewFile)
    : FPath(std::move(path)), FFolder(AT_FDCWD), FTarget(FPath) {
    RemoveStaleTemporariesOfFile(FTarget);
    Open(nullptr);
}

TAtomicFileWriter::TAtomicFileWriter(int folder, const std::string& name, const struct stat* replaced,
                                     const std::string& shown)
    : FPath(shown), FFolder(folder), FTarget(name) {
    if (replaced)
        if (const std::string refusal = RefusalOf(FFolder, FTarget, *replaced); !refusal.empty())
            throw EAtomicFileError(CannotCreateText(FPath, refusal));
    Open(replaced);
}

TAtomicFileWriter::~TAtomicFileWriter() {
    if (FHandle >= 0)
        ::close(FHandle);
    if (!FTemporary.empty())
        ::unlinkat(FFolder, FTemporary.c_str(), 0);
}

void TAtomicFileWriter::Open(const struct stat* existing) {
    for (int attempt = 0;; ++attempt) {
        std::string name = TemporaryNameFor(FTarget);
        FHandle = ::openat(FFolder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (FHandle >= 0) {
            FTemporary = std::move(name);
            break;
        }
        if (errno != EEXIST || attempt > 100)
            Fail(errno);
    }
    if (existing) {
        if (::fchmod(FHandle, existing->st_mode & 07777) != 0) {
            const int error = errno;
            // No destructor runs for a constructor that raises.
            ::close(std::exchange(FHandle, -1));
            ::unlinkat(FFolder, FTemporary.c_str(), 0);
            Fail(error);
        }
        // Only root may give a file away; anyone may keep a group they belong to.
        if (::fchown(FHandle, existing->st_uid, existing->st_gid) != 0)
            (void)::fchown(FHandle, static_cast<uid_t>(-1), existing->st_gid);
    }
}

void TAtomicFileWriter::Write(const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(FHandle, bytes + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail(n < 0 ? errno : EIO);
        written += static_cast<size_t>(n);
    }
}

std::string TAtomicFileWriter::Finish(TFileHandle& handle) {
    // On its way to the disk while the caller goes on; the commit waits for it.
    (void)::sync_file_range(FHandle, 0, 0, SYNC_FILE_RANGE_WRITE);
    handle = TFileHandle(std::exchange(FHandle, -1));
    return std::exchange(FTemporary, std::string());
}

void TAtomicFileWriter::Commit() {
    TAtomicWrites writes;
    auto& pending = writes.FPending.emplace_back(TAtomicWrites::TPending{FPath, FTarget, {}, {}});
    pending.Temporary = Finish(pending.Handle);
    writes.Commit();
}

// ---- TAtomicWrites --------------------------------------------------------------

TAtomicWrites::~TAtomicWrites() {
    for (const TPending& pending : FPending)
        ::unlink(pending.Temporary.c_str());
}

void TAtomicWrites::Write(std::u16string_view path, std::string_view bytes) {
    TAtomicFileWriter file(path, &FStale);
    file.Write(bytes.data(), bytes.size());
    TPending& pending = FPending.emplace_back(TPending{file.FPath, file.FTarget, {}, {}});
    pending.Temporary = file.Finish(pending.Handle);
}

int TemporaryFileOwner(std::string_view name) { return TemporaryOwner(name); }

std::string TemporaryNameFor(const std::string& target) {
    std::random_device random;
    return std::string(target).append(kTemporaryMark) + std::to_string(::getpid()) + "-" + std::to_string(random());
}

bool IsStaleTemporary(std::string_view name) {
    const pid_t owner = TemporaryOwner(name);
    return owner > 0 && owner != ::getpid() && IsGone(owner);
}

void TAtomicWrites::Commit() {
    std::vector<TPending> pending;
    pending.swap(FPending);
    // Each folder renamed into, with the first file renamed there.
    std::map<std::string, const std::string*> folders;
    // Syncs them all; the first failure with its file.
    const auto syncFolders = [&folders] {
        std::pair<int, const std::string*> failure{0, nullptr};
        for (const auto& [folder, path] : folders)
            if (const int error = SyncFolder(AT_FDCWD, folder); error && !failure.first)
                failure = {error, path};
        return failure;
    };
    for (size_t i = 0; i < pending.size(); ++i) {
        // Written back since Write() started it: the wait is short.
        const TPending& file = pending[i];
        if (::fsync(file.Handle.Get()) != 0 || ::rename(file.Temporary.c_str(), file.Target.c_str()) != 0) {
            const int failure = errno;
            for (size_t j = i; j < pending.size(); ++j)
                ::unlink(pending[j].Temporary.c_str());
            syncFolders();  // the file that could not be put in place is the failure
            Fail(file.Path, failure);
        }
        folders.emplace(FolderOf(file.Target), &file.Path);
    }
    if (const auto [error, path] = syncFolders(); error)
        Fail(*path, error);
}

void RemoveStaleTemporariesOf(std::u16string_view path16) { RemoveStaleTemporariesOfFile(TargetOf(Utf16ToUtf8(path16))); }

std::string AtomicSaveRefusal(std::u16string_view path16) {
    const std::string path = Utf16ToUtf8(path16);
    const std::string target = TargetOf(path);
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0)
        return {};
    const std::string refusal = RefusalOf(AT_FDCWD, target, info);
    return refusal.empty() ? refusal : CannotCreateText(path, refusal);
}

TWrittenTemporary WriteTemporaryFileAt(int folder, const std::string& name, const struct stat* replaced,
                                       std::string_view bytes, const std::string& shown, bool durable) {
    TAtomicFileWriter file(folder, name, replaced, shown);
    file.Write(bytes.data(), bytes.size());
    TWrittenTemporary written;
    if (::fstat(file.FHandle, &written.Status) != 0 || (durable && ::fsync(file.FHandle) != 0))
        file.Fail(errno);
    written.Name = file.Finish(written.Handle);
    return written;
}

void WriteFileAtomically(std::u16string_view path, std::string_view bytes) {
    TAtomicWrites writes;
    writes.Write(path, bytes);
    writes.Commit();
}

bool WriteNewFileAtomically(std::u16string_view path16, std::string_view bytes) {
    std::string path = Utf16ToUtf8(path16);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0)
        return false;
    TAtomicFileWriter file(path, TAtomicFileWriter::TNewFile{});
    file.Write(bytes.data(), bytes.size());
    TFileHandle handle;
    const std::string temporary = file.Finish(handle);
    // The temporary name goes whatever happens; the file keeps its link.
    struct TRemove {
        const std::string& Name;
        ~TRemove() { ::unlink(Name.c_str()); }
    } remove{temporary};
    if (::fsync(handle.Get()) != 0)
        Fail(path, errno);
    // Unlike a rename, a link never replaces a file that appeared meanwhile.
    if (::link(temporary.c_str(), path.c_str()) != 0) {
        if (errno == EEXIST)
            return false;
        Fail(path, errno);
    }
    if (const int error = SyncFolder(AT_FDCWD, FolderOf(path))) {
        // Not known to be on disk: as if it had never been made.
        ::unlink(path.c_str());
        Fail(path, error);
    }
    return true;
}

int SyncFolder(int folderHandle, const std::string& name) {
    const int handle = ::openat(folderHandle, name.empty() ? "." : name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return 0;
    const int error = ::fsync(handle) == 0 ? 0 : errno;
    ::close(handle);
    return error == EINVAL ? 0 : error;
}

} // namespace orvex
