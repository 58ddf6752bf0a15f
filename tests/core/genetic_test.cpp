#include "fixtures.hpp"

#include "relan/criteria.hpp"
#include "relan/error.hpp"
#include "relan/genetic.hpp"
#include "relan/histogram.hpp"
#include "relan/input_files.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <tuple>

using namespace relan;

namespace {

const NumberFormat kPoint{'.'};

Analysis sample() {
    Analysis s;
    loadFailureData(RELAN_SAMPLES_DIR "/mtz82_2018.rel", kPoint, s);
    return s;
}

// Records what the run asks of its window, in order.
class Host : public GeneticHost {
  public:
    int tb1 = 55, tb2 = 15;
    std::string copyText = "50";
    bool detailed = false;
    std::vector<std::string> calls;
    std::vector<std::string> log;
    std::string generationsText;
    int progress = -1;
    int shown = 0;
    std::function<void(int)> onProgress; // called with each new position

    int crossoverPosition() override {
        calls.push_back("tb1?");
        return tb1;
    }
    void setCrossoverPosition(int p) override {
        calls.push_back("tb1=" + std::to_string(p));
        tb1 = p;
    }
    int mutationPosition() override {
        calls.push_back("tb2?");
        return tb2;
    }
    void setMutationPosition(int p) override {
        calls.push_back("tb2=" + std::to_string(p));
        tb2 = p;
    }
    std::string copyBestCountText() override {
        calls.push_back("copy?");
        return copyText;
    }
    void setGenerationsText(const std::string& t) override {
        calls.push_back("gen=" + t);
        generationsText = t;
    }
    bool detailedProgress() override {
        calls.push_back("detail?");
        return detailed;
    }
    void setProgress(int p) override {
        calls.push_back("progress=" + std::to_string(p));
        progress = p;
        if (onProgress) onProgress(p);
    }
    void appendLog(const std::string& line) override {
        calls.push_back("log");
        log.push_back(line);
    }
    void showResults() override {
        calls.push_back("show");
        ++shown;
    }
    long long count(const std::string& prefix) const {
        return std::count_if(log.begin(), log.end(),
                             [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    }
};

GeneticFields fields(const std::string& population, const std::string& generations,
                     const std::string& precision = "0.0000001") {
    GeneticFields f;
    f.populationSizeText = population;
    f.generationsText = generations;
    f.precisionText = precision;
    return f;
}

GeneticOptions seeded(std::uint64_t seed, unsigned threads = 1) {
    GeneticOptions o;
    o.seed = seed;
    o.threads = threads;
    return o;
}

std::string errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

// A run object on the sample for the operator tests.
struct Bench {
    Analysis s = sample();
    Host host;
    GeneticControl control;
    GeneticSettings settings;
    std::unique_ptr<TGen> gen;

    explicit Bench(const GeneticFields& f, std::uint64_t seed = 7) {
        settings = startGenetic(s, f, kPoint);
        gen = std::make_unique<TGen>(s, settings, host, control, seeded(seed));
    }
};

} // namespace

TEST(GeneticCoding, Bits) {
    struct Case {
        std::int32_t v;
        int bits;
    };
    for (const Case c :
         {Case{-5, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 2}, {7, 3}, {8, 4}, {10000000, 24}, {2147483647, 31}})
        EXPECT_EQ(iGetBits(c.v), c.bits) << c.v;

    struct Text {
        std::int64_t v;
        int size;
        const char* text;
    };
    for (const Text c : {Text{4999990, 24, "010011000100101100110110"},
                         {5, 2, "01"},
                         {5, 4, "0101"},
                         {0, 3, "000"},
                         {1, 0, ""}})
        EXPECT_EQ(IntToBin(c.v, c.size), c.text) << c.v << "/" << c.size;

    EXPECT_EQ(BinToInt(""), 0);
    EXPECT_EQ(BinToInt("0101"), 5);
    EXPECT_EQ(BinToInt("1x11"), 11); // anything but '1' is a 0
    for (std::int64_t c : {0LL, 1LL, 4999990LL, 2147483647LL})
        EXPECT_EQ(BinToInt(IntToBin(c, 31)), c);
}

TEST(GeneticCoding, WorkedExampleAndGeneTable) {
    Bench b(fields("1", "1"));
    b.gen->MakePopulation();
    const auto& genes = b.gen->ListGens();
    ASSERT_EQ(genes.size(), 3u);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(genes[j].gStart, 1 + 24 * j);
        EXPECT_EQ(genes[j].gLength, 24);
    }
    EXPECT_EQ(b.gen->LengthXrome(), 72);
    ASSERT_EQ(b.gen->ListPopulation().size(), 1u);
    EXPECT_EQ(b.gen->ListPopulation()[0]->sX.size(), 72u);
    EXPECT_EQ(b.gen->ListPopulation()[0]->Pokolenie, 1);

