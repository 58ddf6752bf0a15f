// relan-cli: the analysis without the window, for batch runs and scripts.
// Results go to stdout; any refusal is one line on stderr, exit code 2.

#include "command_line_errors.hpp"
#include "report_json.hpp"
#ifdef RELAN_CLI_CHARTS
#include "chart_command.hpp"
#endif
#include "report_text.hpp"

#include "relan/analysis_report.hpp"
#include "relan/calculation.hpp"
#include "relan/csv.hpp"
#include "relan/error.hpp"
#include "relan/file_io.hpp"
#include "relan/genetic.hpp"
#include "relan/input_files.hpp"
#include "relan/nonparam.hpp"
#include "relan/text_decoding.hpp"
#include "relan/time_list.hpp"
#include "relan/version.hpp"
#include "relan/warning_text.hpp"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace {

constexpr int kExitError = 2;

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    // A file name given in another encoding is shown byte by byte rather
    // than sent to the terminal as broken text.
    if (!relan::text::isValidUtf8(s)) s = relan::text::visible(s, s.size());
    return s;
}

// The files a run reads, remembered before any work so that no output of the
// run can replace them, whatever name the output is given.
void protectInputs(const std::string& file, const std::string& warranty) {
    relan::rememberInputFile(relan::InputFile::FailureData, file);
    if (!warranty.empty()) relan::rememberInputFile(relan::InputFile::WarrantyTerms, warranty);
}

struct LoadOptions {
    std::string file;
    std::string warranty;
    char decimal = '.';
};

void addLoadOptions(CLI::App& cmd, LoadOptions& o, relan::cli::OptionChecks& checks) {
    cmd.add_option("file", o.file, "failure-data file (.rel, Windows-1251 or UTF-8)")->required();
    cmd.add_option("--warranty", o.warranty, "warranty-term file (gar*.txt) loaded after the failure data");
    checks.decimalSeparator(cmd.add_option(
        "--decimal-separator", o.decimal,
        "decimal separator of the user's number format: numbers shown and typed use it, '.' (default) "
        "or ','"));
}

// The whole range of the seed, and nothing outside it: a value that does not
// fit is refused rather than clamped to another seed.
std::optional<std::uint64_t> parseSeed(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    std::uint64_t v = 0;
    const char* end = text->data() + text->size();
    const auto r = std::from_chars(text->data(), end, v);
    if (text->empty() || r.ec != std::errc{} || r.ptr != end)
        throw relan::Error("--seed: " + relan::text::quoted(*text) +
                           " не является целым числом от 0 до 18446744073709551615");
    return v;
}

struct Loaded {
    relan::Analysis state;
    relan::FailureLoad failure;
    std::optional<relan::WarrantyLoadFields> warranty;
    relan::NumberFormat fmt;
    // What the loads tell the progress log, the failure data first.
    std::vector<std::string> log() const {
        std::vector<std::string> out;
        for (const relan::Warning& w : failure.warnings)
            out.push_back(relan::warningText(w, fmt));
        if (warranty)
            for (const relan::Warning& w : warranty->warnings)
                out.push_back(relan::warningText(w, fmt));
        return out;
    }
};

Loaded loadInputs(const LoadOptions& o) {
    Loaded l;
    l.fmt = relan::NumberFormat{o.decimal};
    l.failure = relan::loadFailureData(o.file, l.fmt, l.state);
    if (!o.warranty.empty()) l.warranty = relan::loadWarrantyTerms(o.warranty, l.fmt, l.state);
    return l;
}

struct AnalyzeOptions {
    std::optional<std::string> sred, sko, tgar;
    std::string models = "spiral";
    std::string mcfTimes;
    bool fitMean = false, fitSd = false;
    std::string criterion = "spec1";
    std::optional<std::string> kdivSpiral, kdivNewton, kdivSmirnov;
    bool noTiming = false;
    std::string format = "json";
    // The genetic algorithm's tab; texts as typed into its fields.
    std::optional<std::string> precision, generations;
    std::string population = "3000";
    int crossover = 55, mutation = 15;
    std::string copyBest = "50";
    std::optional<std::string> seed;
    unsigned threads = 0;
};

