// The virtual sensor's command line and the commands it reads on standard input.
// Kept apart from main.cpp so that the rules can be tested without starting the program.
#pragma once

#include "sim/sensor_model.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace vorkel::sim {

inline constexpr std::string_view kDefaultPortName = "VSENSOR1";

struct ProgramOptions {
    SimOptions sensor;
    std::string name{kDefaultPortName}; // the published link's name
    std::filesystem::path traceFile;    // empty: no trace
    std::filesystem::path firmwareOut;  // empty: received images are not written
    bool help = false;
};

// The options, or a message saying what is wrong with the command line. `args` are the
// arguments after the program name.
std::variant<ProgramOptions, std::string> parseCommandLine(std::span<const std::string_view> args);

std::string helpText(std::string_view programName);

// One line of standard input.
struct ConsoleCommand {
    enum class Kind { None, Level, Temperature, Silent, Quit, Invalid };
    Kind kind = Kind::None;
    long long value = 0;
    std::string error; // for Invalid: the one-line message for the user

    friend bool operator==(const ConsoleCommand&, const ConsoleCommand&) = default;
};

ConsoleCommand parseConsoleCommand(std::string_view line);

} // namespace vorkel::sim
