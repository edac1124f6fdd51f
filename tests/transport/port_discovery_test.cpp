#include "support/pseudo_terminal.h"
#include "support/temp_dir.h"
#include "transport/port_discovery.h"
#include "transport/port_holder.h"
#include "transport/port_watch.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vorkel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

class FakeSystem : public ::testing::Test {
protected:
    TempDir root;
    fs::path sysfs = root / "sys/class/tty";
    fs::path runtime = root / "run/user/1000";
    fs::path published = runtime / kVirtualPortsFolder;
    test::PseudoTerminal pty; // what a virtual sensor publishes

    void SetUp() override {
        fs::create_directories(sysfs);
        fs::create_directories(root / "sys/devices/platform");
        fs::create_directories(published);
        fs::permissions(runtime, fs::perms::owner_all);
        fs::permissions(published, fs::perms::owner_all);
    }

    // A tty as sysfs shows it: a folder, a `device` link when a driver owns it, and for
    // serial-core ports a `type` attribute (0 when no UART answered).
    void addTty(const std::string& name, bool withDevice, std::optional<int> type = {}) {
        const fs::path folder = sysfs / name;
        fs::create_directories(folder);
        if (withDevice) {
            fs::create_directory_symlink(root / "sys/devices/platform", folder / "device");
        }
        if (type) {
            std::ofstream(folder / "type") << *type << '\n';
        }
    }

    void addVirtual(const std::string& name, const fs::path& target) {
        fs::create_symlink(target, published / name);
    }
    void addVirtual(const std::string& name) { addVirtual(name, pty.path()); }

    std::vector<std::string> virtualNames() const {
        std::vector<std::string> names;
        for (const PortEntry& entry : listVirtualPorts(runtime)) {
            names.push_back(entry.name);
        }
        return names;
    }
};

TEST_F(FakeSystem, listsTtysWithHardwareInNameOrder) {
    addTty("ttyUSB10", true);
    addTty("ttyUSB2", true);
    addTty("ttyACM0", true);
    addTty("ttyS0", true, 4); // a 16550A
    addTty("ttyS1", true, 0); // an empty legacy slot
    addTty("ttyS2", true, 0);
    addTty("tty0", false); // virtual consoles and the like have no device
    addTty("console", false);
    addTty("ptmx", false);
    EXPECT_EQ(listSysfsSerialPorts(sysfs),
              (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB2", "ttyUSB10"}));
}

TEST_F(FakeSystem, virtualPortsAreTheLinksOfTheRuntimeFolderToPseudoTerminals) {
    addVirtual("VSENSOR10");
    addVirtual("VSENSOR2");
    std::ofstream(published / "README") << "not a port";
    fs::create_directory(published / "folder");
    // Links that no virtual sensor makes: to other devices, to nothing, to a file, through
    // another link.
    addVirtual("NULL", "/dev/null");
    addVirtual("PTMX", "/dev/pts/ptmx");
    addVirtual("GONE", "/dev/pts/4194303");
    std::ofstream(root / "pts-lookalike") << "";
    addVirtual("FILE", root / "pts-lookalike");
    fs::create_symlink(pty.path(), root / "hop");
    addVirtual("HOP", root / "hop");
    EXPECT_EQ(listVirtualPorts(runtime),
              (std::vector<PortEntry>{
                  {"VSENSOR2", (published / "VSENSOR2").string(), "", "", pty.path()},
                  {"VSENSOR10", (published / "VSENSOR10").string(), "", "", pty.path()}}));
}

TEST_F(FakeSystem, onlyPseudoTerminalsPassTheDeviceTest) {
    EXPECT_TRUE(isPseudoTerminalDevice(pty.path()));
    EXPECT_FALSE(isPseudoTerminalDevice("/dev/null")); // a character device of another major
    EXPECT_FALSE(isPseudoTerminalDevice(root.path()));
    EXPECT_FALSE(isPseudoTerminalDevice(root / "missing"));
}

struct FolderCase {
    const char* name;
    const char* folder; // "runtime" or "published"
    fs::perms permissions;
    bool listed;
    friend void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }
};

class RuntimeFolderRule : public FakeSystem, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(RuntimeFolderRule, listsOnlyFromFoldersNobodyElseCanWriteInto) {
    addVirtual("VSENSOR1");
    const fs::path folder = std::string(GetParam().folder) == "runtime" ? runtime : published;
    fs::permissions(folder, GetParam().permissions);
    EXPECT_EQ(virtualNames().size(), GetParam().listed ? 1u : 0u);
    EXPECT_EQ(runtimeDirRefusal(folder).empty(), GetParam().listed) << runtimeDirRefusal(folder);
}

constexpr fs::perms kRwx = fs::perms::owner_all;
constexpr fs::perms kReadable =
    fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;

INSTANTIATE_TEST_SUITE_P(
    PortDiscovery, RuntimeFolderRule,
    ::testing::Values(
        FolderCase{"private", "runtime", kRwx, true},
        FolderCase{"readableByAll", "runtime", kRwx | kReadable, true},
        FolderCase{"groupWritable", "runtime", kRwx | fs::perms::group_all, false},
        FolderCase{"othersWritable", "runtime", kRwx | fs::perms::others_write, false},
        FolderCase{"sticky", "runtime", fs::perms::all | fs::perms::sticky_bit, false},
        FolderCase{"portsFolderGroupWritable", "published", kRwx | fs::perms::group_write, false},
        FolderCase{"portsFolderOthersWritable", "published", fs::perms::all, false}),
    [](const ::testing::TestParamInfo<FolderCase>& info) { return info.param.name; });

TEST_F(FakeSystem, aRuntimeFolderOfAnotherUserOrNoFolderIsRefused) {
    const auto me = static_cast<std::uint32_t>(::geteuid());
    EXPECT_EQ(runtimeDirRefusal(runtime, me), "");
    EXPECT_NE(runtimeDirRefusal(runtime, me + 1).find("belongs to user"), std::string::npos);
    EXPECT_NE(runtimeDirRefusal(root / "missing", me), "");
    // A link to a private folder is not the folder: whoever made the link chose where it leads.
    fs::create_directory_symlink(runtime, root / "linked-runtime");
    EXPECT_NE(runtimeDirRefusal(root / "linked-runtime", me), "");
    addVirtual("VSENSOR1");
    EXPECT_TRUE(listVirtualPorts(root / "linked-runtime").empty());
}

TEST_F(FakeSystem, serialPortsComeBeforeVirtualOnes) {
    addTty("ttyUSB0", true);
    addVirtual("VSENSOR1");
    const std::vector<PortEntry> entries = discoverPosixPorts(sysfs, runtime, root / "by-id");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (PortEntry{"ttyUSB0", "ttyUSB0"}));
    EXPECT_EQ(entries[1].name, "VSENSOR1");
    EXPECT_EQ(entries[1].path, (runtime / kVirtualPortsFolder / "VSENSOR1").string());
}

