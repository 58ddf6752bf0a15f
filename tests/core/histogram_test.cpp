#include "fixtures.hpp"

#include "relan/error.hpp"
#include "relan/histogram.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

using namespace relan;
using relan::test::makeState;

namespace {

struct Interval {
    double time;
    int sum;
};

std::vector<Interval> intervals(const Analysis& s) {
    std::vector<Interval> out;
    for (const auto& r : s.Hist_Arr)
        out.push_back({r.time, r.Sum});
    return out;
}

bool operator==(const Interval& a, const Interval& b) {
    return a.time == b.time && a.sum == b.sum;
}
std::ostream& operator<<(std::ostream& os, const Interval& i) {
    return os << "{" << i.time << "," << i.sum << "}";
}

} // namespace

TEST(Histogram, SmallCases) {
    struct Case {
        std::vector<double> times;
        std::vector<Interval> expected;
    } cases[] = {
        {{50}, {{100, 1}}},
        {{50, 100.05}, {{100, 2}, {200, 0}}}, // within 0.1 h of the boundary, yet the boundary was below it
        {{50, 350}, {{100, 1}, {400, 1}}},    // the empty stretch is merged
        {{100.1}, {{200, 1}}},                // first boundary +0.1 is not above 100.1
        {{0.2, 0.3}, {{100, 2}}},
    };
    for (const auto& c : cases) {
        auto s = makeState(c.times, 100, 1e6, 1);
        hist(s);
        EXPECT_EQ(intervals(s), c.expected);
        EXPECT_EQ(s.D_Hist1, 100);
    }
}

TEST(Histogram, SecondWidthFromTheLastFailureHalvesToEven) {
    struct Case {
        double last;
        int dHist2;
    } cases[] = {{2300.5, 100}, {2301.5, 200}, {0.4, 100}, {91024, 200}, {91024.6, 200}};
    for (const auto& c : cases) {
        auto s = makeState({0.1, c.last}, 100, 1e9, 1);
        hist(s);
        EXPECT_EQ(s.D_Hist2, c.dHist2) << c.last;
        EXPECT_LE(s.Hist_Arr.size(), 31u);
    }
}

TEST(Histogram, CrowdedStartHalvesTheFirstWidth) {
    std::vector<double> t;
    for (int i = 1; i <= 80; ++i)
        t.push_back(i * 3.5); // 80 failures before 300 h
    auto s = makeState(t, 1000, 1e6, 1);
    hist(s);
    // 100 -> 50 -> 25 -> 12 -> 6: the first width at which more than 10 intervals result.
    EXPECT_EQ(s.D_Hist1, 6);
    EXPECT_EQ(s.Hist_Arr.size(), 11u);
    EXPECT_EQ(s.Hist_Arr[0].time, s.D_Hist1);
    int total = 0;
    for (const auto& r : s.Hist_Arr)
        total += r.Sum;
    EXPECT_EQ(total, 80);
}

TEST(Histogram, CrowdAtOneTimeStopsHalvingAtOneHour) {
    auto s = makeState(std::vector<double>(71, 5.0), 1000, 1e6, 1);
    hist(s);
    EXPECT_EQ(s.D_Hist1, kMinHistWidth);
    // The empty hours before the crowd merge into its interval.
    ASSERT_EQ(s.Hist_Arr.size(), 1u);
    EXPECT_EQ(s.Hist_Arr[0].time, 5);
    EXPECT_EQ(s.Hist_Arr[0].Sum, 71);
}

TEST(Histogram, LongSpreadDoublesTheSecondWidth) {
    std::vector<double> t;
    for (int i = 0; i < 200; ++i)
        t.push_back(10 + i * 100.0); // 10 .. 19910 h
    auto s = makeState(t, 1000, 1e9, 1);
    hist(s);
    EXPECT_EQ(s.D_Hist2, 1600);
    EXPECT_LE(s.Hist_Arr.size(), 31u);
    for (std::size_t i = 0; i + 1 < s.Hist_Arr.size(); ++i)
        EXPECT_GT(s.Hist_Arr[i].Sum, 0) << i;

    auto veryLong = makeState({1, 5e7}, 1000, 1e9, 1);
    hist(veryLong); // must end quickly, not build millions of intervals
    EXPECT_LE(veryLong.Hist_Arr.size(), 31u);
    auto tooLong = makeState({1, 2e8}, 10, 1e9, 1);
    EXPECT_THROW(hist(tooLong), Error);
}

TEST(Histogram, CountsPerCause) {
    auto s = makeState({10, 20, 30, 150}, 100, 1e6, 1, {1, 0, 2, 2});
    hist(s);
    ASSERT_EQ(s.Hist_Arr.size(), 2u);
    EXPECT_EQ(s.Hist_Arr[0].Npr[1], 1);
    EXPECT_EQ(s.Hist_Arr[0].Npr[2], 1);
    EXPECT_EQ(s.Hist_Arr[0].Nund, 1);
    EXPECT_EQ(s.Hist_Arr[0].Sum, 3);
    EXPECT_EQ(s.Hist_Arr[0].Npr[0], 0);
    EXPECT_EQ(s.Sum_PrichCol[2], 2);
    EXPECT_EQ(s.Sum_PrichCol[0], 0);
    EXPECT_EQ(s.Sum_PrichRow[2], 0);
}

TEST(Histogram, NoFailuresIsRefused) {
    Analysis s;
    EXPECT_THROW(hist(s), Error);
}

TEST(HistMade, ModelledCountsSpreadAndBandLine) {
    auto s = makeState({50, 150, 160}, 10, 1e6, 1);
    hist(s);
    ASSERT_EQ(s.Hist_Arr.size(), 2u);
    std::vector<std::string> log;
    RealArray model;
    double total = 0, sko = 0;
    Hist_Made(s, 0, 1, 1, model, total, sko, NumberFormat{','},
              [&](const std::string& l) { log.push_back(l); });
    // A law with no probability anywhere: every observed count is the deviation.
    EXPECT_EQ(model, (RealArray{0, 0}));
    EXPECT_EQ(total, 0);
    EXPECT_DOUBLE_EQ(sko, std::sqrt((1.0 + 4.0) / 2));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "Доверительный 95% интервал модели = 3,0990,  СКО= 1,5811");

    const double A = 0.002, B = 1.2;
    Hist_Made(s, A, B, 2, model, total, sko, NumberFormat{}, {});
    EXPECT_DOUBLE_EQ(model[1], 10 * 2 * (weibCDF(A, B, 200) - weibCDF(A, B, 100)));
    EXPECT_DOUBLE_EQ(total, model[0] + model[1]);
}

TEST(HistMade, ExactLawHasNoSpread) {
    Analysis s;
    s.Hist_Arr.resize(3);
    for (int i = 0; i < 3; ++i)
        s.Hist_Arr[i].time = 100.0 * (i + 1);
    s.Izd_Prived = 5;
    s.Sred = 1e6;
    s.SKO = 1;
    std::string line;
    RealArray model;
    double total = 1, sko = 1;
    Hist_Made(s, 0.01, 1, 0, model, total, sko, NumberFormat{}, [&](const std::string& l) { line = l; });
    EXPECT_EQ(sko, 0);
    EXPECT_EQ(line, "Доверительный 95% интервал модели = 0.0000,  СКО= 0.0000");
}
