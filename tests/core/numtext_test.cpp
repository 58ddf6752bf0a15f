#include "relan/error.hpp"
#include "relan/numtext.hpp"
#include "relan/time_list.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace relan;

namespace {
const NumberFormat kComma{','};
const NumberFormat kPoint{'.'};
} // namespace

struct FixedCase {
    double v;
    int p, d;
    const char* text;
};

class FixedFormat : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedFormat, UnderDecimalComma) {
    const auto& c = GetParam();
    EXPECT_EQ(formatFixed(c.v, c.p, c.d, kComma), c.text) << c.v << " p=" << c.p << " d=" << c.d;
}
INSTANTIATE_TEST_SUITE_P(Cases, FixedFormat,
                         ::testing::Values(FixedCase{12.345, 3, 1, "12,3"}, FixedCase{123.456, 3, 1, "123,0"},
                                           FixedCase{8765.4, 3, 1, "8,77E3"}, FixedCase{9000, 3, 1, "9E3"},
                                           FixedCase{8765.4, 6, 3, "8765,400"}, FixedCase{2000, 3, 1, "2E3"},
                                           FixedCase{2000, 6, 3, "2000,000"}, FixedCase{1000, 3, 1, "1E3"},
                                           FixedCase{999.96, 3, 1, "1E3"}, FixedCase{99.96, 3, 1, "100,0"},
                                           FixedCase{0.04, 3, 1, "0,0"}, FixedCase{0, 3, 1, "0,0"},
                                           FixedCase{-12.345, 3, 1, "-12,3"}, FixedCase{-0.01, 3, 1, "0,0"},
                                           FixedCase{0.0123456, 3, 5, "0,01230"},
                                           // exact binary ties go to the even neighbour
                                           FixedCase{0.125, 6, 2, "0,12"}, FixedCase{0.375, 6, 2, "0,38"},
                                           FixedCase{12.25, 3, 1, "12,2"},
                                           FixedCase{123456, 3, 1, "1,23E5"}));

struct GeneralCase {
    double v;
    const char* text;
};

class GeneralFormat : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralFormat, UnderDecimalComma) {
    EXPECT_EQ(formatGeneral(GetParam().v, kComma), GetParam().text) << GetParam().v;
}
INSTANTIATE_TEST_SUITE_P(Cases, GeneralFormat,
                         ::testing::Values(GeneralCase{4380, "4380"}, GeneralCase{312.5, "312,5"},
                                           GeneralCase{0, "0"}, GeneralCase{-1.5, "-1,5"},
                                           GeneralCase{0.1 + 0.2, "0,3"},
                                           GeneralCase{1.0 / 3, "0,333333333333333"},
                                           GeneralCase{999999999999999, "999999999999999"},
                                           GeneralCase{1e15, "1E15"}, GeneralCase{1.5e20, "1,5E20"},
                                           GeneralCase{0.0001, "0,0001"}, GeneralCase{0.00009, "9E-5"},
                                           GeneralCase{1.25e-7, "1,25E-7"}, GeneralCase{1e-305, "1E-305"}));

TEST(Pattern, PrintfStyleWithSeparator) {
    EXPECT_EQ(formatPattern("%6.2f", {3.14159}, kComma), "  3,14");
    EXPECT_EQ(formatPattern("F= %-8.3f S2", {3.14159}, kComma), "F= 3,142    S2");
    EXPECT_EQ(formatPattern("%7.1f|%4.1f", {-2.25, 99.95}, kPoint), "   -2.2|100.0");
    EXPECT_EQ(formatPattern("%d из %d", {7LL, 12LL}, kPoint), "7 из 12");
    EXPECT_EQ(formatPattern("[%-6s]", {std::string("Кповт")}, kPoint), "[Кповт ]"); // width counts letters
    EXPECT_EQ(formatPattern("%5.4f%%", {0.5}, kComma), "0,5000%");
    EXPECT_THROW(formatPattern("%f %f", {1.0}, kPoint), std::invalid_argument);
}

TEST(Rounding, HalvesToEven) {
    for (auto [v, r] : {std::pair{0.5, 0.0}, {1.5, 2.0}, {2.5, 2.0}, {3.5, 4.0}, {-2.5, -2.0}, {2.4999, 2.0}})
        EXPECT_EQ(roundHalfEven(v), r) << v;
}

struct ParseCase {
    const char* text;
    char decimal;
    bool ok;
    double value;
};

