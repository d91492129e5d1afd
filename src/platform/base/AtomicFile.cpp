#include "platform/base/AtomicFile.h"

#include "platform/base/Utf.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace orvex {

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";

[[noreturn]] void Fail(const std::string& path, int error) {
    throw EAtomicFileError("Cannot create file \"" + path + "\". " +
                           std::generic_category().message(error));
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the temporary file unless it was renamed into place.
class TTemporaryFile {
public:
    explicit TTemporaryFile(std::string name) : FName(std::move(name)) {}
    ~TTemporaryFile() {
        if (FHandle >= 0)
            ::close(FHandle);
        if (!FName.empty())
            ::unlink(FName.c_str());
    }
    TTemporaryFile(const TTemporaryFile&) = delete;
    TTemporaryFile& operator=(const TTemporaryFile&) = delete;

    int FHandle = -1;
    std::string FName;
};

std::string TemporaryNameFor(const std::string& target) {
    std::random_device random;
    return std::string(target).append(kTemporaryMark) + std::to_string(::getpid()) + "-" + std::to_string(random());
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

// A program killed while it saved leaves its temporary file behind, as large as
// the file it wrote: such files of processes that are gone go.
void RemoveStaleTemporaries(const std::string& folder) {
    DIR* directory = ::opendir(folder.c_str());
    if (!directory)
        return;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(directory)) {
        const pid_t owner = TemporaryOwner(entry->d_name);
        if (owner > 0 && owner != self && ::kill(owner, 0) != 0 && errno == ESRCH)
            ::unlinkat(::dirfd(directory), entry->d_name, 0);
    }
    ::closedir(directory);
}

// A file that we may not write: the Windows read-only attribute. Root passes every
// permission check, so for root a file without any write bit counts as read-only.
bool IsReadOnly(const std::string& target, const struct stat& info) {
    if (::geteuid() == 0)
        return (info.st_mode & 0222) == 0;
    return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES;
}

// Writes bytes to a new temporary file beside target and flushes it; the file
// takes the mode and owner of existing when given.
void WriteTemporary(TTemporaryFile& temp, const std::string& path, const std::string& target,
                    std::string_view bytes, const struct stat* existing) {
    for (int attempt = 0;; ++attempt) {
        temp.FHandle = ::open(temp.FName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (temp.FHandle >= 0)
            break;
        if (errno != EEXIST || attempt > 100) {
            const int error = errno;
            temp.FName.clear(); // not ours to remove
            Fail(path, error);
        }
        temp.FName = TemporaryNameFor(target);
    }
    if (existing) {
        if (::fchmod(temp.FHandle, existing->st_mode & 07777) != 0)
            Fail(path, errno);
        // Only root may give a file away; anyone may keep a group they belong to.
        if (::fchown(temp.FHandle, existing->st_uid, existing->st_gid) != 0)
            (void)::fchown(temp.FHandle, static_cast<uid_t>(-1), existing->st_gid);
    }
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(temp.FHandle, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail(path, n < 0 ? errno : EIO);
        written += static_cast<size_t>(n);
    }
    // On its way to the disk while the caller goes on; Commit() waits for it.
    (void)::sync_file_range(temp.FHandle, 0, 0, SYNC_FILE_RANGE_WRITE);
    const int handle = std::exchange(temp.FHandle, -1);
    if (::close(handle) != 0)
        Fail(path, errno);
}

// Waits until a written file's bytes are on disk; false with errno set when not.
bool SyncFile(const std::string& name) {
    const int handle = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0)
        return false;
    const bool synced = ::fsync(handle) == 0;
    const int error = errno;
    ::close(handle);
    errno = error;
    return synced;
}

// Makes the renames and links in a folder durable; the new contents are in place
// either way.
void SyncFolder(const std::string& folder) {
    const int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle >= 0) {
        ::fsync(handle);
        ::close(handle);
    }
}

} // namespace

TAtomicWrites::~TAtomicWrites() {
    for (const TPending& pending : FPending)
        ::unlink(pending.Temporary.c_str());
}

void TAtomicWrites::Write(std::u16string_view path16, std::string_view bytes) {
    const std::string path = Utf16ToUtf8(path16);
    std::string target = path;
    struct stat info {};
    bool exists = false;
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved))
            target = resolved;
    }
    if (::stat(target.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            Fail(path, EISDIR);
        if (IsReadOnly(target, info))
            Fail(path, EACCES);
        exists = true;
    }
    const std::string folder = FolderOf(target);
    if (FCleaned.insert(folder).second)
        RemoveStaleTemporaries(folder);
    TTemporaryFile temp(TemporaryNameFor(target));
    WriteTemporary(temp, path, target, bytes, exists ? &info : nullptr);
    FPending.push_back({path, target, std::exchange(temp.FName, std::string())});
}

void TAtomicWrites::Commit() {
    std::vector<TPending> pending;
    pending.swap(FPending);
    std::set<std::string> folders;
    for (size_t i = 0; i < pending.size(); ++i) {
        // Written back since Write() started it: the wait is short.
        const TPending& file = pending[i];
        if (!SyncFile(file.Temporary) || ::rename(file.Temporary.c_str(), file.Target.c_str()) != 0) {
            const int failure = errno;
            for (size_t j = i; j < pending.size(); ++j)
                ::unlink(pending[j].Temporary.c_str());
            for (const std::string& folder : folders)
                SyncFolder(folder);
            Fail(file.Path, failure);
        }
        folders.insert(FolderOf(file.Target));
    }
    for (const std::string& folder : folders)
        SyncFolder(folder);
}

void WriteFileAtomically(std::u16string_view path, std::string_view bytes) {
    TAtomicWrites writes;
    writes.Write(path, bytes);
    writes.Commit();
}

bool WriteNewFileAtomically(std::u16string_view path16, std::string_view bytes) {
    const std::string path = Utf16ToUtf8(path16);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0)
        return false;
    RemoveStaleTemporaries(FolderOf(path));
    TTemporaryFile temp(TemporaryNameFor(path));
    WriteTemporary(temp, path, path, bytes, nullptr);
    if (!SyncFile(temp.FName))
        Fail(path, errno);
    // Unlike a rename, a link never replaces a file that appeared meanwhile.
    if (::link(temp.FName.c_str(), path.c_str()) != 0) {
        if (errno == EEXIST)
            return false;
        Fail(path, errno);
    }
    SyncFolder(FolderOf(path));
    return true;
}

} // namespace orvex
