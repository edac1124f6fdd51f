#include "calibration/table_import.h"

#include "calibration/whole_file.h"
#include "sensor/number_reading.h"

#include <algorithm>
#include <map>

namespace vorkel {
namespace {

struct Line {
    int number = 0; // from 1
    std::string_view text;
};

// The file's lines without their ends (CR LF as written, LF as an editor may leave them); the
// end of the last line is no line of its own.
std::vector<Line> linesOf(std::string_view bytes) {
    std::vector<Line> lines;
    int number = 0;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        std::string_view text = bytes.substr(0, end);
        bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
        }
        lines.push_back({++number, text});
    }
    return lines;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A cell of the WIALON and XML formats, whose first "," the export wrote as ".". A cell that
// still holds a "," had two or more: the "." nearest before the first of them was one too.
std::string withCommaRestored(std::string_view text) {
    std::string cell(text);
    const std::size_t comma = cell.find(',');
    if (comma != std::string::npos && comma > 0) {
        if (const std::size_t point = cell.rfind('.', comma - 1); point != std::string::npos) {
            cell[point] = ',';
        }
    }
    return cell;
}

using Rows = std::vector<std::pair<int, TableRow>>; // line and row, in the order of the file

TableReadResult vorkelRows(const std::vector<Line>& lines, Rows& rows) {
    for (const Line& line : lines) {
        std::string_view text = line.text;
        std::size_t digits = 0;
        while (digits < text.size() && isDigit(text[digits])) {
            ++digits;
        }
        if (digits == 0 || digits > 9 || digits == text.size() || text[digits] != '.' ||
            std::stoi(std::string(text.substr(0, digits))) != line.number) {
            return TableReadError{line.number, "rsTableRowNumber"};
        }
        text.remove_prefix(digits + 1);
        if (text.empty() || text.back() != ';') {
            return TableReadError{line.number, "rsTableNoRowEnd"};
        }
        text.remove_suffix(1);
        const std::size_t dash = text.find('-');
        if (dash == std::string_view::npos) {
            return TableReadError{line.number, "rsTableNoSeparator"};
        }
        rows.push_back({line.number,
                        {std::string(text.substr(dash + 1)), std::string(text.substr(0, dash))}});
    }
    return LoadedTable{};
}

TableReadResult fortRows(const std::vector<Line>& lines, Rows& rows) {
    if (lines.size() > 1) {
        return TableReadError{lines[1].number, "rsTableExtraLine"};
    }
    std::string_view text = lines.front().text;
    if (text.empty() || text.back() != ';') {
        return TableReadError{1, "rsTableNoRowEnd"};
    }
    while (!text.empty()) {
        const std::string_view entry = text.substr(0, text.find(';'));
        text.remove_prefix(entry.size() + 1);
        const std::size_t colon = entry.find(':');
        if (colon == std::string_view::npos) {
            return TableReadError{1, "rsTableNoSeparator"};
        }
        rows.push_back(
            {1, {std::string(entry.substr(colon + 1)), std::string(entry.substr(0, colon))}});
    }
    return LoadedTable{};
}

// Where a WIALON TXT row's value ends: after a percentage reading (" 2.51 %", "50.00 %"),
// else at the first blank.
std::size_t wialonTxtSeparator(std::string_view text) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start != std::string_view::npos) {
        const std::size_t tokenEnd = text.find(' ', start);
        if (tokenEnd != std::string_view::npos && text.substr(tokenEnd, 3) == " % ") {
            return tokenEnd + 2;
        }
    }
    return text.find(' ');
}

TableReadResult wialonRows(const std::vector<Line>& lines, bool csv, Rows& rows) {
    for (const Line& line : lines) {
        const std::size_t separator = csv ? line.text.find(';') : wialonTxtSeparator(line.text);
        if (separator == std::string_view::npos) {
            return TableReadError{line.number, "rsTableNoSeparator"};
        }
        rows.push_back({line.number,
                        {withCommaRestored(line.text.substr(separator + 1)),
                         withCommaRestored(line.text.substr(0, separator))}});
    }
    return LoadedTable{};
}

