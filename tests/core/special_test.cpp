#include "relan/error.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace relan;

class ErfAgainstLibrary : public ::testing::TestWithParam<double> {};

// The rational approximations agree with the exact functions to far better
// than any figure the program shows; both sides of the 0.5 and 10 branches.
TEST_P(ErfAgainstLibrary, MatchesExactValues) {
    const double x = GetParam();
    EXPECT_NEAR(Erf(x), std::erf(x), 1e-8) << x;
    EXPECT_NEAR(ErfC(x), std::erfc(x), 1e-8) << x;
    if (std::fabs(x) < 6) EXPECT_NEAR(ErfC(x) / std::erfc(x), 1.0, 2e-7) << x;
}
INSTANTIATE_TEST_SUITE_P(Branches, ErfAgainstLibrary,
                         ::testing::Values(-12.0, -10.0, -9.99, -3.0, -0.5, -0.4999, -0.1, 0.0, 1e-8, 0.25,
                                           0.4999999, 0.5, 0.5000001, 1.0, 2.0, 4.5, 9.999, 10.0, 10.0001,
                                           25.0));

TEST(Erf, BranchBoundaries) {
    // 0.5 already belongs to the large-argument branch of ErfC.
    EXPECT_EQ(Erf(0.5), 1 - ErfC(0.5));
    EXPECT_EQ(Erf(-0.5), -(1 - ErfC(0.5)));
    EXPECT_EQ(ErfC(10), 0.0);
    EXPECT_EQ(ErfC(-10), 2.0);
    EXPECT_EQ(Erf(10.5), 1.0);
    EXPECT_EQ(Erf(-11), -1.0);
    EXPECT_EQ(Erf(0), 0.0);
    EXPECT_EQ(ErfC(0), 1.0);
}

TEST(Normal, CentreAndCensoringLaw) {
    EXPECT_EQ(NormalDistribution(0), 0.5);
    EXPECT_EQ(CDF_Gauss(1800, 450, 1800), 0.5);
    EXPECT_NEAR(CDF_Gauss(1800, 450, 1800 + 450), 0.8413447460685429, 1e-9);
    EXPECT_NEAR(NormalDistribution(-1.959963984540054), 0.025, 1e-9);
}

TEST(Normal, ZeroDeviationIsRefusedNotDividedBy) {
    EXPECT_THROW(CDF_Gauss(1800, 0, 100), Error);
    EXPECT_THROW(CDF_Gauss(1800, 450, std::nan("")), Error);
}

TEST(Weibull, FloorAndIncrements) {
    EXPECT_EQ(weibCDF(0.001, 1.5, 0), 1e-305);
    EXPECT_EQ(weibCDF(1e-30, 1, 1), 1e-305); // 1 - exp(-1e-30) is 0 in doubles
    EXPECT_EQ(weibCDF(0, 1.5, 100), 1e-305);
    EXPECT_NEAR(weibCDF(0.001, 1, 1000), 1 - std::exp(-1.0), 1e-15);
    EXPECT_EQ(weibCDF2(0.001, 1.5, 50, 50), 0.0);
    EXPECT_EQ(weibCDF2(0, 1.5, 10, 20), 0.0);
    EXPECT_EQ(weibCDF2(0.001, -1, 10, 20), 0.0);
    EXPECT_EQ(weibCDF2(5, 3, 1000, 2000), 0.0); // both ends at F = 1
    EXPECT_NEAR(weibCDF2(0.001, 1, 0, 1000), 1 - std::exp(-1.0), 1e-15);
}

TEST(Weibull, DescendingIntervalIsAnError) {
    try {
        weibCDF2(0.001, 1.5, 20, 10);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Параметры должны быть x2>x1");
        EXPECT_EQ(e.caption(), "ObrOtk");
    }
}

TEST(Weibull, InverseRoundTrip) {
    EXPECT_EQ(weibinv(0.001, 1.3, 0), 0.0);
    EXPECT_EQ(weibinv(0.001, 1.3, 1), 1e10);
    EXPECT_EQ(weibinv(0.001, 1.3, 1.5), 1e10);
    for (double t : {1.0, 37.5, 500.0, 4380.0}) {
        const double A = 2e-5, B = 1.4;
        EXPECT_NEAR(weibinv(A, B, weibCDF(A, B, t)), t, t * 1e-9) << t;
    }
}
