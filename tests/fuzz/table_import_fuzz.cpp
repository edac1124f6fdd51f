// Calibration table files read back: the five formats recognised from arbitrary content.
//
// Input: the first byte chooses the open dialog's filter entry as the hint (0 for none); the
// rest is the file.
//
// Besides memory and undefined-behaviour errors: a file that reads is never empty and holds
// every litres text once (the grid's rule); exported again in its own format and read back, it
// exports to the same bytes (or, where the export turned a first "," into ".", may repeat
// litres); the XML document alone brings vehicle details; a refusal names a line within the
// file and a reason.
#include "calibration/table_import.h"
#include "fuzz/fuzz_input.h"

#include <algorithm>
#include <set>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    test::FuzzInput input(data, size);
    const std::optional<ExportFormat> hint = exportFormatAt(input.below(6));
    const auto bytes = input.rest();
    const std::string_view file(reinterpret_cast<const char*>(bytes.data()), bytes.size());

    const TableReadResult read = readTable(file, hint);
    if (const auto* error = std::get_if<TableReadError>(&read)) {
        FUZZ_CHECK(!error->reasonKey.empty());
        FUZZ_CHECK(error->line >= 0 &&
                   error->line <= 1 + static_cast<int>(std::count(file.begin(), file.end(), '\n')));
        return 0;
    }
    const LoadedTable& table = std::get<LoadedTable>(read);
    FUZZ_CHECK(!table.rows.empty());
    FUZZ_CHECK(table.vehicle.has_value() == (table.format == ExportFormat::OmnicommXml));
    std::set<std::string> liters;
    for (const TableRow& row : table.rows) {
        FUZZ_CHECK(row.liters.empty() || liters.insert(row.liters).second);
    }

    const VehicleDetails details = table.vehicle.value_or(VehicleDetails{});
    const std::string exported = exportText(table.format, table.rows, details);
    const TableReadResult again = readTable(exported, table.format);
    // Rows with an empty cell leave the XML document, and a document without rows is no table;
    // the WIALON and XML formats write a first "," as ".", which can make "1,5" and "1.5" one.
    if (const auto* error = std::get_if<TableReadError>(&again)) {
        FUZZ_CHECK((table.format == ExportFormat::OmnicommXml &&
                    error->reasonKey == std::string_view("rsTableEmpty")) ||
                   (table.format >= ExportFormat::WialonTxt &&
                    error->reasonKey == std::string_view("rsTableDuplicateLiters")));
        return 0;
    }
    const LoadedTable& second = std::get<LoadedTable>(again);
    FUZZ_CHECK(second.format == table.format);
    FUZZ_CHECK(exportText(second.format, second.rows, second.vehicle.value_or(details)) ==
               exported);
    return 0;
}
