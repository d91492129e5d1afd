#include "base/AtomicFile.h"

#include "base/SafePath.h"
#include "base/Utf.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
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
// the file it wrote. The temporaries in the folder at handle whose process is
// gone, by the name of the file they were to replace.
std::multimap<std::string, std::string> StaleTemporariesIn(int handle) {
    std::multimap<std::string, std::string> stale;
    ForEachNameIn(handle, [&](const std::string& name) {
        if (IsStaleTemporary(name))
            stale.emplace(name.substr(0, name.rfind(kTemporaryMark)), name);
        return true;
    });
    return stale;
}

// Removes the stale temporaries of one file: only its own, as the folder may hold
// other programs' files of the same pattern, and only root's or ours.
void RemoveStaleTemporaries(int folder, const std::multimap<std::string, std::string>& stale, const std::string& file) {
    const auto [first, last] = stale.equal_range(file);
    for (auto it = first; it != last; ++it) {
        struct stat info {};
        if (::fstatat(folder, it->second.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            IsTrustedOwner(info.st_uid))
            ::unlinkat(folder, it->second.c_str(), 0);
    }
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

} // namespace

TAtomicFileWriter::TTarget TAtomicFileWriter::FindTarget(const std::string& path, int& error) {
    std::string absolute;
    TSafePlace place;
    error = PathFromRoot(path, absolute);
    TSafeFolders folders("/");
    try {
        if (!error)
            error = folders.Follow(absolute, place);
    } catch (const EUnsafePathError& e) {
        throw EAtomicFileError(CannotCreateText(path, e.what()));
    }
    if (error)
        return {};
    TTarget target{TFileHandle(::fcntl(folders.Handle(place.Folder), F_DUPFD_CLOEXEC, 0)), place.Name, place.Exists,
                   place.Status};
    if (target.Folder.Get() < 0)
        error = errno;
    return target;
}

TAtomicFileWriter::TTarget TAtomicFileWriter::FindTarget(const std::string& path) {
    int error = 0;
    TTarget target = FindTarget(path, error);
    if (error)
        orvex::Fail(path, error);
    return target;
}

// ---- TAtomicFileWriter ---------------------------------------------------------

void TAtomicFileWriter::Fail(int error) const { orvex::Fail(FPath, error); }

TAtomicFileWriter::TAtomicFileWriter(std::u16string_view path) : TAtomicFileWriter(path, nullptr) {}

TAtomicFileWriter::TAtomicFileWriter(std::u16string_view path, TStaleTemporaries* stale)
    : TAtomicFileWriter(Utf16ToUtf8(path), FindTarget(Utf16ToUtf8(path)), stale) {}

TAtomicFileWriter::TAtomicFileWriter(std::string path, TTarget target, TStaleTemporaries* stale)
    : FPath(std::move(path)), FOwnedFolder(std::move(target.Folder)), FFolder(FOwnedFolder.Get()),
      FTarget(std::move(target.Name)) {
    if (target.Exists)
        if (const std::string refusal = RefusalOf(FFolder, FTarget, target.Status); !refusal.empty())
            throw EAtomicFileError(CannotCreateText(FPath, refusal));
    struct stat folder {};
    if (!stale || ::fstat(FFolder, &folder) != 0) {
        RemoveStaleTemporaries(FFolder, StaleTemporariesIn(FFolder), FTarget);
    } else {
        const auto key = std::make_pair(uint64_t(folder.st_dev), uint64_t(folder.st_ino));
        auto found = stale->find(key);
        if (found == stale->end())
            found = stale->emplace(key, StaleTemporariesIn(FFolder)).first;
        RemoveStaleTemporaries(FFolder, found->second, FTarget);
    }
    Open(target.Exists ? &target.Status : nullptr);
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
        // The file is root's or ours, and so is its temporary; anyone may keep a
        // group they belong to.
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
    auto& pending = writes.FPending.emplace_back(TAtomicWrites::TPending{FPath, {}, FTarget, {}, {}});
    pending.Temporary = Finish(pending.Handle);
    pending.Folder = std::move(FOwnedFolder);
    writes.Commit();
}

// ---- TAtomicWrites --------------------------------------------------------------

TAtomicWrites::~TAtomicWrites() {
    for (const TPending& pending : FPending)
        ::unlinkat(pending.Folder.Get(), pending.Temporary.c_str(), 0);
}

void TAtomicWrites::Write(std::u16string_view path, std::string_view bytes) {
    TAtomicFileWriter file(path, &FStale);
    file.Write(bytes.data(), bytes.size());
    TPending& pending = FPending.emplace_back(TPending{file.FPath, {}, file.FTarget, {}, {}});
    pending.Temporary = file.Finish(pending.Handle);
    pending.Folder = std::move(file.FOwnedFolder);
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
    // Each folder renamed into, by its identity, with the first file renamed there.
    std::map<std::pair<uint64_t, uint64_t>, std::pair<int, const std::string*>> folders;
    // Syncs them all; the first failure with its file.
    const auto syncFolders = [&folders] {
        std::pair<int, const std::string*> failure{0, nullptr};
        for (const auto& [identity, folder] : folders)
            if (const int error = SyncFolder(folder.first, ""); error && !failure.first)
                failure = {error, folder.second};
        return failure;
    };
    for (size_t i = 0; i < pending.size(); ++i) {
        // Written back since Write() started it: the wait is short.
        const TPending& file = pending[i];
        const int folder = file.Folder.Get();
        struct stat identity {};
        if (::fsync(file.Handle.Get()) != 0 ||
            ::renameat(folder, file.Temporary.c_str(), folder, file.Target.c_str()) != 0 ||
            ::fstat(folder, &identity) != 0) {
            const int failure = errno;
            for (size_t j = i; j < pending.size(); ++j)
                ::unlinkat(pending[j].Folder.Get(), pending[j].Temporary.c_str(), 0);
            syncFolders();  // the file that could not be put in place is the failure
            Fail(file.Path, failure);
        }
        folders.emplace(std::make_pair(uint64_t(identity.st_dev), uint64_t(identity.st_ino)),
                        std::make_pair(folder, &file.Path));
    }
    if (const auto [error, path] = syncFolders(); error)
        Fail(*path, error);
}

void RemoveStaleTemporariesOf(std::u16string_view path) {
    int error = 0;
    try {
        const TAtomicFileWriter::TTarget target = TAtomicFileWriter::FindTarget(Utf16ToUtf8(path), error);
        if (!error)
            RemoveStaleTemporaries(target.Folder.Get(), StaleTemporariesIn(target.Folder.Get()), target.Name);
    } catch (const EAtomicFileError&) {
        // Nothing goes where nothing may be saved.
    }
}

std::string AtomicSaveRefusal(std::u16string_view path16) {
    const std::string path = Utf16ToUtf8(path16);
    try {
        int error = 0;
        const TAtomicFileWriter::TTarget target = TAtomicFileWriter::FindTarget(path, error);
        // What a save cannot reach, it says when it tries.
        const std::string refusal =
            error || !target.Exists ? std::string() : RefusalOf(target.Folder.Get(), target.Name, target.Status);
        return refusal.empty() ? refusal : CannotCreateText(path, refusal);
    } catch (const EAtomicFileError& e) {
        return e.what();
    }
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
    TAtomicFileWriter::TTarget target = TAtomicFileWriter::FindTarget(path);
    if (target.Exists)
        return false;
    TAtomicFileWriter file(path, std::move(target), nullptr);
    file.Write(bytes.data(), bytes.size());
    TFileHandle handle;
    const int folder = file.FFolder;
    const std::string name = file.FTarget, temporary = file.Finish(handle);
    // The temporary name goes whatever happens; the file keeps its link.
    struct TRemove {
        int Folder;
        const std::string& Name;
        ~TRemove() { ::unlinkat(Folder, Name.c_str(), 0); }
    } remove{folder, temporary};
    if (::fsync(handle.Get()) != 0)
        Fail(path, errno);
    // Unlike a rename, a link never replaces a file that appeared meanwhile.
    if (::linkat(folder, temporary.c_str(), folder, name.c_str(), 0) != 0) {
        if (errno == EEXIST)
            return false;
        Fail(path, errno);
    }
    if (const int error = SyncFolder(folder, "")) {
        // Not known to be on disk: as if it had never been made.
        ::unlinkat(folder, name.c_str(), 0);
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