relan::CalculationInputs calculationInputs(const Loaded& l, const AnalyzeOptions& a, const LoadOptions& lo) {
    relan::CalculationInputs f;
    f.dataPath = lo.file;
    // The fields as the loads left them, unless typed over.
    f.censoringMeanText = l.warranty ? l.warranty->censoringMeanText : l.failure.fields.censoringMeanText;
    f.censoringSdText = l.warranty ? l.warranty->censoringSdText : l.failure.fields.censoringSdText;
    f.countingPeriodText = l.failure.fields.countingPeriodText;
    f.spiralStepText = l.failure.fields.spiralStepText;
    f.newtonStepText = l.failure.fields.newtonStepText;
    f.smirnovStepText = l.failure.fields.smirnovStepText;
    if (a.sred) f.censoringMeanText = *a.sred;
    if (a.sko) f.censoringSdText = *a.sko;
    if (a.tgar) f.countingPeriodText = *a.tgar;
    if (a.kdivSpiral) f.spiralStepText = *a.kdivSpiral;
    if (a.kdivNewton) f.newtonStepText = *a.kdivNewton;
    if (a.kdivSmirnov) f.smirnovStepText = *a.kdivSmirnov;
    f.fit = {};
    std::stringstream list(a.models);
    std::string m;
    while (std::getline(list, m, ',')) {
        if (m.empty()) continue;
        const relan::ModelDescriptor* d = relan::modelByKey(m);
        if (!d)
            throw relan::Error("--models: неизвестная модель " + relan::text::quoted(m) +
                               " (допустимы spiral, newton, smirnov, ml, genetic)");
        // The genetic model is a run of its own after the calculation.
        if (d->id != relan::ModelId::Genetic) f.fit[d->id] = true;
    }
    try {
        f.mcfTimes = relan::parseTimeList(a.mcfTimes, relan::NumberFormat{lo.decimal});
    } catch (const relan::Error& e) {
        throw relan::Error(std::string("--mcf-times: ") + e.what());
    }
    f.searchCensoringMean = a.fitMean;
    f.searchCensoringSd = a.fitSd;
    f.pearsonVariant = a.criterion == "standard" ? relan::PearsonVariant::Standard
                       : a.criterion == "spec2"  ? relan::PearsonVariant::Spec2
                                                 : relan::PearsonVariant::Spec1;
    return f;
}

bool wantsGenetic(const std::string& models) {
    std::stringstream list(models);
    std::string m;
    while (std::getline(list, m, ','))
        if (m == relan::modelDescriptor(relan::ModelId::Genetic).jsonKey) return true;
    return false;
}

relan::GeneticFields geneticFields(const Loaded& l, const AnalyzeOptions& a) {
    relan::GeneticFields g;
    // As the failure-data load leaves the fields, unless typed over.
    g.precisionText = a.precision ? *a.precision : l.failure.fields.geneticPrecisionText;
    g.generationsText =
        a.generations ? *a.generations : l.failure.fields.NPokoleny.value_or(g.generationsText);
    g.populationSizeText = a.population;
    g.copyBestCountText = a.copyBest;
    return g;
}

// A progress bar on the last line of stderr, drawn only when stderr is a
// terminal: a script or a test reading stderr sees exactly what it saw
// without one. Redrawn only when what it shows changes.
class TerminalBar {
  public:
    TerminalBar() : on_(isatty(STDERR_FILENO) == 1) {}
    ~TerminalBar() { clear(); }
    TerminalBar(const TerminalBar&) = delete;
    TerminalBar& operator=(const TerminalBar&) = delete;

    void draw(std::string_view title, int percent) {
        if (!on_ || (percent == shown_ && title == title_)) return;
        // A shorter title would leave the end of the longer one behind.
        if (drawn_ && title != title_) std::cerr << "\r\033[K";
        shown_ = percent;
        title_ = title;
        const int filled = percent * kWidth / 100;
        std::cerr << "\r" << title << " [" << std::string(static_cast<std::size_t>(filled), '#')
                  << std::string(static_cast<std::size_t>(kWidth - filled), '.') << "] " << percent << "%"
                  << std::flush;
        drawn_ = true;
    }
    void draw(const relan::ProgressReport& r) {
        if (r.total > 0) draw(r.stage, static_cast<int>(r.done * 100 / r.total));
    }
    void clear() {
        if (drawn_) std::cerr << "\r\033[K" << std::flush;
        drawn_ = false;
        shown_ = -1;
    }

  private:
    static constexpr int kWidth = 40;
    bool on_;
    bool drawn_ = false;
    int shown_ = -1;
    std::string title_;
};

// The genetic tab's controls for a run without a window: the track bars
// start where the options put them, the log lines are collected, and the
// progress bar is drawn on stderr when it is a terminal.
class CliHost : public relan::GeneticHost {
  public:
    CliHost(relan::Analysis& s, const relan::NumberFormat& fmt, std::vector<std::string>& log,
            const AnalyzeOptions& a)
        : s_(s), fmt_(fmt), log_(log), tb1_(a.crossover), tb2_(a.mutation), copyText_(a.copyBest) {}

