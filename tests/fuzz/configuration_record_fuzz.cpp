// The configuration record and the rules of its controls on arbitrary bytes.
//
// Input: the five record bytes, a caret position, then an address text.
//
// Besides memory and undefined-behaviour errors: reading a record and writing it back keeps
// every byte except bits 6 and 7 of the mode byte and a negative-zero multiplier; the range
// voltages stay within 0..20 V; every averaging value reads back through its item (an extra one
// when no item has it); the address filter keeps only digits and a caret within them; an
// address is accepted exactly when its value fits a byte.
#include "fuzz/fuzz_input.h"
#include "sensor/configuration_record.h"
#include "sensor/multiplier.h"
#include "sensor/number_reading.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> averagingItems() {
    std::vector<std::string> items{"off"};
    for (int seconds = 2; seconds <= 32; ++seconds) {
        items.push_back(std::to_string(seconds) + " s");
    }
    items.push_back("64 s");
    items.push_back("128 s");
    return items;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    vorkel::test::FuzzInput input(data, size);
    FrameData bytes{};
    for (std::uint8_t& byte : bytes) {
        byte = input.byte();
    }

    const ConfigurationRecord record = decodeConfigurationRecord(bytes);
    const FrameData written = encodeConfigurationRecord(record);
    FUZZ_CHECK(written[record_offset::kMode] == (bytes[record_offset::kMode] & 0x3F));
    FUZZ_CHECK(written[record_offset::kAnalogRange] == bytes[record_offset::kAnalogRange]);
    FUZZ_CHECK(written[record_offset::kAddress] == bytes[record_offset::kAddress]);
    FUZZ_CHECK(written[record_offset::kAveraging] == bytes[record_offset::kAveraging]);
    const std::uint8_t multiplier = bytes[record_offset::kMultiplier];
    FUZZ_CHECK(written[record_offset::kMultiplier] == (multiplier == 0x80 ? 0 : multiplier));
    FUZZ_CHECK(record.multiplierPosition >= kMultiplierMinPosition &&
               record.multiplierPosition <= kMultiplierMaxPosition);

    const RangeVoltages voltages = rangeVoltages(record.range.lower, record.range.upper);
    FUZZ_CHECK(voltages.lower >= 0.0 && voltages.lower <= 20.0);
    FUZZ_CHECK(voltages.upper >= 0.0 && voltages.upper <= 20.0);
    FUZZ_CHECK(voltages.reversed == (voltages.lower > voltages.upper));

    std::vector<std::string> items = averagingItems();
    const std::uint8_t seconds = record.averagingSeconds;
    std::optional<int> index = averagingItemIndex(items, seconds);
    if (!index) {
        items.push_back(averagingItemText(items, seconds));
        index = averagingItemIndex(items, seconds);
        FUZZ_CHECK(index == static_cast<int>(items.size()) - 1);
    }
    FUZZ_CHECK(index && parseLenientInteger(items[static_cast<std::size_t>(*index)]) == seconds);

    const int caret = input.byte();
    const std::span<const std::uint8_t> rest = input.rest();
    const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
    const AddressEdit filtered = filterAddressText(text, caret);
    FUZZ_CHECK(filtered.text.find_first_not_of("0123456789") == std::string::npos);
    FUZZ_CHECK(filtered.caret <= caret && filtered.caret <= static_cast<int>(filtered.text.size()));
    const std::int64_t value = parseLenientInteger(text);
    const std::optional<std::uint8_t> address = addressFromText(text);
    FUZZ_CHECK(address.has_value() == (value >= 0 && value <= 255));
    FUZZ_CHECK(!address || *address == value);
    return 0;
}
