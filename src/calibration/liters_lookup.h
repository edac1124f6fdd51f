// The conversion of the sensor's level into litres: piecewise-linear interpolation in the
// user's table of (level, litres) points, starting from an implicit point (0, 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorkel {

// One row of the litres table: the key (a level, as an integer text) and the litres.
struct LitersRow {
    std::string key;
    std::string liters;
};

// A cell of the table that keeps its row out of the lookup: a key that is not an integer, or
// litres that are not one number.
struct RefusedCell {
    enum Column { Key, Liters };
    std::size_t row = 0; // position in the rows given to rebuild()
    Column column = Key;

    friend bool operator==(const RefusedCell&, const RefusedCell&) = default;
};

class LitersLookup {
public:
    // `decimalSeparator`: the system's, for the litres text.
    explicit LitersLookup(std::string decimalSeparator = ".")
        : decimalSeparator_(std::move(decimalSeparator)) {}

    // The table's rows are only taken once the stored rows have been loaded; until then
    // rebuild() does nothing (loading row by row would rebuild once per row).
    void setLoaded() { loaded_ = true; }

    // Replaces the lookup list with the table's complete rows (both cells filled), sorted by
    // key. The litres take "." or "," as decimal separator, so that what the display shows
    // can be typed back. A row whose key is not an integer or whose litres are not one number
    // is left out: returned are its cells at fault, in row order, so that the caller can mark
    // them and tell the user.
    std::vector<RefusedCell> rebuild(const std::vector<LitersRow>& rows);

    // The litres for a level, "#0.000" with the system's decimal separator; nothing when the
    // level is above the last key or the list is empty (the display keeps its text then).
    std::optional<std::string> litersText(std::uint32_t level) const;

private:
    struct Point {
        std::int32_t key;
        float keyValue;
        float liters;
    };

    std::string decimalSeparator_;
    bool loaded_ = false;
    std::vector<Point> points_;
};

// Litres with three decimals, at least one integer digit, no grouping and `decimalSeparator`;
// a value that rounds to zero has no minus sign. Nothing for infinity and NaN.
std::optional<std::string> formatLiters(float liters, const std::string& decimalSeparator);

} // namespace vorkel
