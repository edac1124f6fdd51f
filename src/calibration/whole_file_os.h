// The two steps of a whole-file write that depend on the OS: creating the temporary file
// without ever opening one that exists, and moving it over the final name so that the file
// there keeps its permissions. whole_file_posix.cpp and whole_file_win32.cpp implement them.
#pragma once

#include <filesystem>
#include <string_view>

namespace vorkel::whole_file_os {

enum class Created { Yes, NameTaken, Failed };

// Creates `partial` only if no file has that name, and writes `bytes` into it. Where the OS
// keeps permissions on the file itself, the new file takes those of `final` when it exists.
Created createNewFile(const std::filesystem::path& partial, std::string_view bytes,
                      const std::filesystem::path& final);

// Gives `partial` the name `final`, replacing a file there. False when that failed; `partial`
// is then still there.
bool moveOver(const std::filesystem::path& partial, const std::filesystem::path& final);

} // namespace vorkel::whole_file_os
