#include "app/translation.h"

#include <algorithm>

namespace vorkel {
namespace {

constexpr std::size_t kLocaleRow = 1;
constexpr std::size_t kFirstDataRow = 2; // the restart-warning row is a data row too

// Splitting keeps the piece after the last separator, also when it is empty.
std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const std::size_t at = text.find(separator);
        if (at == std::string_view::npos) {
            pieces.push_back(text);
            return pieces;
        }
        pieces.push_back(text.substr(0, at));
        text.remove_prefix(at + separator.size());
    }
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to) {
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::string resolveCommaEscape(std::string_view text) {
    return replaceAll(std::string(text), R"(\\)", ",");
}

// Line breaks first: three backslashes and an n are a comma and a line break.
std::string resolveEscapes(std::string_view text) {
    return resolveCommaEscape(replaceAll(std::string(text), R"(\n)", "\r\n"));
}

std::string lowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

// Blanks and control characters at both ends go.
std::string_view trim(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// An optional "$", then hexadecimal digits of either case; stops at the first other character.
std::uint32_t parseHex(std::string_view text) {
    if (!text.empty() && text.front() == '$') {
        text.remove_prefix(1);
    }
    std::uint32_t value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

// The first column of the locale row whose ids include `languageId`, or 0.
int columnOf(std::string_view localeRow, std::uint32_t languageId) {
    const std::vector<std::string_view> fields = split(localeRow, ",");
    for (std::size_t n = 1; n < fields.size(); ++n) {
        for (const std::string_view id : split(fields[n], ";")) {
            if (!id.empty() && parseHex(id) == languageId) {
                return static_cast<int>(n);
            }
        }
    }
    return 0;
}

void appendUtf8(std::string& out, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

// The next code point of well-formed UTF-8 (no overlong forms, no surrogates, at most
// U+10FFFF), advancing `at`; nullopt at a malformed sequence.
std::optional<std::uint32_t> nextCodePoint(std::string_view text, std::size_t& at) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(at);
    if (lead < 0x80) {
        ++at;
        return lead;
    }
    // Sequence length, payload bits of the lead byte and the smallest code point of that length.
    struct Form {
        std::uint8_t leadMask, leadBits;
        std::size_t length;
        std::uint32_t payloadMask, minimum;
    };
    constexpr Form kForms[] = {
        {0xE0, 0xC0, 2, 0x1F, 0x80}, {0xF0, 0xE0, 3, 0x0F, 0x800}, {0xF8, 0xF0, 4, 0x07, 0x10000}};
    const auto* form = std::find_if(std::begin(kForms), std::end(kForms), [&](const Form& f) {
        return (lead & f.leadMask) == f.leadBits;
    });
    if (form == std::end(kForms)) {
        return std::nullopt;
    }
    const std::size_t length = form->length;
    std::uint32_t codePoint = lead & form->payloadMask;
    const std::uint32_t minimum = form->minimum;
    if (text.size() - at < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        codePoint = (codePoint << 6) | (byte(at + i) & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return std::nullopt;
    }
    at += length;
    return codePoint;
}

void appendUtf16le(std::vector<std::uint8_t>& out, std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
}

} // namespace

std::string utf16leToUtf8(std::span<const std::uint8_t> bytes) {
    constexpr std::uint32_t kReplacement = 0xFFFD;
    std::string out;
    out.reserve(bytes.size());
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) {
        return static_cast<std::uint32_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const std::uint32_t low = unitAt(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        appendUtf8(out, (unit >= 0xD800 && unit <= 0xDFFF) ? kReplacement : unit);
    }
    return out;
}

std::optional<std::vector<std::uint8_t>> encodeTranslationTable(std::string_view utf8) {
    constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
    if (utf8.substr(0, kUtf8ByteOrderMark.size()) == kUtf8ByteOrderMark) {
        utf8.remove_prefix(kUtf8ByteOrderMark.size());
    }
    std::vector<std::uint8_t> out{0xFF, 0xFE};
    out.reserve(2 * utf8.size() + 4);
    std::size_t at = 0;
    while (at < utf8.size()) {
        if (utf8.substr(at, 2) == "\r\n") {
            ++at; // the LF below writes the line end
            continue;
        }
        const std::optional<std::uint32_t> codePoint = nextCodePoint(utf8, at);
        if (!codePoint) {
            return std::nullopt;
        }
        if (*codePoint == '\n') {
            appendUtf16le(out, '\r');
            appendUtf16le(out, '\n');
        } else if (*codePoint >= 0x10000) {
            appendUtf16le(out, 0xD800 + ((*codePoint - 0x10000) >> 10));
            appendUtf16le(out, 0xDC00 + ((*codePoint - 0x10000) & 0x3FF));
        } else {
            appendUtf16le(out, *codePoint);
        }
    }
    // The table ends with a line end: its empty last line is what ends the rows.
    const bool endsWithLineEnd = out.size() >= 4 && out[out.size() - 4] == '\r' &&
                                 out[out.size() - 3] == 0 && out[out.size() - 2] == '\n' &&
                                 out[out.size() - 1] == 0;
    if (!endsWithLineEnd) {
        appendUtf16le(out, '\r');
        appendUtf16le(out, '\n');
    }
    return out;
}

int languageIndex(std::uint32_t languageId) {
    std::uint32_t normalised = languageId;
    switch (languageId) {
    case 0x09:
    case 0x409:
    case 0x809:
        normalised = kLanguageEnglish;
        break;
    case 0x16:
    case 0x416:
    case 0x816:
        normalised = kLanguagePortuguese;
        break;
    case 0x19:
    case 0x419:
    case 0x819:
        normalised = kLanguageRussian;
        break;
    case 0x40A:
    case 0x80A:
    case 0x100A:
    case 0x140A:
    case 0x180A:
    case 0x1C0A:
    case 0x200A:
    case 0x240A:
    case 0x280A:
    case 0x2C0A:
    case 0x300A:
    case 0x340A:
    case 0x380A:
    case 0x3C0A:
    case 0x400A:
    case 0x440A:
    case 0x480A:
    case 0x4C0A:
    case 0x500A:
        normalised = kLanguageSpanish;
        break;
    default:
        break;
    }
    const auto* found =
        std::find(std::begin(kSelectorLanguages), std::end(kSelectorLanguages), normalised);
    return found == std::end(kSelectorLanguages)
               ? -1
               : static_cast<int>(found - std::begin(kSelectorLanguages));
}

void TranslationList::load(std::span<const std::uint8_t> table, std::uint32_t languageId) {
    constexpr std::size_t kByteOrderMark = 2;
    if (table.size() <= kByteOrderMark) {
        return;
    }
    const std::string text = utf16leToUtf8(table.subspan(kByteOrderMark));
    const std::vector<std::string_view> lines = split(text, "\r\n");
    if (lines.size() <= kLocaleRow) {
        return;
    }

    column_ = columnOf(lines[kLocaleRow], languageId);
    if (column_ == 0) {
        // A stored id that no column lists (edited outside the program): English.
        column_ = columnOf(lines[kLocaleRow], kDefaultLanguageId);
    }

    if (lines.size() > kFirstDataRow) {
        const std::vector<std::string_view> warnings = split(lines[kFirstDataRow], ",");
        for (std::size_t n = 1; n < warnings.size() && !warnings[n].empty() &&
                                restartWarnings_.size() < kSelectorLanguageCount;
             ++n) {
            restartWarnings_.push_back(resolveCommaEscape(warnings[n]));
        }
    }

    for (std::size_t i = kFirstDataRow; i < lines.size() && !lines[i].empty(); ++i) {
        const std::vector<std::string_view> fields = split(lines[i], ",");
        std::string key = lowerAscii(trim(fields[0]));
        if (key.empty() || column_ <= 0 || static_cast<std::size_t>(column_) >= fields.size()) {
            continue;
        }
        // emplace keeps the first row of a key: later duplicates are ignored.
        texts_.emplace(std::move(key), resolveEscapes(fields[static_cast<std::size_t>(column_)]));
    }
}

std::string TranslationList::get(std::string_view key) const {
    const auto found = texts_.find(lowerAscii(key));
    return found == texts_.end() ? std::string(key) : found->second;
}

bool TranslationList::contains(std::string_view key) const {
    return texts_.find(lowerAscii(key)) != texts_.end();
}

} // namespace vorkel
