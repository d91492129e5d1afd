#pragma once
// Replaces a file's contents so that a reader, a crash or a failure sees either
// the old file or the complete new one, never a part.

#include <stdexcept>
#include <string>
#include <string_view>

struct stat;

namespace orvex {

// Raised when the new contents could not be put in place; the old file is then
// unchanged and no temporary file is left. Text: Cannot create file "<path>". <reason>
class EAtomicFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// New contents for a file, written piece by piece into a temporary file in its
// folder with the permissions and owner of the file it replaces; Commit flushes
// them to disk and renames them over the file. Without a Commit the temporary
// file goes and the file stays as it was. A file without write permission is
// refused (as a read-only file: also for root). A symbolic link at path is
// followed: its target gets the new contents. Temporary files of earlier saves
// into the same folder whose process is gone (a killed program leaves them) are
// removed first. Every failure raises EAtomicFileError.
class TAtomicFileWriter {
public:
    explicit TAtomicFileWriter(std::u16string_view path);
    ~TAtomicFileWriter();
    TAtomicFileWriter(const TAtomicFileWriter&) = delete;
    TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

    void Write(const void* data, size_t size);
    void Commit();

private:
    friend bool WriteNewFileAtomically(std::u16string_view path, std::string_view bytes);
    struct TNewFile {};
    // For a file that must not exist yet: no link followed, no file replaced.
    TAtomicFileWriter(std::string path, TNewFile);
    void OpenTemporary(const struct stat* existing);
    // The temporary file flushed to disk and closed.
    void Flush();
    [[noreturn]] void Fail(int error);
    // Closes and removes the temporary file.
    void Abandon();

    std::string FPath;   // as given, for the error text
    std::string FTarget; // the file replaced (a link's target)
    std::string FTemporary;
    int FHandle = -1;
};

// The whole of bytes as the file's new contents, through TAtomicFileWriter.
void WriteFileAtomically(std::u16string_view path, std::string_view bytes);

// The same for a file that must not exist yet: false, writing nothing, when path
// exists (whatever it is), so that two processes never both create it.
bool WriteNewFileAtomically(std::u16string_view path, std::string_view bytes);

} // namespace orvex
