// Port discovery: the computer's serial ports, listed at start-up and again whenever the port
// watch (port_watch.h) sees the system's ports change.
//
// Each port has the name the user reads in the port selector (and the settings store), the
// path that TComPort::Port opens, and what the adapter says it is. On Windows these come from the
// registry's SERIALCOMM key; on Linux from sysfs, followed by the virtual sensors that publish
// themselves in the runtime folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

struct PortEntry {
    std::string name; // shown to the user, stored as the `port` setting
    std::string path; // given to TComPort::Port
    // What the adapter is, as its maker names it: "FT232R USB UART (FTDI)" (USB product and
    // manufacturer on Linux, the device's friendly name on Windows); empty when unknown.
    std::string description = {};
    // What stays the same when the adapter comes back under another number: its
    // /dev/serial/by-id name on Linux (maker, product, serial number, interface); empty when
    // the system gives none, or when the adapter has no serial number (such adapters share
    // one link, which names whichever of them came last).
    std::string identity = {};
    // The device behind the name where another one can take it over: the pseudo-terminal a
    // virtual sensor's link points to. A name whose device changed has gone and come back.
    std::string device = {};

    friend bool operator==(const PortEntry&, const PortEntry&) = default;
};

// The names of the serial ports, in the order the system reports them (Windows: COM3, COM12;
// Linux: ttyUSB0, ttyS0).
std::vector<std::string> listComPorts();

// The port list of this computer, in selector order.
std::vector<PortEntry> discoverPorts();

// The selector's text of an entry: "ttyUSB0 — FT232R USB UART (FTDI)", or the name alone.
std::string portDisplayText(const PortEntry& entry);

// Windows name rules. COM10 and above need the "\\.\" device prefix; the selector shows the
// name without it.
std::string comPortPath(std::string_view name);
std::string comPortDisplayName(std::string_view path);
std::vector<PortEntry> portEntriesFromComNames(const std::vector<std::string>& names);

// Name order with runs of digits compared as numbers: ttyUSB2 before ttyUSB10.
bool naturalLess(std::string_view a, std::string_view b);

// Folder name, below the user's runtime folder, where virtual sensors publish their ports.
inline constexpr std::string_view kVirtualPortsFolder = "vorkel-virtual-ports";

// POSIX sources, with their roots as parameters so that tests can build fake trees.
//   serial ports: every <sysfsTtyRoot>/<name> with a `device` link, except ports whose `type`
//   reads 0 (a legacy 8250 slot with no UART behind it); opened as "/dev/" + name.
std::vector<std::string> listSysfsSerialPorts(const std::filesystem::path& sysfsTtyRoot);
//   virtual ports: every symbolic link in <runtimeDir>/vorkel-virtual-ports that points to a
//   pseudo-terminal, shown by its name, opened through its full path. Nothing at all unless
//   both folders pass runtimeDirRefusal.
std::vector<PortEntry> listVirtualPorts(const std::filesystem::path& runtimeDir);
//   descriptions: the USB device above <sysfsTtyRoot>/<name>/device, "product (manufacturer)".
std::string sysfsUsbDescription(const std::filesystem::path& sysfsTtyRoot, const std::string& name);
//   identities: the links in `byIdFolder` (/dev/serial/by-id), by the device name they point to.
std::string serialIdentity(const std::filesystem::path& byIdFolder, const std::string& name);
inline constexpr std::string_view kSerialByIdFolder = "/dev/serial/by-id";
std::vector<PortEntry> discoverPosixPorts(
    const std::filesystem::path& sysfsTtyRoot, const std::filesystem::path& runtimeDir,
    const std::filesystem::path& byIdFolder = std::filesystem::path(kSerialByIdFolder));

// $XDG_RUNTIME_DIR, or "/tmp/runtime-" + user name when it is unset (as Qt's runtime location).
std::filesystem::path userRuntimeDir();

// Why `folder` cannot be trusted with the user's virtual ports, or an empty text when it can.
// The rule is Qt's for a runtime folder: a folder (not a link to one), owned by the user, not
// writable by group or others. Anybody else who can write there could plant a "sensor" that
// leads the configurator to a device of their choosing; a fallback folder in /tmp is exactly
// where that can happen. The one-argument form asks for the effective user (POSIX; on
// Windows, which has no virtual ports, every folder is refused).
std::string runtimeDirRefusal(const std::filesystem::path& folder);
std::string runtimeDirRefusal(const std::filesystem::path& folder, std::uint32_t ownerUid);

// True when `link` is a symbolic link straight to a pseudo-terminal: its target reads
// /dev/pts/<number> and is a character device of the pseudo-terminal major. Virtual sensors
// publish nothing else, and a link to anything else is not theirs.
bool linksToPseudoTerminal(const std::filesystem::path& link);
// True when `device` is a character device of the pseudo-terminal major (the second half of
// that test).
bool isPseudoTerminalDevice(const std::filesystem::path& device);

} // namespace vorkel
