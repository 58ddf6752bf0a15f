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

// The numbers of the likelihood model's messages and of the warnings: a
// fixed number of decimals; four significant digits ("%.4g"); and a time in
// hours, whole when it is whole, else to a tenth (to a thousandth below
// 10 h), "∞" when not finite.
std::string formatDecimals(double v, int digits, const NumberFormat& fmt);
std::string formatFourDigits(double v, const NumberFormat& fmt);
std::string formatHours(double v, const NumberFormat& fmt);

// A real as typed by the user: optional surrounding blanks, sign, digits, the
// format's decimal separator, exponent with E or e. Non-finite results are
// rejected. Empty optional when it does not convert.
std::optional<double> parseReal(std::string_view text, char decimal);
std::optional<std::int32_t> parseInt32(std::string_view text);

// The refusal of a text that is not a number: "«12;5» не является числом",
// and when the text is a number with the other decimal separator, which one
// is expected.
std::string notANumberText(std::string_view text, char decimal);

// A window field as messages name it: by its visible label, "Поле «Среднее
// время гарантии»".
std::string fieldName(std::string_view label);
// A window field read as a real number, or relan::Error "Поле «…»: «…» не
// является числом".
double fieldReal(std::string_view label, std::string_view text, const NumberFormat& fmt);

} // namespace relan