TEST_F(FakeSystem, usbAdaptersSayWhatTheyAreAndWhoTheyAre) {
    // ttyUSB: device -> the usb-serial port below the interface; ttyACM: device -> the
    // interface. The names sit on the USB device above.
    const auto usbDevice = [&](const std::string& id, const std::string& product,
                               const std::string& maker, const std::string& serial = "") {
        const fs::path folder = root / "sys/devices/usb1" / id;
        fs::create_directories(folder / (id + ":1.0/port"));
        std::ofstream(folder / "idVendor") << "0403\n";
        if (!serial.empty()) {
            std::ofstream(folder / "serial") << serial << "\n";
        }
        if (!product.empty()) {
            std::ofstream(folder / "product") << product << "\n";
        }
        if (!maker.empty()) {
            std::ofstream(folder / "manufacturer") << maker << "\n";
        }
        return folder / (id + ":1.0");
    };
    addTty("ttyUSB0", false);
    addTty("ttyUSB1", false);
    addTty("ttyACM0", false);
    addTty("ttyS0", true, 4);
    fs::create_directory_symlink(usbDevice("1-1", "FT232R USB UART", "FTDI", "A50285BI") / "port",
                                 sysfs / "ttyUSB0" / "device");
    fs::create_directory_symlink(usbDevice("1-3", "USB Serial", "") / "port",
                                 sysfs / "ttyUSB1" / "device");
    fs::create_directory_symlink(usbDevice("1-2", "CDC RS-485", ""), sysfs / "ttyACM0" / "device");
    fs::create_directories(root / "by-id");
    fs::create_symlink("../../ttyUSB0", root / "by-id" / "usb-FTDI_FT232R_A50285BI-if00-port0");
    // No serial number: every such adapter gets this one link, so it names none of them.
    fs::create_symlink("../../ttyUSB1", root / "by-id" / "usb-1a86_USB_Serial-if00-port0");

    const std::vector<PortEntry> entries = discoverPosixPorts(sysfs, runtime, root / "by-id");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[3], (PortEntry{"ttyUSB1", "ttyUSB1", "USB Serial", ""}));
    EXPECT_EQ(entries[0], (PortEntry{"ttyACM0", "ttyACM0", "CDC RS-485", ""}));
    EXPECT_EQ(entries[1], (PortEntry{"ttyS0", "ttyS0", "", ""}));
    EXPECT_EQ(entries[2], (PortEntry{"ttyUSB0", "ttyUSB0", "FT232R USB UART (FTDI)",
                                     "usb-FTDI_FT232R_A50285BI-if00-port0"}));
    EXPECT_EQ(portDisplayText(entries[2]), "ttyUSB0 \u2014 FT232R USB UART (FTDI)");
    EXPECT_EQ(portDisplayText(entries[1]), "ttyS0");
}

