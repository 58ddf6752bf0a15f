#pragma once

// The data files of this domain are Windows-1251 text. Internally every string
// is UTF-8; these conversions are explicit and never depend on the locale.

#include <string>
#include <string_view>

namespace relan::cp1251 {

std::string toUtf8(std::string_view bytes);
// The same, appended to `out`: a reader decoding a file piece by piece keeps
// one buffer for all of them.
void appendUtf8(std::string& out, std::string_view bytes);
// Characters outside the code page become '?'.
std::string fromUtf8(std::string_view utf8);

} // namespace relan::cp1251

namespace relan {

// Removes characters with codes 0..32 at both ends.
std::string_view trimControl(std::string_view s);

} // namespace relan