    const double code = roundHalfEven(2.5 / b.s.NormA[1]);
    EXPECT_EQ(code, 4999990);
    const std::string gene = IntToBin(static_cast<std::int64_t>(code), 24);
    EXPECT_EQ(gene, "010011000100101100110110");
    OptArray Ao{};
    Ao[4] = 123; // entries above iop stay as they are
    b.gen->XromeToA(gene + std::string(24, '0') + IntToBin(1, 24), Ao);
    EXPECT_NEAR(Ao[1], 2.49999999999, 5e-12);
    EXPECT_EQ(Ao[2], 0);
    EXPECT_DOUBLE_EQ(Ao[3], b.s.NormA[3]);
    EXPECT_EQ(Ao[4], 123);
}

TEST(GeneticCoding, CoarsePrecisions) {
    struct Case {
        const char* precision;
        int bits;
    };
    for (const Case c : {Case{"1", 1}, {"0.5", 2}, {"0.3", 2}, {"0.0000001", 24}}) {
        Bench b(fields("2", "1", c.precision));
        b.gen->MakePopulation();
        EXPECT_EQ(b.gen->ListGens()[0].gLength, c.bits) << c.precision;
        EXPECT_EQ(b.gen->LengthXrome(), 3 * c.bits) << c.precision;
    }
    // One digit per gene: each parameter is 0 or its upper bound.
    Bench b(fields("2", "1", "1"));
    b.gen->MakePopulation();
    OptArray Ao{};
    b.gen->XromeToA("101", Ao);
    EXPECT_DOUBLE_EQ(Ao[1], 5.00001);
    EXPECT_EQ(Ao[2], 0);
    EXPECT_DOUBLE_EQ(Ao[3], 5.1);
}

TEST(GeneticObjectiveTest, SearchedParametersByFlags) {
    struct Case {
        bool sredOpt, skoOpt;
        int iop;
        int mu, sig; // index into Ao, 0 = from the state
    };
    for (const Case c : {Case{false, false, 3, 0, 0},
                         {true, false, 4, 4, 0},
                         {false, true, 4, 0, 4},
                         {true, true, 5, 4, 5}}) {
        Analysis s = sample();
        s.Sred_Opt = c.sredOpt;
        s.SKO_Opt = c.skoOpt;
        startGenetic(s, GeneticFields{}, kPoint);
        EXPECT_EQ(s.iop, c.iop);
        const OptArray Ao = {0, 1.3, 2e-5, 1.2, 1500, 400};
        const double Mu = c.mu ? Ao[c.mu] : s.Sred;
        const double Sig = c.sig ? Ao[c.sig] : s.SKO;
        Mod_Weib m;
        m.F_norm.resize(s.Hist_Arr.size());
        m.F_Weib.resize(s.Hist_Arr.size());
        m.Kol_F_priv.resize(s.Hist_Arr.size());
        GeneticObjective objective(s);
        EXPECT_EQ(objective(Ao), Pirson_ZFGen(s, Ao[2], Ao[1], Ao[3], Mu, Sig, m)) << c.iop;
    }
}

TEST(GeneticObjectiveTest, SameBitsAsPirsonZFGen) {
    // The sample's histogram, and a long one of the full 31 intervals.
    Analysis shortHist = sample();
    std::vector<double> times;
    for (int k = 0; k < 31; ++k) {
        const double mid = k < 8 ? 50 + 100 * k : 900 + 200 * (k - 8);
        for (int j = 0; j <= (k * 7) % 9; ++j)
            times.push_back(mid + j);
    }
    Analysis longHist = test::makeState(times, 4000, 3000, 1200);
    hist(longHist);
    ASSERT_EQ(longHist.Hist_Arr.size(), 31u);
    hist(shortHist);
    for (Analysis* s : {&shortHist, &longHist}) {
        for (bool searched : {false, true}) {
            s->Sred_Opt = s->SKO_Opt = searched;
            GeneticObjective objective(*s);
            Mod_Weib m;
            m.F_norm.resize(s->Hist_Arr.size());
            m.F_Weib.resize(s->Hist_Arr.size());
            m.Kol_F_priv.resize(s->Hist_Arr.size());
            std::mt19937 rng(11);
            // The whole decoded range, up to 1.68 times the upper bounds, with
            // zeros, repeated laws and saturated ones among them.
            std::uniform_real_distribution<double> u(0, 1.68);
            OptArray prev{};
            for (int k = 0; k < 3000; ++k) {
                OptArray Ao{0,
                            u(rng) * 5,
                            std::pow(10.0, -8 * u(rng)) * 5,
                            u(rng) * 5.1,
                            80 + u(rng) * 600,
                            30 + u(rng) * 100};
                if (k % 7 == 0) Ao[2] = 0;
                if (k % 11 == 0) Ao[1] = 0;
                if (k % 5 == 0) Ao[1] = prev[1], Ao[2] = prev[2];
                if (k % 13 == 0) Ao[2] = 5; // F is 1 from the first boundary on
                prev = Ao;
                const double Mu = searched ? Ao[4] : s->Sred;
                const double Sig = searched ? Ao[5] : s->SKO;
                const double want = Pirson_ZFGen(*s, Ao[2], Ao[1], Ao[3], Mu, Sig, m);
                const double got = objective(Ao);
                ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(want))
                    << "k=" << k << " A=" << Ao[2] << " B=" << Ao[1] << " K=" << Ao[3];
            }
        }
    }
}