TEST_F(FakeSystem, theWatchWakesForPortsThatComeAndGoAlsoInAFolderMadeLater) {
    fs::remove(published);
    PortWatch watch({runtime, runtime / kVirtualPortsFolder});
    ASSERT_GE(watch.handle(), 0);
    EXPECT_FALSE(watch.takeChanges());
    fs::create_directory(published); // the first virtual sensor makes it
    EXPECT_TRUE(watch.takeChanges());
    addVirtual("VSENSOR1");
    EXPECT_TRUE(watch.takeChanges());
    fs::remove(published / "VSENSOR1");
    EXPECT_TRUE(watch.takeChanges());
    EXPECT_FALSE(watch.takeChanges());
}

TEST_F(FakeSystem, aBusyPortNamesTheProcessThatHoldsIt) {
    // /proc as far as the search reads it: a process with the device among its descriptors,
    // one without, our own (passed over), and one whose descriptors may not be read.
    const fs::path proc = root / "proc";
    const auto process = [&](int pid, const std::string& comm, const fs::path& open) {
        const fs::path folder = proc / std::to_string(pid);
        fs::create_directories(folder / "fd");
        std::ofstream(folder / "comm") << comm << "\n";
        fs::create_symlink(open, folder / "fd" / "3");
    };
    addVirtual("VSENSOR1");
    process(7, "bash", "/dev/null");
    process(99, "configurator", pty.path());
    process(812, "ModemManager", pty.path());
    fs::create_directories(proc / "900");
    fs::create_directories(proc / "self");

    const auto holder = findPortHolder(published / "VSENSOR1", proc, 99);
    EXPECT_EQ(holder, (PortHolder{812, "ModemManager"}));
    EXPECT_EQ(portInUseText("ttyUSB0", holder), "ttyUSB0 is in use by ModemManager (pid 812)");
    EXPECT_EQ(findPortHolder(published / "VSENSOR1", proc, 812), (PortHolder{99, "configurator"}));
    EXPECT_EQ(findPortHolder(runtime, proc, 99), std::nullopt);

    // Where a lock says who keeps the port, that one is named.
    struct stat info {};
    ASSERT_EQ(::stat(pty.path().c_str(), &info), 0);
    std::ofstream(proc / "locks") << "1: FLOCK  ADVISORY  WRITE 7 00:01:2 0 EOF\n"
                                  << "2: -> FLOCK  ADVISORY  WRITE 99 " << std::hex
                                  << major(info.st_dev) << ":" << minor(info.st_dev) << ":"
                                  << std::dec << info.st_ino << " 0 EOF\n"
                                  << "3: FLOCK  ADVISORY  WRITE 7 " << std::hex
                                  << major(info.st_dev) << ":" << minor(info.st_dev) << ":"
                                  << std::dec << info.st_ino << " 0 EOF\n";
    EXPECT_EQ(findPortHolder(published / "VSENSOR1", proc, 99), (PortHolder{7, "bash"}));
    EXPECT_EQ(portInUseText((published / "VSENSOR1").string(), std::nullopt),
              "VSENSOR1 is in use by another program");
}

TEST_F(FakeSystem, missingFoldersGiveNoPorts) {
    EXPECT_TRUE(discoverPosixPorts(root / "nowhere", root / "nobody").empty());
    EXPECT_TRUE(discoverPosixPorts(sysfs, runtime).empty());
    fs::remove(published);
    EXPECT_TRUE(discoverPosixPorts(sysfs, runtime).empty());
}

class RuntimeFolder : public ::testing::Test {
protected:
    std::optional<std::string> saved;
    void SetUp() override {
        if (const char* value = std::getenv("XDG_RUNTIME_DIR")) {
            saved = value;
        }
    }
    void TearDown() override {
        if (saved) {
            ::setenv("XDG_RUNTIME_DIR", saved->c_str(), 1);
        } else {
            ::unsetenv("XDG_RUNTIME_DIR");
        }
    }
};

TEST_F(RuntimeFolder, isTheXdgFolderWhenSet) {
    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(userRuntimeDir(), fs::path("/run/user/4242"));
}

TEST_F(RuntimeFolder, fallsBackToATemporaryFolderOfTheUser) {
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string folder = userRuntimeDir().string();
    EXPECT_EQ(folder.rfind("/tmp/runtime-", 0), 0u) << folder;
    EXPECT_GT(folder.size(), std::string("/tmp/runtime-").size());
}

} // namespace
} // namespace vorkel
