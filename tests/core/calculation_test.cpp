#include "fixtures.hpp"

#include "relan/calculation.hpp"
#include "relan/error.hpp"
#include "relan/input_files.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <array>
#include <atomic>
#include <cstdio>

using namespace relan;

namespace {

const NumberFormat kPoint{'.'};

struct Loaded {
    Analysis s;
    CalculationInputs f;
};

Loaded loadSample(const std::string& file = RELAN_SAMPLES_DIR "/mtz82_2018.rel",
                  const NumberFormat& fmt = kPoint) {
    Loaded l;
    auto load = loadFailureData(file, fmt, l.s);
    l.f.dataPath = file;
    l.f.censoringMeanText = load.fields.censoringMeanText;
    l.f.censoringSdText = load.fields.censoringSdText;
    l.f.countingPeriodText = load.fields.countingPeriodText;
    l.f.spiralStepText = load.fields.spiralStepText;
    l.f.newtonStepText = load.fields.newtonStepText;
    l.f.smirnovStepText = load.fields.smirnovStepText;
    l.f.spiralStepText = "1.01"; // coarse steps keep the tests quick; the default is measured elsewhere
    l.f.newtonStepText = "1.01";
    l.f.smirnovStepText = "1.01";
    return l;
}

std::string errorOf(Analysis& s, const CalculationInputs& f, const NumberFormat& fmt = kPoint) {
    try {
        runCalculation(s, f, fmt, {});
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

std::vector<std::string> runLogged(Analysis& s, const CalculationInputs& f,
                                   std::optional<CalcResult>* out = nullptr) {
    std::vector<std::string> log;
    CalcOptions o;
    o.timing = false;
    auto r = runCalculation(
        s, f, kPoint, [&](const std::string& l) { log.push_back(l); }, o);
    if (out) *out = std::move(r);
    return log;
}

} // namespace

TEST(Calculation, NothingLoadedIsRefusedWithAMessage) {
    Analysis s;
    CalculationInputs f;
    f.dataPath = "/home/user";
    // Even with the fields empty: the missing data is what to tell.
    EXPECT_EQ(errorOf(s, f), kNoFailureData);
    f.censoringMeanText = "1800";
    f.censoringSdText = "450";
    f.countingPeriodText = "1800";
    EXPECT_EQ(errorOf(s, f), kNoFailureData);
    EXPECT_EQ(s.Sred, 0);
}

TEST(Calculation, RefusalsNameTheFieldAndChangeNothing) {
    struct Case {
        std::function<void(CalculationInputs&)> edit;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {[](CalculationInputs& f) { f.censoringMeanText = ""; },
         "Поле «Среднее время гарантии»: «» не является числом"},
        {[](CalculationInputs& f) { f.censoringSdText = "4,5"; },
         "Поле «СКО времени гарантии»: «4,5» не является числом; десятичный разделитель — «.», а не «,»"},
        {[](CalculationInputs& f) { f.countingPeriodText = "x"; },
         "Поле «Период учета отказов на 1 изделие, ч»: «x»"},
        {[](CalculationInputs& f) { f.censoringSdText = "0"; },
         "Поле «СКО времени гарантии»: СКО времени окончания гарантии должно быть больше 0 ч, введено «0»"},
        {[](CalculationInputs& f) { f.censoringMeanText = "-1800"; },
         "Поле «Среднее время гарантии»: среднее время окончания "
         "гарантии должно быть больше 0 ч, введено «-1800»"},
        {[](CalculationInputs& f) { f.countingPeriodText = "-5"; },
         "Поле «Период учета отказов на 1 изделие, ч»: период учета отказов не может быть отрицательным, "
         "введено «-5»"},
        {[](CalculationInputs& f) { f.dataPath = ""; }, "Не указан путь к файлу исходных данных"},
        {[](CalculationInputs& f) { f.spiralStepText = "1"; },
         "Поле «Коэф-т уменьшения шага модели 1.1»: коэффициент уменьшения шага должен быть больше 1"},
        {[](CalculationInputs& f) { f.spiralStepText = "abc"; },
         "Поле «Коэф-т уменьшения шага модели 1.1»: «abc» не является числом"},
        {[](CalculationInputs& f) {
             f.fit[relan::ModelId::Newton] = true;
             f.newtonStepText = "1.0000000000001";
         },
         "Поле «Коэф-т уменьшения шага модели 1.2»: коэффициент «1.0000000000001» слишком близок к 1"},
        {[](CalculationInputs& f) {
             f.fit[relan::ModelId::Smirnov] = true;
             f.smirnovStepText = "0.9";
         },
         "Поле «Коэф-т уменьшения шага модели 2»"},
        // A law that leaves nothing under warranty over the histogram has
        // nothing to fit: every fit refuses it before it starts.
        {[](CalculationInputs& f) {
             f.censoringMeanText = "1";
             f.censoringSdText = "1";
         },
         "Модель 1.1 (по Пирсону, метод спирального спуска) не может быть подобрана: при среднем времени "
         "гарантии 1 ч и СКО 1 ч ни одно изделие не остаётся на гарантии"},
        {[](CalculationInputs& f) {
             f.fit[relan::ModelId::Spiral] = false;
             f.fit[relan::ModelId::Newton] = true;
             f.censoringMeanText = "1";
             f.censoringSdText = "1";
         },
         "Модель 1.2 (по Пирсону, метод Ньютона) не может быть подобрана"},
        {[](CalculationInputs& f) {
             f.fit[relan::ModelId::Spiral] = false;
             f.fit[relan::ModelId::Smirnov] = true;
             f.censoringMeanText = "1";
             f.censoringSdText = "1";
         },
         "Модель 2 (по Смирнову) не может быть подобрана"},
    };
    auto base = loadSample();
    std::optional<CalcResult> first;
    runLogged(base.s, base.f, &first);
    ASSERT_TRUE(first);
    for (const auto& c : cases) {
        Analysis s = base.s;
        CalculationInputs f = base.f;
        c.edit(f);
        const std::string msg = errorOf(s, f);
        EXPECT_NE(msg.find(c.expected), std::string::npos) << "got: " << msg << "\nwant: " << c.expected;
        // The previous results stay as they were.
        EXPECT_TRUE(s.models[ModelId::Spiral].Executed);
        EXPECT_EQ(s.models[ModelId::Spiral].A, base.s.models[ModelId::Spiral].A);
        EXPECT_EQ(s.Sred, base.s.Sred);
    }
}

TEST(Calculation, WarrantyFileWithoutFailureDataIsRefused) {
    relan::test::TempDir dir;
    Analysis s;
    auto w =
        loadWarrantyTerms(dir.write("gar.txt", relan::test::cp1251File({"К", "1000", "2000"})), kPoint, s);
    CalculationInputs f;
    f.dataPath = "/x.rel";
    f.censoringMeanText = w.censoringMeanText;
    f.censoringSdText = w.censoringSdText;
    f.countingPeriodText = "1500";
    EXPECT_NE(errorOf(s, f).find("Нет данных об отказах"), std::string::npos);
}

TEST(Calculation, ModelsInTableOrderAndLog) {
    auto l = loadSample();
    l.f.fit[relan::ModelId::Newton] = l.f.fit[relan::ModelId::Smirnov] = true;
    std::optional<CalcResult> r;
    auto log = runLogged(l.s, l.f, &r);
    ASSERT_TRUE(r);
    ASSERT_EQ(r->runs.size(), 3u);
    EXPECT_EQ(r->runs[0].model, ModelId::Spiral);
    EXPECT_EQ(r->runs[2].model, ModelId::Smirnov);
    const auto& row0 = r->diagrams.table.cells[0];
    EXPECT_EQ(row0[1], "Пирсона/Ньютона");
    EXPECT_EQ(row0[2], "Пирсона/спир.спуск");
    EXPECT_EQ(row0[3], "Смирнова ");
    EXPECT_EQ(row0[4], "Данные эксплуатации");
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0], "Расчёт модели по Пирсону методом спирального спуска выполнен за 0:00:00ч/мин/с");
    EXPECT_EQ(log[1].rfind("Доверительный 95% интервал модели = ", 0), 0u);
    EXPECT_EQ(log[2], "Расчёт модели по Пирсону методом Ньютона выполнен за 0:00:00ч/мин/с");
    EXPECT_EQ(log[4], "Расчёт модели по Смирнову выполнен за 0:00:00ч/мин/с");
    // Mas_Out_Like holds the last model's histogram; each model keeps its own spread.
    EXPECT_EQ(l.s.Mas_Out_Like.size(), l.s.Hist_Arr.size());
    EXPECT_NE(l.s.models[ModelId::Spiral].SKO_out, l.s.models[ModelId::Smirnov].SKO_out);
}

