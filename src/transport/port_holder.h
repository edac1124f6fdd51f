// Who holds a serial port that cannot be opened because it is in use (POSIX binding): the
// processes whose open descriptors the user may see under /proc, so that the message can name
// the program ("ttyUSB0 is in use by ModemManager (pid 812)") instead of leaving a guess.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vorkel {

struct PortHolder {
    int pid = 0;
    std::string program; // the process's command name (/proc/<pid>/comm); empty if unreadable

    friend bool operator==(const PortHolder&, const PortHolder&) = default;
};

// The process under `procRoot`, other than `selfPid`, with a descriptor open on `device`
// (compared after resolving links, so a published link and its pseudo-terminal are the same):
// the one that holds a lock on it, when the lock list names one that still has it open, else
// the first found. Processes whose descriptors the user may not read are passed over.
std::optional<PortHolder> findPortHolder(const std::filesystem::path& device,
                                         const std::filesystem::path& procRoot, int selfPid);

// The file a lock is on, as /proc/locks names it: the device of its file system and its inode.
struct LockedFile {
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t inode = 0;
};

// The pid that holds a lock on `file` in the text of /proc/locks (lines such as
// "1: FLOCK  ADVISORY  WRITE 812 00:19:3 0 EOF"; waiters, "->", hold nothing), other than
// `selfPid` and other than 0 (a lock taken outside our PID namespace). The pid is as the list
// keeps it: the process may have ended since.
std::optional<int> lockHolderIn(std::string_view locks, const LockedFile& file, int selfPid);

// "ttyUSB0 is in use by ModemManager (pid 812)", "... by another program (pid 812)" when the
// holder's name cannot be read, or "ttyUSB0 is in use by another program" when no holder can
// be seen. `port` is the name as the user gave it; a path is shown by its
// last part.
std::string portInUseText(const std::string& port, const std::optional<PortHolder>& holder);

} // namespace vorkel
