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

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

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

// Makes the rename or link itself durable; the new contents are in place either way.
void SyncFolder(const std::string& target) {
    const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace

void TAtomicFileWriter::Fail(int error) {
    throw EAtomicFileError("Cannot create file \"" + FPath + "\". " + std::generic_category().message(error));
}

TAtomicFileWriter::TAtomicFileWriter(std::u16string_view path16)
    : FPath(Utf16ToUtf8(path16)), FTarget(FPath) {
    struct stat info {};
    bool exists = false;
    if (::lstat(FPath.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(FPath.c_str(), resolved))
            FTarget = resolved;
    }
    if (::stat(FTarget.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            Fail(EISDIR);
        if (IsReadOnly(FTarget, info))
            Fail(EACCES);
        exists = true;
    }
    RemoveStaleTemporaries(FolderOf(FTarget));
    OpenTemporary(exists ? &info : nullptr);
}

TAtomicFileWriter::TAtomicFileWriter(std::string path, TNewFile) : FPath(std::move(path)), FTarget(FPath) {
    RemoveStaleTemporaries(FolderOf(FTarget));
    OpenTemporary(nullptr);
}

TAtomicFileWriter::~TAtomicFileWriter() { Abandon(); }

void TAtomicFileWriter::Abandon() {
    if (FHandle >= 0)
        ::close(std::exchange(FHandle, -1));
    if (!FTemporary.empty())
        ::unlink(FTemporary.c_str());
    FTemporary.clear();
}

void TAtomicFileWriter::OpenTemporary(const struct stat* existing) {
    for (int attempt = 0;; ++attempt) {
        const std::string name = TemporaryNameFor(FTarget);
        FHandle = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (FHandle >= 0) {
            FTemporary = name;
            break;
        }
        if (errno != EEXIST || attempt > 100)
            Fail(errno);
    }
    if (existing) {
        if (::fchmod(FHandle, existing->st_mode & 07777) != 0) {
            const int error = errno;
            Abandon(); // no destructor runs for a constructor that raises
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

void TAtomicFileWriter::Flush() {
    if (::fsync(FHandle) != 0)
        Fail(errno);
    if (::close(std::exchange(FHandle, -1)) != 0)
        Fail(errno);
}

void TAtomicFileWriter::Commit() {
    Flush();
    if (::rename(FTemporary.c_str(), FTarget.c_str()) != 0)
        Fail(errno);
    FTemporary.clear();
    SyncFolder(FTarget);
}

void WriteFileAtomically(std::u16string_view path, std::string_view bytes) {
    TAtomicFileWriter file(path);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

bool WriteNewFileAtomically(std::u16string_view path16, std::string_view bytes) {
    std::string path = Utf16ToUtf8(path16);
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0)
        return false;
    TAtomicFileWriter file(std::move(path), TAtomicFileWriter::TNewFile{});
    file.Write(bytes.data(), bytes.size());
    file.Flush();
    // Unlike a rename, a link never replaces a file that appeared meanwhile.
    if (::link(file.FTemporary.c_str(), file.FTarget.c_str()) != 0) {
        if (errno == EEXIST)
            return false;
        file.Fail(errno);
    }
    SyncFolder(file.FTarget);
    return true; // the destructor removes the temporary name
}

} // namespace orvex
