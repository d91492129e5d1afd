#include "base/SafePath.h"

#include <cerrno>
#include <climits>
#include <memory>
#include <new>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace orvex {

namespace {

// How many links in a row are followed before they count as a loop, as the system does.
constexpr int kMostLinks = 40;

std::string Joined(const std::string& folder, std::string_view name) {
    return folder.ends_with('/') ? folder + std::string(name) : folder + "/" + std::string(name);
}

std::string ParentShown(const std::string& folder) {
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos)
        return folder + "/..";
    return slash == 0 ? "/" : folder.substr(0, slash);
}

// The steps of a path still to take, the next one last.
void PushSteps(std::string_view path, std::vector<std::string>& steps) {
    std::vector<std::string> ahead;
    for (size_t start = 0; start <= path.size();) {
        const size_t slash = std::min(path.find('/', start), path.size());
        if (slash > start)
            ahead.emplace_back(path.substr(start, slash - start));
        start = slash + 1;
    }
    steps.insert(steps.end(), ahead.rbegin(), ahead.rend());
}

} // namespace

int PathFromRoot(const std::string& path, std::string& absolute) {
    if (path.starts_with('/')) {
        absolute = path;
        return 0;
    }
    char current[PATH_MAX];
    if (!::getcwd(current, sizeof current))
        return errno;
    absolute = Joined(current, path);
    return 0;
}

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
        if (FHandle >= 0)
            ::close(FHandle);
        FHandle = std::exchange(other.FHandle, -1);
    }
    return *this;
}

TFileHandle::~TFileHandle() {
    if (FHandle >= 0)
        ::close(FHandle);
}

std::string UserName(uid_t user) {
    passwd entry {};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(user, &entry, buffer, sizeof buffer, &found) == 0 && found && found->pw_name)
        return found->pw_name;
    return "user " + std::to_string(user);
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

bool IsTrustedOwner(uid_t owner) { return owner == 0 || owner == ::geteuid(); }

std::string OwnerRefusal(uid_t owner, const std::string& shown) {
    const std::string name = UserName(owner);
    return "\"" + shown + "\" belongs to " + name + ": run Orvex as " + name + ", or give it to " + UserName(::geteuid());
}

void CheckOwner(const struct stat& status, const std::string& shown) {
    if (!IsTrustedOwner(status.st_uid))
        throw EUnsafePathError(OwnerRefusal(status.st_uid, shown));
}

TSafeFolders::TSafeFolders(int start, std::string shown) {
    struct stat status {};
    if (::fstat(start, &status) != 0)
        status = {};  // no folder opened later is taken for it
    FFolders.push_back({TFileHandle(), start, status, std::move(shown)});
}

TSafeFolders::TSafeFolders(const std::string& start) {
    TFileHandle root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat status {};
    std::string path;
    int error = root.Get() < 0 || ::fstat(root.Get(), &status) != 0 ? errno : PathFromRoot(start, path);
    TSafePlace place;
    if (!error) {
        const int opened = root.Get();
        FFolders.push_back({std::move(root), opened, status, "/"});
        try {
            error = Follow(path, place);
        } catch (const EUnsafePathError& e) {
            error = EPERM;
            FStartRefusal = e.what();
        }
        if (path.find_first_not_of('/') == std::string::npos)
            error = 0, place.Inside = 0;  // "/" itself
        else if (!error && !place.Exists)
            error = ENOENT;
        else if (!error && place.Inside == TSafePlace::kNone)
            error = ENOTDIR;
    }
    // Only the folder reached stays: paths are followed from it.
    TFolder reached = error ? TFolder{TFileHandle(), -1, {}, start} : std::move(FFolders[place.Inside]);
    reached.Shown = start;
    FFolders.clear();
    FFolders.push_back(std::move(reached));
    FStartError = error;
}

size_t TSafeFolders::Add(TFileHandle handle, const struct stat& status, std::string shown) {
    for (size_t i = 0; i < FFolders.size(); ++i)
        if (SameFile(FFolders[i].Status, status))
            return i;
    const int opened = handle.Get();
    FFolders.push_back({std::move(handle), opened, status, std::move(shown)});
    return FFolders.size() - 1;
}

