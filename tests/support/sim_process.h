// The virtual sensor program as a child process, with its standard streams on pipes and its
// runtime folder (where it publishes its port) chosen by the test.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vorkel::test {

using Clock = std::chrono::steady_clock;

// Generous: the sanitizer build starts slowly.
inline constexpr std::chrono::seconds kSimPatience{5};

int remainingMs(Clock::time_point deadline);

class SimProcess {
public:
    SimProcess(const std::string& program, const std::vector<std::string>& args,
               const std::filesystem::path& runtimeDir);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The first line of standard output, without its line end; empty if none came.
    std::string readLine();
    // The next line of standard output, which then is no longer there; empty if none came
    // within `patience`.
    std::string takeLine(std::chrono::milliseconds patience = kSimPatience);
    // Waits until standard error has shown `part`.
    bool waitForError(const std::string& part);
    // Types on its standard input.
    void type(const std::string& text);
    void closeInput();
    void signal(int number);
    // The exit status once the program has ended (its output then reaches its end), or none;
    // all it wrote to standard error is in errors() then.
    std::optional<int> waitForExit(std::chrono::milliseconds patience = kSimPatience);

    const std::string& output() const { return stdoutText_; }
    const std::string& errors() const { return stderrText_; }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    std::string stdoutText_;
    std::string stderrText_;
};

} // namespace vorkel::test
