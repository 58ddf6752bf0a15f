#include "relan/text_decoding.hpp"

#include "relan/error.hpp"
#include "relan/text1251.hpp"

#include <algorithm>
#include <cstdio>

namespace relan::text {
namespace {

// Length of the valid UTF-8 sequence at s[i] and its code point; 0 when the
// bytes there are not one.
std::size_t nextUtf8(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t len = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

int lineAt(std::string_view s, std::size_t pos) {
    return 1 + static_cast<int>(std::count(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
}

std::string hexByte(unsigned char b) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02X", b);
    return buf;
}

std::string fromUtf16(std::string_view bytes, bool littleEndian, const std::string& fileName) {
    auto refuse = [&](const std::string& why) {
        return Error("Файл " + fileName + " помечен как текст UTF-16, но не декодируется: " + why);
    };
    if (bytes.size() % 2 != 0) throw refuse("нечётное число байтов");
    auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return littleEndian ? static_cast<char32_t>(a | (b << 8)) : static_cast<char32_t>((a << 8) | b);
    };
    std::string out;
    out.reserve(bytes.size());
    int line = 1;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF) {
            const char32_t lo = i + 2 < bytes.size() ? unit(i + 2) : 0;
            if (!(lo >= 0xDC00 && lo <= 0xDFFF))
                throw refuse("непарный суррогат в строке " + std::to_string(line));
            c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
            i += 2;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            throw refuse("непарный суррогат в строке " + std::to_string(line));
        }
        if (c == '\n') ++line;
        appendUtf8(out, c);
    }
    return out;
}

bool isControl(char32_t cp) {
    return cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F);
}

char32_t lowerCodePoint(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + 0x20;
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : c + 0x20;  // Latin-1, without ×
    if (c >= 0x0410 && c <= 0x042F) return c + 0x20; // А..Я
    if (c >= 0x0400 && c <= 0x040F) return c + 0x50; // Ѐ..Џ (Ё, Ђ, Є, І, Ї, Ў ...)
    if ((c >= 0x0460 && c <= 0x0481) || (c >= 0x048A && c <= 0x04BF) || (c >= 0x04D0 && c <= 0x04FF))
        return (c % 2 == 0) ? c + 1 : c; // pairs upper, lower (Ґ, Қ, Ң, Ә ...)
    if (c >= 0x04C1 && c <= 0x04CE) return (c % 2 == 1) ? c + 1 : c;
    if (c == 0x04C0) return 0x04CF;
    return c;
}

} // namespace

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool isValidUtf8(std::string_view s) {
    char32_t cp = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = nextUtf8(s, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

bool readsAsUtf8(std::string_view bytes) {
    const bool beyondAscii =
        std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return beyondAscii && isValidUtf8(bytes);
}

std::string unmarkedToUtf8(std::string_view bytes) {
    return readsAsUtf8(bytes) ? std::string(bytes) : cp1251::toUtf8(bytes);
}

bool hasControlCharacters(std::string_view s) {
    char32_t cp = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t len = nextUtf8(s, i, cp);
        if (len == 0) {
            ++i;
            continue;
        }
        if (isControl(cp)) return true;
        i += len;
    }
    return false;
}

InputText inputText(std::string_view bytes, const std::string& fileName) {
    InputText in;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        in.encoding = Encoding::Utf8Bom;
        char32_t cp = 0;
        for (std::size_t i = 0; i < bytes.size();) {
            const std::size_t len = nextUtf8(bytes, i, cp);
            if (len == 0)
                throw Error("Файл " + fileName + " помечен как текст UTF-8, но в строке " +
                            std::to_string(lineAt(bytes, i)) + " байт " +
                            hexByte(static_cast<unsigned char>(bytes[i])) + " не является символом UTF-8");
            i += len;
        }
    } else if (bytes.starts_with("\xFF\xFE")) {
        in.encoding = Encoding::Utf16LE;
        in.converted = fromUtf16(bytes.substr(2), true, fileName);
    } else if (bytes.starts_with("\xFE\xFF")) {
        in.encoding = Encoding::Utf16BE;
        in.converted = fromUtf16(bytes.substr(2), false, fileName);
    } else {
        in.encoding = readsAsUtf8(bytes) ? Encoding::Utf8 : Encoding::Cp1251;
    }
    in.bytes = bytes;
    // Lines ended by CR alone (old Macintosh editors) would read as one line.
    if (in.text().find('\n') == std::string_view::npos) in.lineEnd = '\r';
    return in;
}

Decoded decodeInput(std::string_view bytes, const std::string& fileName) {
    InputText in = inputText(bytes, fileName);
    Decoded d;
    d.encoding = in.encoding;
    if (in.encoding == Encoding::Cp1251)
        d.utf8 = cp1251::toUtf8(in.text());
    else if (in.encoding == Encoding::Utf8 || in.encoding == Encoding::Utf8Bom)
        d.utf8.assign(in.text());
    else
        d.utf8 = std::move(in.converted);
    if (in.lineEnd == '\r') std::replace(d.utf8.begin(), d.utf8.end(), '\r', '\n');
    return d;
}

std::string lowerUtf8(std::string_view s) {
    std::string out;
    lowerUtf8(s, out);
    return out;
}

void lowerUtf8(std::string_view s, std::string& out) {
    out.clear();
    out.reserve(s.size());
    char32_t cp = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
            ++i;
            continue;
        }
        // Cyrillic and Latin-1 take two bytes and so do their lower cases:
        // the common case of every line of a Russian file, done in place.
        const auto b1 = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
        if (b >= 0xC2 && b <= 0xDF && (b1 & 0xC0) == 0x80) {
            const char32_t lower = lowerCodePoint(static_cast<char32_t>(((b & 0x1F) << 6) | (b1 & 0x3F)));
            out += static_cast<char>(0xC0 | (lower >> 6));
            out += static_cast<char>(0x80 | (lower & 0x3F));
            i += 2;
            continue;
        }
        const std::size_t len = nextUtf8(s, i, cp);
        if (len == 0) {
            out += s[i++];
            continue;
        }
        appendUtf8(out, lowerCodePoint(cp));
        i += len;
    }
}

std::string visible(std::string_view s, std::size_t maxChars) {
    std::string out;
    std::size_t chars = 0;
    char32_t cp = 0;
    for (std::size_t i = 0; i < s.size();) {
        if (chars == maxChars) {
            out += "…";
            break;
        }
        const std::size_t len = nextUtf8(s, i, cp);
        ++chars;
        if (len == 0) {
            out += hexByte(static_cast<unsigned char>(s[i++]));
            continue;
        }
        if (isControl(cp))
            out += hexByte(static_cast<unsigned char>(cp));
        else
            out.append(s.substr(i, len));
        i += len;
    }
    return out;
}

std::string quoted(std::string_view s, std::size_t maxChars) {
    return "«" + visible(s, maxChars) + "»";
}

} // namespace relan::text