// The five entities the export writes, and the apostrophe.
std::string xmlUnescaped(std::string_view text) {
    static const std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string plain;
    while (!text.empty()) {
        bool replaced = false;
        for (const auto& [entity, c] : kEntities) {
            if (text.substr(0, entity.size()) == entity) {
                plain += c;
                text.remove_prefix(entity.size());
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            plain += text.front();
            text.remove_prefix(1);
        }
    }
    return plain;
}

class XmlDocument {
public:
    explicit XmlDocument(std::string_view bytes)
        : text_(bytes) {
        // Comments (the closing reference table) hold no elements: blank them, keeping the
        // line ends so that positions still tell the lines.
        for (std::size_t at = text_.find("<!--"); at != std::string::npos;
             at = text_.find("<!--", at)) {
            const std::size_t end = text_.find("-->", at + 4);
            const std::size_t stop = end == std::string::npos ? text_.size() : end + 3;
            for (std::size_t i = at; i < stop; ++i) {
                if (text_[i] != '\n') {
                    text_[i] = ' ';
                }
            }
            at = stop;
        }
    }

    int lineAt(std::size_t position) const {
        return 1 + static_cast<int>(std::count(text_.begin(),
                                               text_.begin() + static_cast<std::ptrdiff_t>(
                                                                   std::min(position, text_.size())),
                                               '\n'));
    }
    bool has(std::string_view tag) const { return text_.find(tag) != std::string::npos; }

    // The text of the first <name>...</name>; empty when there is none.
    std::variant<std::string, TableReadError> element(std::string_view name) const {
        const std::string open = "<" + std::string(name) + ">";
        const std::size_t at = text_.find(open);
        if (at == std::string::npos) {
            return std::string();
        }
        const std::size_t start = at + open.size();
        const std::size_t end = text_.find("</" + std::string(name) + ">", start);
        if (end == std::string::npos || text_.find('<', start) != end) {
            return TableReadError{lineAt(at), "rsTableBadElement"};
        }
        return xmlUnescaped(std::string_view(text_).substr(start, end - start));
    }

    // The quoted attribute of `prefix` ("<sensor number=\""), from `from`; the position after
    // the element's ">" goes into `next`.
    std::optional<std::string> attribute(std::size_t at, std::string_view prefix,
                                         std::size_t& next) const {
        const std::size_t start = at + prefix.size();
        const std::size_t quote = text_.find('"', start);
        if (quote == std::string::npos || text_.find_first_of("<>", start) < quote ||
            quote + 1 >= text_.size() || text_[quote + 1] != '>') {
            return std::nullopt;
        }
        next = quote + 2;
        return xmlUnescaped(std::string_view(text_).substr(start, quote - start));
    }

    const std::string& text() const { return text_; }

private:
    std::string text_;
};

TableReadResult xmlRows(std::string_view bytes, Rows& rows, VehicleDetails& vehicle) {
    const XmlDocument document(bytes);
    if (!document.has("vehicle")) {
        return TableReadError{1, "rsTableUnknownFormat"};
    }
    std::string averaging;
    for (const auto& [name, target] : {std::pair<std::string_view, std::string*>{"id",
                                                                                 &vehicle.carNumber},
                                       {"calibrationDate", &vehicle.dateText},
                                       {"approximationBufferLength", &averaging}}) {
        auto content = document.element(name);
        if (const auto* error = std::get_if<TableReadError>(&content)) {
            return *error;
        }
        *target = std::get<std::string>(std::move(content));
    }
    if (!averaging.empty()) {
        const std::optional<std::int32_t> seconds = parseStrictInteger(averaging);
        if (!seconds) {
            return TableReadError{
                document.lineAt(document.text().find("<approximationBufferLength>")),
                "rsTableBadNumber"};
        }
        vehicle.averagingSeconds = *seconds;
    }
    const std::string& text = document.text();
    constexpr std::string_view kSensor = "<sensor number=\"";
    if (const std::size_t at = text.find(kSensor); at != std::string::npos) {
        std::size_t next = 0;
        const auto number = document.attribute(at, kSensor, next);
        if (!number) {
            return TableReadError{document.lineAt(at), "rsTableBadElement"};
        }
        vehicle.sensorNumber = *number;
    }
    constexpr std::string_view kValue = "<value code=\"", kValueEnd = "</value>";
    for (std::size_t at = text.find("<value"); at != std::string::npos;
         at = text.find("<value", at + 1)) {
        std::size_t next = 0;
        const auto code = text.compare(at, kValue.size(), kValue) == 0
                              ? document.attribute(at, kValue, next)
                              : std::nullopt;
        const std::size_t end = code ? text.find(kValueEnd, next) : std::string::npos;
        if (!code || end == std::string::npos || text.find('<', next) != end) {
            return TableReadError{document.lineAt(at), "rsTableBadElement"};
        }
        rows.push_back(
            {document.lineAt(at),
             {withCommaRestored(xmlUnescaped(std::string_view(text).substr(next, end - next))),
              withCommaRestored(*code)}});
    }
    return LoadedTable{};
}

bool isVorkelStart(std::string_view line) {
    return line.substr(0, 2) == "1." && !line.empty() && line.back() == ';' &&
           line.find('-') != std::string_view::npos;
}

bool isFortStart(const std::vector<Line>& lines) {
    const std::string_view line = lines.front().text;
    return !line.empty() && line.back() == ';' &&
           line.find(':') != std::string_view::npos;
}

// The formats the content could be, strongest evidence first: the XML document; the two
// formats with row ends; the two WIALON formats.
std::vector<std::vector<ExportFormat>> candidates(std::string_view bytes,
                                                  const std::vector<Line>& lines) {
    const std::size_t first = bytes.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && bytes[first] == '<') {
        return {{ExportFormat::OmnicommXml}};
    }
    std::vector<std::vector<ExportFormat>> classes(2);
    const std::string_view line = lines.front().text;
    if (isVorkelStart(line)) {
        classes[0].push_back(ExportFormat::VorkelTable);
    }
    if (isFortStart(lines)) {
        classes[0].push_back(ExportFormat::FortTable);
    }
    if (line.find(';') != std::string_view::npos) {
        classes[1].push_back(ExportFormat::WialonCsv);
    }
    if (line.find(' ') != std::string_view::npos) {
        classes[1].push_back(ExportFormat::WialonTxt);
    }
    return classes;
}

