#include "protocol/crc16.h"
#include "support/temp_dir.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string_view>
#include <vector>

namespace vorkel {
namespace {

// The CRC as its definition reads, one bit at a time: the reference for the fast version.
std::uint16_t crc16BitByBit(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int i = 0; i < 8; ++i) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
    }
    return crc;
}

std::span<const std::uint8_t> asBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::vector<std::uint8_t> randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(n);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    return bytes;
}

TEST(Crc16, matchesTheModbusCheckValue) {
    EXPECT_EQ(crc16(asBytes("123456789")), 0x4B37);
    EXPECT_EQ(crc16({}), 0xFFFF);
}

TEST(Crc16, agreesWithTheBitwiseDefinitionAtEveryLengthAndAlignment) {
    const std::vector<std::uint8_t> bytes = randomBytes(4096 + 17, 7);
    for (std::size_t offset = 0; offset < 9; ++offset) {
        for (std::size_t length = 0; length < 70; ++length) {
            const std::span<const std::uint8_t> part(bytes.data() + offset, length);
            ASSERT_EQ(crc16(part), crc16BitByBit(part)) << offset << '+' << length;
        }
    }
    EXPECT_EQ(crc16(bytes), crc16BitByBit(bytes));
}

TEST(Crc16, continuesAcrossPieces) {
    const std::vector<std::uint8_t> bytes = randomBytes(1000, 3);
    const std::span<const std::uint8_t> all(bytes);
    const std::uint16_t first = crc16Update(kCrc16Initial, all.first(333));
    EXPECT_EQ(crc16Update(first, all.subspan(333)), crc16(all));
}

class Crc16OfFile : public ::testing::Test {
protected:
    test::TempDir dir;
    std::filesystem::path path = dir / "image.bin";

    void write(const std::vector<std::uint8_t>& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_F(Crc16OfFile, coversEveryByteOfFilesLargerThanOneBlock) {
    const std::vector<std::uint8_t> bytes = randomBytes(3 * 65536 + 5, 11);
    write(bytes);
    EXPECT_EQ(crc16OfFile(path), crc16BitByBit(bytes));
}

TEST_F(Crc16OfFile, ofAnEmptyFileIsTheInitialValue) {
    write({});
    EXPECT_EQ(crc16OfFile(path), 0xFFFF);
}

TEST_F(Crc16OfFile, isNothingForAMissingFile) {
    EXPECT_EQ(crc16OfFile(path / "missing"), std::nullopt);
}

} // namespace
} // namespace vorkel
