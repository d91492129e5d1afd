#pragma once
// A temporary folder per test and byte-exact file access.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace orvex::testing {

class TTempFolder {
public:
    TTempFolder() {
        char pattern[] = "/tmp/orvex-support-XXXXXX";
        if (mkdtemp(pattern))
            path_ = pattern;
    }
    ~TTempFolder() {
        if (path_.empty())
            return;
        // Tests make files and folders read-only; give write access back before removing.
        namespace fs = std::filesystem;
        std::error_code ignored;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::recursive_directory_iterator it(path_, fs::directory_options::skip_permission_denied,
                                            ignored);
        for (; it != fs::recursive_directory_iterator(); it.increment(ignored))
            fs::permissions(it->path(), fs::perms::owner_write,
                            fs::perm_options::add | fs::perm_options::nofollow, ignored);
        fs::remove_all(path_, ignored);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    // The folder with a trailing "/".
    std::string Folder() const { return path_ + "/"; }
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    std::u16string Path16(const std::string& name) const {
        const std::string path = Path(name);
        return std::u16string(path.begin(), path.end());
    }

private:
    std::string path_;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline bool FileExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// UTF-16LE bytes of ASCII or BMP text.
inline std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

} // namespace orvex::testing
