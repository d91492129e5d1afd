#include "platform/MachineFacts.h"

#include "base/AsciiText.h"
#include "base/CaseFold.h"
#include "base/CodePage1252.h"
#include "base/SafePath.h"
#include "base/Utf.h"
#include "platform/EmulatedMachine.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <system_error>

#include <fcntl.h>

namespace orvex {

namespace {

// The local machine is created on first use, so only a damaged file stops this.
std::shared_ptr<TEmulatedMachine> LocalMachine() { return OpenMachine(u""); }

// Host lookups fail quietly, as Winsock does, also when the machine file is damaged.
std::shared_ptr<TEmulatedMachine> LocalMachineOrNull() {
    try {
        return OpenMachine(u"");
    } catch (const std::exception&) {
        return nullptr;
    }
}

bool KeyIsOrContains(std::u16string_view key, std::u16string_view path) {
    if (key.size() < path.size() || !SameAsciiText(key.substr(0, path.size()), path))
        return false;
    return key.size() == path.size() || key[path.size()] == u'\\';
}

std::string Quoted(std::u16string_view name) { return "'" + Utf16ToUtf8(name) + "'"; }

// Splits "C:\a\b" into the drive letter and the steps; nullopt when unsafe.
std::optional<std::pair<char16_t, std::vector<std::u16string>>> SplitDrivePath(std::u16string_view path) {
    if (path.size() < 3 || path[1] != u':' || (path[2] != u'\\' && path[2] != u'/'))
        return std::nullopt;
    char16_t letter = path[0];
    if (letter >= u'a' && letter <= u'z')
        letter = static_cast<char16_t>(letter - 32);
    if (letter < u'A' || letter > u'Z')
        return std::nullopt;
    std::vector<std::u16string> steps;
    std::u16string step;
    for (size_t i = 3; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == u'\\' || path[i] == u'/') {
            if (step == u"." || step == u"..")
                return std::nullopt;
            if (!step.empty())
                steps.push_back(step);
            else if (i != path.size())
                return std::nullopt;  // "C:\a\\b"
            step.clear();
            continue;
        }
        const char16_t c = path[i];
        if (c < 0x20 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos)
            return std::nullopt;
        step.push_back(c);
    }
    return std::make_pair(letter, std::move(steps));
}

// The status of what a drive path names on the local machine, each step found
// ignoring case and followed under the rule of SafePath.h; nullopt when there is
// none, or the rule refuses a step on the way.
std::optional<struct stat> LocalPathStatus(std::u16string_view windowsPath) {
    const auto split = SplitDrivePath(windowsPath);
    if (!split)
        return std::nullopt;
    const std::shared_ptr<TEmulatedMachine> machine = LocalMachineOrNull();
    if (!machine)
        return std::nullopt;
    std::vector<std::u16string> steps = {std::u16string(1, split->first)};
    steps.insert(steps.end(), split->second.begin(), split->second.end());
    try {
        TSafeFolders folders(machine->Folder().string());
        TSafePlace place;
        if (folders.StartError() || folders.Follow("drives", place) != 0)
            return std::nullopt;
        for (const std::u16string& step : steps) {
            if (place.Inside == TSafePlace::kNone)
                return std::nullopt;
            const size_t folder = place.Inside;
            std::string found;
            ForEachNameIn(folders.Handle(folder), [&](const std::string& name) {
                if (SameTextIgnoreCase(Utf8ToUtf16(name), step))
                    found = name;
                return found.empty();
            });
            if (found.empty() || folders.Follow(found, place, folder) != 0 || !place.Exists)
                return std::nullopt;
        }
        return place.Status;
    } catch (const EUnsafePathError&) {
        return std::nullopt;
    }
}

} // namespace

std::optional<TRegistryKey> TRegistryKey::OpenLocalMachineKey(std::u16string_view path) {
    const auto machine = LocalMachine();
    for (const TRegistryValue& value : machine->Facts().Registry)
        if (KeyIsOrContains(value.Key, path))
            return TRegistryKey(std::u16string(path));
    return std::nullopt;
}

bool TRegistryKey::ValueExists(std::u16string_view name) const {
    const auto machine = LocalMachine();
    for (const TRegistryValue& value : machine->Facts().Registry)
        if (SameAsciiText(value.Key, FPath) && SameAsciiText(value.Name, name))
            return true;
    return false;
}

int32_t TRegistryKey::ReadInteger(std::u16string_view name) const {
    const auto machine = LocalMachine();
    for (const TRegistryValue& value : machine->Facts().Registry)
        if (SameAsciiText(value.Key, FPath) && SameAsciiText(value.Name, name)) {
            if (value.Value.Kind() != TVariantKind::vkInteger)
                throw ERegistryException("Invalid data type for " + Quoted(name));
            return value.Value.AsInteger();
        }
    throw ERegistryException("Failed to get data for " + Quoted(name));
}

std::u16string TRegistryKey::ReadString(std::u16string_view name) const {
    const auto machine = LocalMachine();
    for (const TRegistryValue& value : machine->Facts().Registry)
        if (SameAsciiText(value.Key, FPath) && SameAsciiText(value.Name, name)) {
            if (value.Value.Kind() != TVariantKind::vkText)
                throw ERegistryException("Invalid data type for " + Quoted(name));
            return value.Value.AsText();
        }
    throw ERegistryException("Failed to get data for " + Quoted(name));
}

int WSAStartup(uint16_t) { return 0; }
int WSACleanup() { return 0; }

