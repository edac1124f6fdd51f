// The calibration table's exports: five text formats for telematics platforms, built in memory
// from the grid's rows, and the rules for the date text and the export's file name.
//
// Every format visits the rows from the bottom of the grid to the top (a table built with
// "Read the level into table" has its newest reading on top) and puts the Values cell before
// the Liters cell. Every line ends with CR LF. Texts are UTF-8 and written as typed; only the
// XML format escapes what would break the document.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

// One grid row: the Liters cell (the grid's key column) and the Values cell.
struct TableRow {
    std::string liters;
    std::string values;

    friend bool operator==(const TableRow&, const TableRow&) = default;
};

// The number of a grid row wherever the engineer reads one: beside the row in the grid, in the
// question before an export, in the report and as the "k." of the VORKEL table. It is the row's
// place in the order of the export, 1 for the bottom row, empty rows counted; so the first
// reading taken is row 1, and a row keeps its number while new readings go in above it.
std::size_t exportRowNumber(std::size_t gridRow, std::size_t rowCount);

// The entries of the export dialog's filter, by their position (1 to 5).
enum class ExportFormat {
    VorkelTable = 1, // "k.V-L;" per row
    FortTable,       // "V:L;" for every row, on one line
    WialonTxt,       // "V L" per row, first "," of each cell as "."
    WialonCsv,       // "V;L" per row, first "," of each cell as "."
    OmnicommXml,     // an Omnicomm vehicle document
};
std::optional<ExportFormat> exportFormatAt(int filterPosition);
// ".txt", ".csv" or ".xml".
std::string_view exportExtension(ExportFormat format);

// What the XML format takes besides the rows.
struct VehicleDetails {
    std::string carNumber;    // carnumberedit
    std::string sensorNumber; // dutnumberedit
    std::string dateText;
    int averagingSeconds = 0; // 0 when averaging is off
};

std::string vorkelTable(const std::vector<TableRow>& rows);
std::string fortTable(const std::vector<TableRow>& rows);
std::string wialonTxt(const std::vector<TableRow>& rows);
std::string wialonCsv(const std::vector<TableRow>& rows);
// Rows with an empty cell are left out of the XML document.
std::string omnicommXml(const std::vector<TableRow>& rows, const VehicleDetails& details);
std::string exportText(ExportFormat format, const std::vector<TableRow>& rows,
                       const VehicleDetails& details);

// The Omnicomm vehicle schema, named in the document's first line.
namespace omnicomm {
inline constexpr std::string_view kVehicleNamespace = "http://schemes.omnicomm.ru/vehicle";
inline constexpr std::string_view kVehicleSchemaLocation =
    "http://schemes.omnicomm.ru/vehicle/vehicle.xsd";
inline constexpr std::string_view kSchemaInstanceNamespace =
    "http://www.w3.org/2001/XMLSchema-instance";
// The last line of the document (without its CR LF): a fixed reference table of litres,
// hertz and volts in a comment, then the closing tags.
extern const std::string_view kClosingLine;
} // namespace omnicomm

struct CalendarDate {
    int year = 0;
    unsigned month = 0; // 1..12
    unsigned day = 0;   // 1..31
};

// A date in a pattern of the translation table: "dd" the day and "mm" the month with two
// digits, "yyyy" the year with four (letter case does not matter), "/" the system's date
// separator; every other character stands for itself.
std::string formatDate(std::string_view pattern, std::string_view separator,
                       const CalendarDate& date);

// The installation description edits, as the proposed export name uses them.
struct InstallationDescription {
    std::string carNumber;    // carnumberedit
    std::string companyName;  // companynameedit
    std::string sensorNumber; // dutnumberedit
    std::string sensorLength; // dutlengthedit
};

// "car-company-sensor-date-length", with every "/" (the usual date separator) as "_".
std::string proposedExportName(const InstallationDescription& installation,
                               std::string_view dateText);

// The path the export is written to: the chosen path with the format's extension. Only an
// extension that is one of the export extensions (".txt", ".csv", ".xml", any letter case) is
// replaced; any other ending belongs to the name (a date "06.12.2026" in it, say) and the
// format's extension is appended.
std::filesystem::path exportPath(const std::filesystem::path& chosen, ExportFormat format);

} // namespace vorkel
