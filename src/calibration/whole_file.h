// Files read and written in one piece: a backup of the calibration points and the calibration
// table's exports.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vorkel {

// Writes `bytes` as the whole content of `path`, replacing a file that is there. The bytes go
// to a new file in the same folder first, which then takes the final name, so a failure (a
// full disk, a folder without write access) leaves neither a half-written file nor a damaged
// old one. A file that is replaced keeps its permissions. False when the file could not be
// written.
bool writeWholeFile(const std::filesystem::path& path, std::string_view bytes);

// The content of a file of exactly `size` bytes; nothing when it is missing, cannot be read or
// has another size.
std::optional<std::string> readFileOfSize(const std::filesystem::path& path, std::size_t size);
// The content of a file, but no more than `largest` + 1 bytes, so that a longer file shows as
// longer without being read whole; nothing when it is missing or cannot be read.
std::optional<std::string> readFileUpTo(const std::filesystem::path& path, std::size_t largest);

} // namespace vorkel
