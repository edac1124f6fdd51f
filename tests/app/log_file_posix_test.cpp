// A folder without write permission, which only POSIX sets this way.
#include "app/text_file.h"
#include "support/temp_dir.h"

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

} // namespace
} // namespace vorkel
