// What only POSIX does: a folder without write permission, and the log moving to the state
// folder of XDG when the program's own folder cannot take it.
#include "app/log_place.h"
#include "app/text_file.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorkel {
namespace {

TEST(AppendLine, reportsAReadOnlyFolder) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes anywhere";
    }
    test::TempDir dir;
    ::chmod(dir.path().c_str(), 0500);
    EXPECT_FALSE(appendLine(dir / "log.txt", "lost"));
    ::chmod(dir.path().c_str(), 0700);
}

TEST(LogPlace, probesWithoutLeavingAFileAndCreatesAPrivateStateFolder) {
    test::TempDir dir;
    EXPECT_EQ(prepareLogPlace(dir.path()).file, dir / "log.txt");
    EXPECT_FALSE(std::filesystem::exists(dir / "log.txt"));

    const std::string savedState =
        std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
    ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    const LogPlace place = prepareLogPlace(dir / "no such folder");
    savedState.empty() ? ::unsetenv("XDG_STATE_HOME")
                       : ::setenv("XDG_STATE_HOME", savedState.c_str(), 1);
    EXPECT_EQ(place.file, dir / "state" / "vorkel-configurator" / "log.txt");
    EXPECT_FALSE(place.besideProgram);
    for (const auto& folder : {dir / "state", dir / "state" / "vorkel-configurator"}) {
        EXPECT_EQ(std::filesystem::status(folder).permissions(), std::filesystem::perms::owner_all);
    }
    EXPECT_TRUE(appendLine(place.file, "written"));
}

} // namespace
} // namespace vorkel
