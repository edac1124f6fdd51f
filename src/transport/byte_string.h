// A string of raw bytes, as they travel on the serial line.
#pragma once

#include <cstdint>
#include <vector>

namespace vorkel {

using ByteString = std::vector<std::uint8_t>;

} // namespace vorkel
