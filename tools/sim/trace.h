// The trace file of the virtual sensor: one line per request taken, reply sent or note, in a
// form that scripts and tests can grep.
//
//   rx 31 05 04 00 00 00 00 09     a request frame the sensor took from the line
//   tx 3E 05 00 08 16 80 08 AB     a reply as it went on the wire (noise bytes included)
//   -- restart                     a note: something the sensor did or ignored
#pragma once

#include "sim/sensor_model.h"

#include <string>

namespace vorkel::sim {

// The line for one record, without the line end.
std::string formatTraceLine(const TraceRecord& record);

// Upper-case hexadecimal bytes separated by single spaces.
std::string hexBytes(std::span<const std::uint8_t> bytes);

} // namespace vorkel::sim
