// The image file rules and the geometry of the painted progress bar.
#include "firmware/firmware_image.h"
#include "firmware/progress_bar.h"
#include "support/temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace vorkel {
namespace {

TEST(FirmwareExtension, isDotBinInAnyCaseFromTheLastDotOfTheWholePath) {
    struct Case {
        const char* path;
        bool accepted;
    };
    for (const Case& c : {Case{"fw.bin", true}, Case{"FW.BIN", true}, Case{"dir/Fw.bIn", true},
                          Case{".bin", true}, Case{"fw.bin.old", false}, Case{"fw.hex", false},
                          Case{"fw", false}, Case{"x.bin/fw", false}, Case{"fw.binx", false},
                          Case{"fwbin", false}, Case{"fw.bi", false}}) {
        EXPECT_EQ(hasFirmwareExtension(c.path), c.accepted) << c.path;
    }
}

TEST(FirmwareImageRead, takesExactly6144BytesAndNothingElse) {
    test::TempDir dir;
    auto write = [&](const char* name, std::size_t size) {
        std::ofstream file(dir / name, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i) {
            file.put(static_cast<char>(i % 251));
        }
        return dir / name;
    };
    const std::optional<FirmwareImage> image = readFirmwareImage(write("fw.bin", 6144));
    ASSERT_TRUE(image.has_value());
    EXPECT_EQ((*image)[0], 0);
    EXPECT_EQ((*image)[6143], 6143 % 251);

    EXPECT_FALSE(readFirmwareImage(write("short.bin", 6143)));
    EXPECT_FALSE(readFirmwareImage(write("long.bin", 6145)));
    EXPECT_FALSE(readFirmwareImage(write("fw.hex", 6144)));
    EXPECT_FALSE(readFirmwareImage(dir / "missing.bin"));
    std::filesystem::create_directory(dir / "folder.bin");
    EXPECT_FALSE(readFirmwareImage(dir / "folder.bin"));
    EXPECT_FALSE(isFirmwareImageFile(dir / "folder.bin"));
}

TEST(FlashProgressPaint, fillsTheBarInProportionAndCentresTheTextWithItsShadow) {
    // Half the image on a box 504 wide fills to x = 252.
    const FlashProgressPaint half = flashProgressPaint(504, 30, 3072, 40, 14);
    EXPECT_EQ(half.frame, (PaintRect{0, 0, 504, 30}));
    EXPECT_EQ(half.bar, (PaintRect{2, 2, 252, 28}));
    EXPECT_EQ(half.textAt, (PaintPoint{232, 8}));
    EXPECT_EQ(half.shadowAt, (PaintPoint{233, 9}));
    EXPECT_EQ(flashProgressText(3072), "3072");

    struct Case {
        int width;
        std::uint32_t progress;
        int barRight;
    };
    for (const Case& c : {Case{504, 0, 2}, Case{504, 6144, 502}, Case{504, 2, 2}, Case{504, 13, 3},
                          Case{3, 6144, 1}, Case{100000, 6144, 99998}}) {
        EXPECT_EQ(flashProgressPaint(c.width, 30, c.progress, 10, 10).bar.right, c.barRight)
            << c.width << " " << c.progress;
    }
    // Odd extents round toward zero.
    EXPECT_EQ(flashProgressPaint(101, 21, 0, 10, 10).textAt, (PaintPoint{45, 5}));
}

} // namespace
} // namespace vorkel
