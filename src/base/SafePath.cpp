#include "base/SafePath.h"

#include <cerrno>
#include <climits>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

namespace orvex {

namespace {

// How many links in a row are followed before they count as a loop, as the system does.
constexpr int kMostLinks = 40;

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

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

bool IsUnsafeTransition(const struct stat& from, const struct stat& to) {
    return from.st_uid != 0 && from.st_uid != ::geteuid() && from.st_uid != to.st_uid;
}

void CheckTransition(const struct stat& from, const std::string& fromShown, const struct stat& to,
                     const std::string& toShown) {
    if (IsUnsafeTransition(from, to))
        throw EUnsafePathError("\"" + fromShown + "\" belongs to " + UserName(from.st_uid) + " and leads to \"" +
                               toShown + "\", which belongs to " + UserName(to.st_uid));
}

void GiveFolderOwner(int handle, const struct stat& folder) {
    if (folder.st_uid == ::geteuid())
        return;
    // Only root may give a file away; anyone else keeps it.
    (void)!::fchown(handle, folder.st_uid, folder.st_gid);
}

TSafeFolders::TSafeFolders(int start, std::string shown) {
    struct stat status {};
    if (::fstat(start, &status) != 0)
        status = {};  // no folder opened later is taken for it
    FFolders.push_back({TFileHandle(), start, status, std::move(shown)});
}

TSafeFolders::TSafeFolders(const std::string& start) {
    TFileHandle handle(::open(start.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    struct stat status {};
    if (handle.Get() < 0 || ::fstat(handle.Get(), &status) != 0)
        FStartError = errno;
    const int opened = handle.Get();
    FFolders.push_back({std::move(handle), opened, status, start});
}

size_t TSafeFolders::Add(TFileHandle handle, const struct stat& status, std::string shown) {
    for (size_t i = 0; i < FFolders.size(); ++i)
        if (SameFile(FFolders[i].Status, status))
            return i;
    const int opened = handle.Get();
    FFolders.push_back({std::move(handle), opened, status, std::move(shown)});
    return FFolders.size() - 1;
}

int TSafeFolders::Walk(std::string_view path, TSafePlace& place, size_t from, bool checked) {
    place = {};
    size_t current = from;
    // The folder or link the next step starts from.
    struct stat previous = Status(from);
    std::string previousShown = Shown(from);
    std::string shown = Shown(from);
    std::vector<std::string> steps;
    PushSteps(path, steps);
    int links = 0;
    bool linkAtEnd = false;  // the last step is a link's: it must lead somewhere
    const auto check = [&](const struct stat& to, const std::string& toShown) {
        if (checked)
            CheckTransition(previous, previousShown, to, toShown);
    };
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
        check(status, stepShown);
        previous = status;
        previousShown = stepShown;
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
                check(rootStatus, "/");
                previous = rootStatus;
                previousShown = shown = "/";
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

int TSafeFolders::MakeFolder(size_t folder, const std::string& name, TSafePlace& place) {
    if (::mkdirat(Handle(folder), name.c_str(), 0777) == 0) {
        const TFileHandle made(::openat(Handle(folder), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (made.Get() >= 0)
            GiveFolderOwner(made.Get(), Status(folder));
    } else if (errno != EEXIST) {
        return errno;
    }
    return Follow(name, place, folder);
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
    if (::unlinkat(handle, name.c_str(), 0) == 0)
        return 0;
    if (errno != EISDIR && errno != EPERM)
        return errno;
    const TFileHandle folder(::openat(handle, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.Get() < 0)
        return errno;
    int failure = 0;
    ForEachNameIn(folder.Get(), [&](const std::string& entry) {
        failure = RemoveTreeAt(folder.Get(), entry);
        return failure == 0;
    });
    if (failure == 0 && ::unlinkat(handle, name.c_str(), AT_REMOVEDIR) != 0)
        failure = errno;
    return failure;
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
