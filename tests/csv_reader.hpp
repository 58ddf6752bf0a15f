#pragma once

// Reads a table written for a spreadsheet back into its cells, as such a
// program would: an optional UTF-8 byte-order mark, ";" between fields,
// quoted fields with doubled quotes, records ended by CR LF or LF. Kept
// apart from the writer so that a fault of one is not mirrored by the other.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace relan::test {

inline std::vector<std::vector<std::string>> readCsv(std::string_view text) {
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (text.substr(0, bom.size()) == bom) text.remove_prefix(bom.size());
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool quoted = false, wasQuoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                field += '"', ++i;
            else
                quoted = false;
            continue;
        }
        if (c == '"') {
            if (!field.empty() || wasQuoted) throw std::runtime_error("quote inside an unquoted field");
            quoted = wasQuoted = true;
        } else if (c == ';' || c == '\n' || c == '\r') {
            record.push_back(field);
            field.clear();
            wasQuoted = false;
            if (c != ';') {
                if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
                records.push_back(record);
                record.clear();
            }
        } else {
            if (wasQuoted) throw std::runtime_error("text after a closing quote");
            field += c;
        }
    }
    if (quoted) throw std::runtime_error("quote left open");
    if (!field.empty() || !record.empty()) record.push_back(field), records.push_back(record);
    return records;
}

} // namespace relan::test
