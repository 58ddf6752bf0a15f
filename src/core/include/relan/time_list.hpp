#pragma once

// A list of times typed on one line, as the command line takes them.

#include "relan/numtext.hpp"

#include <string_view>
#include <vector>

namespace relan {

// Times in hours, each greater than 0, in the decimal separator of `fmt`.
// The list separator follows from it: with "." the times are separated by
// "," or by ";" (one of them throughout), with "," by ";" only. A "," in a
// list without ";" under the decimal comma may be a decimal or a separator
// ("1000,5") and is refused rather than guessed. One separator may close the
// list, so that a single time with a decimal comma can be written "2,5;".
// Refusals are relan::Error texts without the option's name.
std::vector<double> parseTimeList(std::string_view text, const NumberFormat& fmt);

} // namespace relan
