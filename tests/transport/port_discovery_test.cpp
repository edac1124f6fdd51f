#include "support/temp_dir.h"
#include "transport/port_discovery.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <random>

namespace vorkel {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

struct NameCase {
    const char* name;
    const char* path;
    const char* shown;
};

class ComPortNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ComPortNames, getTheDevicePrefixFromTen) {
    EXPECT_EQ(comPortPath(GetParam().name), GetParam().path);
    EXPECT_EQ(comPortDisplayName(comPortPath(GetParam().name)), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    PortDiscovery, ComPortNames,
    ::testing::Values(NameCase{"COM1", "COM1", "COM1"}, NameCase{"COM3", "COM3", "COM3"},
                      NameCase{"COM9", "COM9", "COM9"}, NameCase{"COM10", R"(\\.\COM10)", "COM10"},
                      NameCase{"COM12", R"(\\.\COM12)", "COM12"},
                      NameCase{"COM256", R"(\\.\COM256)", "COM256"}, NameCase{"COM", "COM", "COM"},
                      NameCase{"CNCA0", "CNCA0", "CNCA0"}, NameCase{"COM1X5", "COM1X5", "COM1X5"},
                      NameCase{"COM05", "COM05", "COM05"}),
    [](const ::testing::TestParamInfo<NameCase>& info) {
        return std::to_string(info.index) + "_" + info.param.name;
    });

TEST(PortDiscovery, registryNamesBecomeEntriesInTheirOrder) {
    const std::vector<PortEntry> entries = portEntriesFromComNames({"COM12", "COM3"});
    EXPECT_EQ(entries, (std::vector<PortEntry>{{"COM12", R"(\\.\COM12)"}, {"COM3", "COM3"}}));
}

TEST(PortDiscovery, naturalOrderComparesDigitRunsAsNumbers) {
    std::vector<std::string> names{"ttyUSB10", "ttyS1",  "ttyUSB2", "ttyACM0", "ttyS0",
                                   "ttyUSB1",  "ttyS10", "ttyAMA0", "ttyUSB02"};
    std::mt19937 random(5);
    std::shuffle(names.begin(), names.end(), random);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return naturalLess(a, b); });
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyAMA0", "ttyS0", "ttyS1", "ttyS10",
                                               "ttyUSB1", "ttyUSB02", "ttyUSB2", "ttyUSB10"}));
    EXPECT_FALSE(naturalLess("ttyUSB2", "ttyUSB2"));
    EXPECT_TRUE(naturalLess("tty", "ttyS0"));
    EXPECT_TRUE(naturalLess("VSENSOR9", "VSENSOR10"));
}

class FakeSystem : public ::testing::Test {
protected:
    TempDir root;
    fs::path sysfs = root / "sys/class/tty";
    fs::path runtime = root / "run/user/1000";

    void SetUp() override {
        fs::create_directories(sysfs);
        fs::create_directories(root / "sys/devices/platform");
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

    void addVirtual(const std::string& name) {
        fs::create_directories(runtime / kVirtualPortsFolder);
        fs::create_symlink("/dev/pts/99", runtime / kVirtualPortsFolder / name);
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

TEST_F(FakeSystem, virtualPortsAreTheLinksOfTheRuntimeFolder) {
    addVirtual("VSENSOR10");
    addVirtual("VSENSOR2");
    std::ofstream(runtime / kVirtualPortsFolder / "README") << "not a port";
    fs::create_directory(runtime / kVirtualPortsFolder / "folder");
    const fs::path folder = runtime / kVirtualPortsFolder;
    EXPECT_EQ(listVirtualPorts(runtime),
              (std::vector<PortEntry>{{"VSENSOR2", (folder / "VSENSOR2").string()},
                                      {"VSENSOR10", (folder / "VSENSOR10").string()}}));
}

TEST_F(FakeSystem, serialPortsComeBeforeVirtualOnes) {
    addTty("ttyUSB0", true);
    addVirtual("VSENSOR1");
    const std::vector<PortEntry> entries = discoverPosixPorts(sysfs, runtime);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0], (PortEntry{"ttyUSB0", "ttyUSB0"}));
    EXPECT_EQ(entries[1].name, "VSENSOR1");
    EXPECT_EQ(entries[1].path, (runtime / kVirtualPortsFolder / "VSENSOR1").string());
}

TEST_F(FakeSystem, missingFoldersGiveNoPorts) {
    EXPECT_TRUE(discoverPosixPorts(root / "nowhere", root / "nobody").empty());
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