class ParseReal : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseReal, AcceptsOnlyWholeNumbers) {
    const auto& c = GetParam();
    auto v = parseReal(c.text, c.decimal);
    ASSERT_EQ(v.has_value(), c.ok) << "'" << c.text << "'";
    if (c.ok) EXPECT_EQ(*v, c.value) << c.text;
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ParseReal,
    ::testing::Values(ParseCase{"123.5", '.', true, 123.5}, ParseCase{"123,5", ',', true, 123.5},
                      ParseCase{"123,5", '.', false, 0}, ParseCase{"1.234.5", '.', false, 0},
                      ParseCase{" 42 ", '.', true, 42}, ParseCase{"-7.5e2", '.', true, -750},
                      ParseCase{"8,77E3", ',', true, 8770}, ParseCase{"+.5", '.', true, 0.5},
                      ParseCase{"5.", '.', true, 5}, ParseCase{"", '.', false, 0},
                      ParseCase{"-", '.', false, 0}, ParseCase{"1e", '.', false, 0},
                      ParseCase{"12abc", '.', false, 0}, ParseCase{"1e400", '.', false, 0},
                      ParseCase{"1e-400", '.', true, 0}, ParseCase{"inf", '.', false, 0},
                      ParseCase{"nan", '.', false, 0}, ParseCase{"--5", '.', false, 0},
                      ParseCase{"0x10", '.', false, 0}));

TEST(ParseInt, ThirtyTwoBitRange) {
    EXPECT_EQ(parseInt32("2147483647"), 2147483647);
    EXPECT_EQ(parseInt32("-2147483648"), -2147483647 - 1);
    EXPECT_FALSE(parseInt32("2147483648"));
    EXPECT_FALSE(parseInt32("99999999999999999999"));
    EXPECT_FALSE(parseInt32("12.0"));
    EXPECT_FALSE(parseInt32("+"));
    EXPECT_EQ(parseInt32("+15"), 15);
}

TEST(FieldReal, RefusalNamesTheLabelQuotesTheTextAndTheSeparator) {
    struct Case {
        std::string text;
        char decimal;
        std::string expected;
    };
    for (const Case& c : std::vector<Case>{
             {"12;5", ',', "Поле «Среднее время гарантии»: «12;5» не является числом"},
             {"12.5", ',',
              "Поле «Среднее время гарантии»: «12.5» не является числом; десятичный разделитель — «,», а не "
              "«.»"},
             {"12,5", '.',
              "Поле «Среднее время гарантии»: «12,5» не является числом; десятичный разделитель — «.», а не "
              "«,»"},
             {"1,234.5", '.', "Поле «Среднее время гарантии»: «1,234.5» не является числом"},
             {"", '.', "Поле «Среднее время гарантии»: «» не является числом"},
             {std::string("1\0"
                          "2",
                          3),
              '.', "Поле «Среднее время гарантии»: «1\\x002» не является числом"},
         }) {
        try {
            fieldReal(" Среднее время гарантии", c.text, NumberFormat{c.decimal});
            ADD_FAILURE() << c.text;
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()), c.expected);
        }
    }
    EXPECT_EQ(fieldReal("x", "12,5", kComma), 12.5);
}

TEST(TimeList, TheListSeparatorFollowsTheDecimalSeparator) {
    const struct {
        char decimal;
        const char* text;
        std::vector<double> times;
    } cases[] = {
        {'.', "", {}},
        {'.', "1000,2500.5", {1000, 2500.5}},
        {'.', "1000;2500.5", {1000, 2500.5}},
        {'.', "1000, 2500", {1000, 2500}},
        {'.', "1000,", {1000}},
        {'.', "0.0004", {0.0004}},
        {',', "1000;2500,5", {1000, 2500.5}},
        {',', "1000,5;", {1000.5}},
        {',', "1000", {1000}},
        {',', "1e3;2,5E1", {1000, 25}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseTimeList(c.text, NumberFormat{c.decimal}), c.times) << c.decimal << " " << c.text;
}

TEST(TimeList, WhatCouldBeReadTwoWaysOrIsNoTimeIsRefused) {
    const struct {
        char decimal;
        const char* text;
        const char* message;
    } cases[] = {
        {',', "1000,5",
         "«1000,5» можно прочесть по-разному: при десятичной запятой времена разделяются знаком «;» "
         "(1000;2500,5 — два времени, 1000,5; — одно)"},
        {',', "1000,2500,3000", nullptr},
        {'.', "1000;2500,5",
         "«1000;2500,5»: времена разделяются либо запятыми, либо знаком «;», но не тем и другим"},
        {',', "1000.5;2000",
         "«1000.5» не является временем в часах больше 0 (через «;», с десятичной запятой: 1000;2500,5)"},
        {'.', "1000,,2000",
         "«» не является временем в часах больше 0 (через запятую или «;», с десятичной точкой: "
         "1000,2500.5)"},
        {'.', "0", nullptr},
        {'.', "-5", nullptr},
        {'.', "1e999", nullptr},
        {'.', "nan", nullptr},
        {'.', ";", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.decimal) + " " + c.text);
        try {
            parseTimeList(c.text, NumberFormat{c.decimal});
            ADD_FAILURE() << "accepted";
        } catch (const Error& e) {
            if (c.message) EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}
