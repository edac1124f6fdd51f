// The portable half of port discovery: name rules, and the listings of folders that the
// POSIX and Windows halves point it at.
#include "transport/port_discovery.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

namespace vorkel {
namespace {

constexpr std::string_view kDevicePrefix = R"(\\.\)";

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

namespace fs = std::filesystem;

// The serial core's `type` attribute is 0 (PORT_UNKNOWN) for a slot where no UART answered:
// the 8250 driver registers such placeholders (ttyS1..ttyS31) on most PCs.
bool isEmptyUartSlot(const fs::path& ttyFolder) {
    std::ifstream type(ttyFolder / "type");
    int value = -1;
    return type >> value && value == 0;
}

void sortByName(std::vector<std::string>& names) {
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
}

} // namespace

std::string portDisplayText(const PortEntry& entry) {
    return entry.description.empty() ? entry.name : entry.name + " \u2014 " + entry.description;
}

std::string comPortPath(std::string_view name) {
    // The number after the three-letter prefix ("COM"): its leading digits, 0 when none.
    unsigned long number = 0;
    for (std::size_t i = 3; i < name.size() && isDigit(name[i]); ++i) {
        number = number * 10 + static_cast<unsigned long>(name[i] - '0');
        if (number >= 10) {
            break; // all that matters
        }
    }
    if (number >= 10) {
        return std::string(kDevicePrefix) + std::string(name);
    }
    return std::string(name);
}

std::string comPortDisplayName(std::string_view path) {
    if (path.find(kDevicePrefix) != std::string_view::npos) {
        return std::string(path.substr(kDevicePrefix.size()));
    }
    return std::string(path);
}

std::vector<PortEntry> portEntriesFromComNames(const std::vector<std::string>& names) {
    std::vector<PortEntry> entries;
    entries.reserve(names.size());
    for (const std::string& name : names) {
        std::string path = comPortPath(name);
        entries.push_back(PortEntry{comPortDisplayName(path), std::move(path)});
    }
    return entries;
}

bool naturalLess(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            // Compare the digit runs as numbers: skip leading zeros, then the longer run is
            // larger, then digit by digit.
            std::size_t ei = i;
            std::size_t ej = j;
            while (ei < a.size() && isDigit(a[ei]))
                ++ei;
            while (ej < b.size() && isDigit(b[ej]))
                ++ej;
            std::string_view na = a.substr(i, ei - i);
            std::string_view nb = b.substr(j, ej - j);
            while (na.size() > 1 && na.front() == '0')
                na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0')
                nb.remove_prefix(1);
            if (na.size() != nb.size()) {
                return na.size() < nb.size();
            }
            if (na != nb) {
                return na < nb;
            }
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j]) {
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        }
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) {
        return a.size() - i < b.size() - j;
    }
    return a < b; // equal as numbers ("01" and "1"): keep a total order
}

std::vector<std::string> listSysfsSerialPorts(const fs::path& sysfsTtyRoot) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(sysfsTtyRoot, error), end; !error && it != end;
         it.increment(error)) {
        const fs::path folder = it->path();
        std::error_code linkError;
        if (!fs::is_symlink(folder / "device", linkError) || isEmptyUartSlot(folder)) {
            continue;
        }
        names.push_back(folder.filename().string());
    }
    sortByName(names);
    return names;
}

std::vector<PortEntry> listVirtualPorts(const fs::path& runtimeDir) {
    std::vector<std::string> names;
    const fs::path folder = runtimeDir / kVirtualPortsFolder;
    if (!runtimeDirRefusal(runtimeDir).empty() || !runtimeDirRefusal(folder).empty()) {
        return {};
    }
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (linksToPseudoTerminal(it->path())) {
            names.push_back(it->path().filename().string());
        }
    }
    sortByName(names);
    std::vector<PortEntry> entries;
    for (const std::string& name : names) {
        std::error_code linkError;
        entries.push_back(PortEntry{name, (folder / name).string(), "", "",
                                    fs::read_symlink(folder / name, linkError).string()});
    }
    return entries;
}

namespace {

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

} // namespace

// <tty>/device is the USB interface (ttyACM) or the usb-serial port below it (ttyUSB); the
// USB device that carries the names is a few folders up. Empty when there is none.
fs::path usbDeviceFolder(const fs::path& sysfsTtyRoot, const std::string& name) {
    std::error_code error;
    fs::path folder = fs::canonical(sysfsTtyRoot / name / "device", error);
    for (int up = 0; !error && up < 4 && folder.has_relative_path(); ++up) {
        if (fs::exists(folder / "idVendor", error)) {
            return folder;
        }
        folder = folder.parent_path();
    }
    return {};
}

std::string sysfsUsbDescription(const fs::path& sysfsTtyRoot, const std::string& name) {
    const fs::path folder = usbDeviceFolder(sysfsTtyRoot, name);
    if (folder.empty()) {
        return {};
    }
    const std::string product = firstLine(folder / "product");
    const std::string maker = firstLine(folder / "manufacturer");
    if (product.empty()) {
        return maker;
    }
    return maker.empty() ? product : product + " (" + maker + ")";
}

std::string serialIdentity(const fs::path& byIdFolder, const std::string& name) {
    std::error_code error;
    for (fs::directory_iterator it(byIdFolder, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && target.filename() == name) {
            return it->path().filename().string();
        }
    }
    return {};
}

std::vector<PortEntry> discoverPosixPorts(const fs::path& sysfsTtyRoot, const fs::path& runtimeDir,
                                          const fs::path& byIdFolder) {
    std::vector<PortEntry> entries;
    for (const std::string& name : listSysfsSerialPorts(sysfsTtyRoot)) {
        // TComPort opens it as "/dev/" + name. Adapters without a serial number (most CH340
        // and PL2303 converters) share one by-id link, which udev points at whichever of them
        // came last: that name tells nothing about which adapter it is.
        const fs::path usbDevice = usbDeviceFolder(sysfsTtyRoot, name);
        const bool hasSerial = !usbDevice.empty() && !firstLine(usbDevice / "serial").empty();
        entries.push_back(PortEntry{name, name, sysfsUsbDescription(sysfsTtyRoot, name),
                                    hasSerial ? serialIdentity(byIdFolder, name) : ""});
    }
    for (PortEntry& entry : listVirtualPorts(runtimeDir)) {
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace vorkel
