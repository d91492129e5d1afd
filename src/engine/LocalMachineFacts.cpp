#include "engine/LocalMachineFacts.h"

#include "base/CodePage1252.h"
#include "base/ExceptionText.h"
#include "engine/EngineHost.h"
#include "engine/IIsBinding.h"
#include "engine/ProgressLog.h"
#include "platform/MachineFacts.h"

namespace orvex {

int32_t GetIISMajorVersion() {
    constexpr std::u16string_view keyPath = u"Software\\Microsoft\\InetStp";
    try {
        std::optional<TRegistryKey> key = TRegistryKey::OpenLocalMachineKey(keyPath);
        if (!key) {
            LogBackupError(u"Unable to open registry path: " + std::u16string(keyPath), clLogRed);
            return 0;
        }
        return key->ReadInteger(u"MajorVersion");
    } catch (const std::exception& e) {
        LogBackupException(ExceptionMessage(e), clLogRed);
        return 0;
    }
}

void GetLocalIPAddresses(std::vector<std::u16string>& list) {
    list.clear();
    WSAStartup(0x0101);
    char name[64] = {};
    GetHostName(name, sizeof name);
    if (std::optional<THostEntry> host = GetHostByName(name))
        for (const auto& address : host->Addresses) list.push_back(Cp1252ToUtf16(InetNtoa(address)));
    WSACleanup();
}

} // namespace orvex
