#pragma once

// The two input files: the failure-data file (.rel) and the warranty-term file
// (gar*.txt). A load either succeeds whole or changes nothing: it works on a
// copy of the state and hands it over only after the last line was read.

#include "relan/file_io.hpp"
#include "relan/numtext.hpp"
#include "relan/state.hpp"
#include "relan/warnings.hpp"

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace relan {

using GridRow = std::array<std::string, 4>;

// The texts a failure-data load puts into the inputs of the calculations.
struct FailureLoadFields {
    std::string comment; // the file's comment line, the window's heading
    std::string censoringMeanText;
    std::string censoringSdText;
    std::string fleetSizeText;
    std::string failureCountText;
    std::string countingPeriodText;
    std::string spiralStepText;
    std::string newtonStepText;
    std::string smirnovStepText;
    std::string geneticPrecisionText;
    std::optional<std::string> NPokoleny; // left as it is when empty
};

// The list of failures of the main window (Mass_List) and of the command
// line's "grid". A fleet may have a million failures, so a row's texts are
// made when it is shown, from the state and what the load noted about it.
inline constexpr std::array<const char*, 4> kFailureListHeadings = {
    " № отказа", "Наработка, час", "Источник отказа", "Что ремонтировалось или заменено"};

// A share of the fleet (10%, 20% ...) reached at a failure, told in the list
// after that failure's cause.
struct ThresholdRemark {
    std::size_t row;  // index into the sorted MasProbl
    const char* text; // ", отказов 10% от парка"
};
// Ascending rows, at most one remark per row.
using ThresholdRemarks = std::vector<ThresholdRemark>;

// The first line of an input file, its comment, is kept to this many bytes
// of its UTF-8 text, cut at a character: every heading and report shows it,
// and a line of megabytes would be laid out by each of them.
inline constexpr std::size_t kMaxCommentBytes = 4096;

struct FailureLoad {
    FailureLoadFields fields;
    ThresholdRemarks remarks;
    Warnings warnings; // for the progress log (a comment cut)
};

// Field texts of the warranty-term panel and the censoring fields.
struct WarrantyLoadFields {
    std::string path;    // the file's own path
    std::string comment; // the file's comment line
    std::string termCountText;
    std::string termMeanText; // of the terms listed
    std::string termSdText;
    std::string censoringMeanText; // as the calculations' censoring fields take them
    std::string censoringSdText;
    Warnings warnings; // for the progress log (a comment cut)
};

FailureLoad loadFailureData(const std::string& path, const NumberFormat& fmt, Analysis& state);
// The same on bytes already in memory; fileName only names the file in messages.
FailureLoad parseFailureData(std::string_view bytes, const std::string& fileName, const NumberFormat& fmt,
                             Analysis& state);

WarrantyLoadFields loadWarrantyTerms(const std::string& path, const NumberFormat& fmt, Analysis& state);
WarrantyLoadFields parseWarrantyTerms(std::string_view bytes, const std::string& fileName,
                                      const NumberFormat& fmt, Analysis& state);

// The texts of failure `row` (from 0, row < s.MasProbl.size()) of the state
// the load that gave `remarks` left: its number from 1, its operating time,
// its ranked cause with any remark, and what was repaired.
GridRow failureListRow(const LoadedData& s, const ThresholdRemarks& remarks, std::size_t row,
                       const NumberFormat& fmt);

// Sorts by time, ascending; equal times keep their order.
void sort_MinMax(std::vector<Problems>& z);

// Generation count suggested for a fleet failure count; empty = leave the field.
std::optional<std::string> generationsForFailureCount(int kolOtk);

} // namespace relan