    int crossoverPosition() override { return tb1_; }
    void setCrossoverPosition(int p) override { tb1_ = p; }
    int mutationPosition() override { return tb2_; }
    void setMutationPosition(int p) override { tb2_ = p; }
    std::string copyBestCountText() override { return copyText_; }
    void setGenerationsText(const std::string&) override {}
    bool detailedProgress() override { return false; }
    void setProgress(int position) override { bar_.draw("Генетический алгоритм", position); }
    void appendLog(const std::string& line) override { log_.push_back(line); }
    void showResults() override {
        bar_.clear();
        diagrams = relan::Diagrams(s_, fmt_);
    }

    std::optional<relan::DiagramsResult> diagrams;

  private:
    relan::Analysis& s_;
    relan::NumberFormat fmt_;
    std::vector<std::string>& log_;
    int tb1_, tb2_;
    std::string copyText_;
    TerminalBar bar_;
};

// Everything an analysis gives, for whichever output asks.
struct AnalysisOutputs {
    Loaded loaded;
    relan::NumberFormat fmt;
    relan::Analysis input; // the figures and causes as loaded
    relan::CalcResult result;
    std::optional<relan::cli::GeneticRun> genetic;
    relan::NonParamResult nonparam;
    std::vector<std::string> log;
};

AnalysisOutputs runAnalysis(const LoadOptions& lo, const AnalyzeOptions& a) {
    AnalysisOutputs an;
    an.loaded = loadInputs(lo);
    Loaded& l = an.loaded;
    an.fmt = relan::NumberFormat{lo.decimal};
    const relan::NumberFormat& fmt = an.fmt;
    an.input = relan::withoutFailures(l.state);
    const relan::CalculationInputs fields = calculationInputs(l, a, lo);
    const bool genetic = wantsGenetic(a.models);
    const relan::GeneticFields gFields = geneticFields(l, a);
    // The genetic settings are refused before any fit has run.
    if (genetic) relan::readGeneticFields(gFields, fmt);
    const std::optional<std::uint64_t> seed = parseSeed(a.seed);
    std::vector<std::string>& log = an.log;
    log = l.log();
    relan::CalcOptions opt;
    opt.timing = !a.noTiming;
    TerminalBar fitsBar;
    opt.progress.report = [&fitsBar](const relan::ProgressReport& r) { fitsBar.draw(r); };
    an.result = relan::runCalculation(
        l.state, fields, fmt, [&log](const std::string& line) { log.push_back(line); }, opt);
    fitsBar.clear();

    // As in the window: the genetic run follows the calculation and works on
    // the censoring law and flags it left.
    if (genetic) {
        relan::GeneticControl control;
        relan::GeneticOptions go;
        go.fmt = fmt;
        go.seed = seed;
        go.threads = a.threads;
        CliHost host(l.state, fmt, log, a);
        const relan::GeneticOutcome outcome = relan::runGenetic(l.state, gFields, host, control, go);
        if (host.diagrams) an.result.diagrams = std::move(*host.diagrams);
        an.genetic = relan::cli::GeneticRun{outcome, seed};
    }
    relan::Analysis np = l.state;
    an.nonparam = relan::runNonParametric(np, fields.censoringMeanText, fields.censoringSdText, fmt);
    return an;
}

int analyze(const LoadOptions& lo, const AnalyzeOptions& a) {
    AnalysisOutputs an = runAnalysis(lo, a);
    Loaded& l = an.loaded;
    const relan::NumberFormat& fmt = an.fmt;
    if (a.format == "text") {
        std::cout << relan::cli::textReport(an.input, l.state, an.result, an.nonparam, an.log, fmt,
                                            an.genetic);
        return 0;
    }
    if (a.format == "csv") {
        std::cout << relan::resultTableCsv(an.result.diagrams.table) << std::flush;
        return 0;
    }
    relan::cli::Json models = relan::cli::modelsJson(l.state, an.result);
    if (an.genetic) models.push_back(relan::cli::geneticJson(l.state, *an.genetic));
    relan::cli::DocumentWriter out(std::cout);
    out.member("input", relan::cli::inputJson(an.input));
    out.failureList(l.state, l.failure.remarks, fmt);
    out.member("histogram", relan::cli::histogramJson(l.state));
    out.member("models", models);
    out.member("table", relan::cli::tableJson(an.result.diagrams.table));
    out.member("nonparam", relan::cli::nonparamJson(an.nonparam));
    out.member("log", an.log);
    out.finish();
    return 0;
}