TEST(GeneticObjectiveTest, RepeatFactorPenalty) {
    Analysis s = sample();
    hist(s);
    Analysis wide = s;
    wide.Alim[2][3] = 100; // no penalty up to 100.1
    GeneticObjective objective(s), unpenalised(wide);
    for (double K : {10.2, 5.1, 1.0}) {
        const OptArray Ao{0, 1.4, 3e-5, K, 0, 0};
        const double factor = K > 5.1 ? 4 : 1;
        EXPECT_EQ(objective(Ao), factor * unpenalised(Ao)) << K;
    }
}

TEST(GeneticObjectiveTest, ZeroDeviationIsAnError) {
    Analysis s = sample();
    s.SKO_Opt = true;
    hist(s);
    GeneticObjective objective(s);
    EXPECT_THROW(objective(OptArray{0, 1.4, 3e-5, 1, 0, 0}), Error);
    EXPECT_TRUE(std::isfinite(objective(OptArray{0, 1.4, 3e-5, 1, 300, 0})));
}

TEST(GeneticOperators, CrossoverAndMutationCounts) {
    Bench b(fields("3000", "1500"));
    b.gen->MakePopulation();
    b.gen->SortList();
    b.gen->setProbabilities(55.0 / 101, 15.0 / 101);
    EXPECT_EQ(b.gen->CrossingOver(9), 1634);
    const auto& pop = b.gen->ListPopulation();
    ASSERT_EQ(pop.size(), 6268u);
    for (std::size_t i = 3000; i < pop.size(); ++i) {
        ASSERT_EQ(pop[i]->Pokolenie, 9);
        ASSERT_EQ(pop[i]->sX.size(), 72u);
    }
    b.gen->SortList();
    for (std::size_t i = 1; i < pop.size(); ++i)
        ASSERT_LE(pop[i - 1]->Celev_F, pop[i]->Celev_F);
    b.gen->DestroyBad(3000);
    EXPECT_EQ(pop.size(), 3000u);
    EXPECT_EQ(b.gen->Mutation(), 446);
}

TEST(GeneticOperators, MutantsAreRatedOnTheirNewChromosome) {
    Bench b(fields("50", "10"));
    b.gen->MakePopulation();
    b.gen->SortList();
    b.gen->setProbabilities(0, 0.5);
    std::vector<std::string> before;
    for (const auto* x : b.gen->ListPopulation())
        before.push_back(x->sX);
    EXPECT_EQ(b.gen->Mutation(), 25);
    GeneticObjective objective(b.s);
    int changed = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        const Xromosome* x = b.gen->ListPopulation()[i];
        if (x->sX == before[i]) continue;
        ++changed;
        OptArray Ao = b.s.Ao;
        b.gen->XromeToA(x->sX, Ao);
        EXPECT_EQ(x->Celev_F, objective(Ao)) << i;
    }
    EXPECT_GT(changed, 0);
    // Only the mutants move when the list is sorted again.
    std::vector<const Xromosome*> records(b.gen->ListPopulation().begin(), b.gen->ListPopulation().end());
    b.gen->SortList();
    const auto& pop = b.gen->ListPopulation();
    for (std::size_t i = 1; i < pop.size(); ++i)
        ASSERT_LE(pop[i - 1]->Celev_F, pop[i]->Celev_F);
    std::vector<const Xromosome*> after(pop.begin(), pop.end());
    std::sort(records.begin(), records.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, records);
}

