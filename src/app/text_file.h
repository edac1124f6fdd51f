// Small file helpers shared by the event log and the exports: each call opens, works and
// closes, so a file is complete on disk after every call and readable by other programs.
#pragma once

#include <filesystem>
#include <string_view>

namespace vorkel {

// Appends `text` and CR LF to the end of the file, creating it when missing. False when the
// file cannot be opened or written; callers that must stay silent ignore it.
bool appendLine(const std::filesystem::path& path, std::string_view text);

} // namespace vorkel
