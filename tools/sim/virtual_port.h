// Where the virtual sensor meets the configurator: a pseudo-terminal, whose slave side is a
// serial device to the configurator, and the symbolic link that publishes it in the folder
// that the configurator's port discovery reads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vorkel::sim {

class PseudoTerminalLine {
public:
    // Opens a pseudo-terminal and sets its line raw at `initialBaud`. Throws std::system_error.
    explicit PseudoTerminalLine(std::uint32_t initialBaud);
    ~PseudoTerminalLine();
    PseudoTerminalLine(const PseudoTerminalLine&) = delete;
    PseudoTerminalLine& operator=(const PseudoTerminalLine&) = delete;

    // The sensor's end: what the configurator writes is read here, replies are written here.
    // Non-blocking.
    int master() const { return master_; }
    // The device the configurator opens.
    const std::string& devicePath() const { return devicePath_; }
    // The speed the other side last set on the line, in baud; 0 when it is not a known rate.
    std::uint32_t lineBaud() const;

private:
    int master_ = -1;
    // Our own descriptor of the slave, open for the whole run: through it we read the line
    // settings the configurator applied, and while it is open the master never sees a hang-up
    // when the configurator closes the port.
    int slave_ = -1;
    std::string devicePath_;
};

// <runtime folder>/vorkel-virtual-ports, the folder the configurator lists.
std::filesystem::path virtualPortsFolder();

class PublishedLink {
public:
    // Creates `folder` (mode 0700) when missing and links `folder`/`name` to `target`,
    // replacing an old link of that name. Refuses, with std::runtime_error saying why, when
    // `folder` or the runtime folder above it is not one the configurator lists ports from
    // (runtimeDirRefusal). Throws std::system_error or std::runtime_error.
    PublishedLink(const std::filesystem::path& folder, const std::string& name,
                  const std::filesystem::path& target);
    // Removes the link, unless another sensor has since taken the name over.
    ~PublishedLink();
    PublishedLink(const PublishedLink&) = delete;
    PublishedLink& operator=(const PublishedLink&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
    std::filesystem::path target_;
};

} // namespace vorkel::sim
