// What one run of vorkel-cli is asked to do: the command, its arguments and the global options,
// and the names and values of the configuration fields that `config set` changes.
#pragma once

#include "sensor/configuration_record.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel::cli {

enum class Command {
    Ports,
    Info,
    Watch,
    Config,
    ConfigSet,
    Points,
    PointsSet,
    CalibrateEmpty,
    CalibrateFull,
    BackupSave,
    BackupLoad,
    Flash,
    TableConvert, // no port: a calibration table file from one export format into another
};

enum class BaudChoice { Auto, Fast, Slow }; // the window's search, 19200 only, 9600 only

// The exit statuses, worst last: a run ends with the worst of its ports'.
enum ExitStatus : int {
    kSucceeded = 0,
    kSensorFailed = 1, // no answer, or the sensor or the program refused
    kUsageError = 2,   // unknown command or key, value out of range, missing file
    kPortFailed = 3,   // the port could not be opened
};

// One field of the configuration record, by its name on the command line.
struct ConfigurationField {
    std::string_view name;
    std::string_view values; // for the help: "analog|frequency", "0..255"
    std::string_view meaning;
    // Puts the value into the record; false when the value is not one of `values`.
    std::function<bool(std::string_view value, ConfigurationRecord& record)> apply;
};
const std::vector<ConfigurationField>& configurationFields();

// "address=12": the field and the value as typed.
struct ConfigurationChange {
    const ConfigurationField* field = nullptr;
    std::string value;
};

struct CliJob {
    Command command = Command::Info;
    std::vector<std::string> ports;
    BaudChoice baud = BaudChoice::Auto;
    bool json = false;
    bool yes = false;                  // `points set`: write even when empty is not below full
    std::optional<unsigned> count;     // `watch`: readings to show; none: until interrupted
    std::vector<ConfigurationChange> changes; // `config set`
    std::uint32_t emptyPoint = 0;      // `points set`
    std::uint32_t fullPoint = 0;
    std::filesystem::path file;        // `backup save|load`, `flash`; `table convert`: IN
    std::filesystem::path target;      // `table convert`: OUT
    std::string format;                // `table convert`: the format OUT is written in
};

// Whole decimal number within [min, max], nothing else (no sign for min >= 0, no spaces).
std::optional<long long> parseWhole(std::string_view text, long long min, long long max);

} // namespace vorkel::cli
