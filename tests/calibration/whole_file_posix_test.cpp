// A replaced file keeps its mode bits, which only POSIX has in this form (Windows keeps the
// file's access list, which ReplaceFileW carries over).
#include "calibration/whole_file.h"
#include "support/temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace vorkel {
namespace {

namespace fs = std::filesystem;

TEST(WholeFile, aReplacedFileKeepsItsPermissions) {
    test::TempDir dir;
    std::ofstream(dir / "t.txt") << "old";
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(dir / "t.txt", mode); // 0640, whatever the umask
    ASSERT_TRUE(writeWholeFile(dir / "t.txt", "new"));
    EXPECT_EQ(fs::status(dir / "t.txt").permissions(), mode);
}

} // namespace
} // namespace vorkel
