// vorkel-cli's `config set KEY=VALUE` on arbitrary text: the field named by the text before the
// first "=", given the rest as its value.
//
// Besides memory and undefined-behaviour errors: a value a field accepts leaves a record that
// the sensor's record format holds unchanged (nothing is cut or wrapped on the way to the wire),
// and a refused value leaves the record as it was.
#include "cli/cli_job.h"
#include "fuzz/fuzz_input.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t equals = text.find('=');
    const std::string_view key = text.substr(0, equals);
    const std::string_view value = equals == std::string_view::npos ? "" : text.substr(equals + 1);
    for (const cli::ConfigurationField& field : cli::configurationFields()) {
        if (field.name != key) {
            continue;
        }
        const ConfigurationRecord before;
        ConfigurationRecord record;
        if (!field.apply(value, record)) {
            FUZZ_CHECK(encodeConfigurationRecord(record) == encodeConfigurationRecord(before));
            continue;
        }
        const ConfigurationRecord wire =
            decodeConfigurationRecord(encodeConfigurationRecord(record));
        FUZZ_CHECK(wire.range.lower == record.range.lower);
        FUZZ_CHECK(wire.range.upper == record.range.upper);
        FUZZ_CHECK(wire.multiplierPosition == record.multiplierPosition);
        FUZZ_CHECK(wire.address == record.address);
        FUZZ_CHECK(wire.averagingSeconds == record.averagingSeconds);
        FUZZ_CHECK(encodeMode(wire.mode) == encodeMode(record.mode));
        if (key == "address") {
            // Exactly the address typed, never a lower byte of it.
            FUZZ_CHECK(cli::parseWhole(value, 0, 255) == record.address);
        }
    }
    return 0;
}
