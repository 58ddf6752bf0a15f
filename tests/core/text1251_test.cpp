#include "relan/text1251.hpp"
#include "relan/text_decoding.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace relan;

TEST(Cp1251, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(cp1251::fromUtf8(cp1251::toUtf8(all)), all);
}

TEST(Cp1251, KnownLetters) {
    EXPECT_EQ(cp1251::toUtf8("\xC0\xFF\xA8\xB8\xB9"), "АяЁё№");
    EXPECT_EQ(cp1251::fromUtf8("Насос"), "\xCD\xE0\xF1\xEE\xF1");
    EXPECT_EQ(cp1251::fromUtf8("日本"), "??"); // outside the code page
}

TEST(LowerCase, EveryLetterOfTheCodePageAndBeyond) {
    EXPECT_EQ(text::lowerUtf8("НАСОС ЁЛКА ЇЖАК ІЄҐЎ ЂЉЊЋЏ PUMP"), "насос ёлка їжак ієґў ђљњћџ pump");
    EXPECT_EQ(text::lowerUtf8("ÉCROU Ø × ҚАЗАҚ ӘЛЕМ Ӏ"), "écrou ø × қазақ әлем ӏ");
    EXPECT_EQ(text::lowerUtf8("A\xFF\xC0Б"), "a\xFF\xC0б"); // bytes that are not UTF-8 stay
}

TEST(Visible, ControlsAndStrayBytesAreShownAndLongTextsCut) {
    EXPECT_EQ(text::visible(std::string("a\0b\tв\x7F", 7)), "a\\x00b\\x09в\\x7F");
    EXPECT_EQ(text::visible(cp1251::toUtf8("1\x98")), "1\\x98");
    EXPECT_EQ(text::visible("\xC0z"), "\\xC0z");
    EXPECT_EQ(text::visible("абвгд", 3), "абв…");
    EXPECT_EQ(text::quoted(""), "«»");
}

TEST(Decoding, TheBytesDecideTheEncoding) {
    struct Case {
        std::string bytes;
        text::Encoding encoding;
        std::string utf8;
    };
    for (const Case& c : std::vector<Case>{
             {"plain ASCII\r\n", text::Encoding::Cp1251, "plain ASCII\r\n"},
             {cp1251::fromUtf8("Отказ ёлки"), text::Encoding::Cp1251, "Отказ ёлки"},
             {"Отказ", text::Encoding::Utf8, "Отказ"},
             {"\xEF\xBB\xBFОтказ", text::Encoding::Utf8Bom, "Отказ"},
             {std::string("\xFF\xFE\x1E\x04\n\x00", 6), text::Encoding::Utf16LE, "О\n"},
             {std::string("\xFE\xFF\x04\x1E\xD8\x3D\xDE\x00", 8), text::Encoding::Utf16BE, "О😀"},
             {"a\rb\r", text::Encoding::Cp1251, "a\nb\n"},     // CR alone ends lines
             {"a\r\nb\r", text::Encoding::Cp1251, "a\r\nb\r"}, // ... but not in a CR LF file
             // An overlong form is not UTF-8, so the bytes are Windows-1251.
             {"\xC0\xAF", text::Encoding::Cp1251, "АЇ"},
         }) {
        const auto d = text::decodeInput(c.bytes, "f.txt");
        EXPECT_EQ(d.encoding, c.encoding) << c.utf8;
        EXPECT_EQ(d.utf8, c.utf8);
    }
}

TEST(Trim, ControlCodesAtBothEnds) {
    EXPECT_EQ(trimControl(std::string_view("\t \0 abc d\r\n", 11)), "abc d");
    EXPECT_EQ(trimControl("   "), "");
}
