#include "calibration/table_import.h"
#include "calibration/whole_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace vorkel {
namespace {

constexpr ExportFormat kFormats[] = {ExportFormat::VorkelTable, ExportFormat::FortTable,
                                     ExportFormat::WialonTxt, ExportFormat::WialonCsv,
                                     ExportFormat::OmnicommXml};

// What tables hold: the empty row on top, percentages padded with a blank, decimal commas
// (one cell with two), litres with a blank, texts the XML document must escape.
const std::vector<TableRow> kGrid = {{"", ""},          {"1 000", "99.98 %"}, {"1,5,0", "12,5"},
                                     {"10.5", "50.00 %"}, {"a<&\"b", "x>y"},    {"0", " 2.51 %"},
                                     {"7", ""}};
const VehicleDetails kVehicle{"A&1", "<7>", "12/06/2026", 10};

TableReadResult exportedAndRead(ExportFormat format, std::optional<ExportFormat> hint = {}) {
    return readTable(exportText(format, kGrid, kVehicle), hint);
}

TEST(TableImport, aTableExportedInEachFormatReadsBackToTheSameBytes) {
    for (const ExportFormat format : kFormats) {
        const std::string bytes = exportText(format, kGrid, kVehicle);
        const TableReadResult read = readTable(bytes);
        ASSERT_TRUE(std::holds_alternative<LoadedTable>(read)) << exportFormatName(format);
        const LoadedTable& table = std::get<LoadedTable>(read);
        EXPECT_EQ(table.format, format);
        EXPECT_EQ(exportText(format, table.rows, table.vehicle.value_or(kVehicle)), bytes)
            << exportFormatName(format);
        // The formats that write cells as typed give the grid back as it was.
        if (format == ExportFormat::VorkelTable || format == ExportFormat::FortTable) {
            EXPECT_EQ(table.rows, kGrid);
        }
        EXPECT_EQ(table.vehicle.has_value(), format == ExportFormat::OmnicommXml);
    }
}

TEST(TableImport, readsTheDetailsAndRowsOfTheVehicleDocument) {
    const LoadedTable table = std::get<LoadedTable>(exportedAndRead(ExportFormat::OmnicommXml));
    EXPECT_EQ(table.vehicle->carNumber, "A&1");
    EXPECT_EQ(table.vehicle->sensorNumber, "<7>");
    EXPECT_EQ(table.vehicle->dateText, "12/06/2026");
    EXPECT_EQ(table.vehicle->averagingSeconds, 10);
    // Top to bottom as the grid held them, without the rows the document leaves out.
    const std::vector<TableRow> rows = {
        {"1 000", "99.98 %"}, {"1,5,0", "12.5"}, {"10.5", "50.00 %"}, {"a<&\"b", "x>y"},
        {"0", " 2.51 %"}};
    EXPECT_EQ(table.rows, rows);
}

TEST(TableImport, aFileThatReadsInTheHintedFormatIsTakenSoElseTheContentDecides) {
    const struct {
        std::string bytes;
        std::optional<ExportFormat> hint;
        ExportFormat format;
    } cases[] = {
        {"1.1234-0;\r\n", {}, ExportFormat::VorkelTable},
        {"1.1234-0;\r\n", ExportFormat::WialonTxt, ExportFormat::VorkelTable},
        {"1.1234-0;\r\n", ExportFormat::WialonCsv, ExportFormat::WialonCsv},
        {"1234:0;1500:10;\r\n", ExportFormat::WialonTxt, ExportFormat::FortTable},
        {"5 ;3\n", {}, ExportFormat::WialonCsv},
        {"5 ;3\n", ExportFormat::WialonTxt, ExportFormat::WialonTxt},
        {"1234 0\n1500 10", ExportFormat::VorkelTable, ExportFormat::WialonTxt},
        {"\xEF\xBB\xBF  <vehicle><value code=\"1\">2</value></vehicle>", {},
         ExportFormat::OmnicommXml},
    };
    for (const auto& c : cases) {
        const TableReadResult read = readTable(c.bytes, c.hint);
        ASSERT_TRUE(std::holds_alternative<LoadedTable>(read)) << c.bytes;
        EXPECT_EQ(std::get<LoadedTable>(read).format, c.format) << c.bytes;
    }
}

TEST(TableImport, aBadFileIsRefusedWithTheLineAndTheReason) {
    const struct {
        std::string bytes;
        TableReadError error;
    } cases[] = {
        {"", {0, "rsTableEmpty"}},
        {"\r\n", {1, "rsTableUnknownFormat"}},
        {"hello", {1, "rsTableUnknownFormat"}},
        {"1.1234-0;\r\n2.1500;\r\n", {2, "rsTableNoSeparator"}},
        {"1.1234-0;\r\n3.1500-10;\r\n", {2, "rsTableRowNumber"}},
        {"1.1234-0;\r\n2.1500-10\r\n", {2, "rsTableNoRowEnd"}},
        {"1234:0;1500:10;\r\n1:2;\r\n", {2, "rsTableExtraLine"}},
        {"1234:0;1500;\r\n", {1, "rsTableNoSeparator"}},
        {"1234;0\r\n1500 10\r\n", {2, "rsTableNoSeparator"}},
        {"1234;0\r\n1500;0\r\n", {2, "rsTableDuplicateLiters"}},
        {"<vehicle>\n<id>A</id>\n<value code=\"1\">2\n</vehicle>", {3, "rsTableBadElement"}},
        {"<vehicle>\n<value code=1>2</value>", {2, "rsTableBadElement"}},
        {"<vehicle><approximationBufferLength>x</approximationBufferLength>", {1, "rsTableBadNumber"}},
        {"<vehicle></vehicle>", {0, "rsTableEmpty"}},
        {"<html/>", {1, "rsTableUnknownFormat"}},
        {std::string(kLargestTableFile + 1, ' '), {0, "rsTableTooLarge"}},
    };
    for (const auto& c : cases) {
        const TableReadResult read = readTable(c.bytes);
        ASSERT_TRUE(std::holds_alternative<TableReadError>(read)) << c.bytes;
        EXPECT_EQ(std::get<TableReadError>(read), c.error) << c.bytes;
    }
    const auto key = [](std::string_view k) { return std::string(k); };
    EXPECT_EQ(tableReadMessage({2, "rsTableNoSeparator"}, key),
              "rsTableNotLoaded\nrsTableLine 2: rsTableNoSeparator");
    EXPECT_EQ(tableReadMessage({0, "rsTableEmpty"}, key), "rsTableNotLoaded\nrsTableEmpty");
}

TEST(TableImport, convertsAFileFromOneFormatToAnother) {
    const test::TempDir folder;
    const auto from = folder.path() / "t.xml", to = folder.path() / "t.csv";
    ASSERT_TRUE(writeWholeFile(from, exportText(ExportFormat::OmnicommXml, kGrid, kVehicle)));
    EXPECT_EQ(convertTableFile(from, to, ExportFormat::WialonCsv, {}), std::nullopt);
    EXPECT_EQ(readFileUpTo(to, kLargestTableFile),
              " 2.51 %;0\r\nx>y;a<&\"b\r\n50.00 %;10.5\r\n12.5;1.5,0\r\n99.98 %;1 000\r\n");
    // Back again: the details are those the first document held.
    const auto back = folder.path() / "back.xml";
    EXPECT_EQ(convertTableFile(to, back, ExportFormat::OmnicommXml, kVehicle), std::nullopt);
    EXPECT_EQ(readFileUpTo(back, kLargestTableFile), readFileUpTo(from, kLargestTableFile));
    EXPECT_EQ(convertTableFile(folder.path() / "none", to, ExportFormat::FortTable, {}),
              (TableReadError{0, "rsTableNotRead"}));
    EXPECT_EQ(std::get<std::string>(convertTable("1234 0\r\n", ExportFormat::VorkelTable, {})),
              "1.1234-0;\r\n");
    for (const ExportFormat format : kFormats) {
        EXPECT_EQ(exportFormatNamed(exportFormatName(format)), format);
    }
    EXPECT_EQ(exportFormatNamed("xml"), std::nullopt);
}

} // namespace
} // namespace vorkel
