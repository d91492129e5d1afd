#pragma once
// Facts of the local emulated machine, in place of the registry, Winsock's host
// lookup and the file system's view of Windows drive paths.

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvex {

// ---- Registry (HKEY_LOCAL_MACHINE of the local machine; read only) ----

// A registry read failed. Texts as the class library gives them:
// "Failed to get data for 'X'" (missing value), "Invalid data type for 'X'".
class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TRegistryKey {
public:
    // The key at path ("Software\Microsoft\InetStp", compared ignoring case), or
    // nullopt when it does not exist. Opening never creates a key.
    static std::optional<TRegistryKey> OpenLocalMachineKey(std::u16string_view path);

    bool ValueExists(std::u16string_view name) const;
    // A REG_DWORD value; raises ERegistryException when it is missing or a text.
    int32_t ReadInteger(std::u16string_view name) const;
    // A text value; raises ERegistryException when it is missing or an integer.
    std::u16string ReadString(std::u16string_view name) const;

private:
    explicit TRegistryKey(std::u16string path) : FPath(std::move(path)) {}
    std::u16string FPath;
};

// ---- Winsock 1.1 host lookup ----

using TIPv4Address = std::array<uint8_t, 4>;

struct THostEntry {
    std::string Name;
    std::vector<TIPv4Address> Addresses;  // in resolver order
};

// Always succeed (0); kept so that callers read like Winsock code.
int WSAStartup(uint16_t version);
int WSACleanup();

// Copies the local host name with its terminating zero into buffer; -1 when it
// does not fit (SOCKET_ERROR), 0 otherwise.
int GetHostName(char* buffer, int length);

// The addresses of a host name: "localhost" gives 127.0.0.1, the local machine's
// name its own addresses, another emulated machine's name that machine's addresses;
// nullopt for an unknown name.
std::optional<THostEntry> GetHostByName(std::string_view name);

// "a.b.c.d", in the 8-bit code page.
std::string InetNtoa(const TIPv4Address& address);

// Parses "a.b.c.d" strictly (four decimal parts 0 to 255, no blanks).
std::optional<TIPv4Address> ParseIPv4(std::u16string_view text);

// ---- Windows drive paths of the local machine ----

// True when an absolute drive path ("C:\Inetpub\wwwroot", "/" also separates,
// case ignored) names a file, or a folder, on the local emulated machine. Relative
// paths, UNC paths and paths with "." or ".." steps or invalid characters give false.
bool MachineFileExists(std::u16string_view windowsPath);
bool MachineDirectoryExists(std::u16string_view windowsPath);
// Either of the two.
bool MachinePathExists(std::u16string_view windowsPath);

// The host path of a drive path inside a machine folder
// (machineFolder/drives/C/Inetpub/wwwroot), taken literally, for building machines;
// nullopt for a path that MachineFileExists would refuse.
std::optional<std::filesystem::path> DrivePathInFolder(const std::filesystem::path& machineFolder,
                                                       std::u16string_view windowsPath);

// Creates a folder (with its parents), or an empty file, on a machine's drives;
// what exists stays. Raises EMachineError, also for a path that the rule of
// SafePath.h refuses.
void CreateDriveFolder(const std::filesystem::path& machineFolder, std::u16string_view windowsPath);
void CreateDriveFile(const std::filesystem::path& machineFolder, std::u16string_view windowsPath);
// The same in the machine folder open at handle (shown as machineFolder).
void CreateDriveFolder(const std::filesystem::path& machineFolder, int handle, std::u16string_view windowsPath);
void CreateDriveFile(const std::filesystem::path& machineFolder, int handle, std::u16string_view windowsPath);

} // namespace orvex
