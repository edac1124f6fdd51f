#include "cli/cli_job.h"

#include <charconv>

namespace vorkel::cli {
namespace {

std::function<bool(std::string_view, ConfigurationRecord&)>
choice(std::string_view first, std::string_view second, bool ModeFields::*member) {
    return [=](std::string_view value, ConfigurationRecord& record) {
        if (value != first && value != second) {
            return false;
        }
        record.mode.*member = value == second;
        return true;
    };
}

template <typename Setter>
std::function<bool(std::string_view, ConfigurationRecord&)> whole(long long min, long long max,
                                                                   Setter set) {
    return [=](std::string_view value, ConfigurationRecord& record) {
        const std::optional<long long> number = parseWhole(value, min, max);
        if (number) {
            set(record, *number);
        }
        return number.has_value();
    };
}

} // namespace

std::optional<long long> parseWhole(std::string_view text, long long min, long long max) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < min || value > max) {
        return std::nullopt;
    }
    return value;
}

const std::vector<ConfigurationField>& configurationFields() {
    static const std::vector<ConfigurationField> fields = {
        {"output", "analog|frequency", "output mode",
         [](std::string_view value, ConfigurationRecord& record) {
             if (value != "analog" && value != "frequency") {
                 return false;
             }
             record.mode.analog = value == "analog";
             return true;
         }},
        {"resistor", "off|on", "frequency output with resistor",
         choice("off", "on", &ModeFields::withResistor)},
        {"frequency-range", "2000|1020", "frequency range 30-2000 Hz or 30-1020 Hz",
         choice("2000", "1020", &ModeFields::range1020)},
        {"analog-low", "0..15", "analog range: output at level 0 (index, steps of 1.25 V)",
         whole(0, 15, [](ConfigurationRecord& r, long long v) { r.range.lower = int(v); })},
        {"analog-high", "0..15", "analog range: output at full level (index, steps of 1.25 V)",
         whole(0, 15, [](ConfigurationRecord& r, long long v) { r.range.upper = int(v); })},
        {"address", "0..255", "RS-485 address",
         [](std::string_view value, ConfigurationRecord& record) {
             // The window's rule: an address the record cannot hold is refused, not cut.
             if (!parseWhole(value, 0, 255) || !addressFitsRecord(value)) {
                 return false;
             }
             record.address = *addressFromText(value);
             return true;
         }},
        {"range", "4095|1023", "RS-485 range 1..4095 or 1..1023",
         choice("4095", "1023", &ModeFields::range1023)},
        {"bitrate", "19200|9600", "the sensor's bit rate",
         choice("19200", "9600", &ModeFields::bitrate9600)},
        {"push", "off|on", "automatic data push", choice("off", "on", &ModeFields::autoPush)},
        {"multiplier", "-127..127", "technological multiplier",
         whole(-127, 127, [](ConfigurationRecord& r, long long v) { r.multiplierPosition = int(v); })},
        // Only the averaging control's items: the caller checks the value against them.
        {"averaging", "off|2..32|64|128", "averaging time in seconds",
         [](std::string_view value, ConfigurationRecord& record) {
             const std::optional<long long> seconds =
                 value == "off" ? std::optional<long long>(0) : parseWhole(value, 0, 255);
             if (seconds) {
                 record.averagingSeconds = static_cast<std::uint8_t>(*seconds);
             }
             return seconds.has_value();
         }},
    };
    return fields;
}

} // namespace vorkel::cli
