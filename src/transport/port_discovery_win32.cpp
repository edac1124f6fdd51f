// Port discovery on Windows: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, whose data are
// the port names (COM3, COM12), in the order the registry enumerates them.
#include "transport/port_discovery.h"
#include "transport/win32_text.h"

#include <cstdlib>
#include <windows.h>

namespace vorkel {

std::vector<std::string> listComPorts() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t valueName[256];
        DWORD valueNameLength = 256;
        wchar_t data[256];
        DWORD dataSize = sizeof data;
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, index, valueName, &valueNameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        std::size_t length = dataSize / sizeof(wchar_t);
        while (length > 0 && data[length - 1] == L'\0') {
            --length;
        }
        names.push_back(win32::narrow(std::wstring(data, length)));
    }
    ::RegCloseKey(key);
    return names;
}

std::vector<PortEntry> discoverPorts() {
    return portEntriesFromComNames(listComPorts());
}

std::filesystem::path userRuntimeDir() {
    // Windows has no runtime folder of its own; the temporary folder serves.
    return std::filesystem::temp_directory_path();
}

// Virtual sensors live on pseudo-terminals, which Windows does not have.
std::string runtimeDirRefusal(const std::filesystem::path&) {
    return "Windows has no virtual ports";
}

std::string runtimeDirRefusal(const std::filesystem::path& folder, std::uint32_t) {
    return runtimeDirRefusal(folder);
}

bool linksToPseudoTerminal(const std::filesystem::path&) {
    return false;
}

bool isPseudoTerminalDevice(const std::filesystem::path&) {
    return false;
}

} // namespace vorkel
