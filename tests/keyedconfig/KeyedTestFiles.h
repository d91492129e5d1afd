#pragma once
// Temporary folders, whole-file reads and writes, and environment variables set for
// the length of a test.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include "base/Utf.h"

namespace orvex::fake {

// A fresh folder under the system's temporary folder, removed with all it holds.
class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvex-keyed-XXXXXX").string();
        FPath = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TTempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(FPath, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // The folder with a trailing "/".
    std::u16string Folder() const { return Utf8ToUtf16(FPath + "/"); }
    std::u16string File(std::string_view name) const { return Utf8ToUtf16(FPath + "/" + std::string(name)); }
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

inline void WriteBytes(const std::u16string& path, std::string_view bytes) {
    const std::filesystem::path native(Utf16ToUtf8(path));
    std::filesystem::create_directories(native.parent_path());
    std::ofstream out(native, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::u16string& path) {
    std::ifstream in(Utf16ToUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Files left in a folder (to see that no temporary file stays behind).
inline int FileCount(const std::string& folder) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

// Sets (or with nullopt unsets) an environment variable and restores it afterwards.
class TEnvironmentGuard {
public:
    TEnvironmentGuard(const char* name, std::optional<std::string> value) : FName(name) {
        if (const char* old = std::getenv(name))
            FOld = old;
        Apply(value);
    }
    ~TEnvironmentGuard() { Apply(FOld); }
    TEnvironmentGuard(const TEnvironmentGuard&) = delete;
    TEnvironmentGuard& operator=(const TEnvironmentGuard&) = delete;

private:
    void Apply(const std::optional<std::string>& value) {
        if (value)
            ::setenv(FName.c_str(), value->c_str(), 1);
        else
            ::unsetenv(FName.c_str());
    }
    std::string FName;
    std::optional<std::string> FOld;
};

} // namespace orvex::fake
