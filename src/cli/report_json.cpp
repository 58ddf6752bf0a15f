#include "report_json.hpp"

#include "relan/criteria.hpp"
#include "relan/warning_text.hpp"

namespace relan::cli {

Json inputJson(const Analysis& s) {
    Json causes = Json::array();
    for (int k = 1; k <= s.NPrich; ++k)
        causes.push_back({{"Nazv_Prich", s.Vidy_otkazov[k].Nazv_Prich}, {"Dolya", s.Vidy_otkazov[k].Dolya}});
    return {
        {"Comment", s.Comment},
        {"Sred", s.Sred},
        {"SKO", s.SKO},
        {"tGar", s.tGar},
        {"Kol_Izd_All", s.Kol_Izd_All},
        {"KolOtk", s.KolOtk},
        {"Kol_izw", s.Kol_izw},
        {"Izd_Prived", s.Izd_Prived},
        {"Popravka_Unknow", s.Popravka_Unknow},
        {"causes", causes},
        {"T90expl", s.T90expl},
        {"T80expl", s.T80expl},
        {"T50expl", s.T50expl},
        {"t50zen", s.t50zen},
        {"T20expl", s.T20expl},
        {"T10expl", s.T10expl},
        {"Otk_Izd", s.Otk_Izd},
    };
}

void DocumentWriter::key(std::string_view k) {
    buffer_ += first_ ? "{\n  " : ",\n  ";
    first_ = false;
    string(k);
    buffer_ += ": ";
}

void DocumentWriter::member(std::string_view k, const Json& value) {
    key(k);
    // A member's value is indented one level deeper than dumped alone; no
    // line break can be inside a dumped string, where it is "\n".
    for (char c : value.dump(2)) {
        buffer_ += c;
        if (c == '\n') buffer_ += "  ";
    }
    flush();
}

void DocumentWriter::failureList(const LoadedData& s, const ThresholdRemarks& remarks,
                                 const NumberFormat& fmt) {
    key("grid");
    auto row = [this](const auto& texts) {
        buffer_ += "\n    [";
        for (std::size_t c = 0; c < texts.size(); ++c) {
            buffer_ += c == 0 ? "\n      " : ",\n      ";
            string(texts[c]);
        }
        buffer_ += "\n    ]";
    };
    buffer_ += '[';
    row(kFailureListHeadings);
    for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
        buffer_ += ',';
        row(failureListRow(s, remarks, i, fmt));
        if (buffer_.size() >= (1u << 16)) flush();
    }
    buffer_ += "\n  ]";
    flush();
}

void DocumentWriter::finish() {
    buffer_ += first_ ? "{}\n" : "\n}\n";
    flush();
}

// The escapes of Json::dump without ensure_ascii; the texts are UTF-8
// already, as every load decodes its file.
void DocumentWriter::string(std::string_view s) {
    buffer_ += '"';
    std::size_t plain = 0; // start of the run not yet copied
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
        buffer_.append(s, plain, i - plain);
        plain = i + 1;
        switch (c) {
        case '"':
            buffer_ += "\\\"";
            break;
        case '\\':
            buffer_ += "\\\\";
            break;
        case '\b':
            buffer_ += "\\b";
            break;
        case '\f':
            buffer_ += "\\f";
            break;
        case '\n':
            buffer_ += "\\n";
            break;
        case '\r':
            buffer_ += "\\r";
            break;
        case '\t':
            buffer_ += "\\t";
            break;
        default: {
            static constexpr char kHex[] = "0123456789abcdef";
            buffer_ += "\\u00";
            buffer_ += kHex[c >> 4];
            buffer_ += kHex[c & 0xF];
        }
        }
    }
    buffer_.append(s, plain);
    buffer_ += '"';
}