int GetHostName(char* buffer, int length) {
    const auto machine = LocalMachineOrNull();
    if (!machine)
        return -1;
    const std::string name = Utf16ToCp1252(machine->Facts().ComputerName);
    if (length <= 0 || name.size() + 1 > static_cast<size_t>(length))
        return -1;
    name.copy(buffer, name.size());
    buffer[name.size()] = '\0';
    return 0;
}

std::optional<THostEntry> GetHostByName(std::string_view name) {
    const std::u16string wide = Cp1252ToUtf16(name);
    if (SameAsciiText(wide, u"localhost"))
        return THostEntry{std::string(name), {TIPv4Address{127, 0, 0, 1}}};
    std::shared_ptr<TEmulatedMachine> machine = LocalMachineOrNull();
    try {
        if (machine && !SameAsciiText(wide, machine->Facts().ComputerName))
            machine = wide.empty() ? nullptr : OpenMachine(wide);
    } catch (const std::exception&) {
        machine = nullptr;
    }
    if (!machine)
        return std::nullopt;
    THostEntry entry{std::string(name), {}};
    for (const std::u16string& text : machine->Facts().IPv4Addresses)
        if (std::optional<TIPv4Address> address = ParseIPv4(text))
            entry.Addresses.push_back(*address);
    return entry;
}

std::string InetNtoa(const TIPv4Address& address) {
    std::string text;
    for (size_t i = 0; i < 4; ++i) {
        char buffer[4];
        if (i)
            text.push_back('.');
        text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, address[i]).ptr);
    }
    return text;
}

std::optional<TIPv4Address> ParseIPv4(std::u16string_view text) {
    TIPv4Address address{};
    size_t part = 0, digits = 0;
    int value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'.') {
            if (digits == 0 || part > 3)
                return std::nullopt;
            address[part++] = static_cast<uint8_t>(value);
            value = 0;
            digits = 0;
        } else if (text[i] >= u'0' && text[i] <= u'9' && digits < 3) {
            value = value * 10 + (text[i] - u'0');
            ++digits;
            if (value > 255)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (part != 4)
        return std::nullopt;
    return address;
}

bool MachineFileExists(std::u16string_view windowsPath) {
    const auto status = LocalPathStatus(windowsPath);
    return status && S_ISREG(status->st_mode);
}

bool MachineDirectoryExists(std::u16string_view windowsPath) {
    const auto status = LocalPathStatus(windowsPath);
    return status && S_ISDIR(status->st_mode);
}

bool MachinePathExists(std::u16string_view windowsPath) { return LocalPathStatus(windowsPath).has_value(); }

std::optional<std::filesystem::path> DrivePathInFolder(const std::filesystem::path& machineFolder, std::u16string_view windowsPath) {
    auto split = SplitDrivePath(windowsPath);
    if (!split)
        return std::nullopt;
    std::filesystem::path path = machineFolder / "drives" / Utf16ToUtf8(std::u16string(1, split->first));
    for (const std::u16string& step : split->second)
        path /= Utf16ToUtf8(step);
    return path;
}

namespace {

// Makes the folders of a drive path below the machine folder at handle (shown as
// machineFolder); the file name at its end too, when file is set. Raises
// EMachineError.
void MakeDrivePath(const std::filesystem::path& machineFolder, int handle, std::u16string_view windowsPath, bool file) {
    const auto split = SplitDrivePath(windowsPath);
    if (!split)
        throw EMachineError("\"" + Utf16ToUtf8(windowsPath) + "\" is not a drive path");
    std::vector<std::string> steps = {"drives", Utf16ToUtf8(std::u16string(1, split->first))};
    for (const std::u16string& step : split->second)
        steps.push_back(Utf16ToUtf8(step));
    TSafeFolders folders(handle, machineFolder.string());
    size_t folder = 0;
    const auto fail = [&](const std::string& step, const std::string& why) {
        throw EMachineError("Cannot make \"" + folders.Shown(folder) + "/" + step + "\": " + why);
    };
    const auto errorText = [](int error) { return std::generic_category().message(error); };
    for (size_t i = 0; i + (file ? 1 : 0) < steps.size(); ++i) {
        TSafePlace place;
        try {
            if (const int error = folders.MakeFolder(folder, steps[i], place))
                fail(steps[i], errorText(error));
        } catch (const EUnsafePathError& e) {
            fail(steps[i], e.what());
        }
        if (place.Inside == TSafePlace::kNone)
            fail(steps[i], errorText(ENOTDIR));
        folder = place.Inside;
    }
    if (!file)
        return;
    const TFileHandle made(::openat(folders.Handle(folder), steps.back().c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (made.Get() < 0 && errno != EEXIST)
        fail(steps.back(), errorText(errno));
}

} // namespace

void CreateDriveFolder(const std::filesystem::path& machineFolder, int handle, std::u16string_view windowsPath) {
    MakeDrivePath(machineFolder, handle, windowsPath, false);
}

void CreateDriveFile(const std::filesystem::path& machineFolder, int handle, std::u16string_view windowsPath) {
    MakeDrivePath(machineFolder, handle, windowsPath, true);
}

void CreateDriveFolder(const std::filesystem::path& machineFolder, std::u16string_view windowsPath) {
    CreateDriveFolder(machineFolder, MadeMachineFolder(machineFolder).Handle(0), windowsPath);
}

void CreateDriveFile(const std::filesystem::path& machineFolder, std::u16string_view windowsPath) {
    CreateDriveFile(machineFolder, MadeMachineFolder(machineFolder).Handle(0), windowsPath);
}

} // namespace orvex
