#include "calibration/whole_file.h"

#include "calibration/whole_file_os.h"

#include <fstream>
#include <string>
#include <system_error>

namespace vorkel {

bool writeWholeFile(const std::filesystem::path& path, std::string_view bytes) {
    // A name beside the final file that no other file has: "<name>.partial", "<name>.partial1",
    // ... Each is only taken when it can be created as a new file, so a file that someone left
    // there, or makes there meanwhile, is never touched.
    constexpr unsigned kAttempts = 100;
    std::filesystem::path::string_type name = path.filename().native();
    for (const char c : std::string_view(".partial")) {
        name += static_cast<std::filesystem::path::value_type>(c);
    }
    for (unsigned attempt = 0; attempt < kAttempts; ++attempt) {
        std::filesystem::path partial = std::filesystem::path(path).replace_filename(name);
        if (attempt > 0) {
            partial += std::to_string(attempt);
        }
        switch (whole_file_os::createNewFile(partial, bytes, path)) {
        case whole_file_os::Created::NameTaken:
            continue;
        case whole_file_os::Created::Failed:
            return false;
        case whole_file_os::Created::Yes:
            break;
        }
        if (!whole_file_os::moveOver(partial, path)) {
            std::error_code error;
            std::filesystem::remove(partial, error);
            return false;
        }
        return true;
    }
    return false;
}

std::optional<std::string> readFileOfSize(const std::filesystem::path& path, std::size_t size) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    // One byte more than wanted tells a longer file, whatever the size the folder reports.
    std::string bytes(size + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (static_cast<std::size_t>(file.gcount()) != size) {
        return std::nullopt;
    }
    bytes.resize(size);
    return bytes;
}

std::optional<std::string> readFileUpTo(const std::filesystem::path& path, std::size_t largest) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::string bytes(largest + 1, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (file.bad()) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

} // namespace vorkel
