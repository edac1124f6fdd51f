#include "protocol/crc16.h"

#include <array>
#include <cstddef>
#include <fstream>
#include <vector>

namespace vorkel {
namespace {

constexpr std::uint16_t kPolynomial = 0xA001; // 0x8005 bit-reversed
constexpr std::size_t kSlices = 8;

using Tables = std::array<std::array<std::uint16_t, 256>, kSlices>;

// tables[0] is the classic byte table; tables[k][b] is the CRC of byte b followed by k zero
// bytes, which lets one step fold eight input bytes with eight independent lookups.
constexpr Tables makeTables() {
    Tables tables{};
    for (unsigned b = 0; b < 256; ++b) {
        std::uint16_t crc = static_cast<std::uint16_t>(b);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ kPolynomial)
                            : static_cast<std::uint16_t>(crc >> 1);
        }
        tables[0][b] = crc;
    }
    for (std::size_t k = 1; k < kSlices; ++k) {
        for (unsigned b = 0; b < 256; ++b) {
            const std::uint16_t prev = tables[k - 1][b];
            tables[k][b] = static_cast<std::uint16_t>((prev >> 8) ^ tables[0][prev & 0xFF]);
        }
    }
    return tables;
}

constexpr Tables kTables = makeTables();

} // namespace

std::uint16_t crc16Update(std::uint16_t crc, std::span<const std::uint8_t> bytes) {
    const std::uint8_t* p = bytes.data();
    std::size_t n = bytes.size();
    while (n >= kSlices) {
        // The running CRC only touches the first two bytes of the block.
        crc = static_cast<std::uint16_t>(kTables[7][(p[0] ^ crc) & 0xFF] ^
                                         kTables[6][(p[1] ^ (crc >> 8)) & 0xFF] ^ kTables[5][p[2]] ^
                                         kTables[4][p[3]] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^
                                         kTables[1][p[6]] ^ kTables[0][p[7]]);
        p += kSlices;
        n -= kSlices;
    }
    while (n-- > 0) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFF]);
    }
    return crc;
}

std::optional<std::uint16_t> crc16OfFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> block(1 << 16);
    std::uint16_t crc = kCrc16Initial;
    while (in) {
        in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        crc = crc16Update(crc, std::span(block.data(), got));
    }
    if (in.bad()) {
        return std::nullopt;
    }
    return crc;
}

} // namespace vorkel
