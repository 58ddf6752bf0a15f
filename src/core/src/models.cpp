#include "relan/models.hpp"

namespace relan {
namespace {

using Q = CurveQuantity;

// The Pearson pair shares its curves: only one of them is drawn.
constexpr ModelCurve kPearsonFlow{"Series2",
                                  "Модель по Пирсону с влиянием цензурирования",
                                  "Модель по Пирсону с учетом цензурирования",
                                  Q::LawFlow,
                                  0x008000,
                                  2};
constexpr ModelCurve kPearsonExpectedFlow{
    "Series3", "Модель по Пирсону", nullptr, Q::ExpectedFlow, 0x00FF00, 2, 12};
constexpr ModelCurve kPearsonAccumulated{
    "Series8", "Модель по Пирсону", nullptr, Q::LawAccumulated, 0x009B9B, 2, 0, true};
constexpr ModelCurve kPearsonExpectedAccumulated{
    "Series9", "Модель по Пирсону с влиянием цензурирования", nullptr, Q::ExpectedAccumulated, 0x00D900, 2};
constexpr const char* kLikelihoodCurve = "Модель МП с учетом цензурирования";

const std::array<ModelDescriptor, kModelCount> kRegistry = {{
    {ModelId::Spiral,
     "spiral",
     "1.1",
     "Модель 1.1 по Пирсону, метод спирального спуска",
     "Модель 1.1 (Пирсон, спиральный спуск)",
     "Пирсона/спир.спуск",
     "Пирсона/спир.спуск",
     118,
     FitKind::Spiral,
     true,
     {kPearsonFlow, kPearsonExpectedFlow},
     {kPearsonAccumulated, kPearsonExpectedAccumulated}},
    {ModelId::Newton,
     "newton",
     "1.2",
     "Модель 1.2 по Пирсону, метод Ньютона",
     "Модель 1.2 (Пирсон, метод Ньютона)",
     "Пирсона/Ньютона",
     "Пирсона/Ньютона",
     134,
     FitKind::Newton,
     true,
     {kPearsonFlow, kPearsonExpectedFlow},
     {kPearsonAccumulated, kPearsonExpectedAccumulated}},
    {ModelId::Smirnov,
     "smirnov",
     "2",
     "Модель 2 (по Смирнову)",
     "Модель 2 (Смирнов)",
     "Смирнова ",
     "Смирнова",
     118,
     FitKind::Smirnov,
     false,
     {ModelCurve{"Series4", "Модель по Смирнову", nullptr, Q::ExpectedFlow, 0x0000FF, 1}},
     {ModelCurve{"Series10", "Модель по Смирнову", nullptr, Q::ExpectedAccumulated, 0x8000FF, 2}}},
    {ModelId::Genetic,
     "genetic",
     "ГА",
     "Генетический алгоритм",
     "Генетический алгоритм",
     "Генетическая",
     "Генетическая",
     118,
     std::nullopt,
     true,
     {ModelCurve{"Series6", "Модель \"генетическая\"", nullptr, Q::ExpectedFlow, 0xFF6F6F, 2},
      ModelCurve{"Series5", "Модель \"генетическая\" с влиянием цензурирования", nullptr, Q::LawFlow,
                 0xFF0000, 2, 16, true}},
     {ModelCurve{"Series11", "Модель \"генетическая\"", nullptr, Q::LawAccumulated, 0xFF0000, 2},
      ModelCurve{"Series12", "Модель \"генетическая\" с влиянием цензурирования", nullptr,
                 Q::ExpectedAccumulated, 0xFF6464, 2}}},
    {ModelId::Likelihood,
     "ml",
     "МП",
     kLikelihoodTitle,
     "Модель МП",
     kLikelihoodColumn,
     kLikelihoodColumn,
     150,
     std::nullopt,
     true,
     {ModelCurve{nullptr, kLikelihoodCurve, nullptr, Q::ExpectedFlow, kLikelihoodColor, 2}},
     {ModelCurve{nullptr, kLikelihoodCurve, nullptr, Q::ExpectedAccumulated, kLikelihoodColor, 2}}},
}};

std::array<const ModelDescriptor*, kModelCount> tableOrder() {
    std::array<const ModelDescriptor*, kModelCount> order{};
    for (const ModelDescriptor& d : kRegistry)
        order[static_cast<std::size_t>(d.id)] = &d;
    return order;
}

} // namespace

std::span<const ModelDescriptor> modelRegistry() {
    return kRegistry;
}

const ModelDescriptor& modelDescriptor(ModelId id) {
    return *modelsInTableOrder()[static_cast<std::size_t>(id)];
}

std::span<const ModelDescriptor* const> modelsInTableOrder() {
    static const std::array<const ModelDescriptor*, kModelCount> order = tableOrder();
    return order;
}

const ModelDescriptor* modelByKey(std::string_view key) {
    for (const ModelDescriptor& d : kRegistry)
        if (key == d.jsonKey) return &d;
    return nullptr;
}

} // namespace relan
