// The translation table parser: TranslationList::load on arbitrary bytes, for the languages of
// the selector, their regional variants and ids that no column lists.
//
// Input: a byte choosing the language id (bits 0..6) and the form of the rest (bit 7): the table
// as the program carries it (byte-order mark included), or the UTF-8 source in the repository
// from which the build encodes it.
//
// Besides memory and undefined-behaviour errors: every text that comes out is well-formed
// UTF-8 (it goes to Qt and to log.txt), there are never more restart warnings than selector
// entries, a lookup ignores letter case and gives back an unknown key unchanged; an encoded
// source decodes to the source itself, with CR LF line ends and a last line end.
#include "app/translation.h"
#include "fuzz/fuzz_input.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel::test {
namespace {

constexpr std::uint32_t kLanguageIds[] = {0x19,  0x419, 0x09,  0x409, 0x809,  0x16,  0x416,
                                          0x40A, 0x2C0A, 0x500A, 0x0,  0x407, 0xFFFFFFFF};

bool isUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1Fu;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0Fu;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07u;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            codePoint = codePoint << 6 | (next & 0x3Fu);
        }
        constexpr std::uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kShortest[length] || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The table the build makes of a UTF-8 source, checked against the source; nullopt for a
// source that is not UTF-8.
std::optional<std::vector<std::uint8_t>> encodedSource(std::string_view source) {
    std::optional<std::vector<std::uint8_t>> table = vorkel::encodeTranslationTable(source);
    FUZZ_CHECK(table.has_value() == isUtf8(source));
    if (!table) {
        return std::nullopt;
    }
    FUZZ_CHECK(table->size() >= 2 && (*table)[0] == 0xFF && (*table)[1] == 0xFE);
    constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
    if (source.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        source.remove_prefix(kUtf8ByteOrderMark.size());
    }
    std::string expected =
        replaceAll(replaceAll(std::string(source), "\r\n", "\n"), "\n", "\r\n");
    if (expected.size() < 2 || expected.substr(expected.size() - 2) != "\r\n") {
        expected += "\r\n";
    }
    FUZZ_CHECK(vorkel::utf16leToUtf8(std::span(*table).subspan(2)) == expected);
    return table;
}

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// A key's lookups agree whatever its letter case, and a missing key comes back as it is.
void checkLookup(const TranslationList& list, const std::string& key) {
    const bool known = list.contains(key);
    FUZZ_CHECK(list.contains(upperAscii(key)) == known);
    const std::string text = list.get(key);
    if (known) {
        FUZZ_CHECK(isUtf8(text));
        FUZZ_CHECK(list.get(upperAscii(key)) == text);
    } else {
        FUZZ_CHECK(text == key);
    }
}

} // namespace
} // namespace vorkel::test

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vorkel;
    using namespace vorkel::test;
    FuzzInput input(data, size);
    const std::uint8_t choice = input.byte();
    const std::uint32_t languageId = kLanguageIds[(choice & 0x7F) % std::size(kLanguageIds)];
    std::span<const std::uint8_t> table = input.rest();
    std::optional<std::vector<std::uint8_t>> encoded;
    if ((choice & 0x80) != 0) {
        encoded = encodedSource(std::string_view(reinterpret_cast<const char*>(table.data()),
                                                 table.size()));
        if (!encoded) {
            return 0;
        }
        table = *encoded;
    }

    const std::string decoded = utf16leToUtf8(table);
    FUZZ_CHECK(isUtf8(decoded));
    FUZZ_CHECK(decoded.size() <= table.size() / 2 * 3);

    TranslationList list;
    list.load(table, languageId);
    FUZZ_CHECK(list.restartWarnings().size() <= kSelectorLanguageCount);
    for (const std::string& warning : list.restartWarnings()) {
        FUZZ_CHECK(!warning.empty() && isUtf8(warning));
    }
    FUZZ_CHECK(list.column() >= 0);
    if (list.size() > 0) {
        FUZZ_CHECK(list.column() >= 1);
    }

    // Keys of the real table and keys taken from the input's own rows.
    for (const char* key : {"LanguageChangeWarning", "rsDeviceTimeout", "rsErrorHeader",
                            "AveragingComboBox.Item33", ""}) {
        checkLookup(list, key);
    }
    std::size_t lineStart = 0;
    for (int row = 0; row < 8 && lineStart < decoded.size(); ++row) {
        const std::size_t lineEnd = std::min(decoded.find("\r\n", lineStart), decoded.size());
        const std::string line = decoded.substr(lineStart, lineEnd - lineStart);
        checkLookup(list, line.substr(0, line.find(',')));
        lineStart = lineEnd + 2;
    }
    return 0;
}
