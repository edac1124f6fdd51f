#include "app/log_place.h"

#include <cstdlib>
#include <fstream>
#include <system_error>

namespace vorkel {
namespace {

namespace fs = std::filesystem;

constexpr const char* kLogFileName = "log.txt";
constexpr const char* kStateFolderName = "vorkel-configurator";

[[maybe_unused]] std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Opens the file for appending as the log would. A file the probe itself created is removed
// again, so that a folder is never left with an empty log that nobody wrote.
[[maybe_unused]] bool canAppendTo(const fs::path& file) {
    std::error_code error;
    const bool existed = fs::exists(file, error);
    const bool opened = static_cast<bool>(std::ofstream(file, std::ios::binary | std::ios::app));
    if (opened && !existed) {
        fs::remove(file, error);
    }
    return opened;
}

// Missing folders are made readable by their owner only: the log shows the user's work.
void createPrivateFolders(const fs::path& folder) {
    std::error_code error;
    if (folder.empty() || fs::exists(folder, error)) {
        return;
    }
    createPrivateFolders(folder.parent_path());
    if (fs::create_directory(folder, error)) {
        fs::permissions(folder, fs::perms::owner_all, error);
    }
}

// The rules are POSIX's whatever system computes them ("/home/anna" has no drive letter, yet
// is an absolute POSIX path), so that the choice reads the same in every build.
bool isPosixAbsolute(const fs::path& path) {
    return path.has_root_directory() && !path.has_root_name();
}

} // namespace

bool isSystemFolder(const fs::path& folder) {
    const fs::path normal = folder.lexically_normal();
    if (!isPosixAbsolute(normal)) {
        return false;
    }
    const fs::path relative = normal.relative_path();
    return !relative.empty() && *relative.begin() == "usr";
}

LogPlace chooseLogPlace(const LogPlaceFacts& facts) {
    const LogPlace beside{facts.programFolder / kLogFileName, true};
    if (facts.platform == LogPlatform::Windows ||
        (facts.programFolderWritable && !isSystemFolder(facts.programFolder))) {
        return beside;
    }
    // Relative values are invalid for these variables and are ignored.
    fs::path stateHome = facts.stateHome;
    if (!isPosixAbsolute(stateHome)) {
        const fs::path home = facts.home;
        if (!isPosixAbsolute(home)) {
            return beside;
        }
        stateHome = home / ".local" / "state";
    }
    return {stateHome / kStateFolderName / kLogFileName, false};
}

LogPlace prepareLogPlace(const fs::path& programFolder) {
    LogPlaceFacts facts;
    facts.programFolder = programFolder;
#if defined(_WIN32)
    facts.platform = LogPlatform::Windows;
#else
    facts.programFolderWritable =
        !isSystemFolder(programFolder) && canAppendTo(programFolder / kLogFileName);
    facts.stateHome = environmentValue("XDG_STATE_HOME");
    facts.home = environmentValue("HOME");
#endif
    const LogPlace place = chooseLogPlace(facts);
    if (!place.besideProgram) {
        createPrivateFolders(place.file.parent_path());
    }
    return place;
}

} // namespace vorkel
