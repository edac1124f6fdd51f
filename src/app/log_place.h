// Where the event log file goes. A copy of the program that can write its own folder (the build
// folder, a copied executable, every Windows installation) keeps "log.txt" beside itself. A
// program installed in a system folder (anything under /usr, where not even root should keep a
// log) or in a folder it cannot write would lose every line there, so its log goes to the
// user's state folder instead.
#pragma once

#include <filesystem>
#include <string>

namespace vorkel {

enum class LogPlatform { Posix, Windows };

// What the choice depends on, gathered by `prepareLogPlace` for the running program.
struct LogPlaceFacts {
    std::filesystem::path programFolder; // absolute, links resolved
    bool programFolderWritable = true;   // "log.txt" there can be appended to
    LogPlatform platform = LogPlatform::Posix;
    std::string stateHome; // $XDG_STATE_HOME, empty when unset
    std::string home;      // $HOME, empty when unset
};

struct LogPlace {
    std::filesystem::path file;
    bool besideProgram = true; // false: the first line of a run tells where the file is
};

// Under /usr, the system's own program tree.
bool isSystemFolder(const std::filesystem::path& folder);

// The log's place: beside the program, or $XDG_STATE_HOME/vorkel-configurator/log.txt
// (~/.local/state/... when that is unset or not absolute). With neither variable usable the
// program's folder stays the place, as before.
LogPlace chooseLogPlace(const LogPlaceFacts& facts);

// The place for the running program in `programFolder`, from the environment and a write probe
// (no probe in a system folder, so that root creates nothing there). The state folder is
// created, private to the user, when it is chosen.
LogPlace prepareLogPlace(const std::filesystem::path& programFolder);

} // namespace vorkel