TEST(GeneticOperators, PopulationOfOne) {
    Bench b(fields("1", "1"));
    b.gen->MakePopulation();
    b.gen->setProbabilities(55.0 / 101, 0);
    EXPECT_EQ(b.gen->CrossingOver(2), 1);
    const auto& pop = b.gen->ListPopulation();
    ASSERT_EQ(pop.size(), 3u);
    EXPECT_EQ(pop[1]->sX, pop[0]->sX);
    EXPECT_EQ(pop[2]->sX, pop[0]->sX);
}

TEST(GeneticOperators, DestroyBadToZeroEmptiesTheGeneTable) {
    Bench b(fields("20", "1"));
    b.gen->MakePopulation();
    b.gen->DestroyBad(5);
    EXPECT_EQ(b.gen->ListPopulation().size(), 5u);
    EXPECT_EQ(b.gen->ListGens().size(), 3u);
    b.gen->DestroyBad(0);
    EXPECT_TRUE(b.gen->ListPopulation().empty());
    EXPECT_TRUE(b.gen->ListGens().empty());
}

TEST(GeneticOperators, MoveBestCopies) {
    struct Case {
        const char* text;
        int stored;
        int copied;
        bool emptied;
    };
    for (const Case c : {Case{"50", 300, 51, true},
                         {"50", 30, 30, true},
                         {"50", 51, 51, true},
                         {"0", 10, 1, true},
                         {"-1", 10, 0, true},
                         {"abc", 10, 0, false}}) {
        Bench b(fields("60", "1"));
        b.host.copyText = c.text;
        b.gen->MakePopulation();
        b.gen->SortList();
        for (int g = 0; g < c.stored; ++g)
            b.gen->StoreBest(g + 1);
        const std::vector<Xromosome*> before = b.gen->ListPopulation();
        EXPECT_EQ(b.gen->MoveBest(301), c.copied) << c.text << "/" << c.stored;
        EXPECT_EQ(b.gen->ListBest().empty(), c.emptied) << c.text;
        EXPECT_EQ(b.gen->ListPopulation().size(), 60u);
        if (!c.emptied) EXPECT_EQ(b.gen->ListPopulation(), before);
    }
}

TEST(GeneticOperators, SortOrder) {
    Xromosome a{"0", 1.5, 1}, b{"1", 1.5, 2}, c{"1", -2, 3};
    EXPECT_EQ(SortPopulation(&a, &b), 0);
    EXPECT_EQ(SortPopulation(&c, &a), -1);
    EXPECT_EQ(SortPopulation(&a, &c), 1);
}

TEST(GeneticRun, ScheduleOfTheFirstGenerations) {
    Analysis s = sample();
    Host host;
    GeneticControl control;
    std::vector<GenerationTrace> trace;
    GeneticOptions o = seeded(5);
    o.onGeneration = [&](const GenerationTrace& t) {
        trace.push_back(t);
        if (t.g == 2) control.Stop_Gen = true;
    };
    const GeneticOutcome out = runGenetic(s, fields("100", "1500"), host, control, o);
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(out.generations, 2);
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_DOUBLE_EQ(trace[0].fPCrossingOver, 55.0 / 101);
    EXPECT_DOUBLE_EQ(trace[0].fPMutation, 15.0 / 101);
    EXPECT_NEAR(trace[0].fPCrossingOver, 0.5446, 5e-5);
    EXPECT_NEAR(trace[0].fPMutation, 0.1485, 5e-5);
    EXPECT_EQ(trace[0].crossovers, 54);
    EXPECT_EQ(trace[0].mutations, 15);
    EXPECT_NEAR(trace[1].fPCrossingOver, 0.37605, 5e-6);
    EXPECT_NEAR(trace[1].fPMutation, 0.0045, 5e-6);
    EXPECT_EQ(trace[1].crossovers, 38);
    EXPECT_EQ(host.tb1, 38);
    EXPECT_EQ(host.tb2, 0);
    // The first generation follows the user's track bars and moves neither.
    const std::vector<std::string> firstGeneration(host.calls.begin(), host.calls.begin() + 3);
    EXPECT_EQ(firstGeneration, (std::vector<std::string>{"tb1?", "tb2?", "log"}));
    EXPECT_EQ(host.count(" ЦФ="), trace[0].newBest + trace[1].newBest);
    EXPECT_EQ(host.log[0].rfind(" ЦФ=", 0), 0u);
    EXPECT_EQ(host.generationsText, "2");
    // Stopped after 2 of 1500: Round(2 * 100 / 1500) is 0, but a stopped bar is never empty.
    EXPECT_EQ(host.progress, 1);
}

