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

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryNameFor(const std::string& target) {
    std::random_device random;
    return target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(random());
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
        exists = true;
    }
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
    if (exists && ::fchmod(FHandle, info.st_mode & 07777) != 0) {
        const int error = errno;
        Abandon(); // no destructor runs for a constructor that raises
        Fail(error);
    }
}

TAtomicFileWriter::~TAtomicFileWriter() { Abandon(); }

void TAtomicFileWriter::Abandon() {
    if (FHandle >= 0)
        ::close(std::exchange(FHandle, -1));
    if (!FTemporary.empty())
        ::unlink(FTemporary.c_str());
    FTemporary.clear();
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

void TAtomicFileWriter::Commit() {
    if (::fsync(FHandle) != 0)
        Fail(errno);
    const int handle = std::exchange(FHandle, -1);
    if (::close(handle) != 0)
        Fail(errno);
    if (::rename(FTemporary.c_str(), FTarget.c_str()) != 0)
        Fail(errno);
    FTemporary.clear();

    // Make the rename itself durable; the new contents are in place either way.
    const int folder = ::open(FolderOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void WriteFileAtomically(std::u16string_view path, std::string_view bytes) {
    TAtomicFileWriter file(path);
    file.Write(bytes.data(), bytes.size());
    file.Commit();
}

} // namespace orvex