int TSafeFolders::Follow(std::string_view path, TSafePlace& place, size_t from) {
    place = {};
    size_t current = from;
    std::string shown = Shown(from);
    std::vector<std::string> steps;
    PushSteps(path, steps);
    int links = 0;
    bool linkAtEnd = false;  // the last step is a link's: it must lead somewhere
    CheckOwner(Status(from), shown);
    while (!steps.empty()) {
        const std::string step = std::move(steps.back());
        steps.pop_back();
        if (step == ".")
            continue;
        const bool last = steps.empty();
        if (step == ".." && last)
            return EISDIR;
        const std::string stepShown = step == ".." ? ParentShown(shown) : Joined(shown, step);
        TFileHandle entry(::openat(Handle(current), step.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        struct stat status {};
        if (entry.Get() < 0) {
            if (errno != ENOENT || !last || linkAtEnd)
                return errno;
            place.Folder = current;
            place.Name = step;
            place.Shown = stepShown;
            return 0;
        }
        if (::fstat(entry.Get(), &status) != 0)
            return errno;
        CheckOwner(status, stepShown);
        if (S_ISLNK(status.st_mode)) {
            if (++links > kMostLinks)
                return ELOOP;
            place.ThroughLink = true;
            char text[PATH_MAX];
            const ssize_t size = ::readlinkat(entry.Get(), "", text, sizeof text);
            if (size < 0)
                return errno;
            if (static_cast<size_t>(size) == sizeof text)
                return ENAMETOOLONG;
            const std::string_view target(text, static_cast<size_t>(size));
            if (target.empty())
                return ENOENT;
            if (target.front() == '/') {
                TFileHandle root(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
                struct stat rootStatus {};
                if (root.Get() < 0 || ::fstat(root.Get(), &rootStatus) != 0)
                    return errno;
                shown = "/";
                current = Add(std::move(root), rootStatus, "/");
            }
            // A link to a folder that ends the path is a folder at the end.
            if (last && (target.ends_with('/') || target.ends_with("/.") || target == "."))
                return EISDIR;
            linkAtEnd = linkAtEnd || last;
            PushSteps(target, steps);
            continue;
        }
        if (last && step != "..") {
            place.Folder = current;
            place.Name = step;
            place.Exists = true;
            place.Status = status;
            place.Shown = stepShown;
            if (S_ISDIR(status.st_mode))
                place.Inside = Add(std::move(entry), status, stepShown);
            return 0;
        }
        if (!S_ISDIR(status.st_mode))
            return ENOTDIR;
        shown = stepShown;
        current = Add(std::move(entry), status, stepShown);
    }
    return EISDIR;  // the path names its start folder
}

int TSafeFolders::Read(std::string_view path, size_t limit, std::string& bytes, std::string& why, size_t from) {
    TSafePlace place;
    int error = Follow(path, place, from);
    if (!error && !place.Exists)
        error = ENOENT;
    if (error) {
        bytes.clear();
        why = std::generic_category().message(error);
        return error;
    }
    return ReadRegularFileAt(Handle(place.Folder), place.Name, limit, bytes, why, O_NOFOLLOW, nullptr, &place.Status);
}

int TSafeFolders::MakeFolder(size_t folder, const std::string& name, TSafePlace& place) {
    CheckOwner(Status(folder), Shown(folder));
    if (::mkdirat(Handle(folder), name.c_str(), 0777) != 0 && errno != EEXIST)
        return errno;
    return Follow(name, place, folder);
}

int MakeFolders(const std::string& path) {
    std::string absolute;
    if (const int error = PathFromRoot(path, absolute))
        return error;
    std::vector<std::string> steps;
    PushSteps(absolute, steps);
    TSafeFolders folders("/");
    TSafePlace place;
    for (size_t folder = 0; !steps.empty(); folder = place.Inside) {
        if (const int error = folders.MakeFolder(folder, steps.back(), place))
            return error;
        if (place.Inside == TSafePlace::kNone)
            return steps.size() == 1 ? EEXIST : ENOTDIR;  // as mkdir says it of the last
        steps.pop_back();
    }
    return 0;
}

std::string TSafeFolders::StartFailure() const {
    if (!FStartRefusal.empty())
        return FStartRefusal;
    return FStartError ? std::generic_category().message(FStartError) : std::string();
}

std::string FollowToLocked(TSafeFolders& folders, const std::string& name, int locked, TSafePlace& place) {
    if (folders.StartError())
        return folders.StartFailure();
    try {
        if (const int error = folders.Follow(name, place))
            return std::generic_category().message(error);
    } catch (const EUnsafePathError& e) {
        return e.what();
    }
    struct stat status {};
    if (::fstat(locked, &status) != 0 || place.Inside == TSafePlace::kNone || !SameFile(place.Status, status))
        return "it was moved or replaced while it was locked";
    return {};
}

namespace detail {

bool NamesIn(int handle, std::vector<std::string>& names) {
    const int readable = ::openat(handle, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0)
        return false;
    const std::unique_ptr<DIR, int (*)(DIR*)> folder(::fdopendir(readable), ::closedir);
    if (!folder) {
        ::close(readable);
        return false;
    }
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    return true;
}

} // namespace detail

int RemoveTreeAt(int handle, const std::string& name) {
    struct stat info {};
    if (::fstatat(handle, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!IsTrustedOwner(info.st_uid))
        return EPERM;
    if (!S_ISDIR(info.st_mode))
        return ::unlinkat(handle, name.c_str(), 0) == 0 ? 0 : errno;
    // Entered as the handle says it is: a folder put there meanwhile is checked too.
    const TFileHandle folder(::openat(handle, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.Get() < 0 || ::fstat(folder.Get(), &info) != 0)
        return errno;
    if (!IsTrustedOwner(info.st_uid))
        return EPERM;
    int failure = 0;
    ForEachNameIn(folder.Get(), [&](const std::string& entry) {
        if (const int error = RemoveTreeAt(folder.Get(), entry); error && !failure)
            failure = error;
        return true;
    });
    if (failure == 0 && ::unlinkat(handle, name.c_str(), AT_REMOVEDIR) != 0)
        failure = errno;
    return failure;
}

const char* FileKindText(mode_t mode) {
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISDIR(mode))
        return "a folder";
    return "a special file";
}

int ReadRegularFileAt(int folder, const std::string& name, size_t limit, std::string& bytes, std::string& why,
                      int flags, struct stat* status, const struct stat* expected) {
    const auto failed = [&](int error, std::string text) {
        bytes.clear();
        why = std::move(text);
        return error;
    };
    const TFileHandle file(::openat(folder, name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags));
    struct stat info {};
    if (file.Get() < 0 || ::fstat(file.Get(), &info) != 0) {
        const int error = errno;
        // A socket cannot be opened at all: name what it is.
        if (error == ENXIO && ::fstatat(folder, name.c_str(), &info, flags & O_NOFOLLOW ? AT_SYMLINK_NOFOLLOW : 0) == 0 &&
            !S_ISREG(info.st_mode))
            return failed(EINVAL, std::string("it is ") + FileKindText(info.st_mode) + ", not a regular file");
        return failed(error, std::generic_category().message(error));
    }
    if (status)
        *status = info;
    if (expected && !SameFile(*expected, info))
        return failed(ESTALE, "it was replaced while it was read");
    if (!S_ISREG(info.st_mode))
        return failed(EINVAL, std::string("it is ") + FileKindText(info.st_mode) + ", not a regular file");
    if (static_cast<uint64_t>(info.st_size) > limit)
        return failed(EFBIG, "it is larger than " + std::to_string(limit) + " bytes");
    // It may grow while it is read: what is read stays within limit too.
    bytes.clear();
    const auto noMemory = [&] {
        bytes = std::string();
        return failed(ENOMEM, "there is not enough memory to read it");
    };
    try {
        bytes.reserve(static_cast<size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
        return noMemory();
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(errno, std::generic_category().message(errno));
        if (n == 0)
            break;
        if (static_cast<size_t>(n) > limit - bytes.size())
            return failed(EFBIG, "it is larger than " + std::to_string(limit) + " bytes");
        try {
            bytes.append(buffer, static_cast<size_t>(n));
        } catch (const std::bad_alloc&) {
            return noMemory();
        }
    }
    return 0;
}

bool IsMountRoot(int handle, const struct stat& parent) {
    struct statx status {};
    if (::statx(handle, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &status) == 0 &&
        (status.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
        return (status.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    struct stat own {};
    return ::fstat(handle, &own) == 0 && own.st_dev != parent.st_dev;
}

} // namespace orvex
