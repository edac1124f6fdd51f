#include "calibration/table_export.h"
#include "protocol/crc16.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

namespace fs = std::filesystem;

// Top to bottom, as "Read the level into table" leaves it: the empty row for the next volume,
// then the newest reading, then the first.
const std::vector<TableRow> kGrid = {{"", ""}, {"10", "1500"}, {"0", "1234"}};

TEST(TableExport, writesTheTextFormatsFromTheBottomRowUp) {
    const struct {
        ExportFormat format;
        std::string bytes;
    } cases[] = {
        {ExportFormat::VorkelTable, "1.1234-0;\r\n2.1500-10;\r\n3.-;\r\n"},
        {ExportFormat::FortTable, "1234:0;1500:10;:;\r\n"},
        {ExportFormat::WialonTxt, "1234 0\r\n1500 10\r\n \r\n"},
        {ExportFormat::WialonCsv, "1234;0\r\n1500;10\r\n;\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exportText(c.format, kGrid, {}), c.bytes) << static_cast<int>(c.format);
    }
}

TEST(TableExport, onlyTheWialonFormatsTurnTheFirstCommaIntoAPoint) {
    const std::vector<TableRow> rows = {{"1,5,0", "12,5"}};
    EXPECT_EQ(wialonTxt(rows), "12.5 1.5,0\r\n");
    EXPECT_EQ(wialonCsv(rows), "12.5;1.5,0\r\n");
    EXPECT_EQ(vorkelTable(rows), "1.12,5-1,5,0;\r\n");
    EXPECT_EQ(fortTable(rows), "12,5:1,5,0;\r\n");
}

TEST(TableExport, writesTheVehicleDocumentWithoutIncompleteRows) {
    const VehicleDetails details{"A1", "7", "12/06/2026", 10};
    const std::string expected = "<?xml version=\"1.0\" encoding=\"UTF8\"?><tns:vehicle "
                                 "xmlns:tns=\"http://schemes.omnicomm.ru/vehicle\" "
                                 "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                                 "xsi:schemaLocation=\"http://schemes.omnicomm.ru/vehicle "
                                 "http://schemes.omnicomm.ru/vehicle/vehicle.xsd\">\r\n"
                                 "<id>A1</id>\r\n"
                                 "<calibrationDate>12/06/2026</calibrationDate>\r\n"
                                 "<approximationBufferLength>10</approximationBufferLength>\r\n"
                                 "<fillThreshold>0</fillThreshold>\r\n"
                                 "<drainThreshold>0</drainThreshold>\r\n"
                                 "<dutyConsumption>0</dutyConsumption>\r\n"
                                 "<roughFilterLength>0</roughFilterLength>\r\n"
                                 "<fineFilterLength>0</fineFilterLength>\r\n"
                                 "<sensor number=\"7\">\r\n"
                                 "<value code=\"1234\">0</value>\r\n"
                                 "<value code=\"1500\">10</value>\r\n" +
                                 std::string(omnicomm::kClosingLine) + "\r\n";
    EXPECT_EQ(exportText(ExportFormat::OmnicommXml, kGrid, details), expected);
    // A row with one empty cell is left out as well; "," becomes "." as in WIALON.
    EXPECT_EQ(omnicommXml({{"5", ""}, {"", "99"}, {"1,5", "12,5"}}, details),
              omnicommXml({{"1.5", "12.5"}}, details));
}

TEST(TableExport, escapesWhatWouldBreakTheDocumentInXmlOnly) {
    const std::vector<TableRow> rows = {{"1<2", "a&\"b\">"}};
    const std::string xml = omnicommXml(rows, {"A&B", "<7>", "1\"2", 0});
    EXPECT_NE(xml.find("<id>A&amp;B</id>"), std::string::npos);
    EXPECT_NE(xml.find("<calibrationDate>1&quot;2</calibrationDate>"), std::string::npos);
    EXPECT_NE(xml.find("<sensor number=\"&lt;7&gt;\">"), std::string::npos);
    EXPECT_NE(xml.find("<value code=\"a&amp;&quot;b&quot;&gt;\">1&lt;2</value>"),
              std::string::npos);
    EXPECT_EQ(vorkelTable(rows), "1.a&\"b\">-1<2;\r\n");
}

TEST(TableExport, theClosingLineIsTheFixedReferenceTable) {
    const std::string_view line = omnicomm::kClosingLine;
    EXPECT_EQ(line.size(), 611u);
    EXPECT_TRUE(line.starts_with("<!--Таблица соответствия литры-герцы-вольты0 - 30 Гц- 0.000 В"));
    EXPECT_TRUE(line.ends_with("370 - 2000 Гц- 5.000 В--></sensor></tns:vehicle>"));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(line.data());
    EXPECT_EQ(crc16({bytes, line.size()}), 0x9757); // every byte as shipped
}

TEST(TableExport, filterPositionsNameTheFormats) {
    EXPECT_EQ(exportFormatAt(0), std::nullopt);
    EXPECT_EQ(exportFormatAt(1), ExportFormat::VorkelTable);
    EXPECT_EQ(exportFormatAt(5), ExportFormat::OmnicommXml);
    EXPECT_EQ(exportFormatAt(6), std::nullopt);
    EXPECT_EQ(exportExtension(ExportFormat::FortTable), ".txt");
    EXPECT_EQ(exportExtension(ExportFormat::WialonTxt), ".txt");
    EXPECT_EQ(exportExtension(ExportFormat::WialonCsv), ".csv");
    EXPECT_EQ(exportExtension(ExportFormat::OmnicommXml), ".xml");
}

TEST(DateText, followsThePatternWithTheSystemSeparator) {
    const struct {
        const char* pattern;
        const char* separator;
        CalendarDate date;
        const char* text;
    } cases[] = {
        {"mm/dd/yyyy", "/", {2026, 12, 6}, "12/06/2026"},
        {"dd/mm/yyyy", ".", {2026, 12, 6}, "06.12.2026"},
        {"dd/mm/yyyy", "-", {2027, 1, 5}, "05-01-2027"},
        {"YYYY/MM/DD", "/", {2026, 2, 28}, "2026/02/28"},
        {"dd/mm/yyyy", "/", {33, 7, 31}, "31/07/0033"},
        {"d mm, yyyy", "/", {2026, 3, 4}, "d 03, 2026"}, // only the three tokens are fields
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatDate(c.pattern, c.separator, c.date), c.text) << c.pattern;
    }
}

