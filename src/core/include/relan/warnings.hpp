#pragma once

// What the analysis warns about, as facts: each warning is a kind with the
// values it names, so that it can be tested, filtered and counted without
// reading a sentence. The sentences the user reads are made from these in
// one place, warning_text.hpp.

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace relan {

// The parameters the searches of the histogram criteria move.
enum class SearchParameter { A, B, K, Sred, SKO };

// A parameter that a deterministic search left on a limit of its range: the
// value there was set by the range, not by the data.
struct LimitHit {
    std::string model; // as the log names it: "1.1", "1.2", "2"
    SearchParameter parameter = SearchParameter::A;
    double limit = 0;
    bool upper = false;
    bool operator==(const LimitHit&) const = default;
};

// What the likelihood model estimates, as its warnings name it.
enum class Estimate {
    K,
    A,
    B,
    Eta,           // A^(-1/B), hours
    Mcf,           // K F(t) at a time
    CensoringMean, // of the warranty-end times, when searched
    CensoringSD,
};

enum class IntervalSide { Lower, Upper };

// The normal law of the warranty-end times, hours.
struct CensoringLawValues {
    double mean = 0, sd = 0;
    bool operator==(const CensoringLawValues&) const = default;
};

namespace warning {

// The starts of the likelihood search end at different maxima.
struct NotConverged {
    bool operator==(const NotConverged&) const = default;
};

// K, A and eta of the likelihood model are no estimates, and why.
struct NotEstimable {
    enum class Reason {
        PowerLawLimit, // the maximum is K -> infinity, A -> 0; value = B of the power law
        EtaOnBound,    // value = eta, on a bound of [min, max]
        BOnBound,      // value = B, on a bound of [min, max]
        KOutOfRange,   // value = K, outside [min, max]
    };
    Reason reason = Reason::PowerLawLimit;
    double value = 0;
    double min = 0, max = 0; // the admissible range; unused at the power-law limit
    bool operator==(const NotEstimable&) const = default;
};

// The searched censoring law gains less likelihood than it must (threshold,
// chi-square / 2 for the parameters added): the given law's fit is kept.
struct CensoringUndetermined {
    double gain = 0, threshold = 0;
    CensoringLawValues fitted, given;
    bool operator==(const CensoringUndetermined&) const = default;
};

// The searched censoring law ended with its SD (or else its mean) on a bound
// of the search: it is degenerate and the given law's fit is kept.
struct CensoringOnBound {
    bool sd = true; // the SD reached its bound; false: the mean did
    double gain = 0;
    CensoringLawValues fitted, given;
    bool operator==(const CensoringOnBound&) const = default;
};

// An end of a 95 % interval the profile does not reach: the data do not
// determine the quantity on that side.
struct IntervalOpen {
    Estimate quantity = Estimate::K;
    double time = 0; // hours, of Mcf only
    IntervalSide side = IntervalSide::Upper;
    bool operator==(const IntervalOpen&) const = default;
};

// A closed interval whose upper end is more than `threshold` times its lower.
struct IntervalWide {
    Estimate quantity = Estimate::K;
    double time = 0; // hours, of Mcf only
    double ratio = 0, threshold = 0;
    bool operator==(const IntervalWide&) const = default;
};

// The merged histogram leaves no degrees of freedom to judge the fit by.
struct FitNotJudged {
    int cells = 0, parameters = 0;
    bool operator==(const FitNotJudged&) const = default;
};

// The histogram rejects the likelihood model: p below the threshold.
struct LackOfFit {
    double p = 0, threshold = 0;
    bool operator==(const LackOfFit&) const = default;
};

// An input file's first line, its comment, was cut to `kept` bytes.
struct CommentCut {
    std::string file;
    std::size_t length = 0, kept = 0;
    bool operator==(const CommentCut&) const = default;
};

} // namespace warning

using Warning = std::variant<warning::NotConverged, warning::NotEstimable, warning::CensoringUndetermined,
                             warning::CensoringOnBound, warning::IntervalOpen, warning::IntervalWide,
                             warning::FitNotJudged, warning::LackOfFit, LimitHit, warning::CommentCut>;
using Warnings = std::vector<Warning>;

// A run of adjacent histogram cells the likelihood model's goodness of fit
// merged so that each expects at least 5 failures; not a warning, but told
// beside them.
struct MergedCells {
    double from = 0;          // hours
    std::optional<double> to; // none: the tail beyond the last interval
    int intervals = 0;
    bool operator==(const MergedCells&) const = default;
};

} // namespace relan