void DocumentWriter::flush() {
    out_.write(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    buffer_.clear();
}

Json histogramJson(const HistogramData& s) {
    Json intervals = Json::array();
    for (const auto& r : s.Hist_Arr) {
        Json npr = Json::array();
        for (int c = 1; c <= Mx_prich; ++c)
            npr.push_back(r.Npr[c]);
        intervals.push_back({{"time", r.time}, {"Sum", r.Sum}, {"Nund", r.Nund}, {"Npr", npr}});
    }
    return {{"D_Hist1", s.D_Hist1}, {"D_Hist2", s.D_Hist2}, {"intervals", intervals}};
}

namespace {
// The figures every model reports, whichever search found it.
Json modelJson(const Analysis& s, const char* name, const Mod_Weib& m, long long passes, double criterion) {
    double kolm = 0;
    std::string verdict;
    Kolmogor(s, m.K_powtor, m.A, m.B, m.Sred, m.SKO, kolm, verdict);
    return {{"name", name},
            {"A", m.A},
            {"B", m.B},
            {"K_powtor", m.K_powtor},
            {"Sred", m.Sred},
            {"SKO", m.SKO},
            {"SKO_out", m.SKO_out},
            {"Kol_Nakopl", m.Kol_Nakopl},
            {"KolmCrt", kolm},
            {"verdict", verdict},
            {"passes", passes},
            {"criterion", criterion}};
}
} // namespace

namespace {
Json end(const std::optional<double>& v) {
    return v ? Json(*v) : Json(nullptr);
}
Json interval(const LikelihoodInterval& ci) {
    return Json::array({end(ci.lo), end(ci.hi)});
}
} // namespace

Json likelihoodJson(const Analysis& s, const LikelihoodFit& f) {
    // The criterion of this model is the log-likelihood it maximised.
    const ModelDescriptor& d = modelDescriptor(ModelId::Likelihood);
    Json out = modelJson(s, d.jsonKey, s.models[d.id], 0, f.loglik);
    // At the power-law limit A and K only represent it: no estimates.
    out["estimable"] = f.estimable;
    if (!f.estimable) out["A"] = out["K_powtor"] = nullptr;
    out["power_law"] = Json{{"loglik", f.powerLaw.loglik}, {"B", f.powerLaw.B}, {"c", f.powerLaw.c}};
    out["converged"] = f.converged;
    out["loglik"] = f.loglik;
    out["aic"] = f.aic;
    out["parameters"] = f.parameters;
    Json ci = {{"A", interval(f.A_ci)},
               {"B", interval(f.B_ci)},
               {"K_powtor", interval(f.K_ci)},
               {"eta", interval(f.eta_ci)}};
    if (f.Sred_ci) ci["Sred"] = interval(*f.Sred_ci);
    if (f.SKO_ci) ci["SKO"] = interval(*f.SKO_ci);
    out["intervals"] = ci;
    Json mcf = Json::array();
    for (const auto& p : f.mcf)
        mcf.push_back({{"time", p.time},
                       {"value", p.value.estimate},
                       {"lo", end(p.value.lo)},
                       {"hi", end(p.value.hi)}});
    out["mcf"] = mcf;
    // The fit's texts in the format it was made with, as the log's.
    Json merged = Json::array();
    for (const MergedCells& m : f.gof.merged)
        merged.push_back(mergedCellsText(m, f.numbers));
    out["gof"] = {{"chi2", f.gof.chi2},
                  {"cells", f.gof.cells},
                  {"df", f.gof.df},
                  {"p", end(f.gof.pValue)},
                  {"merged", merged}};
    if (f.censoringGain) out["censoring_gain"] = *f.censoringGain;
    Json warnings = Json::array();
    for (const Warning& w : f.warnings)
        warnings.push_back(warningText(w, f.numbers));
    out["warnings"] = warnings;
    return out;
}

Json modelsJson(const Analysis& s, const CalcResult& r) {
    Json out = Json::array();
    for (const auto& run : r.runs) {
        const Mod_Weib& m = s.models[run.model];
        Json j = modelJson(s, modelDescriptor(run.model).jsonKey, m, run.fit.passes, run.fit.criterion);
        // Only when there is something to say, so that a model within its
        // range reads as it always did. The texts follow the calculation's
        // number format, which its charts carry.
        if (!m.atLimit.empty()) {
            Json notes = Json::array();
            for (const LimitHit& hit : m.atLimit)
                notes.push_back(limitNote(hit, r.diagrams.charts.chart1.numbers));
            j["at_limit"] = notes;
        }
        out.push_back(std::move(j));
    }
    if (r.likelihood) out.push_back(likelihoodJson(s, *r.likelihood));
    return out;
}

Json geneticJson(const Analysis& s, const GeneticRun& g) {
    const ModelDescriptor& d = modelDescriptor(ModelId::Genetic);
    Json out = modelJson(s, d.jsonKey, s.models[d.id], g.outcome.generations, g.outcome.criterion);
    out["seed"] = g.seed ? Json(*g.seed) : Json(nullptr);
    out["interrupted"] = g.outcome.interrupted;
    return out;
}

Json tableJson(const ResultTable& t) {
    return t.shownCells();
}

Json nonparamJson(const NonParamResult& n) {
    Json points = Json::array();
    for (const auto& p : n.points)
        points.push_back(
            {{"label", p.label}, {"Series1", p.Series1}, {"Series2", p.Series2}, {"Series3", p.Series3}});
    // A half-fleet time never reached is unknown, not 0 h.
    auto time = [](double t) { return t > 0 ? Json(t) : Json(nullptr); };
    return {{"t50", time(n.t50)}, {"tz50", time(n.tz50)}, {"points", points}};
}

} // namespace relan::cli