void addAnalyzeOptions(CLI::App& cmd, AnalyzeOptions& a, relan::cli::OptionChecks& checks) {
    cmd.add_option("--sred", a.sred, "mean warranty time as typed into its field (default: from the files)");
    cmd.add_option("--sko", a.sko, "its standard deviation as typed (default: from the files)");
    cmd.add_option("--tgar", a.tgar, "period over which failures per product are counted, h");
    cmd.add_option("--models", a.models,
                   "comma-separated: spiral, newton, smirnov, ml, genetic (default spiral); ml is the "
                   "maximum-likelihood model with its intervals; genetic runs the genetic algorithm after "
                   "the other fits, as its own button would");
    cmd.add_option("--mcf-times", a.mcfTimes,
                   "times (h) where the ml model reports the mean cumulative failures per product K F(t) "
                   "with its interval, besides the counting period; with the decimal point separated by "
                   "',' or ';' (1000,2500.5), with --decimal-separator ',' by ';' only (1000;2500,5; a "
                   "single time 2500,5;)");
    cmd.add_flag("--fit-mean", a.fitMean, "the Pearson fits also search the mean warranty time");
    cmd.add_flag("--fit-sd", a.fitSd, "the Pearson fits also search its standard deviation");
    checks.oneOf(
        cmd.add_option("--criterion", a.criterion, "Pearson variant: standard, spec1 (default), spec2"),
        {"standard", "spec1", "spec2"});
    cmd.add_option("--kdiv-spiral", a.kdivSpiral, "step-reduction coefficient of model 1.1 (1.00025)");
    cmd.add_option("--kdiv-newton", a.kdivNewton, "step-reduction coefficient of model 1.2 (1.00025)");
    cmd.add_option("--kdiv-smirnov", a.kdivSmirnov, "step-reduction coefficient of model 2 (1.0005)");
    cmd.add_flag("--no-timing", a.noTiming,
                 "log the fits' durations as 0:00:00 so that outputs can be diffed");
    cmd.add_option("--precision", a.precision,
                   "genetic: \"Точность подбора\" as typed (default: as the load fills it, 0.0000002)");
    cmd.add_option("--population", a.population, "genetic: \"Размер популяции\" (default 3000)");
    cmd.add_option("--generations", a.generations,
                   "genetic: \"Число поколений\" (default: as the load fills it from the failure count, "
                   "1500, 2000 or 4000)");
    checks.wholeNumber(
        cmd.add_option("--crossover", a.crossover,
                       "genetic: starting position 0..100 of \"Вероятность скрещивания\" (default 55)"),
        0, 100);
    checks.wholeNumber(
        cmd.add_option("--mutation", a.mutation,
                       "genetic: starting position 0..100 of \"Вероятность мутаций\" (default 15)"),
        0, 100);
    cmd.add_option("--copy-best", a.copyBest,
                   "genetic: stored bests to re-inject, \"шт.\" (default 50; N + 1 are copied)");
    cmd.add_option("--seed", a.seed,
                   "genetic: seed of the random numbers; the same seed gives the same run bit for bit "
                   "(default: from the clock)");
    cmd.add_option("--threads", a.threads,
                   "genetic: threads rating the population (default 0 = one per core); the result does "
                   "not depend on it");
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"relan-cli: анализ надежности в эксплуатации без окна"};
    relan::cli::OptionChecks checks;
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("relan-cli ") + relan::kVersion,
                         "Print the version and exit");

    LoadOptions loadOpts;
    auto* load = app.add_subcommand("load", "read the input files and print what was loaded as JSON");
    addLoadOptions(*load, loadOpts, checks);
    std::string loadFormat = "json";
    checks.oneOf(load->add_option("--format", loadFormat,
                                  "json (default), or csv: the failure list for a spreadsheet (\";\" between "
                                  "fields, UTF-8 with a byte-order mark)"),
                 {"json", "csv"});

    AnalyzeOptions an;
    auto* analyzeCmd = app.add_subcommand(
        "analyze", "load, build the histogram, fit the chosen models and print the results as JSON or text");
    addLoadOptions(*analyzeCmd, loadOpts, checks);
    addAnalyzeOptions(*analyzeCmd, an, checks);
    checks.oneOf(analyzeCmd->add_option("--format", an.format,
                                        "json (default), text, or csv: the results table for a spreadsheet "
                                        "(\";\" between fields, UTF-8 with a byte-order mark)"),
                 {"json", "text", "csv"});

    AnalyzeOptions rep;
