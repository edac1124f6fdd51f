// The Windows port names and the name order, rules that hold on every system.
#include "transport/port_discovery.h"
#include "transport/port_watch.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace vorkel {
namespace {

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

// An empty value removes the variable.
void setVariable(const char* name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    value.empty() ? ::unsetenv(name) : ::setenv(name, value.c_str(), 1);
#endif
}

// The watched folders are looked up at start-up: a temporary folder that the environment names
// but that is gone (a removed drive, a profile copied from elsewhere) must not end it.
TEST(PortDiscovery, aMissingTemporaryFolderEndsNothing) {
    std::vector<std::pair<const char*, std::string>> saved;
    for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
        const char* value = std::getenv(name);
        saved.emplace_back(name, value != nullptr ? value : "");
        setVariable(name, R"(C:\vorkel-missing\temp)");
    }
    EXPECT_NO_THROW(PortWatch watch(PortWatch::systemFolders(userRuntimeDir())));
    for (const auto& [name, value] : saved) {
        setVariable(name, value);
    }
}

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

} // namespace
} // namespace vorkel
