#include "support/sim_process.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vorkel::test {
namespace {

using namespace std::chrono_literals;

// Reads what `fd` has, waiting until `done` holds for the text so far or the deadline passes.
// False at the deadline or at the end of the stream.
template <typename Done>
bool readUntil(int fd, std::string& text, Clock::time_point deadline, Done done) {
    while (!done(text)) {
        pollfd event{fd, POLLIN, 0};
        if (::poll(&event, 1, remainingMs(deadline)) <= 0) {
            return false;
        }
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return done(text);
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return true;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

} // namespace

int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

SimProcess::SimProcess(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& runtimeDir) {
    int out[2], err[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
        ::pipe2(in, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2");
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings{"XDG_RUNTIME_DIR=" + runtimeDir.string()};
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "XDG_RUNTIME_DIR=", 16) != 0) {
            envStrings.emplace_back(*entry);
        }
    }
    std::vector<char*> argv = pointers(argStrings);
    std::vector<char*> envp = pointers(envStrings);
    const int failed =
        ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    stderr_ = err[0];
    if (failed != 0) {
        pid_ = -1;
        throw std::runtime_error("cannot start " + program);
    }
}

SimProcess::~SimProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (const int fd : {stdin_, stdout_, stderr_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

std::string SimProcess::readLine() {
    readUntil(stdout_, stdoutText_, Clock::now() + kSimPatience,
              [](const std::string& text) { return text.find('\n') != std::string::npos; });
    const std::size_t end = stdoutText_.find('\n');
    return end == std::string::npos ? std::string() : stdoutText_.substr(0, end);
}

std::string SimProcess::takeLine(std::chrono::milliseconds patience) {
    readUntil(stdout_, stdoutText_, Clock::now() + patience,
              [](const std::string& text) { return text.find('\n') != std::string::npos; });
    const std::size_t end = stdoutText_.find('\n');
    if (end == std::string::npos) {
        return {};
    }
    std::string line = stdoutText_.substr(0, end);
    stdoutText_.erase(0, end + 1);
    return line;
}

bool SimProcess::waitForError(const std::string& part) {
    return readUntil(stderr_, stderrText_, Clock::now() + kSimPatience,
                     [&](const std::string& text) { return text.find(part) != std::string::npos; });
}

void SimProcess::type(const std::string& text) {
    if (::write(stdin_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        throw std::runtime_error("cannot type to the virtual sensor");
    }
}

void SimProcess::closeInput() {
    ::close(stdin_);
    stdin_ = -1;
}

void SimProcess::signal(int number) {
    ::kill(pid_, number);
}

std::optional<int> SimProcess::waitForExit(std::chrono::milliseconds patience) {
    if (readUntil(stdout_, stdoutText_, Clock::now() + patience,
                  [](const std::string&) { return false; })) {
        return std::nullopt;
    }
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == 0) {
        // The output ended but the process lingers: give it the rest of the patience.
        const auto deadline = Clock::now() + kSimPatience;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(1ms);
        }
    }
    pid_ = -1;
    readUntil(stderr_, stderrText_, Clock::now() + kSimPatience,
              [](const std::string&) { return false; });
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

} // namespace vorkel::test
