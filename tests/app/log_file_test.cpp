#include "app/log_line.h"
#include "app/log_place.h"
#include "app/text_file.h"
#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace vorkel {
namespace {

std::string contentOf(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(LogLine, stampsTheTimeWithLeadingZerosAndMilliseconds) {
    EXPECT_EQ(logLine({9, 5, 7, 42}, "Sensor response timeout!"),
              "09:05:07.042 Sensor response timeout!");
    EXPECT_EQ(logLine({23, 59, 59, 999}, "x"), "23:59:59.999 x");
    EXPECT_EQ(logLine({0, 0, 0, 0}, ""), "00:00:00.000 ");
}

TEST(AppendLine, createsTheFileThenAppendsWithCrLf) {
    test::TempDir dir;
    const auto file = dir / "log.txt";
    EXPECT_TRUE(appendLine(file, "first"));
    EXPECT_TRUE(appendLine(file, "Привет, second"));
    EXPECT_EQ(contentOf(file), "first\r\nПривет, second\r\n");
}

TEST(AppendLine, reportsAFolderItCannotWriteTo) {
    test::TempDir dir;
    EXPECT_FALSE(appendLine(dir / "missing" / "log.txt", "lost"));
}

TEST(LogPlace, staysBesideAWritablePortableCopyAndMovesOutOfSystemFolders) {
    using enum LogPlatform;
    const std::string beside = "beside";
    struct Case {
        const char* folder;
        bool writable;
        LogPlatform platform;
        const char* stateHome;
        const char* home;
        std::string expected; // "beside" or the file
    } cases[] = {
        {"/home/anna/vorkel/build", true, Posix, "", "/home/anna", beside},
        {"/usr/bin", true, Posix, "/home/anna/st", "/home/anna",
         "/home/anna/st/vorkel-configurator/log.txt"},
        {"/usr/local/bin", true, Posix, "", "/home/anna",
         "/home/anna/.local/state/vorkel-configurator/log.txt"},
        {"/usr", true, Posix, "", "/root", "/root/.local/state/vorkel-configurator/log.txt"},
        {"/usrlocal/bin", true, Posix, "", "/home/anna", beside},
        {"/usr/../opt/v", true, Posix, "", "/home/anna", beside},
        {"/opt/v", false, Posix, "", "/home/anna",
         "/home/anna/.local/state/vorkel-configurator/log.txt"},
        {"/opt/v", false, Posix, "relative/state", "/home/anna",
         "/home/anna/.local/state/vorkel-configurator/log.txt"},
        {"/opt/v", false, Posix, "", "", beside},
        {"/opt/v", false, Posix, "", "anna", beside},
        {"C:/Program Files/Vorkel", false, Windows, "", "", beside},
        {"/usr/bin", true, Windows, "/s", "/h", beside},
    };
    for (const Case& c : cases) {
        const LogPlace place =
            chooseLogPlace({c.folder, c.writable, c.platform, c.stateHome, c.home});
        const std::filesystem::path besideFile = std::filesystem::path(c.folder) / "log.txt";
        EXPECT_EQ(place.file, c.expected == beside ? besideFile : std::filesystem::path(c.expected))
            << c.folder;
        EXPECT_EQ(place.besideProgram, c.expected == beside) << c.folder;
    }
}

} // namespace
} // namespace vorkel
