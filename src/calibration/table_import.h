// Calibration tables read back from the files the export writes: any of the five formats,
// recognised from the content, into the grid's rows and (from the XML document) the
// installation details; and the conversion of a table file from one format to another.
//
// A table this program exported reads back into rows that export again to the same bytes in
// the same format: rows come back top to bottom as the grid held them (the files list them
// from the bottom up), and a "," that the WIALON and XML formats wrote as "." is restored
// where the file shows it was one (a cell that still holds a "," had its first "," turned
// into the "." before it).
//
// What the formats cannot tell apart is decided the way this program writes them: a VORKEL
// row is split at its first "-", a FORT entry at its first ":", a WIALON CSV row at its first
// ";", and a WIALON TXT row after a percentage reading ("50.00 %") or else at its first blank.
#pragma once

#include "calibration/table_export.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vorkel {

struct LoadedTable {
    ExportFormat format = ExportFormat::VorkelTable;
    std::vector<TableRow> rows; // top to bottom, as the grid shows them
    // The XML document's car ID, sensor number, date text and averaging; empty otherwise.
    std::optional<VehicleDetails> vehicle;
};

// Why a file was not read: the line (from 1; 0 when the file as a whole is at fault) and the
// translation key of the reason ("rsTableNoSeparator", ...).
struct TableReadError {
    int line = 0;
    std::string_view reasonKey;

    friend bool operator==(const TableReadError&, const TableReadError&) = default;
};

using TableReadResult = std::variant<LoadedTable, TableReadError>;

// Larger files are no calibration tables (a large table is a few kilobytes).
inline constexpr std::size_t kLargestTableFile = 4u << 20;

// A file that reads in the `hint`'s format (the open dialog's filter entry, or a file's
// extension) is taken in it; otherwise the format comes from the content. The content cannot
// tell every table apart: a WIALON CSV row "1.5-2;" is a VORKEL row too.
TableReadResult readTable(std::string_view bytes, std::optional<ExportFormat> hint = {});
// The file at `path`, read whole; its extension ".csv" or ".xml" is the hint, over `hint`.
TableReadResult readTableFile(const std::filesystem::path& path,
                              std::optional<ExportFormat> hint = {});

// "vorkel", "fort", "wialon-txt", "wialon-csv" and "omnicomm-xml", as a command line names
// the formats.
std::optional<ExportFormat> exportFormatNamed(std::string_view name);
std::string_view exportFormatName(ExportFormat format);

// A table in another format: the rows of `bytes` written as `to`. The XML details come from
// the file when it has them, else from `fallback` (the date text of a conversion, say).
std::variant<std::string, TableReadError> convertTable(std::string_view bytes, ExportFormat to,
                                                       const VehicleDetails& fallback,
                                                       std::optional<ExportFormat> hint = {});
// The same from file to file; the target is written whole (never half) or not at all. A
// target that cannot be written is reported as line 0 with "rsCalibrationNotSaved".
std::optional<TableReadError> convertTableFile(const std::filesystem::path& from,
                                               const std::filesystem::path& to,
                                               ExportFormat format,
                                               const VehicleDetails& fallback);

// "Line 3: the row does not end with ";"." in the active language, for a message box.
std::string tableReadMessage(const TableReadError& error,
                             const std::function<std::string(std::string_view)>& translate);

} // namespace vorkel
