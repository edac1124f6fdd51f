#include "app/text_file.h"

#include <fstream>

namespace vorkel {

bool appendLine(const std::filesystem::path& path, std::string_view text) {
    std::ofstream file(path, std::ios::binary | std::ios::app);
    if (!file) {
        return false;
    }
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.write("\r\n", 2);
    file.close();
    return !file.fail();
}

} // namespace vorkel
