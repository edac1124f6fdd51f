// The firmware image: a raw binary file of exactly 6144 bytes named "*.bin" (any letter case),
// with no header, no checksum and no address records; byte n of the file goes to the sensor in
// the block of the word at address n rounded down to even.
//
// The image is checked when it is chosen and again when a transfer starts, because the file may
// have been replaced meanwhile; the transfer then works on a copy read in one go, so nothing that
// happens to the file during the update can change what is sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace vorkel {

inline constexpr std::size_t kFirmwareImageSize = 6144;

using FirmwareImage = std::array<std::uint8_t, kFirmwareImageSize>;

// True when the path ends in ".bin" in any ASCII letter case. The extension is taken from the
// last "." of the whole path on, so "fw.bin.old" and a folder "x.bin/fw" do not qualify.
bool hasFirmwareExtension(const std::filesystem::path& path);

// True for an existing file of exactly 6144 bytes with the firmware extension: the check made
// when an image is chosen.
bool isFirmwareImageFile(const std::filesystem::path& path);

// The whole image, read and closed at once; none when the file is missing or unreadable, is not
// exactly 6144 bytes long or lacks the firmware extension.
std::optional<FirmwareImage> readFirmwareImage(const std::filesystem::path& path);

} // namespace vorkel
