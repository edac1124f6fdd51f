#include "calibration/table_export.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <type_traits>

namespace vorkel {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

// The texts of the WIALON and XML formats take a "." where a "," was typed first.
std::string withFirstCommaAsPoint(std::string text) {
    if (const auto comma = text.find(','); comma != std::string::npos) {
        text[comma] = '.';
    }
    return text;
}

// Calls `line(k, row)` for every row from the bottom of the grid to the top, k the row's number.
template <typename Line> void visitBottomUp(const std::vector<TableRow>& rows, Line line) {
    for (std::size_t gridRow = rows.size(); gridRow-- > 0;) {
        line(exportRowNumber(gridRow, rows.size()), rows[gridRow]);
    }
}

std::string xmlEscaped(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
            break;
        }
    }
    return escaped;
}

void appendPadded(std::string& text, long long value, int digits) {
    std::array<char, 24> buffer{};
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value < 0 ? -value : value);
    const auto length = static_cast<int>(end - buffer.data());
    if (value < 0) {
        text += '-';
    }
    text.append(static_cast<std::size_t>(std::max(0, digits - length)), '0');
    text.append(buffer.data(), end);
}

bool startsWithToken(std::string_view text, std::string_view token) {
    if (text.size() < token.size()) {
        return false;
    }
    for (std::size_t i = 0; i < token.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != token[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

namespace omnicomm {
const std::string_view kClosingLine =
    "<!--Таблица соответствия литры-герцы-вольты0 - 30 Гц- 0.000 В10 - 145 Гц- 0.292 В30 - 218 Гц- "
    "0.477 В50 - 323 Гц- 0.745 В70 - 423 Гц- 0.998 В90 - 528 Гц- 1.265 В110 - 632 Гц- 1.527 В130 - "
    "738 Гц- 1.796 В150 - 841 Гц- 2.057 В170 - 942 Гц- 2.315 В190 - 1048 Гц- 2.585 В210 - 1149 Гц- "
    "2.840 В230 - 1251 Гц- 3.100 В250 - 1354 Гц- 3.361 В270 - 1457 Гц- 3.621 В290 - 1561 Гц- 3.885 "
    "В310 - 1658 Гц- 4.133 В330 - 1765 Гц- 4.404 В350 - 1859 Гц- 4.642 В360 - 1898 Гц- 4.742 В370 "
    "- 2000 Гц- 5.000 В--></sensor></tns:vehicle>";
} // namespace omnicomm

std::size_t exportRowNumber(std::size_t gridRow, std::size_t rowCount) {
    return rowCount - gridRow;
}

std::optional<ExportFormat> exportFormatAt(int filterPosition) {
    if (filterPosition < static_cast<int>(ExportFormat::VorkelTable) ||
        filterPosition > static_cast<int>(ExportFormat::OmnicommXml)) {
        return std::nullopt;
    }
    return static_cast<ExportFormat>(filterPosition);
}

std::string_view exportExtension(ExportFormat format) {
    switch (format) {
    case ExportFormat::WialonCsv:
        return ".csv";
    case ExportFormat::OmnicommXml:
        return ".xml";
    default:
        return ".txt";
    }
}

std::string vorkelTable(const std::vector<TableRow>& rows) {
    std::string text;
    visitBottomUp(rows, [&](std::size_t k, const TableRow& row) {
        text += std::to_string(k) + '.' + row.values + '-' + row.liters + ';';
        text += kLineEnd;
    });
    return text;
}

std::string fortTable(const std::vector<TableRow>& rows) {
    std::string text;
    visitBottomUp(rows, [&](std::size_t, const TableRow& row) {
        text += row.values + ':' + row.liters + ';';
    });
    text += kLineEnd;
    return text;
}

std::string wialonTxt(const std::vector<TableRow>& rows) {
    std::string text;
    visitBottomUp(rows, [&](std::size_t, const TableRow& row) {
        text += withFirstCommaAsPoint(row.values) + ' ' + withFirstCommaAsPoint(row.liters);
        text += kLineEnd;
    });
    return text;
}

std::string wialonCsv(const std::vector<TableRow>& rows) {
    std::string text;
    visitBottomUp(rows, [&](std::size_t, const TableRow& row) {
        text += withFirstCommaAsPoint(row.values) + ';' + withFirstCommaAsPoint(row.liters);
        text += kLineEnd;
    });
    return text;
}

std::string omnicommXml(const std::vector<TableRow>& rows, const VehicleDetails& details) {
    using namespace omnicomm;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF8\"?><tns:vehicle xmlns:tns=\"";
    text += kVehicleNamespace;
    text += "\" xmlns:xsi=\"";
    text += kSchemaInstanceNamespace;
    text += "\" xsi:schemaLocation=\"";
    text += kVehicleNamespace;
    text += ' ';
    text += kVehicleSchemaLocation;
    text += "\">";
    text += kLineEnd;
    const auto line = [&text](std::string_view content) {
        text += content;
        text += kLineEnd;
    };
    line("<id>" + xmlEscaped(details.carNumber) + "</id>");
    line("<calibrationDate>" + xmlEscaped(details.dateText) + "</calibrationDate>");
    line("<approximationBufferLength>" + std::to_string(details.averagingSeconds) +
         "</approximationBufferLength>");
    line("<fillThreshold>0</fillThreshold>");
    line("<drainThreshold>0</drainThreshold>");
    line("<dutyConsumption>0</dutyConsumption>");
    line("<roughFilterLength>0</roughFilterLength>");
    line("<fineFilterLength>0</fineFilterLength>");
    line("<sensor number=\"" + xmlEscaped(details.sensorNumber) + "\">");
    visitBottomUp(rows, [&](std::size_t, const TableRow& row) {
        if (row.values.empty() || row.liters.empty()) {
            return;
        }
        line("<value code=\"" + xmlEscaped(withFirstCommaAsPoint(row.values)) + "\">" +
             xmlEscaped(withFirstCommaAsPoint(row.liters)) + "</value>");
    });
    line(kClosingLine);
    return text;
}

std::string exportText(ExportFormat format, const std::vector<TableRow>& rows,
                       const VehicleDetails& details) {
    switch (format) {
    case ExportFormat::VorkelTable:
        return vorkelTable(rows);
    case ExportFormat::FortTable:
        return fortTable(rows);
    case ExportFormat::WialonTxt:
        return wialonTxt(rows);
    case ExportFormat::WialonCsv:
        return wialonCsv(rows);
    case ExportFormat::OmnicommXml:
        return omnicommXml(rows, details);
    }
    return {};
}

std::string formatDate(std::string_view pattern, std::string_view separator,
                       const CalendarDate& date) {
    constexpr int kDayDigits = 2, kMonthDigits = 2, kYearDigits = 4;
    std::string text;
    while (!pattern.empty()) {
        std::size_t taken = 1;
        if (startsWithToken(pattern, "yyyy")) {
            appendPadded(text, date.year, kYearDigits);
            taken = 4;
        } else if (startsWithToken(pattern, "dd")) {
            appendPadded(text, date.day, kDayDigits);
            taken = 2;
        } else if (startsWithToken(pattern, "mm")) {
            appendPadded(text, date.month, kMonthDigits);
            taken = 2;
        } else if (pattern.front() == '/') {
            text += separator;
        } else {
            text += pattern.front();
        }
        pattern.remove_prefix(taken);
    }
    return text;
}

std::string proposedExportName(const InstallationDescription& installation,
                               std::string_view dateText) {
    std::string name = installation.carNumber + '-' + installation.companyName + '-' +
                       installation.sensorNumber + '-' + std::string(dateText) + '-' +
                       installation.sensorLength;
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

std::filesystem::path exportPath(const std::filesystem::path& chosen, ExportFormat format) {
    using Char = std::filesystem::path::value_type;
    std::filesystem::path::string_type name = chosen.filename().native();
    if (const auto dot = name.rfind(Char('.')); dot != name.npos) {
        std::string ending;
        for (auto i = dot; i < name.size(); ++i) {
            const auto code =
                static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Char>>(name[i]));
            constexpr std::uint32_t kAsciiEnd = 0x80, kToLower = 'a' - 'A';
            ending += code >= 'A' && code <= 'Z' ? static_cast<char>(code + kToLower)
                      : code < kAsciiEnd         ? static_cast<char>(code)
                                                 : '?';
        }
        if (ending == ".txt" || ending == ".csv" || ending == ".xml") {
            name.erase(dot);
        }
    }
    for (const char c : exportExtension(format)) {
        name += static_cast<Char>(c);
    }
    return std::filesystem::path(chosen).replace_filename(name);
}

} // namespace vorkel