TEST(ExportName, isTheInstallationAndTheDateWithoutSlashes) {
    EXPECT_EQ(proposedExportName({"A/1", "X", "7", "800"}, "12/06/2026"), "A_1-X-7-12_06_2026-800");
    EXPECT_EQ(proposedExportName({"A", "X", "7", "800"}, "06.12.2026"), "A-X-7-06.12.2026-800");
}

TEST(ExportName, replacesOnlyAnExportExtension) {
    const struct {
        fs::path chosen;
        ExportFormat format;
        fs::path written;
    } cases[] = {
        {"a.csv", ExportFormat::VorkelTable, "a.txt"},
        {"out/report.csv", ExportFormat::WialonTxt, "out/report.txt"},
        {"report.TXT", ExportFormat::WialonCsv, "report.csv"},
        {"report.xml", ExportFormat::OmnicommXml, "report.xml"},
        {"report", ExportFormat::OmnicommXml, "report.xml"},
        {"A-X-7-12.06.2026-800", ExportFormat::VorkelTable, "A-X-7-12.06.2026-800.txt"},
        {"cal.bin", ExportFormat::FortTable, "cal.bin.txt"},
        {"v1.0/table", ExportFormat::WialonCsv, "v1.0/table.csv"},
        {"таблица.Csv", ExportFormat::OmnicommXml, "таблица.xml"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(exportPath(c.chosen, c.format), c.written) << c.chosen;
    }
}

} // namespace
} // namespace vorkel
