#pragma once

// The fitted models, each described once: how the log, the results table,
// the charts, the reports and the command line name and show it. Every
// place that lists the models walks this registry, so a new model is one
// descriptor here and one fit function.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace relan {

// In the order of the results table: the first executed model of a curve
// shared by two models (the Pearson pair) is the one drawn.
enum class ModelId { Newton, Spiral, Smirnov, Genetic, Likelihood };
constexpr std::size_t kModelCount = 5;

// The deterministic searches of the histogram criteria.
enum class FitKind { Spiral, Newton, Smirnov };

// What a model's curve shows per histogram interval.
enum class CurveQuantity {
    LawFlow,             // failures per 100 h per product by the law alone, times K_powtor
    ExpectedFlow,        // failures per 100 h per product expected with the products leaving warranty
    LawAccumulated,      // the law's accumulated failures per product, times K_powtor
    ExpectedAccumulated, // accumulated failures per product expected with the products leaving warranty
};

// One curve of a model in a flow chart of the results window.
struct ModelCurve {
    // The design's series ("Series2"); models naming the same series share
    // it. nullptr: appended after every other series, only when executed.
    const char* series = nullptr;
    const char* title = nullptr;      // legend before any model is drawn into it
    const char* drawnTitle = nullptr; // legend once drawn; nullptr: title
    CurveQuantity quantity = CurveQuantity::ExpectedFlow;
    std::uint32_t color = 0; // 0xRRGGBB
    int penWidth = 1;
    int transparency = 0;
    bool smoothed = false;
};

struct ModelDescriptor {
    ModelId id;
    const char* jsonKey;        // relan-cli's --models and the JSON's "name"
    const char* logName;        // the log's and the limit notes' model number ("1.1")
    const char* title;          // heading of the text report
    const char* reportName;     // row of the analysis report's parameter table
    const char* column;         // results table's column heading
    const char* name;           // the model in messages about its column
    int columnWidth;            // pixels of its column
    std::optional<FitKind> fit; // a histogram-criterion search run by the calculation
    // The law's own curve F_Weib exists (Smirnov's search gives only the
    // expected failures); its running sum is Unsens.
    bool weibullCurve;
    std::array<std::optional<ModelCurve>, 2> flowCurves;        // chart 1
    std::array<std::optional<ModelCurve>, 2> accumulatedCurves; // chart 2
};

// Every model, in the order of the reports and of the calculation (the
// Pearson fits that search the censoring law come first).
std::span<const ModelDescriptor> modelRegistry();
const ModelDescriptor& modelDescriptor(ModelId id);
// The models in the results table's order (ModelId's order).
std::span<const ModelDescriptor* const> modelsInTableOrder();
// The model relan-cli names so ("spiral"); nullptr for none.
const ModelDescriptor* modelByKey(std::string_view key);

// The likelihood model in the table, the charts and the check box.
inline constexpr const char* kLikelihoodColumn = "Макс. правдоподобия";
inline constexpr const char* kLikelihoodTitle = "Модель МП (максимальное правдоподобие)";
inline constexpr std::uint32_t kLikelihoodColor = 0xFF8000;

// One value per model, indexed by the model's identifier.
template <class T> struct PerModel {
    std::array<T, kModelCount> values{};
    T& operator[](ModelId id) { return values[static_cast<std::size_t>(id)]; }
    const T& operator[](ModelId id) const { return values[static_cast<std::size_t>(id)]; }
    bool operator==(const PerModel&) const = default;
};

} // namespace relan
