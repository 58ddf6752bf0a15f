#include "relan/time_list.hpp"

#include "relan/error.hpp"
#include "relan/text_decoding.hpp"

#include <string>

namespace relan {
namespace {

std::string example(const NumberFormat& fmt) {
    return fmt.decimal == ',' ? "через «;», с десятичной запятой: 1000;2500,5"
                              : "через запятую или «;», с десятичной точкой: 1000,2500.5";
}

} // namespace

std::vector<double> parseTimeList(std::string_view text, const NumberFormat& fmt) {
    const bool hasComma = text.find(',') != std::string_view::npos;
    const bool hasSemicolon = text.find(';') != std::string_view::npos;
    char separator = ';';
    if (fmt.decimal == ',') {
        if (hasComma && !hasSemicolon)
            throw Error(text::quoted(text) + " можно прочесть по-разному: при десятичной запятой времена " +
                        "разделяются знаком «;» (1000;2500,5 — два времени, 1000,5; — одно)");
    } else if (hasComma && hasSemicolon) {
        throw Error(text::quoted(text) +
                    ": времена разделяются либо запятыми, либо знаком «;», но не тем и другим");
    } else if (hasComma) {
        separator = ',';
    }
    std::vector<double> out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view item = text.substr(start, end - start);
        const std::optional<double> v = parseReal(item, fmt.decimal);
        if (!v || !(*v > 0))
            throw Error(text::quoted(item) + " не является временем в часах больше 0 (" + example(fmt) + ")");
        out.push_back(*v);
        start = end + 1;
    }
    return out;
}

} // namespace relan
