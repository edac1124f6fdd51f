#include "calibration/whole_file.h"

#include <fstream>
#include <system_error>

namespace vorkel {
namespace {

// A name beside the final file that no other file has: "<name>.partial", "<name>.partial1", ...
std::filesystem::path partialPath(const std::filesystem::path& path) {
    constexpr unsigned kAttempts = 100;
    std::filesystem::path::string_type name = path.filename().native();
    for (const char c : std::string_view(".partial")) {
        name += static_cast<std::filesystem::path::value_type>(c);
    }
    std::filesystem::path candidate = std::filesystem::path(path).replace_filename(name);
    for (unsigned attempt = 1; attempt < kAttempts; ++attempt) {
        std::error_code error;
        if (!std::filesystem::exists(candidate, error) && !error) {
            break;
        }
        candidate = std::filesystem::path(path).replace_filename(name);
        candidate += std::to_string(attempt);
    }
    return candidate;
}

bool writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) {
        return false;
    }
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

} // namespace

bool writeWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    const std::filesystem::path partial = partialPath(path);
    std::error_code error;
    if (!writeFile(partial, bytes)) {
        std::filesystem::remove(partial, error);
        return false;
    }
    std::filesystem::rename(partial, path, error);
    if (error) {
        std::filesystem::remove(partial, error);
        return false;
    }
    return true;
}

std::optional<std::string> readFileStart(const std::filesystem::path& path, std::size_t count) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes(count, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(count));
    if (static_cast<std::size_t>(file.gcount()) != count) {
        return std::nullopt;
    }
    return bytes;
}

} // namespace vorkel