TEST(Calculation, NoBoxTickedStillShowsTheData) {
    auto l = loadSample();
    l.f.fit[relan::ModelId::Spiral] = false;
    std::optional<CalcResult> r;
    EXPECT_TRUE(runLogged(l.s, l.f, &r).empty());
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->runs.empty());
    EXPECT_FALSE(l.s.Hist_Arr.empty());
    EXPECT_EQ(r->diagrams.table.cells[0][1], "Данные эксплуатации");
}

TEST(Calculation, FittedMeanServesTheRestOfTheCalculationOnly) {
    auto l = loadSample();
    l.f.fit[relan::ModelId::Smirnov] = true;
    l.f.searchCensoringMean = true;
    std::optional<CalcResult> r;
    runLogged(l.s, l.f, &r);
    ASSERT_TRUE(r);
    EXPECT_NE(l.s.models[ModelId::Spiral].Sred, 1800);
    EXPECT_EQ(l.s.models[ModelId::Smirnov].Sred, l.s.models[ModelId::Spiral].Sred);
    EXPECT_EQ(l.s.Sred, l.s.models[ModelId::Spiral].Sred);
    EXPECT_EQ(r->diagrams.table.cells[7][2],
              formatPattern("%4.1f", {l.s.models[ModelId::Spiral].Sred}, kPoint) +
                  " ч"); // Smirnov column shows it
    // The next calculation starts again from the field.
    l.f.searchCensoringMean = false;
    l.f.fit[relan::ModelId::Smirnov] = false;
    runLogged(l.s, l.f, &r);
    EXPECT_EQ(l.s.Sred, 1800);
    EXPECT_EQ(l.s.models[ModelId::Spiral].Sred, 1800);
}

