// A fresh folder under the system's temporary folder, removed with everything in it. Its name
// has Cyrillic letters, as a Russian user's folders do, so every file the tests write goes
// through a path that is not ASCII (on Windows, wide paths).
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

namespace vorkel::test {

class TempDir {
public:
    // create_directory fails for a name that exists, so a folder it makes is ours alone
    // (mkdtemp's rule, which Windows lacks).
    TempDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::u8string name = u8"vorkel-тест-";
            for (const char digit : std::to_string(random() % 1000000000)) {
                name += static_cast<char8_t>(digit);
            }
            const auto candidate = std::filesystem::temp_directory_path() / name;
            if (std::filesystem::create_directory(candidate)) {
                std::filesystem::permissions(candidate, std::filesystem::perms::owner_all);
                path_ = candidate;
                return;
            }
        }
        throw std::runtime_error("no fresh temporary folder");
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

} // namespace vorkel::test
