// Port discovery on Windows: the values of HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, whose data are
// the port names (COM3, COM12), in the order the registry enumerates them; the friendly names
// of the ports' devices (SetupAPI) say what each adapter is.
#include "transport/port_discovery.h"
#include "transport/win32_text.h"

#include <cstdlib>
#include <map>
#include <system_error>
#include <windows.h>
// After windows.h:
#include <devguid.h>
#include <setupapi.h>

namespace vorkel {
namespace {

// "USB Serial Port (COM3)" for COM3, from the present devices of the Ports class, without the
// " (COM3)" that the selector shows already.
std::map<std::string, std::string> friendlyNames() {
    std::map<std::string, std::string> names;
    HDEVINFO devices =
        ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return names;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key =
            ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        wchar_t port[64] = {};
        DWORD portSize = sizeof port - sizeof(wchar_t);
        DWORD type = 0;
        const LONG read = ::RegQueryValueExW(key, L"PortName", nullptr, &type,
                                             reinterpret_cast<BYTE*>(port), &portSize);
        ::RegCloseKey(key);
        wchar_t friendly[256] = {};
        if (read != ERROR_SUCCESS || type != REG_SZ ||
            !::SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                 reinterpret_cast<BYTE*>(friendly),
                                                 sizeof friendly - sizeof(wchar_t), nullptr)) {
            continue;
        }
        const std::string name = win32::narrow(port);
        std::string text = win32::narrow(friendly);
        const std::string suffix = " (" + name + ")";
        if (text.size() > suffix.size() &&
            text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
            text.resize(text.size() - suffix.size());
        }
        names[name] = text;
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return names;
}

} // namespace
} // namespace vorkel

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
    std::vector<PortEntry> entries = portEntriesFromComNames(listComPorts());
    const std::map<std::string, std::string> friendly = friendlyNames();
    for (PortEntry& entry : entries) {
        if (const auto found = friendly.find(entry.name); found != friendly.end()) {
            entry.description = found->second;
        }
    }
    return entries;
}

std::filesystem::path userRuntimeDir() {
    // Windows has no runtime folder of its own; the temporary folder serves. %TMP% may name a
    // folder that is gone, which the throwing form reports with an exception.
    std::error_code error;
    std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path() : folder;
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
