#include "sim/command_line.h"

#include <charconv>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

namespace vorkel::sim {
namespace {

constexpr long long kMaxMilliseconds = 24LL * 60 * 60 * 1000; // a day is plenty for any delay
constexpr long long kMaxCount = std::numeric_limits<unsigned>::max();
constexpr long long kMaxByte = std::numeric_limits<std::uint8_t>::max();
constexpr long long kMinTemperature = std::numeric_limits<std::int8_t>::min();
constexpr long long kMaxTemperature = std::numeric_limits<std::int8_t>::max();
constexpr long long kMaxSeed = std::numeric_limits<std::uint32_t>::max();
constexpr int kDecimal = 10;
constexpr int kHexadecimal = 16;

// A whole number in decimal, or in hexadecimal after "0x"; nothing may follow it.
std::optional<long long> parseInteger(std::string_view text, long long low, long long high) {
    int base = kDecimal;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = kHexadecimal;
    }
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || stop != end || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// "1.21": two numbers of one byte each.
std::optional<std::pair<std::uint8_t, std::uint8_t>> parseVersion(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos) {
        return std::nullopt;
    }
    const auto first = parseInteger(text.substr(0, dot), 0, kMaxByte);
    const auto second = parseInteger(text.substr(dot + 1), 0, kMaxByte);
    if (!first || !second) {
        return std::nullopt;
    }
    return std::pair{static_cast<std::uint8_t>(*first), static_cast<std::uint8_t>(*second)};
}

// A link name: one path component that is neither "." nor "..".
bool isPortName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// What parsing collects besides the options themselves: the bit rate is applied to the mode
// byte at the end, so that "--mode" and "--bitrate" may come in either order.
struct Parsing {
    ProgramOptions options;
    std::optional<std::uint32_t> bitrate;
};

// Applies an option's value; returns an empty text or what is wrong with the value.
using Apply = std::function<std::string(Parsing&, std::string_view)>;

struct OptionRule {
    std::string_view name;
    bool takesValue;
    Apply apply;
};

Apply setFlag(bool SimOptions::*flag) {
    return [flag](Parsing& parsing, std::string_view) {
        parsing.options.sensor.*flag = true;
        return std::string();
    };
}

template <typename Field> Apply setNumber(Field SimOptions::*field, long long low, long long high) {
    return [field, low, high](Parsing& parsing, std::string_view value) {
        const auto number = parseInteger(value, low, high);
        if (!number) {
            return "expects a whole number from " + std::to_string(low) + " to " +
                   std::to_string(high);
        }
        parsing.options.sensor.*field = static_cast<Field>(*number);
        return std::string();
    };
}

Apply setMilliseconds(SimTime SimOptions::*field) {
    return [field](Parsing& parsing, std::string_view value) {
        const auto number = parseInteger(value, 0, kMaxMilliseconds);
        if (!number) {
            return "expects milliseconds from 0 to " + std::to_string(kMaxMilliseconds);
        }
        parsing.options.sensor.*field = std::chrono::milliseconds{*number};
        return std::string();
    };
}

Apply setVersion(std::uint8_t SimOptions::*major, std::uint8_t SimOptions::*minor) {
    return [major, minor](Parsing& parsing, std::string_view value) {
        const auto version = parseVersion(value);
        if (!version) {
            return std::string("expects two numbers 0..255 joined by a dot, as in 1.21");
        }
        parsing.options.sensor.*major = version->first;
        parsing.options.sensor.*minor = version->second;
        return std::string();
    };
}

Apply setConfigurationByte(std::size_t offset) {
    return [offset](Parsing& parsing, std::string_view value) {
        const auto number = parseInteger(value, 0, kMaxByte);
        if (!number) {
            return std::string("expects a byte, 0..255 or 0x00..0xFF");
        }
        parsing.options.sensor.configuration[offset] = static_cast<std::uint8_t>(*number);
        return std::string();
    };
}

Apply setCalibrationPoint(std::uint32_t CalibrationPoints::*point) {
    return [point](Parsing& parsing, std::string_view value) {
        const auto number = parseInteger(value, 0, kMeasurementMask);
        if (!number) {
            return "expects a raw measurement from 0 to " + std::to_string(kMeasurementMask);
        }
        parsing.options.sensor.calibration.*point = static_cast<std::uint32_t>(*number);
        return std::string();
    };
}

Apply setPath(std::filesystem::path ProgramOptions::*field) {
    return [field](Parsing& parsing, std::string_view value) {
        if (value.empty()) {
            return std::string("expects a file name");
        }
        parsing.options.*field = std::filesystem::path(value);
        return std::string();
    };
}

const std::vector<OptionRule>& optionTable() {
    static const std::vector<OptionRule> table = {
        {"--help", false,
         [](Parsing& parsing, std::string_view) {
             parsing.options.help = true;
             return std::string();
         }},
        {"--name", true,
         [](Parsing& parsing, std::string_view value) {
             if (!isPortName(value)) {
                 return std::string("expects a name without \"/\"");
             }
             parsing.options.name = std::string(value);
             return std::string();
         }},
        {"--bitrate", true,
         [](Parsing& parsing, std::string_view value) {
             const auto number = parseInteger(value, 0, kMaxSeed);
             if (!number || (*number != kBaud19200 && *number != kBaud9600)) {
                 return std::string("expects 19200 or 9600");
             }
             parsing.bitrate = static_cast<std::uint32_t>(*number);
             return std::string();
         }},
        {"--power-on", false, setFlag(&SimOptions::powerOn)},
        {"--bootloader", false, setFlag(&SimOptions::bootloader)},
        {"--restart-ms", true, setMilliseconds(&SimOptions::restartTime)},
        {"--delay-ms", true, setMilliseconds(&SimOptions::replyDelay)},
        {"--drop-every", true, setNumber(&SimOptions::dropEvery, 0, kMaxCount)},
        {"--corrupt-every", true, setNumber(&SimOptions::corruptEvery, 0, kMaxCount)},
        {"--wrong-echo-every", true, setNumber(&SimOptions::wrongEchoEvery, 0, kMaxCount)},
        {"--chunked", false, setFlag(&SimOptions::chunked)},
        {"--garbage", false, setFlag(&SimOptions::garbage)},
        {"--pace", false, setFlag(&SimOptions::pace)},
        {"--hold-back-ms", true, setMilliseconds(&SimOptions::adapterHoldBack)},
        {"--seed", true, setNumber(&SimOptions::seed, 0, kMaxSeed)},
        {"--level", true, setNumber(&SimOptions::level, 0, kFullScale4095)},
        {"--wander", true, setNumber(&SimOptions::wander, 0, kFullScale4095)},
        {"--temp", true, setNumber(&SimOptions::temperature, kMinTemperature, kMaxTemperature)},
        {"--empty", true, setCalibrationPoint(&CalibrationPoints::empty)},
        {"--full", true, setCalibrationPoint(&CalibrationPoints::full)},
        {"--mode", true, setConfigurationByte(config_offset::kMode)},
        {"--address", true, setConfigurationByte(config_offset::kAddress)},
        {"--analog-range", true, setConfigurationByte(config_offset::kAnalogRange)},
        {"--multiplier", true, setConfigurationByte(config_offset::kMultiplier)},
        {"--averaging", true, setConfigurationByte(config_offset::kAveraging)},
        {"--program-version", true,
         setVersion(&SimOptions::programMajor, &SimOptions::programMinor)},
        {"--boot-version", true, setVersion(&SimOptions::bootMajor, &SimOptions::bootMinor)},
        {"--module-id", true, setNumber(&SimOptions::moduleId, 0, kMaxByte)},
        {"--trace", true, setPath(&ProgramOptions::traceFile)},
        {"--firmware-out", true, setPath(&ProgramOptions::firmwareOut)},
    };
    return table;
}

const OptionRule* findOption(std::string_view name) {
    for (const OptionRule& rule : optionTable()) {
        if (rule.name == name) {
            return &rule;
        }
    }
    return nullptr;
}

void applyBitrate(Parsing& parsing) {
    std::uint8_t& mode = parsing.options.sensor.configuration[config_offset::kMode];
    mode &= mode_bit::kStored;
    if (!parsing.bitrate) {
        return;
    }
    if (*parsing.bitrate == kBaud9600) {
        mode |= mode_bit::kBitrate9600;
    } else {
        mode &= static_cast<std::uint8_t>(~mode_bit::kBitrate9600);
    }
}

// Splits "word value": the command and what follows it, both without surrounding blanks.
std::pair<std::string_view, std::string_view> splitCommand(std::string_view line) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    line = line.substr(first, line.find_last_not_of(kBlanks) - first + 1);
    const std::size_t gap = line.find_first_of(kBlanks);
    if (gap == std::string_view::npos) {
        return {line, {}};
    }
    std::string_view rest = line.substr(gap);
    rest.remove_prefix(rest.find_first_not_of(kBlanks));
    return {line.substr(0, gap), rest};
}

