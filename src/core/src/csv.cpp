#include "relan/csv.hpp"

namespace relan {
namespace {

bool startsFormula(std::string_view t) {
    if (t.empty()) return false;
    switch (t[0]) {
    case '=':
    case '+':
    case '@':
    case '\t':
    case '\r':
        return true;
    case '-':
        // "-12,5" is a number; "-A1" or "-СУММ(…)" would be computed.
        return t.size() == 1 || !((t[1] >= '0' && t[1] <= '9') || t[1] == '.' || t[1] == ',');
    default:
        return false;
    }
}

} // namespace

std::string csvField(std::string_view text) {
    std::string t;
    if (startsFormula(text)) t += '\'';
    t += text;
    if (t.find_first_of(";\"\r\n") == std::string::npos) return t;
    std::string q = "\"";
    for (char c : t) {
        if (c == '"') q += '"';
        q += c;
    }
    q += '"';
    return q;
}

std::string resultTableCsv(const ResultTable& t) {
    std::string out(kUtf8ByteOrderMark);
    for (const auto& row : t.shownCells()) appendCsvRecord(out, row);
    return out;
}

void writeFailureListCsv(std::ostream& out, const AnalysisState& s, const ThresholdRemarks& remarks,
                         const NumberFormat& fmt) {
    std::string buffer(kUtf8ByteOrderMark);
    appendCsvRecord(buffer, kFailureListHeadings);
    for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
        appendCsvRecord(buffer, failureListRow(s, remarks, i, fmt));
        if (buffer.size() >= (1u << 16)) {
            out << buffer;
            buffer.clear();
        }
    }
    out << buffer;
    out.flush();
}

} // namespace relan
