#pragma once

#include "relan/calculation.hpp"
#include "relan/genetic.hpp"
#include "relan/input_files.hpp"
#include "relan/nonparam.hpp"
#include "relan/state.hpp"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace relan::cli {

using Json = nlohmann::ordered_json;

Json inputJson(const Analysis& s);
Json histogramJson(const HistogramData& s);
Json modelsJson(const Analysis& s, const CalcResult& r);
Json tableJson(const ResultTable& t);

// A finished genetic run, for the reports; its model is s.models[ModelId::Genetic].
struct GeneticRun {
    GeneticOutcome outcome;
    std::optional<std::uint64_t> seed;
};
// The genetic model as a "models" entry: "passes" are the generations run,
// "criterion" the objective at the stored law.
Json geneticJson(const Analysis& s, const GeneticRun& g);
Json nonparamJson(const NonParamResult& n);

// A JSON object written to `out` member by member, byte for byte as
// Json::dump(2) writes the whole: the failure list of a large fleet goes out
// row by row instead of first becoming a document of millions of values.
class DocumentWriter {
  public:
    explicit DocumentWriter(std::ostream& out) : out_(out) {}
    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    void member(std::string_view key, const Json& value);
    // "grid": the headings, then every failure as the list shows it.
    void failureList(const LoadedData& s, const ThresholdRemarks& remarks, const NumberFormat& fmt);
    // The closing brace and the line end after it.
    void finish();

  private:
    void key(std::string_view k);
    void string(std::string_view s);
    void flush();

    std::ostream& out_;
    std::string buffer_;
    bool first_ = true;
};

} // namespace relan::cli