TEST(GeneticRun, UserSettingHoldsForOneGeneration) {
    Analysis s = sample();
    Host host;
    GeneticControl control;
    std::vector<GenerationTrace> trace;
    GeneticOptions o = seeded(5);
    o.onGeneration = [&](const GenerationTrace& t) {
        trace.push_back(t);
        if (t.g == 3) host.tb1 = 90;
        if (t.g == 5) control.Stop_Gen = true;
    };
    runGenetic(s, fields("20", "1500"), host, control, o);
    ASSERT_EQ(trace.size(), 5u);
    EXPECT_DOUBLE_EQ(trace[3].fPCrossingOver, 90.0 / 101);
    EXPECT_NEAR(trace[4].fPCrossingOver, 0.45 * std::fabs(std::sin(1 - 8 * 5.0 / 1500)), 1e-15);
}

TEST(GeneticRun, CopyBestGenerationsAndGenerationField) {
    struct Case {
        const char* generations;
        std::vector<std::pair<long long, int>> copies; // generation, records copied
        const char* finalText;
    };
    for (const Case& c : {Case{"20", {{5, 4}, {13, 8}, {17, 4}}, "4"},
                          Case{"1500", {{301, 51}, {901, 51}, {1201, 51}}, "300"}}) {
        Analysis s = sample();
        Host host;
        GeneticControl control;
        std::vector<std::pair<long long, int>> copies;
        GeneticOptions o = seeded(3);
        o.onGeneration = [&](const GenerationTrace& t) {
            if (t.copied >= 0) copies.emplace_back(t.g, t.copied);
        };
        const GeneticOutcome out = runGenetic(s, fields("3", c.generations), host, control, o);
        EXPECT_EQ(copies, c.copies) << c.generations;
        EXPECT_EQ(host.count("Копирование лучших"), static_cast<long long>(c.copies.size()));
        EXPECT_EQ(host.generationsText, c.finalText);
        EXPECT_EQ(out.generations, std::stoll(c.generations));
        EXPECT_FALSE(out.stopped);
        EXPECT_EQ(host.progress, 100);
        EXPECT_EQ(host.shown, 1);
        EXPECT_EQ(host.calls.back(), "show");
        EXPECT_EQ(host.log.back().rfind("Доверительный 95% интервал модели ", 0), 0u);
    }
}

TEST(GeneticRun, CopyBestButtonPressedTwiceCopiesOnce) {
    Analysis s = sample();
    Host host;
    GeneticControl control;
    std::vector<long long> at;
    GeneticOptions o = seeded(3);
    o.onGeneration = [&](const GenerationTrace& t) {
        if (t.copied >= 0) at.push_back(t.g);
        if (t.g == 7) control.bCopyBest = true, control.bCopyBest = true;
    };
    runGenetic(s, fields("5", "10"), host, control, o);
    EXPECT_EQ(at, (std::vector<long long>{3, 7, 8, 9})); // 0.2, 0.6, 0.8 of 10: starts of 3, 7, 9
}

namespace {

// Presses "Stop" during generation `at`, before its crossover.
class Stopping : public Host {
  public:
    GeneticControl* control = nullptr;
    int at = 0;
    int asked = 0;
    bool detailedProgress() override {
        if (++asked == at) control->Stop_Gen = true;
        return Host::detailedProgress();
    }
};

} // namespace