TEST(Calculation, ExponentFormOfTheMeanConvertsBack) {
    auto l = loadSample(RELAN_SAMPLES_DIR "/mtz82_2018.rel", NumberFormat{','});
    l.f.censoringMeanText = "1,8E3"; // as the warranty-term load writes 3 significant digits
    l.f.spiralStepText = "1,01";
    std::vector<std::string> log;
    runCalculation(l.s, l.f, NumberFormat{','}, {});
    EXPECT_EQ(l.s.Sred, 1800);
}

TEST(Calculation, StandardCriterionWithNothingExpectedIsAClearError) {
    auto l = loadSample();
    // Every warranty over by 300 h: no failure after it can be expected by any law.
    l.f.censoringMeanText = "100";
    l.f.censoringSdText = "20";
    l.f.pearsonVariant = PearsonVariant::Standard;
    const Analysis before = l.s;
    const std::string msg = errorOf(l.s, l.f);
    EXPECT_NE(msg.find("Критерий «Стандарт» не применим: в интервале"), std::string::npos) << msg;
    EXPECT_EQ(l.s.Sred, before.Sred);
    EXPECT_FALSE(l.s.models[ModelId::Spiral].Executed);
}

namespace {

std::string runCli(const std::string& args) {
    return relan::test::runCommand(std::string(RELAN_CLI_PATH) + " " + args + " 2>/dev/null").out;
}

} // namespace

