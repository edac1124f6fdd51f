#include "calibration/whole_file_os.h"

#include <windows.h>

namespace vorkel::whole_file_os {

Created createNewFile(const std::filesystem::path& partial, std::string_view bytes,
                      const std::filesystem::path& /*final*/) {
    // CREATE_NEW: a file of that name is never opened and so never truncated. The permissions
    // of a replaced file are carried over by moveOver.
    const HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Created::NameTaken
                                                                           : Created::Failed;
    }
    bool ok = true;
    while (ok && !bytes.empty()) {
        constexpr std::size_t kChunk = 1U << 30;
        DWORD written = 0;
        const auto size = static_cast<DWORD>(bytes.size() < kChunk ? bytes.size() : kChunk);
        ok = ::WriteFile(file, bytes.data(), size, &written, nullptr) != 0 && written > 0;
        bytes.remove_prefix(written);
    }
    ok = ok && ::FlushFileBuffers(file) != 0;
    ok = ::CloseHandle(file) != 0 && ok;
    if (!ok) {
        ::DeleteFileW(partial.c_str());
        return Created::Failed;
    }
    return Created::Yes;
}

bool moveOver(const std::filesystem::path& partial, const std::filesystem::path& final) {
    const DWORD attributes = ::GetFileAttributesW(final.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // A new name: a plain move, which fails rather than replace a file made meanwhile.
        return ::MoveFileExW(partial.c_str(), final.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return false; // ReplaceFileW would move the file into the folder, or beside it
    }
    // ReplaceFileW keeps the replaced file's access rights, attributes and creation time.
    if (::ReplaceFileW(final.c_str(), partial.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                       nullptr, nullptr) != 0) {
        return true;
    }
    return ::MoveFileExW(partial.c_str(), final.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace vorkel::whole_file_os
