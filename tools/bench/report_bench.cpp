// Time to make a calibration report of 50 rows (two pages, the curve on the first) and write
// it as a whole file, as the "Calibration report..." button does.
//   build/tools/report_bench
#include "app/report_panel.h"
#include "calibration/whole_file.h"

#include <benchmark/benchmark.h>
#include <filesystem>

#include <QApplication>

namespace {

void BM_CalibrationReport50Rows(benchmark::State& state) {
    vorkel::ReportSources sources{{"A123BC 77", "Vorkel", "7", "800"},
                                  {},
                                  "1.21",
                                  "1.3",
                                  vorkel::CalibrationRecord{1000, 40960}};
    for (int row = 50; row >= 1; --row) {
        sources.gridRows.push_back({std::to_string(row * 2), std::to_string(row * 80)});
    }
    const auto content = vorkel::reportContent(
        sources, "12/06/2026", [](std::string_view key) { return std::string(key); });
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / "vorkel-report-bench.pdf";
    for (auto _ : state) {
        const auto document = vorkel::renderCalibrationReport(content);
        if (!document || !vorkel::writeWholeFile(path, *document)) {
            state.SkipWithError("the report was not written");
            break;
        }
        state.counters["bytes"] = static_cast<double>(document->size());
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_CalibrationReport50Rows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