#ifdef RELAN_CLI_CHARTS
    std::string reportOut;
    auto* reportCmd = app.add_subcommand(
        "report",
        "analyze as \"analyze\" does and write the engineer's report as an A4 PDF (no display needed)");
    addLoadOptions(*reportCmd, loadOpts, checks);
    addAnalyzeOptions(*reportCmd, rep, checks);
    reportCmd->add_option("--out", reportOut, "PDF file to write")->required();
#endif

    LoadOptions npOpts;
    auto* nonparamCmd = app.add_subcommand(
        "nonparam",
        "the non-parametric analysis: half-fleet times, the window's texts and the per-interval points");
    addLoadOptions(*nonparamCmd, npOpts, checks);
    std::optional<std::string> npSred, npSko;
    nonparamCmd->add_option("--sred", npSred,
                            "mean warranty time as typed into its field (default: from the files)");
    nonparamCmd->add_option("--sko", npSko, "its standard deviation as typed (default: from the files)");

#ifdef RELAN_CLI_CHARTS
    ChartCommand chart;
    auto* chartCmd = app.add_subcommand("chart", "draw a window's charts offscreen into a PNG file");
    chartCmd->add_option("file", chart.file, "failure-data file (.rel, Windows-1251)")->required();
    chartCmd->add_option("--warranty", chart.warranty,
                         "warranty-term file (gar*.txt) loaded after the failure data");
    checks.oneOf(chartCmd->add_option("--window", chart.window, "results (default), expanded or nonparam"),
                 {"results", "expanded", "nonparam"});
    chartCmd->add_option("--out", chart.out, "PNG file to write")->required();
    chartCmd->add_option("--models", chart.models,
                         "fits before the results: spiral (default), newton, smirnov");
    checks.decimalSeparator(chartCmd->add_option("--decimal-separator", chart.decimal,
                                                 "decimal separator of the numbers shown ('.' or ',')"));
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        const std::vector<std::string> args(argc > 0 ? argv + 1 : argv, argv + argc);
        std::cerr << "relan-cli: " << oneLine(relan::cli::parseErrorText(e, app, args, checks)) << '\n';
        return kExitError;
    }

    // An interrupted report or chart leaves no temporary beside its target.
    relan::removeUnfinishedWriteOnSignals();
    try {
        if (*load) {
            Loaded l = loadInputs(loadOpts);
            if (loadFormat == "csv") {
                relan::writeFailureListCsv(std::cout, l.state, l.failure.remarks,
                                           relan::NumberFormat{loadOpts.decimal});
                return 0;
            }
            relan::cli::DocumentWriter out(std::cout);
            out.member("input", relan::cli::inputJson(l.state));
            out.failureList(l.state, l.failure.remarks, relan::NumberFormat{loadOpts.decimal});
            out.member("log", l.log());
            out.finish();
        } else if (*analyzeCmd) {
            return analyze(loadOpts, an);
        } else if (*nonparamCmd) {
            Loaded l = loadInputs(npOpts);
            const relan::NumberFormat fmt{npOpts.decimal};
            const std::string sred = npSred       ? *npSred
                                     : l.warranty ? l.warranty->censoringMeanText
                                                  : l.failure.fields.censoringMeanText;
            const std::string sko = npSko        ? *npSko
                                    : l.warranty ? l.warranty->censoringSdText
                                                 : l.failure.fields.censoringSdText;
            const relan::NonParamResult r = relan::runNonParametric(l.state, sred, sko, fmt);
            relan::cli::Json out = relan::cli::nonparamJson(r);
            out["labels"] = {{"Label10", r.comment},           {"Label2", r.medianLine},
                             {"Label3", r.censoredMedianLine}, {"Label5", r.censoringMeanLine},
                             {"Label6", r.censoringSdLine},    {"Label7", r.productsLine},
                             {"Label8", r.failuresLine}};
            std::cout << out.dump(2) << '\n';
        }
#ifdef RELAN_CLI_CHARTS
        else if (*chartCmd) {
            protectInputs(chart.file, chart.warranty);
            relan::checkWritable(chart.out);
            return runChartCommand(chart);
        } else if (*reportCmd) {
            // A file that cannot be written, or one the run reads, is told
            // before the fits run.
            protectInputs(loadOpts.file, loadOpts.warranty);
            relan::checkWritable(reportOut);
            AnalysisOutputs an = runAnalysis(loadOpts, rep);
            const relan::AnalysisReport report =
                relan::analysisReport(an.loaded.state, an.result.diagrams, an.nonparam, an.log, an.fmt);
            return writeReportCommand(report, loadOpts.file, reportOut);
        }
#endif
    } catch (const std::exception& e) {
        std::cerr << "relan-cli: " << oneLine(e.what()) << '\n';
        return kExitError;
    }
    return 0;
}
