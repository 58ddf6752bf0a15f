#include "relan/csv.hpp"

namespace relan {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A plain decimal number, as a spreadsheet reads it into a value and never
// into a formula: a sign, digits with at most one "." or ",", an exponent.
bool isWholeNumber(std::string_view t) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    bool digits = false, separator = false;
    for (; i < t.size(); ++i) {
        if (isDigit(t[i]))
            digits = true;
        else if ((t[i] == '.' || t[i] == ',') && !separator)
            separator = true;
        else
            break;
    }
    if (!digits) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        if (i == t.size() || !isDigit(t[i])) return false;
        while (i < t.size() && isDigit(t[i]))
            ++i;
    }
    return i == t.size();
}

// "-1+1" or "-2+3+cmd|…" starts like a number and is computed all the same:
// only a cell that is a number from end to end is left as it is.
bool startsFormula(std::string_view t) {
    if (t.empty()) return false;
    switch (t[0]) {
    case '=':
    case '+':
    case '-':
    case '@':
    case '\t':
    case '\r':
        return !isWholeNumber(t);
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
    for (const auto& row : t.shownCells())
        appendCsvRecord(out, row);
    return out;
}

void writeFailureListCsv(std::ostream& out, const LoadedData& s, const ThresholdRemarks& remarks,
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
