// The tank curve on arbitrary grids: the row checks, the curve's line and axes, the question
// before an export and the report's pages.
//
// Input: one grid row per line, top to bottom, the Liters and the Values cell separated by
// the first tab.
//
// Besides memory and undefined-behaviour errors: every row that is not empty is checked once,
// in the order of the export; a row is a number row exactly when both cells read as numbers;
// the line rises in litres, and a pair of neighbours on it that does not rise in both is
// marked; the axes hold every point and their grid lines run from 0 to 1; the export asks
// exactly when a row is marked or incomplete; the report's pages hold every row once.
#include "calibration/calibration_report.h"
#include "calibration/tank_curve.h"
#include "fuzz/fuzz_input.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

bool isBlankCell(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

void checkTicks(const std::vector<vorkel::PlotTick>& ticks, double low, double high) {
    FUZZ_CHECK(low < high);
    FUZZ_CHECK(ticks.size() >= 2 && ticks.size() <= 21);
    FUZZ_CHECK(ticks.front().position == 0.0 && ticks.back().position == 1.0);
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        FUZZ_CHECK(ticks[i - 1].position < ticks[i].position);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<TableRow> grid;
    while (!text.empty()) {
        const std::string_view line = text.substr(0, text.find('\n'));
        text.remove_prefix(std::min(text.size(), line.size() + 1));
        const std::size_t tab = line.find('\t');
        grid.push_back({std::string(line.substr(0, tab)), tab == std::string_view::npos
                                                              ? std::string()
                                                              : std::string(line.substr(tab + 1))});
    }

    const TankCurve curve = tankCurve(grid);
    int previous = static_cast<int>(grid.size());
    for (const CurvePoint& point : curve.rows) {
        FUZZ_CHECK(point.gridRow < previous);
        previous = point.gridRow;
        const TableRow& row = grid[static_cast<std::size_t>(point.gridRow)];
        FUZZ_CHECK(!(isBlankCell(row.liters) && isBlankCell(row.values)));
        const bool incomplete = isBlankCell(row.liters) || isBlankCell(row.values);
        FUZZ_CHECK((point.check == RowCheck::incomplete) == incomplete);
        const bool numbers = tableNumber(row.liters) && tableNumber(row.values);
        FUZZ_CHECK((point.check == RowCheck::notANumber) == (!incomplete && !numbers));
        FUZZ_CHECK(point.check != RowCheck::empty);
    }
    std::size_t nonEmpty = 0;
    for (const TableRow& row : grid) {
        nonEmpty += isBlankCell(row.liters) && isBlankCell(row.values) ? 0 : 1;
    }
    FUZZ_CHECK(curve.rows.size() == nonEmpty);

    const std::vector<CurvePoint> line = curve.line();
    for (std::size_t i = 0; i < line.size(); ++i) {
        FUZZ_CHECK(line[i].value >= curve.minValue && line[i].value <= curve.maxValue);
        FUZZ_CHECK(line[i].liters >= curve.minLiters && line[i].liters <= curve.maxLiters);
        if (i > 0) {
            FUZZ_CHECK(line[i - 1].liters <= line[i].liters);
            if (!(line[i - 1].liters < line[i].liters && line[i - 1].value < line[i].value)) {
                FUZZ_CHECK(line[i - 1].check != RowCheck::ok && line[i].check != RowCheck::ok);
            }
        }
    }
    checkTicks(curve.valueTicks, curve.minValue, curve.maxValue);
    checkTicks(curve.litersTicks, curve.minLiters, curve.maxLiters);

    const auto key = [](std::string_view k) { return std::string(k); };
    FUZZ_CHECK(tableOrderQuestion(grid, key).has_value() == (firstBadRow(curve) != nullptr));

    ReportSources sources;
    sources.gridRows = grid;
    const CalibrationReportContent report = reportContent(sources, "", key);
    std::size_t covered = 0;
    for (const auto& page : report.pages) {
        FUZZ_CHECK(page.first == covered && page.count <= kReportRowsPerPage);
        covered += page.count;
    }
    FUZZ_CHECK(covered == nonEmpty && report.rows.size() == nonEmpty);
    return 0;
}