TEST(GeneticRun, StopEndsAfterTheCurrentGeneration) {
    Analysis s = sample();
    GeneticControl control;
    Stopping host;
    host.control = &control;
    host.at = 3;
    const GeneticOutcome out = runGenetic(s, fields("30", "100"), host, control, seeded(9));
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(out.generations, 3);
    // Generation 3 ran to its end; the bar, a generation ahead while running
    // (Round(4 * 100 / 100)), comes back to the 3 % completed.
    EXPECT_EQ(host.progress, 3);
    ASSERT_GE(host.log.size(), 2u);
    EXPECT_EQ(host.log[host.log.size() - 2], "Расчет остановлен пользователем на поколении 3 из 100");
    // Said once the loop has ended, before the results are written and shown.
    const std::vector<std::string> tail(host.calls.end() - 6, host.calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"detail?", "progress=4", "log", "progress=3", "log", "show"}));
    EXPECT_TRUE(s.models[ModelId::Genetic].Executed);
    EXPECT_EQ(s.models[ModelId::Genetic].A, s.Aopt[2]);
    EXPECT_EQ(s.models[ModelId::Genetic].B, s.Aopt[1]);
    EXPECT_EQ(s.models[ModelId::Genetic].K_powtor, s.Aopt[3]);
}

TEST(GeneticRun, WindowClosedBeforeTheRunStartsEndsItAfterOneGeneration) {
    // A stop asked before the run has begun is cleared by its start, as the
    // button's is; a window going away is not, or closing would wait for
    // every generation.
    Analysis s = sample();
    GeneticControl control;
    control.Stop_Gen = true;
    control.abandon = true;
    Stopping host;
    host.control = &control;
    host.at = 1000000;
    const GeneticOutcome out = runGenetic(s, fields("30", "1000000"), host, control, seeded(9));
    EXPECT_EQ(out.generations, 1);
}

TEST(GeneticRun, StoppedBarIsNeitherEmptyNorFull) {
    struct Case {
        int at;
        const char* generations;
        int progress;
    };
    // Round(100 / 1500) = 0; Round(199 * 100 / 200) = Round(99.5) = 100 and
    // Round(37 * 100 / 40) = Round(92.5) = 92, halves going to the even neighbour.
    for (const Case c : {Case{1, "1500", 1}, {199, "200", 99}, {37, "40", 92}}) {
        Analysis s = sample();
        GeneticControl control;
        Stopping host;
        host.control = &control;
        host.at = c.at;
        const GeneticOutcome out = runGenetic(s, fields("4", c.generations), host, control, seeded(2));
        EXPECT_TRUE(out.stopped) << c.at;
        EXPECT_EQ(out.generations, c.at);
        EXPECT_EQ(host.progress, c.progress) << c.at;
        EXPECT_EQ(host.count("Расчет остановлен пользователем на поколении " + std::to_string(c.at) + " из " +
                             c.generations),
                  1)
            << c.at;
    }
}

TEST(GeneticRun, StopDuringTheLastGenerationIsAFinishedRun) {
    auto run = [](int stopAt) {
        Analysis s = sample();
        GeneticControl control;
        Stopping host;
        host.control = &control;
        host.at = stopAt;
        const GeneticOutcome out = runGenetic(s, fields("30", "10"), host, control, seeded(4));
        return std::make_tuple(out.stopped, out.generations, host.log, host.progress);
    };
    const auto [stopped, generations, log, progress] = run(10);
    const auto [neverStopped, allGenerations, fullLog, fullProgress] = run(0);
    EXPECT_FALSE(stopped);
    EXPECT_FALSE(neverStopped);
    EXPECT_EQ(generations, 10);
    EXPECT_EQ(allGenerations, 10);
    EXPECT_EQ(progress, 100);
    EXPECT_EQ(fullProgress, 100);
    EXPECT_EQ(log, fullLog);
    for (const std::string& l : log)
        EXPECT_EQ(l.find("остановлен"), std::string::npos) << l;
}

