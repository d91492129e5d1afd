#include "platform/base/AtomicFile.h"

#include "platform/base/Utf.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace orvex {

namespace {

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
    return target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(random());
}

} // namespace

void WriteFileAtomically(std::u16string_view path16, std::string_view bytes) {
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
        exists = true;
    }

    TTemporaryFile temp(TemporaryNameFor(target));
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
    if (exists && ::fchmod(temp.FHandle, info.st_mode & 07777) != 0)
        Fail(path, errno);
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(temp.FHandle, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            Fail(path, n < 0 ? errno : EIO);
        written += static_cast<size_t>(n);
    }
    if (::fsync(temp.FHandle) != 0)
        Fail(path, errno);
    const int handle = std::exchange(temp.FHandle, -1);
    if (::close(handle) != 0)
        Fail(path, errno);
    if (::rename(temp.FName.c_str(), target.c_str()) != 0)
        Fail(path, errno);
    temp.FName.clear();

    // Make the rename itself durable; the new contents are in place either way.
    const int folder = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

} // namespace orvex
