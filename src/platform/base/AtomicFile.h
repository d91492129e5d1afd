#pragma once
// Replaces a file's contents so that a reader, a crash or a failure sees either
// the old file or the complete new one, never a part.

#include <stdexcept>
#include <string>
#include <string_view>

namespace orvex {

// Raised when the new contents could not be put in place; the old file is then
// unchanged and no temporary file is left. Text: Cannot create file "<path>". <reason>
class EAtomicFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes bytes to a temporary file in the folder of path, flushes it to disk,
// gives it the permissions and owner of the file it replaces and renames it over
// path. A file without write permission is refused (as a read-only file: also for
// root). A symbolic link at path is followed: its target gets the new contents.
// Temporary files of earlier saves into the same folder whose process is gone (a
// killed program leaves them) are removed first.
void WriteFileAtomically(std::u16string_view path, std::string_view bytes);

// The same for a file that must not exist yet: false, writing nothing, when path
// exists (whatever it is), so that two processes never both create it.
bool WriteNewFileAtomically(std::u16string_view path, std::string_view bytes);

} // namespace orvex