TEST(GeneticRun, SameRunForEveryThreadCount) {
    struct Result {
        std::vector<std::string> log;
        OptArray Aopt;
        Mod_Weib M;
        long long generations;
    };
    auto run = [](unsigned threads, std::uint64_t seed) {
        Analysis s = sample();
        s.Sred_Opt = true;
        Host host;
        host.detailed = true;
        GeneticControl control;
        const GeneticOutcome out = runGenetic(s, fields("300", "12"), host, control, seeded(seed, threads));
        return Result{host.log, s.Aopt, s.models[ModelId::Genetic], out.generations};
    };
    const Result one = run(1, 42);
    ASSERT_GT(one.log.size(), 12u * 50); // the "F= ... S2" lines of every crossover
    EXPECT_EQ(std::count(one.log.begin(), one.log.end(), "Создано генов 4"), 12);
    for (unsigned threads : {1u, 2u, 4u}) {
        const Result r = run(threads, 42);
        EXPECT_EQ(r.log, one.log) << threads;
        EXPECT_EQ(r.Aopt, one.Aopt) << threads;
        EXPECT_EQ(r.M.F_norm, one.M.F_norm) << threads;
        EXPECT_EQ(r.M.Kol_F_priv, one.M.Kol_F_priv) << threads;
        EXPECT_EQ(r.M.SKO_out, one.M.SKO_out) << threads;
        EXPECT_EQ(r.generations, 12);
    }
    EXPECT_NE(run(2, 43).log, one.log);
}

TEST(GeneticRun, SearchedMeanBecomesTheCensoringMean) {
    Analysis s = sample();
    s.Sred_Opt = true;
    const double sko = s.SKO;
    Host host;
    GeneticControl control;
    runGenetic(s, fields("200", "8"), host, control, seeded(1));
    EXPECT_EQ(s.Sred, s.Aopt[4]);
    EXPECT_EQ(s.models[ModelId::Genetic].Sred, s.Aopt[4]);
    EXPECT_EQ(s.SKO, sko);
    EXPECT_EQ(s.models[ModelId::Genetic].SKO, sko);
    EXPECT_TRUE(s.models[ModelId::Genetic].Executed);
    ASSERT_EQ(s.models[ModelId::Genetic].F_Weib.size(), s.Hist_Arr.size());
    // The write-up's curves are those of the stored law.
    EXPECT_EQ(s.models[ModelId::Genetic].F_Weib[3],
              weibCDF2(s.models[ModelId::Genetic].A, s.models[ModelId::Genetic].B, s.Hist_Arr[2].time,
                       s.Hist_Arr[3].time));
}

TEST(GeneticRun, RunOnACopyLeavesTheStateUntilItsResultIsApplied) {
    // The window runs TGen on its worker while its own thread keeps the
    // state: the run must neither write it nor show anything from it.
    Bench b(fields("40", "6"), 3);
    const Analysis before = b.s;
    b.gen->Execute();
    EXPECT_FALSE(b.s.models[ModelId::Genetic].Executed);
    EXPECT_EQ(b.s.Aopt, before.Aopt);
    EXPECT_EQ(b.host.shown, 0);
    const GeneticResult& r = b.gen->result();
    ASSERT_TRUE(r.model.has_value());
    applyGeneticResult(b.s, r);
    EXPECT_TRUE(b.s.models[ModelId::Genetic].Executed);
    EXPECT_EQ(b.s.models[ModelId::Genetic].A, r.optimiser.Aopt[2]);
    EXPECT_EQ(b.s.Aopt, r.optimiser.Aopt);
    EXPECT_EQ(b.s.iMaxBest, 6);
    // Applied in place, the same run gives the same state.
    Analysis inPlace = sample();
    Host host;
    GeneticControl control;
    runGenetic(inPlace, fields("40", "6"), host, control, seeded(3));
    EXPECT_EQ(inPlace.models[ModelId::Genetic].A, b.s.models[ModelId::Genetic].A);
    EXPECT_EQ(inPlace.Mas_Out_Like, b.s.Mas_Out_Like);
    EXPECT_EQ(host.shown, 1);
}

TEST(GeneticRun, ErrorInAGenerationKeepsTheBestSoFar) {
    Analysis s = sample();
    Host host;
    GeneticControl control;
    int progressCalls = 0;
    GeneticOptions o = seeded(4);
    host.onProgress = [&](int) {
        if (++progressCalls == 3) throw Error("сбой");
    };
    const GeneticOutcome out = runGenetic(s, fields("50", "100"), host, control, o);
    EXPECT_TRUE(out.interrupted);
    EXPECT_EQ(out.error, "сбой");
    EXPECT_EQ(out.generations, 2);
    EXPECT_EQ(host.count("Исключительная ситуация!"), 1);
    const auto at = std::find(host.log.begin(), host.log.end(), "Исключительная ситуация!");
    ASSERT_NE(at, host.log.end());
    ASSERT_EQ(at + 2, host.log.end());
    EXPECT_EQ(at[1].rfind("Доверительный 95% интервал модели ", 0), 0u);
    EXPECT_TRUE(s.models[ModelId::Genetic].Executed);
    EXPECT_EQ(s.models[ModelId::Genetic].A, s.Aopt[2]);
    EXPECT_EQ(host.shown, 1);
}