ConsoleCommand numberCommand(ConsoleCommand::Kind kind, std::string_view word,
                             std::string_view value, long long low, long long high) {
    const auto number = parseInteger(value, low, high);
    if (!number) {
        return {ConsoleCommand::Kind::Invalid, 0,
                std::string(word) + " expects a whole number from " + std::to_string(low) + " to " +
                    std::to_string(high)};
    }
    return {kind, *number, {}};
}

} // namespace

std::variant<ProgramOptions, std::string> parseCommandLine(std::span<const std::string_view> args) {
    Parsing parsing;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        std::optional<std::string_view> value;
        if (const std::size_t equals = name.find('='); equals != std::string_view::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        const OptionRule* rule = findOption(name);
        if (rule == nullptr) {
            return "unknown option " + std::string(args[i]);
        }
        if (rule->takesValue && !value) {
            if (i + 1 == args.size()) {
                return std::string(name) + " needs a value";
            }
            value = args[++i];
        } else if (!rule->takesValue && value) {
            return std::string(name) + " takes no value";
        }
        if (std::string error = rule->apply(parsing, value.value_or("")); !error.empty()) {
            return std::string(name) + " " + error;
        }
    }
    applyBitrate(parsing);
    return std::move(parsing.options);
}

std::string helpText(std::string_view programName) {
    std::string text = "Usage: " + std::string(programName) + " [options]\n";
    text += R"(
A virtual Vorkel fuel-level sensor on a pseudo-terminal, for running and testing the
configurator without hardware. It publishes the pseudo-terminal as a symbolic link
  $XDG_RUNTIME_DIR/vorkel-virtual-ports/NAME   (/tmp/runtime-$USER/... without XDG_RUNTIME_DIR)
where the configurator's port list finds it, prints the link's path on one line of standard
output, answers requests until "quit", Ctrl-C or SIGTERM, and then removes the link.

By default the sensor starts already running, so that it answers the first request at once.

The sensor answers only requests sent at its own line speed (19200 baud, or 9600 when bit 5 of
its mode byte is set); bytes sent at another speed are noise to it. Calibrating empty or full
(codes 3, 4) takes the current measurement as the point and restarts the measurement only, so
the points can be read back at once. After writing the configuration (code 1), writing the
calibration points (code 86) or completing a firmware update it restarts: silent for
--restart-ms, then its boot loader listens for 2 s and answers nothing but a firmware block
(code 88), which starts an update; then it runs normally. A firmware block within 2 s of
the reply to a configuration read (code 2) also starts an update. During an update the boot
loader answers every request with frames that begin with "1" (0x31).

Sensor:
  --name NAME              link name (default VSENSOR1)
  --bitrate 19200|9600     line speed at start (sets bit 5 of the mode byte)
  --power-on               start as freshly powered: silent for --restart-ms, then the boot
                           loader's 2 s window
  --bootloader             start stuck in the boot loader: every request gets a "1" frame until
                           a firmware update completes
  --restart-ms N           silence after a restart (default 500)
  --level N                initial level under the initial calibration (default 2048)
  --wander N               the level wanders randomly by up to N (default 2; 0: steady)
  --temp T                 temperature in degrees Celsius, -128..127 (default 22)
  --empty N, --full N      calibration points, raw 20-bit measurements (default 0 and 65535)
  --mode BYTE              mode byte (default 0x02: analog output); bits 6 and 7 are dropped
  --address N              RS-485 address (default 1)
  --analog-range BYTE      analog range byte: lower index in bits 3..0, upper in 7..4
                           (default 0xF0: 0..20 V)
  --multiplier BYTE        technological multiplier, sign-magnitude (default 0)
  --averaging N            averaging time in seconds, 0 = off (default 0)
  --program-version A.B    program version (default 1.21)
  --boot-version A.B       boot loader version (default 1.3)
  --module-id N            measuring-module identifier (default 167)

Faults:
  --delay-ms N             delay every reply by N ms
  --drop-every N           never send every Nth reply
  --corrupt-every N        send every Nth reply with a wrong checksum
  --wrong-echo-every N     echo a wrong word for every Nth firmware block (the block is still
                           stored correctly, so a resend repairs it)
  --chunked                send replies in random pieces of 1..3 bytes, 1..5 ms apart
  --garbage                put 1..3 random noise bytes (never 0x3E) before every ">" reply
  --pace                   model the wire at the sensor's bit rate (10 bit times per byte): a
                           request is taken when its last byte would have arrived, and reply
                           bytes leave one byte time apart
  --hold-back-ms N         model a USB adapter that hands each reply to the computer in one
                           piece N ms after its last byte (its latency timer: 16 on common
                           FTDI chips, 1 in low-latency mode)
  --seed N                 seed of the random source (default 1): the same seed and the same
                           requests give the same replies

Output:
  --trace FILE             write one line per event, flushed at once:
                             rx 31 05 04 00 00 00 00 09   a request frame the sensor took,
                                                          answered or not
                             tx 3E 05 00 08 16 80 08 AB   a reply as it went on the wire,
                                                          noise bytes included
                             -- restart                   a note: a restart, bytes ignored
                                                          ("-- ignored 8 bytes at 9600 baud,
                                                          sensor at 19200 baud"), ...
                           bytes in upper-case hexadecimal, separated by single spaces
  --firmware-out FILE      after each completed update write the 6144 received image bytes here
  --help                   show this text

Options that take a value also accept the form --option=value; numbers may be written in
hexadecimal with a 0x prefix.

Standard input, one command a line (end of input does not stop the sensor):
  level N                  set the measurement so that the level reads N (0..4095; at most
                           1023 while bit 4 of the mode byte selects the 0..1023 range)
  temp T                   set the temperature
  silent MS                answer no requests for MS milliseconds
  quit                     remove the link and end
)";
    return text;
}

ConsoleCommand parseConsoleCommand(std::string_view line) {
    using Kind = ConsoleCommand::Kind;
    const auto [word, value] = splitCommand(line);
    if (word.empty()) {
        return {};
    }
    if (word == "quit") {
        if (!value.empty()) {
            return {Kind::Invalid, 0, "quit takes no value"};
        }
        return {Kind::Quit, 0, {}};
    }
    if (word == "level") {
        return numberCommand(Kind::Level, word, value, 0, kFullScale4095);
    }
    if (word == "temp") {
        return numberCommand(Kind::Temperature, word, value, kMinTemperature, kMaxTemperature);
    }
    if (word == "silent") {
        return numberCommand(Kind::Silent, word, value, 0, kMaxMilliseconds);
    }
    return {Kind::Invalid, 0,
            "unknown command \"" + std::string(word) +
                "\" (commands: level N, temp T, silent MS, quit)"};
}

} // namespace vorkel::sim
