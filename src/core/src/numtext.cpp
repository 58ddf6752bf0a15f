#include "relan/numtext.hpp"

#include "relan/error.hpp"
#include "relan/text_decoding.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace relan {
namespace {

enum class CharsMode { fixed, scientific, general };

// to_chars never consults the locale and rounds exact ties to even, which is
// what every displayed number needs.
std::string toChars(double v, CharsMode mode, int precision) {
    char buf[400];
    const auto f = mode == CharsMode::fixed        ? std::chars_format::fixed
                   : mode == CharsMode::scientific ? std::chars_format::scientific
                                                   : std::chars_format::general;
    auto r = std::to_chars(buf, buf + sizeof buf, v, f, precision);
    if (r.ec != std::errc{}) throw std::runtime_error("number does not fit its text buffer");
    return std::string(buf, r.ptr);
}

// "1.5e+20" -> "1.5E20", "1e-05" -> "1E-5", with the decimal point replaced.
std::string delphiExponent(const std::string& s, char decimal) {
    std::string out;
    auto e = s.find('e');
    std::string mant = s.substr(0, e);
    for (char& c : mant)
        if (c == '.') c = decimal;
    out = mant;
    if (e == std::string::npos) return out;
    out += 'E';
    std::size_t i = e + 1;
    if (s[i] == '-') out += '-';
    if (s[i] == '+' || s[i] == '-') ++i;
    while (i + 1 < s.size() && s[i] == '0')
        ++i;
    out += s.substr(i);
    return out;
}

void replacePoint(std::string& s, char decimal) {
    for (char& c : s)
        if (c == '.') c = decimal;
}

std::string trimMantissaZeros(std::string mant) {
    if (mant.find('.') == std::string::npos) return mant;
    while (!mant.empty() && mant.back() == '0')
        mant.pop_back();
    if (!mant.empty() && mant.back() == '.') mant.pop_back();
    return mant;
}

} // namespace

double roundHalfEven(double v) {
    return std::nearbyint(v);
}

std::string formatGeneral(double v, const NumberFormat& fmt) {
    if (v == 0) return "0";
    return delphiExponent(toChars(v, CharsMode::general, 15), fmt.decimal);
}

std::string formatFixed(double v, int p, int d, const NumberFormat& fmt) {
    if (p < 1) p = 1;
    if (d < 0) d = 0;
    if (!std::isfinite(v)) return formatGeneral(v, fmt);
    std::string sign;
    if (std::signbit(v) && v != 0) {
        sign = "-";
        v = -v;
    }
    int exponent = 0;
    if (v != 0) {
        // The exponent after rounding to p significant digits decides whether
        // the value still fits with p digits before the separator.
        std::string sci = toChars(v, CharsMode::scientific, p - 1);
        auto e = sci.find('e');
        exponent = std::atoi(sci.c_str() + e + 1);
        if (exponent + 1 > p) {
            std::string general = trimMantissaZeros(sci.substr(0, e));
            general += 'e';
            general += std::to_string(exponent);
            general = delphiExponent(general, fmt.decimal);
            general.insert(0, sign);
            return general;
        }
    }
    int decimals = std::min(d, std::max(0, p - 1 - exponent));
    std::string s = toChars(v, CharsMode::fixed, decimals);
    if (d > 0) {
        if (decimals == 0) s += '.';
        s.append(static_cast<std::size_t>(d - decimals), '0');
    }
    replacePoint(s, fmt.decimal);
    // A value that rounds to zero loses its sign, as "-0,0" means nothing.
    if (s.find_first_not_of("0.,") != std::string::npos) s.insert(0, sign);
    return s;
}

