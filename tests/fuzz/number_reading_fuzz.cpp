// The number rules on arbitrary text: parseStrictInteger, parseLenientInteger, parseDecimal,
// and formatTwoDecimals on what the decimal parser reads.
//
// Input: the text, as it is.
//
// Besides memory and undefined-behaviour errors: a strict parse that succeeds reads its own
// decimal text back; the lenient parse has the sign of its first character; the decimal parser
// never gives NaN, gives no negative value without a leading '-', and reads the two-decimal
// text of its result back to within half a hundredth.
#include "fuzz/fuzz_input.h"
#include "sensor/number_reading.h"
#include "sensor/number_text.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool leadingMinus = !text.empty() && text[0] == '-';

    if (const std::optional<std::int32_t> strict = parseStrictInteger(text)) {
        const std::string decimal = std::to_string(*strict);
        FUZZ_CHECK(parseStrictInteger(decimal) == strict);
        FUZZ_CHECK(parseLenientInteger(decimal) == *strict);
    }

    const std::int64_t lenient = parseLenientInteger(text);
    FUZZ_CHECK(leadingMinus ? lenient <= 0 : lenient >= 0);

    const double decimal = parseDecimal(text);
    FUZZ_CHECK(!std::isnan(decimal));
    FUZZ_CHECK(leadingMinus || !std::signbit(decimal));
    const std::string written = formatTwoDecimals(decimal);
    if (std::isfinite(decimal)) {
        FUZZ_CHECK(written.find('.') == written.size() - 3);
        FUZZ_CHECK(written.find_first_not_of("-0123456789.") == std::string::npos);
        if (std::fabs(decimal) < 1e12) {
            // Half a hundredth, plus the error of holding the written text as a double.
            const double slack = std::fabs(decimal) * 1e-15 + 1e-12;
            FUZZ_CHECK(std::fabs(parseDecimal(written) - decimal) <= 0.005 + slack);
        }
    }
    return 0;
}
