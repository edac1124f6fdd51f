#include "app/translation.h"

#include <gtest/gtest.h>
#include <string>

#include <QFile>

namespace vorkel {
namespace {

// A table in the program's format, written here in UTF-8 with "\n" line ends for reading.
std::vector<std::uint8_t> table(const std::u16string& text) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    std::u16string withCrLf;
    for (const char16_t c : text) {
        if (c == u'\n') {
            withCrLf += u"\r\n";
        } else {
            withCrLf += c;
        }
    }
    for (const char16_t c : withCrLf) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
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

TEST(TranslationList, findsKeysWhateverTheirLetterCase) {
    const TranslationList list =
        load(u"  rsDeviceTimeout\t,Нет ответа,Sensor response timeout!,a,b\n");
    EXPECT_EQ(list.get("rsDeviceTimeout"), "Sensor response timeout!");
    EXPECT_EQ(list.get("RSDEVICETIMEOUT"), "Sensor response timeout!");
    EXPECT_EQ(list.get("rsdevicetimeout"), "Sensor response timeout!");
}

TEST(TranslationList, returnsAMissingKeyUnchanged) {
    const TranslationList list = load(u"rsA,а,A,a,a\n");
    EXPECT_EQ(list.get("rsNotThere"), "rsNotThere");
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

TEST(TranslationList, choosesTheColumnThatListsTheLanguage) {
    const std::u16string rows = u"k,Русский,English,Português,Español\n";
    EXPECT_EQ(load(rows, 0x419).get("k"), "Русский");
    EXPECT_EQ(load(rows, 0x19).get("k"), "Русский");
    EXPECT_EQ(load(rows, 0x809).get("k"), "English");
    EXPECT_EQ(load(rows, 0x416).get("k"), "Português");
    EXPECT_EQ(load(rows, 0x2C0A).get("k"), "Español");
    EXPECT_EQ(load(rows, 0x416).column(), 3);
}

TEST(TranslationList, usesEnglishForALanguageNoColumnLists) {
    const std::u16string rows = u"k,Русский,English,Português,Español\n";
    EXPECT_EQ(load(rows, 0xC0A).get("k"), "English"); // Spanish, but not in the locale row
    EXPECT_EQ(load(rows, 0x123).get("k"), "English");
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

TEST(LanguageIndex, foldsRegionalVariantsIntoTheSelectorEntries) {
    EXPECT_EQ(languageIndex(0x19), 0);
    EXPECT_EQ(languageIndex(0x419), 0);
    EXPECT_EQ(languageIndex(0x819), 0);
    EXPECT_EQ(languageIndex(0x409), 1);
    EXPECT_EQ(languageIndex(0x809), 1);
    EXPECT_EQ(languageIndex(0x09), 1);
    EXPECT_EQ(languageIndex(0x416), 2);
    EXPECT_EQ(languageIndex(0x816), 2);
    for (const std::uint32_t spanish :
         {0x40Au, 0x80Au, 0x100Au, 0x140Au, 0x180Au, 0x1C0Au, 0x200Au, 0x240Au, 0x280Au, 0x2C0Au,
          0x300Au, 0x340Au, 0x380Au, 0x3C0Au, 0x400Au, 0x440Au, 0x480Au, 0x4C0Au, 0x500Au}) {
        EXPECT_EQ(languageIndex(spanish), 3) << std::hex << spanish;
    }
    EXPECT_EQ(languageIndex(0xC0A), -1);
    EXPECT_EQ(languageIndex(0x407), -1);
}

// The table the program carries.
class ShippedTable : public ::testing::Test {
protected:
    static std::vector<std::uint8_t> bytes() {
        QFile resource(QStringLiteral(":/TRANSLATION"));
        EXPECT_TRUE(resource.open(QIODevice::ReadOnly));
        const QByteArray data = resource.readAll();
        return std::vector<std::uint8_t>(data.begin(), data.end());
    }
    static TranslationList language(std::uint32_t id) {
        TranslationList list;
        list.load(bytes(), id);
        return list;
    }
};

TEST_F(ShippedTable, isUtf16WithAByteOrderMarkAndCrLf) {
    const std::vector<std::uint8_t> data = bytes();
    ASSERT_GT(data.size(), 4u);
    EXPECT_EQ(data[0], 0xFF);
    EXPECT_EQ(data[1], 0xFE);
    const std::string text = utf16leToUtf8(std::span(data).subspan(2));
    EXPECT_EQ(text.rfind("name,locale (hex)", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1)) {
        ASSERT_EQ(text[at - 1], '\r') << "a bare LF at byte " << at;
    }
}

TEST_F(ShippedTable, hasTheEnglishTextsThatTheProgramShows) {
    const TranslationList english = language(0x409);
    EXPECT_EQ(english.get("rsDeviceTimeout"), "Sensor response timeout!");
    EXPECT_EQ(english.get("rsErrorHeader"), " Error!");
    EXPECT_EQ(english.get("rsWarningTitle"), " Warning");
    EXPECT_EQ(english.get("rsReceivedData"), "received:");
    EXPECT_EQ(english.get("rsV"), "V");
    EXPECT_EQ(english.get("rsInvalidResponseChecksum"),
              "Invalid response from sensor\r\nThe checksum does not match");
    EXPECT_EQ(english.get("addressEdit.SubLabel"), "Sensor address");
    EXPECT_EQ(english.get("addressEdit"), "unread");
    EXPECT_EQ(english.get("AveragingComboBox.Item33"), "128 s");
    EXPECT_EQ(english.get("SavetableDialog.Filter"),
              "VORKEL table files|*.txt|FORT table files|*.txt|WIALON TXT files|*.txt|"
              "WIALON CSV files|*.csv");
    EXPECT_FALSE(english.contains("SavetarDialog"));
    EXPECT_EQ(english.restartWarnings().at(3),
              "Para cambiar el idioma del programa, reinicie el programa");
    EXPECT_EQ(english.restartWarnings().at(1),
              "Language change will take effect after program restart!");
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
    const char* keys[] = {"rsProgram_name",
                          "rsNotAttached",
                          "rsAttached",
                          "rsFlashing",
                          "rsV",
                          "rsFrom",
                          "rsVTo",
                          "rsReverseFrom",
                          "rsTo",
                          "rsReceivedData",
                          "rsSent",
                          "rsComPortsNotFound",
                          "rsConfiguratorLaunched",
                          "rsConfiguratorClosed",
                          "rsWarningTitle",
                          "rsErrorHeader",
                          "rsMessageTitle",
                          "rsEmptyAboveFull",
                          "rsCannotOpenfirmware",
                          "rsFirmwareUpdateStarted",
                          "rsDeviceAttached",
                          "rsEnterLitersValue",
                          "rsAwaitingFirmwareUpdate",
                          "rsDateFormat",
                          "rsTKoeffUpdated",
                          "rsConnectingToPort",
                          "rsDeviceTimeout",
                          "rsResponseNotReceived",
                          "rsInvalidResponseLength",
                          "rsInvalidResponseChecksum",
                          "rsInvalidResponse",
                          "rsCalibrationWritten",
                          "rsCalibrationNotSaved",
                          "rsDeviceConfigurationSet",
                          "rsEmptyTarDone",
                          "rsFullTarDone",
                          "rsFirmwareUpdateSuccess",
                          "rsFlashErrorsCounted",
                          "rsFlashingProgress",
                          "rsFlashVerificationError",
                          "rsNumberEntered",
                          "rsValidNumberFrom",
                          "rsValidNumberTo",
                          "rsAbout"};
    for (const std::uint32_t id : {0x19u, 0x09u, 0x16u, 0x40Au}) {
        const TranslationList list = language(id);
        EXPECT_EQ(list.restartWarnings().size(), 4u);
        for (const char* key : keys) {
            EXPECT_TRUE(list.contains(key)) << key;
            EXPECT_FALSE(list.get(key).empty()) << key;
        }
    }
    EXPECT_EQ(language(0x19).get("rsDateFormat"), "dd/mm/yyyy");
    EXPECT_EQ(language(0x16).get("rsDateFormat"), "mm/dd/aaaa");
}

} // namespace
} // namespace vorkel
