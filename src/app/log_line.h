// The line format of the event log file: "HH:MM:SS.mmm message".
#pragma once

#include <string>
#include <string_view>

namespace vorkel {

struct TimeOfDay {
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

std::string logLine(const TimeOfDay& time, std::string_view message);

} // namespace vorkel