// The expected figures were derived by tests/data/reference_small.py, an
// independent transcription of the histogram, criterion and spiral descent.
TEST(Calculation, ProgressNamesEachFitInTurnAndEndsAtItsTotal) {
    auto l = loadSample();
    l.f.fit[relan::ModelId::Newton] = l.f.fit[relan::ModelId::Smirnov] = l.f.fit[relan::ModelId::Likelihood] =
        true;
    // On the sample Newton's and Smirnov's line searches walk far with the
    // coarse steps: these are quicker.
    l.f.spiralStepText = l.f.newtonStepText = l.f.smirnovStepText = "1.001";
    std::vector<ProgressReport> seen;
    CalcOptions o;
    o.progress.report = [&](const ProgressReport& r) { seen.push_back(r); };
    runCalculation(l.s, l.f, kPoint, {}, o);

    const struct {
        const char* stage;
        long long total; // 0: the likelihood fit's, checked by its own test
    } stages[] = {{"Модель 1.1", fitPasses(FitKind::Spiral, false, false, 1.001)},
                  {"Модель 1.2", fitPasses(FitKind::Newton, false, false, 1.001)},
                  {"Модель 2", fitPasses(FitKind::Smirnov, false, false, 1.001)},
                  {"Модель МП", 0}};
    std::size_t k = 0;
    for (const auto& st : stages) {
        ASSERT_LT(k, seen.size());
        EXPECT_EQ(seen[k].stage, st.stage);
        EXPECT_EQ(seen[k].done, 0);
        const long long total = seen[k].total;
        if (st.total) EXPECT_EQ(total, st.total) << st.stage;
        long long done = -1;
        for (; k < seen.size() && seen[k].stage == st.stage; ++k) {
            EXPECT_GE(seen[k].done, done) << st.stage;
            EXPECT_EQ(seen[k].total, total) << st.stage;
            done = seen[k].done;
        }
        EXPECT_EQ(done, total) << st.stage;
    }
    EXPECT_EQ(k, seen.size());
}

TEST(Calculation, AStopInAnyFitLeavesTheStateAsItWas) {
    auto base = loadSample();
    runLogged(base.s, base.f);
    ASSERT_TRUE(base.s.models[ModelId::Spiral].Executed);
    for (const char* stage : {"Модель 1.1", "Модель 1.2", "Модель 2", "Модель МП"}) {
        Analysis s = base.s;
        CalculationInputs f = base.f;
        f.newtonStepText = f.smirnovStepText = "1.001";
        // Newton's fit searching the censoring law takes seconds even with
        // coarse steps: it runs only to be stopped.
        f.fit[relan::ModelId::Newton] = std::string(stage) == "Модель 1.2";
        f.fit[relan::ModelId::Smirnov] = f.fit[relan::ModelId::Likelihood] = true;
        // The fitted censoring law would replace the state's on the way.
        f.searchCensoringMean = true;
        f.censoringMeanText = "1000";
        std::atomic<bool> stop{false};
        CalcOptions o;
        o.progress.cancel = &stop;
        o.progress.report = [&](const ProgressReport& r) {
            if (r.stage == stage && r.done >= 1) stop = true;
        };
        std::vector<std::string> log;
        EXPECT_THROW(runCalculation(
                         s, f, kPoint, [&](const std::string& l) { log.push_back(l); }, o),
                     Cancelled)
            << stage;
        EXPECT_TRUE(stop) << stage;
        EXPECT_TRUE(log.empty()) << stage;
        EXPECT_EQ(s.Sred, base.s.Sred) << stage;
        EXPECT_EQ(s.SKO, base.s.SKO);
        EXPECT_FALSE(s.Sred_Opt);
        EXPECT_EQ(s.models[ModelId::Spiral].A, base.s.models[ModelId::Spiral].A);
        EXPECT_EQ(s.models[ModelId::Spiral].K_powtor, base.s.models[ModelId::Spiral].K_powtor);
        EXPECT_TRUE(s.models[ModelId::Spiral].Executed);
        EXPECT_FALSE(s.models[ModelId::Newton].Executed || s.models[ModelId::Smirnov].Executed ||
                     s.models[ModelId::Likelihood].Executed || s.likelihoodFit);
        EXPECT_EQ(s.Mas_Out_Like, base.s.Mas_Out_Like);
    }
}

