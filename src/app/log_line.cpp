#include "app/log_line.h"

#include <cstdio>

namespace vorkel {

std::string logLine(const TimeOfDay& time, std::string_view message) {
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d ", time.hour, time.minute, time.second,
                  time.millisecond);
    std::string line(stamp);
    line.append(message);
    return line;
}

} // namespace vorkel