std::string formatPattern(std::string_view pattern, std::initializer_list<FormatArg> args,
                          const NumberFormat& fmt) {
    std::string out;
    auto arg = args.begin();
    auto nextArg = [&]() -> const FormatArg& {
        if (arg == args.end()) throw std::invalid_argument("format pattern needs more arguments");
        return *arg++;
    };
    auto asDouble = [](const FormatArg& a) {
        if (auto d = std::get_if<double>(&a)) return *d;
        if (auto i = std::get_if<long long>(&a)) return static_cast<double>(*i);
        throw std::invalid_argument("format pattern expects a number");
    };
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i >= pattern.size()) break;
        if (pattern[i] == '%') {
            out += '%';
            continue;
        }
        bool left = false;
        if (pattern[i] == '-') {
            left = true;
            ++i;
        }
        int width = 0;
        while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9')
            width = width * 10 + (pattern[i++] - '0');
        int prec = -1;
        if (i < pattern.size() && pattern[i] == '.') {
            prec = 0;
            ++i;
            while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9')
                prec = prec * 10 + (pattern[i++] - '0');
        }
        if (i >= pattern.size()) break;
        char conv = static_cast<char>(pattern[i] | 0x20);
        std::string piece;
        const FormatArg& a = nextArg();
        switch (conv) {
        case 's':
            if (auto s = std::get_if<std::string>(&a))
                piece = *s;
            else
                piece = formatGeneral(asDouble(a), fmt);
            if (prec >= 0 && piece.size() > static_cast<std::size_t>(prec)) piece.resize(prec);
            break;
        case 'd': {
            long long n = std::holds_alternative<long long>(a) ? std::get<long long>(a)
                                                               : static_cast<long long>(asDouble(a));
            piece = std::to_string(n);
            break;
        }
        case 'f':
        case 'n': {
            double v = asDouble(a);
            piece = toChars(v, CharsMode::fixed, prec < 0 ? 2 : prec);
            replacePoint(piece, fmt.decimal);
            break;
        }
        case 'e': {
            // Pascal-style: precision counts all mantissa digits, exponent "E+000".
            double v = asDouble(a);
            int digits = prec < 0 ? 15 : std::max(prec, 1);
            std::string s = toChars(v, CharsMode::scientific, digits - 1);
            auto e = s.find('e');
            int ex = std::atoi(s.c_str() + e + 1);
            std::string exs = std::to_string(std::abs(ex));
            while (exs.size() < 3)
                exs.insert(0, "0");
            piece.assign(s, 0, e);
            piece += 'E';
            piece += ex < 0 ? '-' : '+';
            piece += exs;
            replacePoint(piece, fmt.decimal);
            break;
        }
        case 'g':
            piece = delphiExponent(
                toChars(asDouble(a), CharsMode::general, prec < 0 ? 15 : std::max(prec, 1)), fmt.decimal);
            break;
        default:
            throw std::invalid_argument("unsupported format conversion");
        }
        // Width counts characters, and the Russian texts are UTF-8.
        std::size_t shown = 0;
        for (unsigned char ch : piece)
            if ((ch & 0xC0) != 0x80) ++shown;
        if (shown < static_cast<std::size_t>(width)) {
            std::string pad(static_cast<std::size_t>(width) - shown, ' ');
            piece = left ? piece + pad : pad + piece;
        }
        out += piece;
    }
    return out;
}

std::optional<double> parseReal(std::string_view text, char decimal) {
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    std::string_view t = text.substr(b, e - b);
    std::string norm;
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-') norm += '-';
        ++i;
    }
    std::size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
        norm += t[i++];
        ++digits;
    }
    if (i < t.size() && t[i] == decimal) {
        norm += '.';
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            norm += t[i++];
            ++digits;
        }
    }
    if (digits == 0) return std::nullopt;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        norm += 'e';
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) norm += t[i++];
        std::size_t expDigits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') {
            norm += t[i++];
            ++expDigits;
        }
        if (expDigits == 0) return std::nullopt;
    }
    if (i != t.size()) return std::nullopt;
    double v = 0;
    auto r = std::from_chars(norm.data(), norm.data() + norm.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero, as the hardware would; overflow is refused.
        bool tiny = norm.find("e-") != std::string::npos;
        if (!tiny) return std::nullopt;
        return 0.0;
    }
    if (r.ec != std::errc{} || r.ptr != norm.data() + norm.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<std::int32_t> parseInt32(std::string_view text) {
    std::size_t i = 0;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL) return std::nullopt;
    }
    if (neg) v = -v;
    if (v > 2147483647LL || v < -2147483648LL) return std::nullopt;
    return static_cast<std::int32_t>(v);
}

std::string notANumberText(std::string_view text, char decimal) {
    std::string out = text::quoted(text) + " не является числом";
    const char other = decimal == ',' ? '.' : ',';
    if (text.find(other) != std::string_view::npos && parseReal(text, other))
        out += std::string("; десятичный разделитель — «") + decimal + "», а не «" + other + "»";
    return out;
}

std::string formatDecimals(double v, int digits, const NumberFormat& fmt) {
    return formatPattern("%." + std::to_string(digits) + "f", {v}, fmt);
}

std::string formatFourDigits(double v, const NumberFormat& fmt) {
    return formatPattern("%.4g", {v}, fmt);
}

std::string formatHours(double v, const NumberFormat& fmt) {
    if (!std::isfinite(v)) return "∞";
    if (std::fabs(v - std::round(v)) < 1e-9 * std::max(1.0, std::fabs(v)))
        return formatDecimals(std::round(v), 0, fmt);
    return formatDecimals(v, std::fabs(v) < 10 ? 3 : 1, fmt);
}

std::string fieldName(std::string_view label) {
    std::size_t b = 0;
    while (b < label.size() && label[b] == ' ')
        ++b;
    return "Поле «" + std::string(label.substr(b)) + "»";
}

double fieldReal(std::string_view label, std::string_view text, const NumberFormat& fmt) {
    auto v = parseReal(text, fmt.decimal);
    if (!v) throw Error(fieldName(label) + ": " + notANumberText(text, fmt.decimal));
    return *v;
}

} // namespace relan