TEST(CliAnalyze, SmallFixtureAgainstAnIndependentDerivation) {
    const auto out = runCli("analyze " RELAN_TEST_DATA_DIR "/small.rel --kdiv-spiral 1.01 --no-timing");
    ASSERT_FALSE(out.empty());
    const auto j = nlohmann::json::parse(out);
    const std::vector<std::pair<double, int>> intervals = {
        {100, 2}, {200, 2}, {300, 2},  {400, 1},  {500, 2},  {600, 1},  {700, 1},
        {800, 1}, {900, 1}, {1000, 1}, {1100, 1}, {1300, 1}, {1400, 1}, {1600, 1}};
    const auto& h = j.at("histogram").at("intervals");
    ASSERT_EQ(h.size(), intervals.size());
    for (std::size_t i = 0; i < h.size(); ++i) {
        EXPECT_EQ(h[i].at("time").get<double>(), intervals[i].first);
        EXPECT_EQ(h[i].at("Sum").get<int>(), intervals[i].second);
    }
    const auto& m = j.at("models").at(0);
    EXPECT_EQ(m.at("name"), "spiral");
    EXPECT_EQ(m.at("passes"), 926);
    EXPECT_FALSE(m.contains("at_limit")); // within its range: the entry reads as before
    EXPECT_NEAR(m.at("A").get<double>(), 0.0009730854537381087, 1e-15);
    EXPECT_NEAR(m.at("B").get<double>(), 0.9128625021529218, 1e-12);
    EXPECT_NEAR(m.at("K_powtor").get<double>(), 0.9836307288653835, 1e-12);
    EXPECT_NEAR(m.at("SKO_out").get<double>(), 0.32372804473372696, 1e-12);
    const auto& in = j.at("input");
    EXPECT_EQ(in.at("Izd_Prived").get<double>(), 36);
    EXPECT_EQ(in.at("T50expl").get<double>(), 1600); // 18 of 36 reduced products, exactly at the last failure
    EXPECT_NEAR(in.at("t50zen").get<double>(), 1332.1209727192356, 1e-9);
    const auto& t = j.at("table");
    EXPECT_EQ(t[3][1], "1369 ч.");
    EXPECT_EQ(t[3][2], "1600 (набл.)/1332 (ценз.)");
    EXPECT_EQ(t[4][1], "393 ч., 173 ч.");
    EXPECT_EQ(t[5][2], "18 /30");
    EXPECT_EQ(t[10][2], "0.0287/издел. на 100 ч.");
    EXPECT_EQ(t[11][1], "  0.53");
    EXPECT_EQ(t[11][2], "0.58");
    EXPECT_EQ(j.at("log").at(1), "Доверительный 95% интервал модели = 0.6345,  СКО= 0.3237");
}

TEST(CliAnalyze, TextReportAndOptions) {
    const auto text = runCli("analyze " RELAN_TEST_DATA_DIR
                             "/small.rel --models spiral,smirnov --kdiv-spiral 1,01 --kdiv-smirnov 1,01 "
                             "--criterion spec2 --format text --no-timing --decimal-separator ,");
    EXPECT_NE(text.find("Модель 1.1 по Пирсону"), std::string::npos);
    EXPECT_NE(text.find("Модель 2 (по Смирнову)"), std::string::npos);
    EXPECT_NE(text.find("Данные эксплуатации"), std::string::npos);
    EXPECT_NE(text.find("0:00:00ч/мин/с"), std::string::npos);
    EXPECT_NE(text.find("1600 (набл.)/1332 (ценз.)"), std::string::npos);
    EXPECT_NE(text.find("0,0287/издел. на 100 ч."), std::string::npos);
    EXPECT_TRUE(runCli("analyze " RELAN_TEST_DATA_DIR "/small.rel --models weibull").empty());
}

TEST(CliAnalyze, ModelOnASearchLimitSaysSo) {
    // Searching the warranty law too, the spiral descent drives its standard
    // deviation to the top of its range.
    const std::string args =
        "analyze " RELAN_TEST_DATA_DIR "/small.rel --models spiral --fit-mean --fit-sd "
        "--kdiv-spiral 1,01 --criterion spec2 --no-timing --decimal-separator , --format ";
    const std::string note = "«СКО времени гарантии» = 900: верхняя граница поиска модели 1.1";
    const auto out = runCli(args + "json");
    ASSERT_FALSE(out.empty());
    const auto j = nlohmann::json::parse(out);
    EXPECT_EQ(j.at("models").at(0).at("at_limit"), nlohmann::json::array({note}));
    EXPECT_EQ(j.at("log").at(1),
              "Модель 1.1: параметр «СКО времени гарантии» остановился на верхней границе поиска "
              "(900) — результат определен границей, а не данными");
    const auto text = runCli(args + "text");
    // Under the table, before what follows it.
    EXPECT_NE(text.find("\n Параметры на границе поиска (результат определен границей, а не данными):\n  " +
                        note + "\n\nНепараметрическая оценка"),
              std::string::npos)
        << text;
}
