// CRC-16/MODBUS (reflected polynomial 0x8005, initial 0xFFFF, no final XOR).
// The window caption shows it over the program's own executable as the build identifier,
// so it has to get through several megabytes quickly: it works on eight bytes a step.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

namespace vorkel {

inline constexpr std::uint16_t kCrc16Initial = 0xFFFF;

// Continues a CRC over more bytes; start with kCrc16Initial.
std::uint16_t crc16Update(std::uint16_t crc, std::span<const std::uint8_t> bytes);

inline std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
    return crc16Update(kCrc16Initial, bytes);
}

// The CRC of a whole file, read in blocks; nothing when the file cannot be read.
std::optional<std::uint16_t> crc16OfFile(const std::filesystem::path& path);

} // namespace vorkel