TableReadResult readAs(ExportFormat format, std::string_view bytes,
                       const std::vector<Line>& lines) {
    Rows rows;
    VehicleDetails vehicle;
    TableReadResult result = [&]() -> TableReadResult {
        switch (format) {
        case ExportFormat::VorkelTable:
            return vorkelRows(lines, rows);
        case ExportFormat::FortTable:
            return fortRows(lines, rows);
        case ExportFormat::WialonTxt:
        case ExportFormat::WialonCsv:
            return wialonRows(lines, format == ExportFormat::WialonCsv, rows);
        case ExportFormat::OmnicommXml:
            return xmlRows(bytes, rows, vehicle);
        }
        return TableReadError{1, "rsTableUnknownFormat"};
    }();
    if (std::holds_alternative<TableReadError>(result)) {
        return result;
    }
    if (rows.empty()) {
        return TableReadError{0, "rsTableEmpty"};
    }
    // The grid takes every litres text once.
    std::map<std::string, int> seen;
    LoadedTable table;
    table.format = format;
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        if (!row->second.liters.empty() && !seen.emplace(row->second.liters, row->first).second) {
            return TableReadError{std::max(row->first, seen[row->second.liters]),
                                  "rsTableDuplicateLiters"};
        }
        table.rows.push_back(std::move(row->second));
    }
    if (format == ExportFormat::OmnicommXml) {
        table.vehicle = vehicle;
    }
    return table;
}

constexpr std::pair<std::string_view, ExportFormat> kFormatNames[] = {
    {"vorkel", ExportFormat::VorkelTable},   {"fort", ExportFormat::FortTable},
    {"wialon-txt", ExportFormat::WialonTxt}, {"wialon-csv", ExportFormat::WialonCsv},
    {"omnicomm-xml", ExportFormat::OmnicommXml}};

} // namespace

