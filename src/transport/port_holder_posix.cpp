#include "transport/port_holder.h"

#include <cctype>
#include <fstream>
#include <system_error>

namespace vorkel {

namespace fs = std::filesystem;

namespace {

std::optional<int> pidOf(const fs::path& folder) {
    const std::string name = folder.filename().string();
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

} // namespace

std::optional<PortHolder> findPortHolder(const fs::path& device, const fs::path& procRoot,
                                         int selfPid) {
    std::error_code error;
    const fs::path wanted = fs::canonical(device, error);
    if (error) {
        return std::nullopt;
    }
    for (fs::directory_iterator it(procRoot, error), end; !error && it != end;
         it.increment(error)) {
        const std::optional<int> pid = pidOf(it->path());
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
            std::ifstream comm(it->path() / "comm");
            std::string program;
            std::getline(comm, program);
            return PortHolder{*pid, program.empty() ? "pid " + std::to_string(*pid) : program};
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
