#pragma once

// Numbers as the engineer sees them: in fields, the grid, the log and the
// table. All conversions are independent of the process locale (the window
// toolkit sets it from the environment); the decimal separator is an explicit
// setting taken from the user's number format.

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace relan {

struct NumberFormat {
    char decimal = '.';
};

// Round to the nearest integer, halves to the even neighbour.
double roundHalfEven(double v);

// Shortest form with up to 15 significant digits, trailing zeros dropped;
// scientific ("1E20", "1,5E-5") from 1e15 up and below 1e-4.
std::string formatGeneral(double v, const NumberFormat& fmt);

// Fixed point with p significant digits and d decimals; a value with more
// than p integer digits falls back to "8,77E3"-style general form.
std::string formatFixed(double v, int p, int d, const NumberFormat& fmt);

// printf-style pattern: %s, %d, %[-][width][.prec]f / e / g / n, %%.
using FormatArg = std::variant<double, long long, std::string>;
std::string formatPattern(std::string_view pattern, std::initializer_list<FormatArg> args,
                          const NumberFormat& fmt);

// A real as typed by the user: optional surrounding blanks, sign, digits, the
// format's decimal separator, exponent with E or e. Non-finite results are
// rejected. Empty optional when it does not convert.
std::optional<double> parseReal(std::string_view text, char decimal);
std::optional<std::int32_t> parseInt32(std::string_view text);

// parseReal or relan::Error "'<text>' is not a valid floating point value".
double toReal(std::string_view text, const NumberFormat& fmt);
// A window field read as a real number; the refusal names the field by its
// label and control name: "Поле «Среднее время гарантии» (meSred): '12;5' is
// not a valid floating point value".
double fieldReal(std::string_view label, std::string_view control, std::string_view text, const NumberFormat& fmt);
std::string notValidFloatText(std::string_view text);

} // namespace relan
