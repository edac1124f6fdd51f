#include "transport/port_holder.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>

#if defined(__linux__)
#include <sys/sysmacros.h>
#endif

namespace vorkel {

namespace fs = std::filesystem;

namespace {

std::optional<int> pidOf(const std::string& name) {
    if (name.empty() || name.size() > 9) {
        return std::nullopt;
    }
    int pid = 0;
    for (const char c : name) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return std::nullopt;
        }
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

std::string commandName(const fs::path& procRoot, int pid) {
    std::ifstream comm(procRoot / std::to_string(pid) / "comm");
    std::string program;
    std::getline(comm, program);
    return program.empty() ? "pid " + std::to_string(pid) : program;
}

// The process that holds a lock on the device, from <procRoot>/locks: lines such as
// "1: FLOCK  ADVISORY  WRITE 812 00:19:3 0 EOF" (pid, then major:minor in hex and the inode of
// the locked file). A lock is what keeps the port, where several programs have it open.
std::optional<int> lockHolder(const fs::path& device, const fs::path& procRoot, int selfPid) {
#if defined(__linux__)
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0) {
        return std::nullopt;
    }
    std::ifstream locks(procRoot / "locks");
    for (std::string line; std::getline(locks, line);) {
        if (line.find("->") != std::string::npos) {
            continue; // a program waiting for the lock, not holding it
        }
        std::istringstream fields(line);
        std::string previous;
        for (std::string field; fields >> field; previous = field) {
            unsigned major = 0;
            unsigned minor = 0;
            unsigned long long inode = 0;
            char tail = 0;
            if (std::sscanf(field.c_str(), "%x:%x:%llu%c", &major, &minor, &inode, &tail) != 3) {
                continue;
            }
            if (major == ::major(info.st_dev) && minor == ::minor(info.st_dev) &&
                inode == info.st_ino) {
                const std::optional<int> pid = pidOf(previous);
                if (pid && *pid != selfPid) {
                    return pid;
                }
            }
            break;
        }
    }
#else
    (void)device;
    (void)procRoot;
    (void)selfPid;
#endif
    return std::nullopt;
}

} // namespace

std::optional<PortHolder> findPortHolder(const fs::path& device, const fs::path& procRoot,
                                         int selfPid) {
    std::error_code error;
    const fs::path wanted = fs::canonical(device, error);
    if (error) {
        return std::nullopt;
    }
    if (const std::optional<int> pid = lockHolder(wanted, procRoot, selfPid)) {
        return PortHolder{*pid, commandName(procRoot, *pid)};
    }
    for (fs::directory_iterator it(procRoot, error), end; !error && it != end;
         it.increment(error)) {
        const std::optional<int> pid = pidOf(it->path().filename().string());
        if (!pid || *pid == selfPid) {
            continue;
        }
        std::error_code fdError; // another user's process: not ours to see, passed over
        for (fs::directory_iterator fd(it->path() / "fd", fdError), fdEnd; !fdError && fd != fdEnd;
             fd.increment(fdError)) {
            std::error_code linkError;
            const fs::path target = fs::read_symlink(fd->path(), linkError);
            if (linkError || target != wanted) {
                continue;
            }
            return PortHolder{*pid, commandName(procRoot, *pid)};
        }
    }
    return std::nullopt;
}

std::string portInUseText(const std::string& port, const std::optional<PortHolder>& holder) {
    const std::string name = fs::path(port).filename().string();
    if (!holder) {
        return name + " is in use by another program";
    }
    return name + " is in use by " + holder->program + " (pid " + std::to_string(holder->pid) +
           ")";
}

} // namespace vorkel
