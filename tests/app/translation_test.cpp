#include "app/translation.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>

namespace vorkel {
namespace {

std::vector<std::uint8_t> utf16le(const std::u16string& text) {
    std::vector<std::uint8_t> bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

// A table in the program's format, written here with "\n" line ends for reading.
std::vector<std::uint8_t> table(const std::u16string& text) {
    std::u16string withCrLf;
    for (const char16_t c : text) {
        withCrLf += c == u'\n' ? std::u16string(u"\r\n") : std::u16string(1, c);
    }
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    const std::vector<std::uint8_t> body = utf16le(withCrLf);
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

const std::u16string kHeader =
    u"name,locale (hex),locale (hex),locale (hex),local(hex)\n"
    u",19;419;819,9;409;809,16;416;816,40A;2C0A;400A;340A;240A;140A;1C0A;300A;440A;100A;480A;"
    u"80A;4C0A;180A;3C0A;280A;500A;380A;200A\n"
    u"LanguageChangeWarning,Перезапустите,Restart!,Reinicie,Reinicie\\\\ por favor\n";

TranslationList load(const std::u16string& rows, std::uint32_t language = 0x409) {
    TranslationList list;
    list.load(table(kHeader + rows), language);
    return list;
}

TEST(TranslationList, findsKeysInAnyLetterCaseAndReturnsAMissingKeyUnchanged) {
    const TranslationList list =
        load(u"  rsDeviceTimeout\t,Нет ответа,Sensor response timeout!,a,b\n");
    for (const char* key : {"rsDeviceTimeout", "RSDEVICETIMEOUT", "rsdevicetimeout"}) {
        EXPECT_EQ(list.get(key), "Sensor response timeout!") << key;
    }
    EXPECT_EQ(list.get("RsNoT"), "RsNoT");
}

TEST(TranslationList, keepsTheFirstRowOfAKey) {
    const TranslationList list =
        load(u"rsReceivedData,п,received:,r,r\nrsV,В,V,V,V\nrsReceivedData,п, received:,r,r\n"
             u"rsV,В, V,V,V\n");
    EXPECT_EQ(list.get("rsReceivedData"), "received:");
    EXPECT_EQ(list.get("rsV"), "V");
}

TEST(TranslationList, resolvesLineBreakAndCommaEscapes) {
    const TranslationList list = load(u"a,x,one\\ntwo,x,x\n"
                                      u"b,x,one\\\\ two,x,x\n"
                                      u"c,x,comma\\\\\\nbreak,x,x\n"
                                      u"d,x,\"quoted\",x,x\n"
                                      u"e,x, spaced ,x,x\n");
    EXPECT_EQ(list.get("a"), "one\r\ntwo");
    EXPECT_EQ(list.get("b"), "one, two");
    EXPECT_EQ(list.get("c"), "comma,\r\nbreak");
    EXPECT_EQ(list.get("d"), "\"quoted\"");
    EXPECT_EQ(list.get("e"), " spaced ");
}

TEST(TranslationList, stopsAtTheFirstEmptyLine) {
    const TranslationList list = load(u"a,x,A,x,x\n\nb,x,B,x,x\n");
    EXPECT_EQ(list.get("a"), "A");
    EXPECT_EQ(list.get("b"), "b");
}

TEST(TranslationList, choosesTheColumnThatListsTheLanguageAndEnglishForOthers) {
    const std::u16string rows = u"k,Русский,English,Português,Español\n";
    const struct {
        std::uint32_t id;
        const char* text;
    } cases[] = {{0x419, "Русский"},   {0x19, "Русский"},   {0x809, "English"},
                 {0x416, "Português"}, {0x2C0A, "Español"}, {0xC0A, "English"}, // not listed
                 {0x123, "English"}};
    for (const auto& c : cases) {
        EXPECT_EQ(load(rows, c.id).get("k"), c.text) << std::hex << c.id;
    }
}

TEST(TranslationList, readsTheRestartWarningsWithCommasOnly) {
    const TranslationList list = load(u"");
    EXPECT_EQ(
        list.restartWarnings(),
        (std::vector<std::string>{"Перезапустите", "Restart!", "Reinicie", "Reinicie, por favor"}));
    // The warning row is an ordinary row too.
    EXPECT_EQ(list.get("LanguageChangeWarning"), "Restart!");
}

TEST(TranslationList, stopsTheRestartWarningsAtAnEmptyField) {
    TranslationList list;
    list.load(table(u"h\n,19,9,16,40A\nLanguageChangeWarning,a,,c,d\n"), 0x409);
    EXPECT_EQ(list.restartWarnings(), std::vector<std::string>{"a"});
}

TEST(TranslationList, staysEmptyWithoutATable) {
    TranslationList list;
    list.load({}, 0x409);
    EXPECT_EQ(list.size(), 0u);
    const std::vector<std::uint8_t> markOnly{0xFF, 0xFE};
    list.load(markOnly, 0x409);
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.get("rsErrorHeader"), "rsErrorHeader");
    EXPECT_TRUE(list.restartWarnings().empty());
}

TEST(Utf16, decodesSurrogatePairsAndReplacesBrokenOnes) {
    const std::vector<std::uint8_t> bytes{0x41, 0x00, 0x3D, 0xD8, 0x00,
                                          0xDE, 0x00, 0xD8, 0x42, 0x00};
    EXPECT_EQ(utf16leToUtf8(bytes), "A\xF0\x9F\x98\x80\xEF\xBF\xBD"
                                    "B");
}

TEST(EncodeTranslationTable, writesUtf16WithAByteOrderMarkAndCrLfWhateverTheSourceLineEnds) {
    const struct {
        std::string source;
        std::u16string text; // after the byte-order mark
    } cases[] = {
        {"a,б\nc\n", u"a,б\r\nc\r\n"},
        {"a,б\r\nc\r\n", u"a,б\r\nc\r\n"}, // a checkout with CR LF
        {"\xEF\xBB\xBFz\n", u"z\r\n"},     // a UTF-8 byte-order mark goes
        {"a\n\nb", u"a\r\n\r\nb\r\n"},     // the last line end is added
        {"“Teste 05”\xF0\x9F\x98\x80\n", u"“Teste 05”\U0001F600\r\n"}, // surrogate pair
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> expected{0xFF, 0xFE};
        const std::vector<std::uint8_t> body = utf16le(c.text);
        expected.insert(expected.end(), body.begin(), body.end());
        EXPECT_EQ(encodeTranslationTable(c.source), expected) << c.source;
    }
}

TEST(EncodeTranslationTable, refusesASourceThatIsNotUtf8) {
    for (const char* source : {"\x80", "a\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF4\x90\x80\x80",
                               "\xFF", "\xC3(", "Portugu\xEAs"}) { // the last: Latin-1
        EXPECT_EQ(encodeTranslationTable(source), std::nullopt) << source;
    }
}

TEST(LanguageIndex, foldsRegionalVariantsIntoTheSelectorEntries) {
    const struct {
        int index;
        std::vector<std::uint32_t> ids;
    } cases[] = {
        {0, {0x19, 0x419, 0x819}},
        {1, {0x09, 0x409, 0x809}},
        {2, {0x16, 0x416, 0x816}},
        {3,
         {0x40A, 0x80A, 0x100A, 0x140A, 0x180A, 0x1C0A, 0x200A, 0x240A, 0x280A, 0x2C0A, 0x300A,
          0x340A, 0x380A, 0x3C0A, 0x400A, 0x440A, 0x480A, 0x4C0A, 0x500A}},
        {-1, {0xC0A, 0x407, 0x0}},
    };
    for (const auto& c : cases) {
        for (const std::uint32_t id : c.ids) {
            EXPECT_EQ(languageIndex(id), c.index) << std::hex << id;
        }
    }
}

// The table the program carries (the build encodes it the same way; app_tests checks that the
// resource is these bytes), and the UTF-8 source it is built from.
class ShippedTable : public ::testing::Test {
protected:
    static std::vector<std::uint8_t> bytes() {
        return encodeTranslationTable(source()).value_or(std::vector<std::uint8_t>{});
    }
    static TranslationList language(std::uint32_t id) {
        TranslationList list;
        list.load(bytes(), id);
        return list;
    }
    static std::string source() {
        std::ifstream in(VORKEL_TRANSLATION_SOURCE, std::ios::binary);
        EXPECT_TRUE(in.good()) << VORKEL_TRANSLATION_SOURCE;
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::vector<std::vector<std::string>> rows(const std::string& text,
                                                      const std::string& lineEnd) {
        std::vector<std::vector<std::string>> result;
        for (std::size_t begin = 0, end; (end = text.find(lineEnd, begin)) != std::string::npos;
             begin = end + lineEnd.size()) {
            std::vector<std::string> fields;
            const std::string line = text.substr(begin, end - begin);
            for (std::size_t from = 0, comma;; from = comma + 1) {
                comma = line.find(',', from);
                fields.push_back(line.substr(from, comma - from));
                if (comma == std::string::npos) {
                    break;
                }
            }
            result.push_back(fields);
        }
        return result;
    }
};

TEST_F(ShippedTable, isTheUtf8SourceAsUtf16WithAByteOrderMarkAndCrLf) {
    const std::vector<std::uint8_t> data = bytes();
    ASSERT_GT(data.size(), 4u);
    EXPECT_EQ(data[0], 0xFF);
    EXPECT_EQ(data[1], 0xFE);
    EXPECT_EQ(data.size() % 2, 0u);
    const std::string text = utf16leToUtf8(std::span(data).subspan(2));
    EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << "a broken surrogate";
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        ASSERT_EQ(text[at - 1], '\r') << "a bare LF at byte " << at;
    }
    const std::string utf8 = source();
    EXPECT_EQ(utf8.find('\r'), std::string::npos) << "the source is kept with LF line ends";
    const auto shipped = rows(text, "\r\n");
    EXPECT_EQ(shipped, rows(utf8, "\n"));
    ASSERT_GT(shipped.size(), 3u);
    EXPECT_EQ(shipped[0][0], "name");
    for (const auto& row : shipped) {
        EXPECT_EQ(row.size(), 5u) << row[0]; // a comma in a text must be written as \\ .
    }
}

// Texts the program is known by (the English and Russian ones, odd spellings included, are
// quoted elsewhere), and the Portuguese and Spanish ones that were chosen with care.
TEST_F(ShippedTable, keepsItsKnownTexts) {
    const struct {
        std::uint32_t language;
        const char* key;
        const char* text;
    } cases[] = {
        {0x409, "rsDeviceTimeout", "Sensor response timeout!"},
        {0x409, "rsErrorHeader", " Error!"},
        {0x409, "rsWarningTitle", " Warning"},
        {0x409, "rsReceivedData", "received:"}, // the first of two rows
        {0x409, "rsV", "V"},
        {0x409, "rsReverseFrom", " [ REVERSE] from"},
        {0x409, "rsInvalidResponseChecksum",
         "Invalid response from sensor\r\nThe checksum does not match"},
        {0x409, "rsReplaceExistingFile", "This file already exists. Replace it?\r\n"},
        {0x409, "rsCalibrationFileUnreadable",
         "The file is not a calibration file: it is missing, unreadable or not exactly 5 bytes "
         "long. Nothing was written to the sensor."},
        {0x409, "addressEdit.SubLabel", "Sensor address"},
        {0x409, "addressEdit", "unread"},
        {0x409, "AveragingComboBox.Item33", "128 s"},
        {0x409, "SavetableDialog.Filter",
         "VORKEL table files|*.txt|FORT table files|*.txt|WIALON TXT files|*.txt|"
         "WIALON CSV files|*.csv"},
        {0x19, "rsDateFormat", "dd/mm/yyyy"},
        {0x19, "rsReverseFrom", " [РЕВЕРС] от"},
        {0x416, "rsDateFormat", "mm/dd/yyyy"}, // the export files need the pattern letters
        {0x416, "rsReverseFrom", " [INVERSO] de "},
        {0x40A, "rsReverseFrom", " [INVERSO] de "},
        {0x416, "rsCannotOpenfirmware", "Não foi possível ler o arquivo de firmware!"},
        {0x40A, "OpenFlashDialog", "Elegir archivo de firmware..."},
        {0x40A, "getflashfileButton", "Elegir archivo..."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(language(c.language).get(c.key), c.text) << std::hex << c.language << c.key;
    }
    const TranslationList english = language(0x409);
    EXPECT_FALSE(english.contains("SavetarDialog"));
    EXPECT_EQ(
        english.restartWarnings(),
        (std::vector<std::string>{"Смена языка вступит в силу после перезапуска программы!",
                                  "Language change will take effect after program restart!",
                                  "A alteração do idioma terá efeito após reiniciar o programa!",
                                  "Para cambiar el idioma del programa, reinicie el programa"}));
}

TEST_F(ShippedTable, averagingItemsStartWithTheirSecondsInEveryLanguage) {
    for (const std::uint32_t id : {0x19u, 0x09u, 0x16u, 0x40Au}) {
        const TranslationList list = language(id);
        for (int item = 1; item <= 33; ++item) {
            const int seconds = item <= 31 ? item + 1 : (item == 32 ? 64 : 128);
            const std::string text = list.get("AveragingComboBox.Item" + std::to_string(item));
            EXPECT_EQ(text.rfind(std::to_string(seconds) + " ", 0), 0u) << id << ": " << text;
        }
    }
}

TEST_F(ShippedTable, hasEveryMessageInEveryLanguage) {
    // clang-format off
    const char* keys[] = {
        "rsProgram_name", "rsNotAttached", "rsAttached", "rsFlashing", "rsV", "rsFrom", "rsVTo",
        "rsReverseFrom", "rsTo", "rsReceivedData", "rsSent", "rsComPortsNotFound",
        "rsConfiguratorLaunched", "rsConfiguratorClosed", "rsWarningTitle", "rsErrorHeader",
        "rsMessageTitle", "rsEmptyAboveFull", "rsCannotOpenfirmware", "rsFirmwareUpdateStarted",
        "rsDeviceAttached", "rsPortReopened", "rsEnterLitersValue", "rsAwaitingFirmwareUpdate", "rsDateFormat",
        "rsTKoeffUpdated", "rsConnectingToPort", "rsDeviceTimeout", "rsResponseNotReceived",
        "rsInvalidResponseLength", "rsInvalidResponseChecksum", "rsInvalidResponse",
        "rsCalibrationWritten", "rsCalibrationNotSaved", "rsCalibrationFileUnreadable",
        "rsReplaceExistingFile", "rsLitersKeyNotInteger", "rsLitersValueNotNumber",
        "rsDeviceConfigurationSet", "rsEmptyTarDone", "rsFullTarDone", "rsFirmwareUpdateSuccess",
        "rsFlashErrorsCounted", "rsFlashAbandonedPortLost", "rsFlashingProgress",
        "rsFlashVerificationError", "rsFlashLastWordMismatch", "rsNumberEntered",
        "rsValidNumberFrom", "rsValidNumberTo",
        "rsAbout"};
    // clang-format on
    for (const std::uint32_t id : {0x19u, 0x09u, 0x16u, 0x40Au}) {
        const TranslationList list = language(id);
        EXPECT_EQ(list.restartWarnings().size(), 4u);
        for (const char* key : keys) {
            EXPECT_TRUE(list.contains(key)) << key;
            EXPECT_FALSE(list.get(key).empty()) << std::hex << id << key;
        }
    }
}

} // namespace
} // namespace vorkel