TableReadResult readTable(std::string_view bytes, std::optional<ExportFormat> hint) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    // An editor's byte-order mark (or several: a file saved twice) is no part of the first cell.
    while (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        bytes.remove_prefix(kByteOrderMark.size());
    }
    if (bytes.size() > kLargestTableFile) {
        return TableReadError{0, "rsTableTooLarge"};
    }
    const std::vector<Line> lines = linesOf(bytes);
    if (lines.empty()) {
        return TableReadError{0, "rsTableEmpty"};
    }
    // A file that reads in the hinted format is taken so: the content cannot tell every table
    // apart (a WIALON CSV row "1.5-2;" reads as a VORKEL row too).
    // A file whose every row reads in that format but repeats litres is in it, and is refused
    // for that.
    if (hint) {
        TableReadResult read = readAs(*hint, bytes, lines);
        const auto* error = std::get_if<TableReadError>(&read);
        if (error == nullptr || error->reasonKey == std::string_view("rsTableDuplicateLiters")) {
            return read;
        }
    }
    for (const std::vector<ExportFormat>& formats : candidates(bytes, lines)) {
        if (!formats.empty()) {
            return readAs(formats.front(), bytes, lines);
        }
    }
    return TableReadError{1, "rsTableUnknownFormat"};
}

TableReadResult readTableFile(const std::filesystem::path& path,
                              std::optional<ExportFormat> hint) {
    const std::optional<std::string> bytes = readFileUpTo(path, kLargestTableFile);
    if (!bytes) {
        return TableReadError{0, "rsTableNotRead"};
    }
    // The export writes WIALON CSV, and only it, as ".csv", and the XML document as ".xml":
    // these endings say more than the open dialog's entry, which may be left at its first.
    {
        // UTF-8, which any name has on every system (a narrow string may not hold it on Windows).
        const std::u8string ending = path.extension().u8string();
        std::string extension(ending.begin(), ending.end());
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
        if (extension == ".csv") {
            hint = ExportFormat::WialonCsv;
        } else if (extension == ".xml") {
            hint = ExportFormat::OmnicommXml;
        }
    }
    return readTable(*bytes, hint);
}

std::optional<ExportFormat> exportFormatNamed(std::string_view name) {
    for (const auto& [text, format] : kFormatNames) {
        if (text == name) {
            return format;
        }
    }
    return std::nullopt;
}

std::string_view exportFormatName(ExportFormat format) {
    for (const auto& [text, named] : kFormatNames) {
        if (named == format) {
            return text;
        }
    }
    return {};
}

std::variant<std::string, TableReadError> convertTable(std::string_view bytes, ExportFormat to,
                                                       const VehicleDetails& fallback,
                                                       std::optional<ExportFormat> hint) {
    const TableReadResult read = readTable(bytes, hint);
    if (const auto* error = std::get_if<TableReadError>(&read)) {
        return *error;
    }
    const LoadedTable& table = std::get<LoadedTable>(read);
    return exportText(to, table.rows, table.vehicle.value_or(fallback));
}

std::optional<TableReadError> convertTableFile(const std::filesystem::path& from,
                                               const std::filesystem::path& to,
                                               ExportFormat format,
                                               const VehicleDetails& fallback) {
    const TableReadResult read = readTableFile(from);
    if (const auto* error = std::get_if<TableReadError>(&read)) {
        return *error;
    }
    const LoadedTable& table = std::get<LoadedTable>(read);
    if (!writeWholeFile(to, exportText(format, table.rows, table.vehicle.value_or(fallback)))) {
        return TableReadError{0, "rsCalibrationNotSaved"};
    }
    return std::nullopt;
}

std::string tableReadMessage(const TableReadError& error,
                             const std::function<std::string(std::string_view)>& translate) {
    std::string message = translate("rsTableNotLoaded") + "\n";
    if (error.line > 0) {
        message += translate("rsTableLine") + " " + std::to_string(error.line) + ": ";
    }
    return message + translate(error.reasonKey);
}

} // namespace vorkel
