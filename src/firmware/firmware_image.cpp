#include "firmware/firmware_image.h"

#include <fstream>

namespace vorkel {
namespace {

constexpr std::string_view kExtension = ".bin";

// `lowerCase` in either ASCII letter case; Char is char, or wchar_t on Windows.
template <typename Char> bool matchesIgnoringAsciiCase(Char character, char lowerCase) {
    if (character >= 'A' && character <= 'Z') {
        character = static_cast<Char>(character - 'A' + 'a');
    }
    return character == static_cast<Char>(lowerCase);
}

} // namespace

bool hasFirmwareExtension(const std::filesystem::path& path) {
    // The native string (UTF-16 on Windows): the rule is about ASCII letters and the dot only.
    const auto& text = path.native();
    const auto dot = text.rfind('.');
    if (dot == text.npos || text.size() - dot != kExtension.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kExtension.size(); ++i) {
        if (!matchesIgnoringAsciiCase(text[dot + i], kExtension[i])) {
            return false;
        }
    }
    return true;
}

bool isFirmwareImageFile(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return !error && size == kFirmwareImageSize && hasFirmwareExtension(path);
}

std::optional<FirmwareImage> readFirmwareImage(const std::filesystem::path& path) {
    if (!hasFirmwareExtension(path)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    FirmwareImage image{};
    file.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (file.gcount() != static_cast<std::streamsize>(image.size())) {
        return std::nullopt; // shorter than an image (or a folder, or unreadable)
    }
    // One byte more would mean a larger file: its first 6144 bytes are not an image either.
    if (file.peek() != std::ifstream::traits_type::eof()) {
        return std::nullopt;
    }
    return image;
}

} // namespace vorkel
