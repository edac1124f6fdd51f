#include "sim/trace.h"

namespace vorkel::sim {

std::string hexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    constexpr unsigned kNibbleShift = 4;
    constexpr unsigned kNibbleMask = 0x0F;
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[byte >> kNibbleShift];
        text += kDigits[byte & kNibbleMask];
    }
    return text;
}

std::string formatTraceLine(const TraceRecord& record) {
    switch (record.kind) {
    case TraceRecord::Kind::Received:
        return "rx " + hexBytes(record.bytes);
    case TraceRecord::Kind::Sent:
        return "tx " + hexBytes(record.bytes);
    case TraceRecord::Kind::Note:
        break;
    }
    return "-- " + record.note;
}

} // namespace vorkel::sim
