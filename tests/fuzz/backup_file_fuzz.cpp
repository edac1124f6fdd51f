// The calibration backup file loader on arbitrary file contents.
//
// Input: the file's content, as it is.
//
// Besides memory and undefined-behaviour errors: a file gives a record exactly when it holds
// five bytes, and then those; saving that record and loading it again gives
// the same record from a file of exactly five bytes.
#include "calibration/backup_file.h"
#include "fuzz/fuzz_input.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

// Two files in a folder of this process's own, made once and removed at exit (the object is
// never destroyed, so the exit handler can still use it). The folder is in memory where the
// system has such a place: every save flushes its file to disk, and waiting for the disk,
// not the loader, would otherwise take nearly all of a run's time.
struct Scratch {
    std::filesystem::path folder;
    std::filesystem::path loaded;
    std::filesystem::path saved;
};

const Scratch& scratch() {
    static const Scratch* const files = [] {
        const std::string name = "vorkel-fuzz-backup-" + std::to_string(::getpid());
        std::filesystem::path folder = std::filesystem::path("/dev/shm") / name;
        std::error_code error;
        if (!std::filesystem::create_directory(folder, error)) {
            folder = std::filesystem::temp_directory_path() / name;
            std::filesystem::create_directories(folder);
        }
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratch().folder, ignored);
        });
        return new Scratch{folder, folder / "loaded", folder / "saved"};
    }();
    return *files;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    const std::filesystem::path& loaded = scratch().loaded;
    const std::filesystem::path& saved = scratch().saved;
    {
        std::ofstream file(loaded, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::optional<FrameData> record = readBackupFile(loaded);
    FUZZ_CHECK(record.has_value() == (size == kFrameDataSize));
    if (record) {
        FUZZ_CHECK(std::equal(record->begin(), record->end(), data));
        FUZZ_CHECK(writeBackupFile(saved, *record));
        FUZZ_CHECK(std::filesystem::file_size(saved) == kFrameDataSize);
        FUZZ_CHECK(readBackupFile(saved) == record);
    }
    return 0;
}
