// The litres table on arbitrary rows: the lookup list built from the table's texts and the
// conversion of levels with it.
//
// Input: two 16-bit levels, then the table: one row per line, the key and the litres
// separated by the first tab.
//
// Besides memory and undefined-behaviour errors: exactly the cells of complete rows whose key
// is no integer or whose litres are no number are reported, in row order; litres written with
// "," read as with "."; a level gives either nothing or a text of the form
// "-?digits.ddd", and the same text with "," when that is the separator.
#include "calibration/liters_lookup.h"
#include "fuzz/fuzz_input.h"
#include "sensor/number_reading.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool isLitersText(const std::string& text) {
    const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::size_t point = text.find('.');
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    return point != std::string::npos && point > start && text.size() == point + 4 &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(start),
                       text.begin() + static_cast<std::ptrdiff_t>(point), isDigit) &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(point) + 1, text.end(), isDigit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    vorkel::test::FuzzInput input(data, size);
    const std::uint32_t levels[] = {input.word(), input.word(), 0};
    const std::span<const std::uint8_t> rest = input.rest();
    std::string_view table(reinterpret_cast<const char*>(rest.data()), rest.size());

    std::vector<LitersRow> rows;
    while (!table.empty()) {
        const std::string_view line = table.substr(0, table.find('\n'));
        table.remove_prefix(std::min(table.size(), line.size() + 1));
        const std::size_t tab = line.find('\t');
        rows.push_back({std::string(line.substr(0, tab)), tab == std::string_view::npos
                                                              ? std::string()
                                                              : std::string(line.substr(tab + 1))});
    }

    LitersLookup point(".");
    LitersLookup comma(",");
    point.setLoaded();
    comma.setLoaded();
    const std::vector<RefusedCell> rejected = point.rebuild(rows);
    FUZZ_CHECK(comma.rebuild(rows) == rejected);
    std::vector<RefusedCell> expected;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].key.empty() || rows[i].liters.empty()) {
            continue;
        }
        if (!parseStrictInteger(rows[i].key)) {
            expected.push_back({i, RefusedCell::Key});
        }
        const std::optional<double> liters = parseDecimalNumber(rows[i].liters);
        if (!liters) {
            expected.push_back({i, RefusedCell::Liters});
        } else {
            std::string withPoint = rows[i].liters;
            std::replace(withPoint.begin(), withPoint.end(), ',', '.');
            FUZZ_CHECK(parseDecimalNumber(withPoint) == liters);
        }
    }
    FUZZ_CHECK(rejected == expected);

    for (const std::uint32_t level : levels) {
        const std::optional<std::string> text = point.litersText(level);
        std::optional<std::string> withComma = comma.litersText(level);
        FUZZ_CHECK(text.has_value() == withComma.has_value());
        if (text) {
            FUZZ_CHECK(isLitersText(*text));
            std::replace(withComma->begin(), withComma->end(), ',', '.');
            FUZZ_CHECK(*withComma == *text);
        }
    }
    return 0;
}
