#pragma once
// A private folder per test, removed afterwards; tests run in parallel processes.

#include "../base/OtherUser.h"
#include "base/Utf.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include <unistd.h>

namespace orvex::test {

class TTempFolder {
public:
    TTempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("orvex-engine-") + (info ? info->test_suite_name() : "x") + "-" +
                           (info ? info->name() : "y") + "-" + std::to_string(::getpid());
        for (auto& c : name)
            if (c == '/') c = '_';
        FPath = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath);
    }
    ~TTempFolder() {
        std::error_code error;
        std::filesystem::permissions(FPath, std::filesystem::perms::owner_all, error);
        std::filesystem::remove_all(FPath, error);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path File(const std::string& name) const { return FPath / name; }
    std::u16string File16(const std::string& name) const { return Utf8ToUtf16(File(name).string()); }

private:
    std::filesystem::path FPath;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

inline void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Every file below folder by its relative path, with its bytes; with folders too
// (as "<folder>") where withFolders is set.
inline std::map<std::string, std::string> FilesBelow(const std::filesystem::path& folder, bool withFolders = false) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file() || (withFolders && entry.is_directory()))
            files[entry.path().lexically_relative(folder).string()] =
                entry.is_directory() ? "<folder>" : ReadBytes(entry.path());
    return files;
}

// Gives path, and all it holds, links themselves included, to user (and the
// group of that number); false when that cannot be done (not root).
inline bool GiveTo(const std::filesystem::path& path, uid_t user) {
    if (::lchown(path.c_str(), user, user) != 0)
        return false;
    if (std::filesystem::is_directory(std::filesystem::symlink_status(path)))
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
            if (::lchown(entry.path().c_str(), user, user) != 0)
                return false;
    return true;
}

inline bool GiveToOtherUser(const std::filesystem::path& folder) { return GiveTo(folder, testing::OtherUser()); }

// Joins lines with CR LF after each, as the backup file's layout writes them.
inline std::string CrLfLines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const auto& line : lines) out += line + "\r\n";
    return out;
}

} // namespace orvex::test
