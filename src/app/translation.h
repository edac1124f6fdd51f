// The translation table and the translation list: the shell's standard-library half of
// localization (the Qt half, which applies texts to controls, is localization.h).
//
// The table is UTF-16LE text with a byte-order mark, lines separated by CR LF, fields by ",":
//   line 1  header, not interpreted
//   line 2  locale row: field N lists the locale ids of language column N (hex, ";"-separated)
//   line 3  LanguageChangeWarning: the restart warning of each language (also a data row)
//   then    key, Russian, English, Portuguese, Spanish; up to the first empty line
// In a text, backslash-n is a line break and two backslashes are a comma.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorkel {

// Locale ids of the four entries of the language selector, in selector order.
inline constexpr std::uint32_t kLanguageRussian = 0x19;
inline constexpr std::uint32_t kLanguageEnglish = 0x09;
inline constexpr std::uint32_t kLanguagePortuguese = 0x16;
inline constexpr std::uint32_t kLanguageSpanish = 0x40A;
inline constexpr std::uint32_t kSelectorLanguages[] = {kLanguageRussian, kLanguageEnglish,
                                                       kLanguagePortuguese, kLanguageSpanish};
inline constexpr std::size_t kSelectorLanguageCount = std::size(kSelectorLanguages);
// The language of a first start (English, United States).
inline constexpr std::uint32_t kDefaultLanguageId = 0x409;

// Position of a locale id in the selector after folding its regional variants (0x409 and
// 0x809 are English, the nineteen Spanish ids of the table are Spanish, ...); -1 for an id the
// selector does not offer.
int languageIndex(std::uint32_t languageId);

class TranslationList {
public:
    // loadTranslation: parses the table and keeps the column of `languageId`. A language that
    // no column lists gets the English column. Empty or missing table: the list stays empty.
    void load(std::span<const std::uint8_t> table, std::uint32_t languageId);

    // getTranslation: the text stored under the key (letter case does not matter), or the key
    // itself, unchanged, when there is none.
    std::string get(std::string_view key) const;
    bool contains(std::string_view key) const;
    std::size_t size() const { return texts_.size(); }

    // One per selector entry, in selector order; empty when the table had none.
    const std::vector<std::string>& restartWarnings() const { return restartWarnings_; }

    // The table column that was chosen (1 = Russian ... 4 = Spanish), 0 before loading.
    int column() const { return column_; }

private:
    std::map<std::string, std::string, std::less<>> texts_; // lower-cased key -> text
    std::vector<std::string> restartWarnings_;
    int column_ = 0;
};

// Exposed for tests: UTF-16LE (no byte-order mark) to UTF-8; broken surrogates become U+FFFD.
std::string utf16leToUtf8(std::span<const std::uint8_t> bytes);

// The table as the program carries it, from the UTF-8 text kept in the repository: byte-order
// mark FF FE, then UTF-16LE with every line ended by CR LF. The source may have LF or CR LF line
// ends (a checkout may convert them), a UTF-8 byte-order mark and a missing last line end; all
// give the same bytes. nullopt when the source is not valid UTF-8, so that a damaged table fails
// the build instead of showing replacement characters.
std::optional<std::vector<std::uint8_t>> encodeTranslationTable(std::string_view utf8);

} // namespace vorkel
