#pragma once

// The calculation behind the button "Расчет": the censoring settings from
// the main window's fields, the histogram, every ticked fit with its modelled
// histogram, and the figures of the results window.

#include "relan/criteria.hpp"
#include "relan/fits.hpp"
#include "relan/likelihood.hpp"
#include "relan/log.hpp"
#include "relan/numtext.hpp"
#include "relan/progress.hpp"
#include "relan/results.hpp"
#include "relan/state.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace relan {

inline PerModel<bool> onlySpiralFit() {
    PerModel<bool> fit;
    fit[ModelId::Spiral] = true;
    return fit;
}

// The inputs of a calculation as the user left them: texts as typed, to be
// read and checked by prepareCalculation.
struct CalculationInputs {
    std::string dataPath;           // only tested for emptiness
    std::string censoringMeanText;  // kLabelSred
    std::string censoringSdText;    // kLabelSKO
    std::string countingPeriodText; // kLabelTGar
    // The models to compute, the spiral fit alone at first; the genetic
    // model is never the calculation's.
    PerModel<bool> fit = onlySpiralFit();
    bool searchCensoringMean = false; // the Pearson fits search the censoring law's mean
    bool searchCensoringSd = false;   // ... and its deviation
    PearsonVariant pearsonVariant = PearsonVariant::Spec1;
    std::string spiralStepText = "1.00025"; // step reduction, model 1.1
    std::string newtonStepText = "1.00025"; // model 1.2
    std::string smirnovStepText = "1.0005"; // model 2
    std::vector<double> mcfTimes;           // where the likelihood model reports K F(t) besides tGar
};

// One search of the histogram criteria the calculation ran.
struct ModelRun {
    ModelId model;
    FitResult fit;
};

struct CalcResult {
    std::vector<ModelRun> runs; // in the order computed
    // The likelihood model, when ticked; the same as the state's likelihoodFit.
    std::shared_ptr<const LikelihoodFit> likelihood;
    DiagramsResult diagrams;
};

struct CalcOptions {
    bool timing = true;
    // Handed to every fit in turn: each reports its own stage ("Модель 1.1",
    // ..., "Модель МП") and its passes or steps. A set flag ends the
    // calculation with Cancelled, leaving the state as an error does.
    ProgressHooks progress;
};

// A calculation whose inputs have been read and checked, before any fit has
// run: its own copy of the state with the censoring settings of the fields,
// and the step coefficients of the ticked fits. Made where a refusal can be
// told at once; run where the work does not hold anything up.
struct PreparedCalculation {
    Analysis state;
    CalculationInputs inputs;
    PerModel<double> stepCoefficient; // of the ticked searches
};

// Every refusal (no path, no data loaded, a field that does not convert, a
// coefficient that would never end a search) raises relan::Error.
PreparedCalculation prepareCalculation(const Analysis& s, const CalculationInputs& f,
                                       const NumberFormat& fmt);

// The fits, the modelled histograms and the figures, on `p.state`, which then
// holds the calculation's state. `log` gets the lines only when the whole
// calculation has succeeded.
CalcResult runPreparedCalculation(PreparedCalculation& p, const NumberFormat& fmt, const LogSink& log,
                                  const CalcOptions& opt = {});

// Both in one go on `s`. Every refusal and every error, and a cancellation,
// leave `s` as it was: the work is done on a copy.
CalcResult runCalculation(Analysis& s, const CalculationInputs& f, const NumberFormat& fmt,
                          const LogSink& log, const CalcOptions& opt = {});

// The censoring law as typed into its two fields: both must be numbers
// above 0, or relan::Error names the field.
struct CensoringLaw {
    double Sred = 0;
    double SKO = 0;
};
CensoringLaw readCensoringFields(std::string_view meanText, std::string_view sdText, const NumberFormat& fmt);

inline constexpr const char* kNoFailureData =
    "Нет данных об отказах: сначала загрузите файл исходных данных (кнопка «Путь»)";

// Control names and labels of the fields, for messages.
inline constexpr const char* kLabelSred = " Среднее время гарантии";
inline constexpr const char* kLabelSKO = " СКО времени гарантии";
inline constexpr const char* kLabelTGar = " Период учета отказов на 1 изделие, ч";
inline constexpr const char* kLabelKdivSpiral = "Коэф-т уменьшения шага модели 1.1";
inline constexpr const char* kLabelKdivNewton = "Коэф-т уменьшения шага модели 1.2";
inline constexpr const char* kLabelKdivSmirnov = "Коэф-т уменьшения шага модели 2";
inline constexpr const char* kLikelihoodBox = kLikelihoodTitle;

} // namespace relan
