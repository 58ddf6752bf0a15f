#pragma once

// Tables for a spreadsheet, as a Russian spreadsheet user's program opens
// them without an import dialog: ";" between fields (the comma is the
// decimal separator there), CR LF after every record, a field quoted with
// doubled quotes inside (RFC 4180) when it holds ";", a quote or a line
// break, and UTF-8 with a byte-order mark, without which such a program
// reads the Cyrillic texts as Windows-1251.

#include "relan/input_files.hpp"
#include "relan/results.hpp"
#include "relan/state.hpp"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace relan {

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// One field as it stands in a record. A text that a spreadsheet would take
// for a formula (one starting with "=", "+", "-", "@", a tab or a carriage
// return, unless the whole text is a number) gets a leading apostrophe:
// texts come from data files, and a cell must never run what a file slipped
// into it.
std::string csvField(std::string_view text);

// Appends the fields separated by ";" and the record's CR LF.
template <class Fields> void appendCsvRecord(std::string& out, const Fields& fields) {
    bool first = true;
    for (const auto& f : fields) {
        if (!first) out += ';';
        first = false;
        out += csvField(f);
    }
    out += "\r\n";
}

// The results table as the window shows it: one record a row, the row
// titles first, then one column per computed model and the operating data.
// The texts are those of the table, numbers in the format it was filled in.
std::string resultTableCsv(const ResultTable& t);

// The failure list: its headings, then every failure as the list shows it.
// Written in pieces, so that a fleet of a million failures never becomes one
// text in memory.
void writeFailureListCsv(std::ostream& out, const LoadedData& s, const ThresholdRemarks& remarks,
                         const NumberFormat& fmt);

} // namespace relan