TEST(GeneticRun, RefusedSettingsStartNothing) {
    struct Case {
        GeneticFields f;
        const char* names;
    };
    auto with = [](auto change) {
        GeneticFields f;
        change(f);
        return f;
    };
    const std::vector<Case> cases = {
        {with([](GeneticFields& f) { f.precisionText = "0"; }), "Поле «Точность подбора»"},
        {with([](GeneticFields& f) { f.precisionText = "-0.1"; }), "Поле «Точность подбора»"},
        {with([](GeneticFields& f) { f.precisionText = "3"; }), "Поле «Точность подбора»"},
        {with([](GeneticFields& f) { f.precisionText = "1e-10"; }), "Поле «Точность подбора»"},
        {with([](GeneticFields& f) { f.precisionText = "0,1"; }),
         "Поле «Точность подбора»: «0,1» не является числом; десятичный разделитель — «.», а не «,»"},
        {with([](GeneticFields& f) { f.populationSizeText = "0"; }),
         "Поле «Размер популяции»: размер популяции должен быть"},
        {with([](GeneticFields& f) { f.populationSizeText = "-5"; }),
         "Поле «Размер популяции»: размер популяции должен быть"},
        {with([](GeneticFields& f) { f.populationSizeText = "3000.5"; }),
         "Поле «Размер популяции»: «3000.5» не является целым числом"},
        {with([](GeneticFields& f) { f.generationsText = "0"; }),
         "Поле «Число поколений»: число поколений должно быть не меньше 1"},
        {with([](GeneticFields& f) { f.generationsText = "1e3"; }),
         "Поле «Число поколений»: «1e3» не является целым числом"},
        {with([](GeneticFields& f) { f.copyBestCountText = "5.5"; }),
         "Поле «шт.»: «5.5» не является целым числом"},
    };
    for (const Case& c : cases) {
        Analysis s = sample();
        s.models[ModelId::Genetic].Executed = true;
        s.models[ModelId::Genetic].A = 0.25;
        const Analysis before = s;
        Host host;
        GeneticControl control;
        const std::string e = errorOf([&] { runGenetic(s, c.f, host, control, seeded(1)); });
        EXPECT_NE(e.find(c.names), std::string::npos) << e;
        EXPECT_TRUE(host.calls.empty());
        EXPECT_EQ(s.models[ModelId::Genetic].A, 0.25);
        EXPECT_EQ(s.iop, before.iop);
        EXPECT_EQ(s.Precision, before.Precision);
        EXPECT_EQ(s.Hist_Arr.size(), before.Hist_Arr.size());
    }
    // Limits that are still accepted.
    for (const char* p : {"4.7e-10", "1.4", "0.0000001"}) {
        GeneticFields f;
        f.precisionText = p;
        EXPECT_NO_THROW(readGeneticFields(f, kPoint)) << p;
    }
    EXPECT_EQ(
        readGeneticFields(with([](GeneticFields& f) { f.copyBestCountText = "-3"; }), kPoint).copyBestCount,
        -3);

    Analysis empty;
    Host host;
    GeneticControl control;
    EXPECT_NE(errorOf([&] { runGenetic(empty, GeneticFields{}, host, control); }).find("Нет данных"),
              std::string::npos);
}

TEST(GeneticRun, DegenerateBestIsNotWritten) {
    // One digit per gene: every parameter is 0 or its upper bound, and the
    // best of such laws has no failures at all.
    Analysis s = sample();
    s.models[ModelId::Genetic].Executed = false;
    Host host;
    GeneticControl control;
    const std::string e = errorOf([&] { runGenetic(s, fields("40", "5", "1"), host, control, seeded(2)); });
    EXPECT_NE(e.find("модель «Генетическая» не записана"), std::string::npos) << e;
    EXPECT_FALSE(s.models[ModelId::Genetic].Executed);
    EXPECT_EQ(host.shown, 0);
}
