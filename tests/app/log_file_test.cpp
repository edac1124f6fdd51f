#include "app/log_line.h"
#include "app/text_file.h"
#include "support/temp_dir.h"

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

} // namespace
} // namespace vorkel
