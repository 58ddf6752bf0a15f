#include "relan/text1251.hpp"

#include <gtest/gtest.h>

using namespace relan;

TEST(Cp1251, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(cp1251::fromUtf8(cp1251::toUtf8(all)), all);
}

TEST(Cp1251, KnownLetters) {
    EXPECT_EQ(cp1251::toUtf8("\xC0\xFF\xA8\xB8\xB9"), "АяЁё№");
    EXPECT_EQ(cp1251::fromUtf8("Насос"), "\xCD\xE0\xF1\xEE\xF1");
    EXPECT_EQ(cp1251::fromUtf8("日本"), "??"); // outside the code page
}

TEST(Cp1251, LowerCaseFollowsRussianRules) {
    const std::string upper = cp1251::fromUtf8("НАСОС ЁЛКА ЇЖАК ІЄҐЎ ЂЉЊЋЏ PUMP");
    EXPECT_EQ(cp1251::toUtf8(cp1251::lower(upper)), "насос ёлка їжак ієґў ђљњћџ pump");
}

TEST(Trim, ControlCodesAtBothEnds) {
    EXPECT_EQ(trimControl(std::string_view("\t \0 abc d\r\n", 11)), "abc d");
    EXPECT_EQ(trimControl("   "), "");
}
