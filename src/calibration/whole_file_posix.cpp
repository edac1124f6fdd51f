#include "calibration/whole_file_os.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vorkel::whole_file_os {
namespace {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

Created createNewFile(const std::filesystem::path& partial, std::string_view bytes,
                      const std::filesystem::path& final) {
    // O_EXCL: a file of that name, made by anyone at any moment, is never opened and so never
    // truncated.
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        return errno == EEXIST ? Created::NameTaken : Created::Failed;
    }
    bool ok = writeAll(fd, bytes);
    // A replaced file keeps who may read it: a private file stays private. Without an old file
    // the new one has the usual permissions (0666 less the umask).
    struct stat old {};
    if (ok && ::stat(final.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    }
    // On disk before it takes the final name: a power cut then leaves the old or the new
    // content, never an empty file.
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(partial.c_str());
        return Created::Failed;
    }
    return Created::Yes;
}

bool moveOver(const std::filesystem::path& partial, const std::filesystem::path& final) {
    return std::rename(partial.c_str(), final.c_str()) == 0;
}

} // namespace vorkel::whole_file_os
