#include "relan/text1251.hpp"

#include "relan/text_decoding.hpp"

#include <array>
#include <cstdint>
#include <unordered_map>

namespace relan::cp1251 {
namespace {

// 0x98 has no character in the code page; it is carried through as U+0098 so
// that no byte is lost on a round trip.
constexpr std::array<char32_t, 128> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

const std::unordered_map<char32_t, unsigned char>& reverseTable() {
    static const auto table = [] {
        std::unordered_map<char32_t, unsigned char> m;
        for (int b = 0x80; b < 0x100; ++b)
            m[kHigh[b - 0x80]] = static_cast<unsigned char>(b);
        return m;
    }();
    return table;
}

} // namespace

std::string toUtf8(std::string_view bytes) {
    std::string out;
    appendUtf8(out, bytes);
    return out;
}

void appendUtf8(std::string& out, std::string_view bytes) {
    // The UTF-8 of each upper byte, made once: a large file has millions.
    struct Upper {
        char bytes[3];
        unsigned char size;
    };
    static const std::array<Upper, 128> kUpper = [] {
        std::array<Upper, 128> t{};
        for (std::size_t i = 0; i < t.size(); ++i) {
            std::string u;
            text::appendUtf8(u, kHigh[i]);
            u.copy(t[i].bytes, u.size());
            t[i].size = static_cast<unsigned char>(u.size());
        }
        return t;
    }();
    const std::size_t start = out.size();
    std::size_t size = start;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        size += b < 0x80 ? 1 : kUpper[b - 0x80].size;
    }
    out.resize(size);
    char* o = out.data() + start;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            *o++ = c;
        } else {
            const Upper& u = kUpper[b - 0x80];
            for (unsigned char k = 0; k < u.size; ++k)
                *o++ = u.bytes[k];
        }
    }
}

std::string fromUtf8(std::string_view s) {
    const auto& rev = reverseTable();
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c = 0;
        int len = 0;
        if (b < 0x80) {
            c = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            len = 4;
        } else {
            out += '?';
            ++i;
            continue;
        }
        if (i + len > s.size()) {
            out += '?';
            break;
        }
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            unsigned char cb = static_cast<unsigned char>(s[i + k]);
            if ((cb & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (cb & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        i += len;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (auto it = rev.find(c); it != rev.end()) {
            out += static_cast<char>(it->second);
        } else {
            out += '?';
        }
    }
    return out;
}

} // namespace relan::cp1251

namespace relan {

std::string_view trimControl(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    return s.substr(b, e - b);
}

} // namespace relan
