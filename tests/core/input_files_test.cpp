#include "fixtures.hpp"

#include "relan/error.hpp"
#include "relan/input_files.hpp"
#include "relan/special.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace relan;
using relan::test::cp1251File;
using relan::test::TempDir;

namespace {

const NumberFormat kComma{','};

std::vector<std::string> header(const std::string& sred, const std::string& sko, int fleet, int all,
                                const std::vector<std::string>& causes) {
    std::vector<std::string> h = {"Тестовый парк",
                                  sred,
                                  sko,
                                  std::to_string(fleet),
                                  std::to_string(all),
                                  std::to_string(causes.size())};
    h.insert(h.end(), causes.begin(), causes.end());
    return h;
}

std::vector<std::string> with(std::vector<std::string> head, const std::vector<std::string>& failures) {
    head.insert(head.end(), failures.begin(), failures.end());
    return head;
}

FailureLoad parse(const std::string& bytes, Analysis& s, const NumberFormat& fmt = kComma) {
    return parseFailureData(bytes, "test.rel", fmt, s);
}

// Row i of the failure list, from 0, as the window and the command line show it.
GridRow row(const Analysis& s, const FailureLoad& load, std::size_t i, const NumberFormat& fmt = kComma) {
    return failureListRow(s, load.remarks, i, fmt);
}

std::vector<GridRow> allRows(const Analysis& s, const FailureLoad& load) {
    std::vector<GridRow> rows;
    for (std::size_t i = 0; i < s.MasProbl.size(); ++i)
        rows.push_back(row(s, load, i));
    return rows;
}

std::string errorOf(const std::string& bytes) {
    Analysis s;
    try {
        parse(bytes, s);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(FailureFile, WorkedExample) {
    Analysis s;
    auto load = parse(cp1251File(with(header("4380", "900", 1200, 150, {"Двигатель", "Насос"}),
                                      {"312,5\tОтказ насоса * замена уплотнения"})),
                      s);
    EXPECT_EQ(s.Sred, 4380);
    EXPECT_EQ(s.SKO, 900);
    EXPECT_EQ(s.Kol_Izd_All, 1200);
    EXPECT_EQ(s.KolOtk, 150);
    EXPECT_EQ(s.NPrich, 2);
    ASSERT_EQ(s.MasProbl.size(), 1u);
    const Problems& p = s.MasProbl[0];
    EXPECT_EQ(p.time, 312.5);
    EXPECT_EQ(p.komment, "замена уплотнения");
    EXPECT_EQ(s.Vidy_otkazov[p.chey].Nazv_Prich, "Насос");
    EXPECT_EQ(s.Vidy_otkazov[0].Nazv_Prich, "Не установл.");
    EXPECT_DOUBLE_EQ(s.Izd_Prived, 1200.0 / 150);
    EXPECT_EQ(s.tGar, 4380);
    EXPECT_TRUE(s.uk);
    EXPECT_EQ(load.fields.censoringMeanText, "4380");
    EXPECT_EQ(load.fields.countingPeriodText, "4380");
    EXPECT_EQ(load.fields.fleetSizeText, "1200");
    EXPECT_EQ(load.fields.spiralStepText, "1,00025");
    EXPECT_EQ(load.fields.newtonStepText, "1,00025");
    EXPECT_EQ(load.fields.smirnovStepText, "1,0005");
    EXPECT_EQ(load.fields.geneticPrecisionText, "0,0000002");
    EXPECT_EQ(load.fields.NPokoleny, "1500");
    const GridRow first = row(s, load, 0);
    EXPECT_EQ(first[0], "1");
    EXPECT_EQ(first[1], "312,5");
    EXPECT_EQ(first[2], "Насос, отказов 10% от парка"); // 1 of 8 reduced products
    EXPECT_EQ(first[3], "замена уплотнения");
}

TEST(FailureList, RowsAreTheTextsTheListAlwaysShowed) {
    // The rows the list held for every failure before its texts were made
    // on demand: two shares reached at one failure (the later one named), a
    // line naming two causes of equal count (the one ranked later taken),
    // equal times in file order, an unknown cause, no repair text.
    Analysis s;
    const std::vector<std::string> failures = {
        "300\tнасос * замена уплотнения",
        "100\tдвигатель и насос * ремонт",
        "200,5\tкабина",
        "100\tнеизвестно * осмотр",
        "450\tНАСОС",
        "50\tдвигатель *Xзамена",
        "800\tтечь",
        "650,25\tДвигатель * замена ТНВД",
    };
    const auto load =
        parse(cp1251File(with(header("1000", "300", 10, 12, {"насос", "двигатель", "кабина"}), failures)), s);
    const std::vector<GridRow> expected = {
        {"1", "50", "двигатель, отказов 10% от парка", "Xзамена"},
        {"2", "100", "двигатель, отказов 20% от парка", "ремонт"},
        {"3", "100", "Не установл.", "осмотр"},
        {"4", "200,5", "кабина, отказов 50% от парка с учетом цензурирования", ""},
        {"5", "300", "насос", "замена уплотнения"},
        {"6", "450", "насос, отказов 90% от парка", ""},
        {"7", "650,25", "двигатель", "замена ТНВД"},
        {"8", "800", "Не установл.", ""},
    };
    EXPECT_EQ(allRows(s, load), expected);
    // The number format is the one asked for when the row is shown.
    EXPECT_EQ(row(s, load, 3, NumberFormat{'.'})[1], "200.5");
    EXPECT_EQ(std::string(kFailureListHeadings[3]), "Что ремонтировалось или заменено");
}

TEST(FailureFile, HeaderNumbersSkipBlankLinesAndTrailingText) {
    Analysis s;
    parse(
        cp1251File({"К", "", "  4380.5 часов", "\t900", "", "1200", "150 всего", "1", "Насос", "10\tнасос"}),
        s);
    EXPECT_EQ(s.Sred, 4380.5);
    EXPECT_EQ(s.SKO, 900);
    EXPECT_EQ(s.Kol_Izd_All, 1200);
    EXPECT_EQ(s.KolOtk, 150);
    EXPECT_EQ(s.MasProbl.at(0).chey, 1);
}

TEST(FailureFile, TimesAcceptPointAndComma) {
    Analysis s;
    parse(cp1251File(with(header("4380", "900", 100, 10, {}), {"123.5\tа", "123,5\tб"})), s);
    EXPECT_EQ(s.MasProbl[0].time, 123.5);
    EXPECT_EQ(s.MasProbl[1].time, 123.5);
}

TEST(FailureFile, CauseMatchingIsCaseInsensitiveForCyrillic) {
    Analysis s;
    parse(cp1251File(with(header("4380", "900", 100, 10, {"ЁМКОСТЬ ТОПЛИВНАЯ", "насос"}),
                          {"1\tтечь: ёмкость топливная", "2\tНАСОС гидросистемы", "3\tкабина"})),
          s);
    EXPECT_EQ(s.Vidy_otkazov[s.MasProbl[0].chey].Nazv_Prich, "ЁМКОСТЬ ТОПЛИВНАЯ");
    EXPECT_EQ(s.Vidy_otkazov[s.MasProbl[1].chey].Nazv_Prich, "насос");
    EXPECT_EQ(s.MasProbl[2].chey, 0);
}

TEST(FailureFile, RankingAndDoubleMatches) {
    Analysis s;
    // Ранжирование: Б 3, В 3 (file order kept for the tie), А 1, blank cause last.
    parse(cp1251File(
              with(header("4380", "900", 100, 10, {"альфа", "", "бета", "гамма"}),
                   {"1\tБета", "2\tгамма", "3\tбета и альфа * замена", "4\tГамма", "5\tбета", "6\tгамма"})),
          s);
    EXPECT_EQ(s.Vidy_otkazov[1].Nazv_Prich, "бета");
    EXPECT_EQ(s.Vidy_otkazov[1].Dolya, 3);
    EXPECT_EQ(s.Vidy_otkazov[2].Nazv_Prich, "гамма");
    EXPECT_EQ(s.Vidy_otkazov[3].Nazv_Prich, "альфа");
    EXPECT_EQ(s.Vidy_otkazov[3].Dolya, 1);
    EXPECT_EQ(s.Vidy_otkazov[4].Nazv_Prich, "");
    EXPECT_EQ(s.Vidy_otkazov[4].Dolya, 0);
    EXPECT_EQ(s.B_otk[1].Nazv_Prich, "альфа"); // file order kept in B_otk
    // The line naming two causes counts for both; the later one in the ranked table wins.
    EXPECT_EQ(s.MasProbl[2].chey, 3);
    EXPECT_EQ(s.MasProbl[2].komment, "замена");
}

TEST(FailureFile, RepairTextAfterTheMark) {
    struct Case {
        const char* source;
        const char* komment;
    } cases[] = {
        {"насос * замена", "замена"},
        {"ab *Замена", "Замена"}, // no separating space: the first letter stays
        {"насос*замена", "замена"},
        {"насос *x", "x"},
        {"насос *-5 шт", "-5 шт"},
        {"насос *\tзамена", "замена"},
        {"насос *\u00A0замена", "замена"},        // a no-break space separates too
        {"насос *  два пробела", " два пробела"}, // only one separator is dropped
        {"насос *", ""},
        {"без отметки", ""},
        {"a * b * c", "b * c"},
    };
    for (const auto& c : cases) {
        Analysis s;
        parse(cp1251File(with(header("4380", "900", 100, 10, {}), {std::string("5\t") + c.source})), s);
        EXPECT_EQ(s.MasProbl[0].komment, c.komment) << c.source;
    }
}

TEST(FailureFile, SortKeepsFileOrderOfEqualTimes) {
    Analysis s;
    parse(cp1251File(with(header("4380", "900", 100, 10, {}),
                          {"30\t* a", "10\t* b", "30\t* c", "20\t* d", "10\t* e"})),
          s);
    std::string order;
    for (const auto& p : s.MasProbl)
        order += p.komment;
    EXPECT_EQ(order, "bedac");
}

// The exchange sort the ordering must reproduce, n + 1 full passes.
static void referenceExchangeSort(std::vector<Problems>& z) {
    const std::size_t n = z.size() - 1;
    for (std::size_t pass = 0; pass <= n; ++pass)
        for (std::size_t j = 0; j < n; ++j)
            if (z[j].time > z[j + 1].time) std::swap(z[j], z[j + 1]);
}

TEST(SortMinMax, SameOrderAsTheExchangeSort) {
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        std::vector<Problems> a(1 + rng() % 60);
        for (std::size_t i = 0; i < a.size(); ++i) {
            a[i].time = static_cast<double>(rng() % 12);
            a[i].komment = std::to_string(i);
        }
        auto b = a;
        sort_MinMax(a);
        referenceExchangeSort(b);
        for (std::size_t i = 0; i < a.size(); ++i)
            ASSERT_EQ(a[i].komment, b[i].komment) << round;
    }
}

TEST(FailureFile, LineEndingsAndTheLastLine) {
    const auto lines = with(header("4380", "900", 100, 10, {}), {"1\tа", "2\tб"});
    for (const auto& [bytes, what] : std::vector<std::pair<std::string, std::string>>{
             {cp1251File(lines), "CR LF"},
             {cp1251File(lines, "\n"), "LF"},
             {cp1251File(lines) + "\r\n", "one empty line"},
             {cp1251File(lines).substr(0, cp1251File(lines).size() - 2), "no final break"}}) {
        Analysis s;
        parse(bytes, s);
        EXPECT_EQ(s.Kol_izw, 2) << what;
        EXPECT_EQ(s.MasProbl[1].time, 2) << what;
    }
}

TEST(FailureFile, HostileFilesAreRefusedNamingFileLineAndText) {
    struct Case {
        std::string bytes;
        std::string expected; // the message starts with it
    };
    const auto h = header("4380", "900", 100, 10, {"насос"});
    const std::string at7 = "Ошибка в данных в строке 7 файла test.rel: ";
    const std::string at8 = "Ошибка в данных в строке 8 файла test.rel: ";
    const std::string at9 = "Ошибка в данных в строке 9 файла test.rel: ";
    const std::vector<Case> cases = {
        {"", "Файл test.rel пуст"},
        {"\r\n \r\n\t", "Файл test.rel пуст"},
        {"\xEF\xBB\xBF", "Файл test.rel пуст"},
        {cp1251File({"К"}),
         "Файл test.rel обрывается в заголовке: нет строки 2 (среднее время окончания гарантии)"},
        {cp1251File({"К", "4380"}),
         "Файл test.rel обрывается в заголовке: нет строки 3 (СКО времени окончания гарантии)"},
        {cp1251File({"К", "4380", "900", "100", "10"}),
         "Файл test.rel обрывается в заголовке: нет строки 6 (число причин отказов)"},
        {cp1251File({"К", "4380,5", "900", "1", "1", "0"}),
         "Ошибка в данных в строке 2 файла test.rel: среднее время окончания гарантии: «4380,5» не является "
         "числом; "
         "десятичный разделитель — «.», а не «,»"},
        {cp1251File({"К", "4380", "abc", "1", "1", "0"}),
         "Ошибка в данных в строке 3 файла test.rel: СКО времени окончания гарантии: «abc» не является "
         "числом"},
        {cp1251File({"К", "4380", "900", "12.5", "1", "0"}),
         "Ошибка в данных в строке 4 файла test.rel: количество изделий в гарантийной эксплуатации: «12.5» "
         "не является "
         "целым числом"},
        {cp1251File({"К", "-1800", "900", "100", "10", "0"}),
         "Ошибка в данных в строке 2 файла test.rel: среднее время окончания гарантии должно быть больше 0 "
         "ч, в файле «-1800»"},
        {cp1251File({"К", "4380", "0", "100", "10", "0"}),
         "Ошибка в данных в строке 3 файла test.rel: СКО времени окончания гарантии должно быть больше 0 ч, "
         "в файле «0»"},
        {cp1251File({"К", "4380", "900", "0", "10", "0", "1\tа"}),
         "Ошибка в данных в строке 4 файла test.rel: количество изделий в гарантийной эксплуатации должно "
         "быть больше 0"},
        {cp1251File({"К", "4380", "900", "100", "0", "0"}),
         "Ошибка в данных в строке 5 файла test.rel: количество всех отказов должно быть больше 0, в файле "
         "«0»"},
        {cp1251File({"К", "4380", "900", "100", "10", "19"}),
         "Ошибка в данных в строке 6 файла test.rel: число причин отказов должно быть от 0 до 18, в файле "
         "«19»"},
        {cp1251File({"К", "", "4380", "900", "100", "10", "-1"}),
         "Ошибка в данных в строке 7 файла test.rel: число причин отказов должно быть от 0 до 18, в файле "
         "«-1»"},
        // The header counts more causes than the file names.
        {cp1251File({"К", "4380", "900", "100", "10", "2", "насос", "10\tнасос"}),
         at8 + "в строке 6 указано число причин отказов 2, а здесь вместо названия причины строка отказа "
               "«10\\x09насос»: названий причин в файле 1"},
        {cp1251File({"К", "4380", "900", "100", "10", "3", "насос"}),
         at8 + "в строке 6 указано число причин отказов 3, а названий причин в файле 1"},
        // ... or fewer.
        {cp1251File({"К", "4380", "900", "100", "10", "1", "насос", "двигатель", "1\tнасос"}),
         at8 + "нет табуляции между наработкой и источником отказа в строке «двигатель» (если это название "
               "причины "
               "отказа, то в строке 6 указано число причин отказов 1 — меньше, чем в файле)"},
        {cp1251File({"К", "4380", "900", "100", "1", "0", "1\tа", "2\tб"}),
         "Ошибка в данных в строке 5 файла test.rel: количество всех отказов 1 меньше числа строк отказов в "
         "файле (2)"},
        {cp1251File(with(h, {"1\tа", "1,234.5\tб"})), at9 + "наработка «1,234.5» не является числом"},
        {cp1251File(with(h, {"1\tа", "", "2\tб"})), at9 + "нет табуляции"},
        {cp1251File(with(h, {"1\tа", "2 без табуляции"})),
         at9 + "нет табуляции между наработкой и источником отказа в строке «2 без табуляции»"},
        {cp1251File(with(h, {"1\tа"})) + "\r\n\r\n", at9 + "нет табуляции"},
        {cp1251File(with(h, {"-5\tа"})), at8 + "наработка должна быть больше 0 ч, в файле «-5»"},
        {cp1251File(with(h, {"3\tа", "0,0\tа"})), at9 + "наработка должна быть больше 0 ч, в файле «0,0»"},
        {cp1251File(with(h, {"2e8\tа"})), at8 + "наработка «2e8» ч больше допустимой (100000000 ч)"},
        {cp1251File({"К", "100", "1", "100", "10", "0", "5\tа", "1000\tб"}), at8 + "отказ на наработке 1000"},
        {cp1251File({"К", "4380", "900", "100", "10", "0", std::string(400, '9') + "\tа"}),
         at7 + "наработка «999"},
        {cp1251File({"К", "4380", "900", "100", "10", "0", "1e999\tа"}),
         at7 + "наработка «1e999» не является числом"},
        // Bytes that print as nothing are shown, and a NUL does not end the message.
        {cp1251File({"К", "4380", "900", "100", "10", "0", std::string("1\0\tа", 4)}),
         at7 + "наработка «1\\x00» не является числом"},
        {"К\r\n4380\r\n900\r\n100\r\n10\r\n0\r\n1\x98\tа\r\n", at7 + "наработка «1\\x98» не является числом"},
        // Lines ended by CR alone count as lines, blank ones in the header too.
        {cp1251File({"К", "", "4380", "900", "100", "10", "0", "1\tа", "x\tб"}, "\r"),
         at9 + "наработка «x» не является числом"},
        // Marked as Unicode, but not.
        {"\xFF\xFE" + std::string("K\0\r", 3),
         "Файл test.rel помечен как текст UTF-16, но не декодируется: нечётное число байтов"},
        {std::string("\xFF\xFE", 2) + std::string("\x00\xD8K\x00", 4),
         "Файл test.rel помечен как текст UTF-16, но не декодируется: непарный суррогат в строке 1"},
        {"\xEF\xBB\xBF" + cp1251File({"Отказы", "4380"}),
         "Файл test.rel помечен как текст UTF-8, но в строке 1 байт \\xCE не является символом UTF-8"},
    };
    // Each refusal leaves what was loaded before exactly as it was.
    Analysis before;
    parse(cp1251File(with(header("4380", "900", 1200, 150, {"насос"}), {"10\tнасос", "20\tнасос"})), before);
    for (const auto& c : cases) {
        Analysis s = before;
        std::string msg;
        try {
            parse(c.bytes, s);
        } catch (const Error& e) {
            msg = e.what();
        }
        EXPECT_EQ(msg.rfind(c.expected, 0), 0u) << "got:  " << msg << "\nwant: " << c.expected;
        EXPECT_EQ(s.Comment, before.Comment);
        EXPECT_EQ(s.Sred, before.Sred);
        EXPECT_EQ(s.MasProbl.size(), before.MasProbl.size());
        EXPECT_EQ(s.Vidy_otkazov[1].Nazv_Prich, before.Vidy_otkazov[1].Nazv_Prich);
    }
}

namespace {

// UTF-16 of a UTF-8 text (the sample has only characters of the first plane).
std::string utf16(const std::string& utf8, bool littleEndian) {
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        char32_t c = b;
        std::size_t len = 1;
        if (b >= 0xE0) {
            c = b & 0x0F;
            len = 3;
        } else if (b >= 0xC0) {
            c = b & 0x1F;
            len = 2;
        }
        for (std::size_t k = 1; k < len; ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out += littleEndian ? std::string{lo, hi} : std::string{hi, lo};
    }
    return out;
}

std::string crOnly(std::string bytes) {
    std::string out;
    for (char c : bytes)
        if (c != '\n') out += c;
    return out;
}

} // namespace

TEST(FailureFile, EveryEncodingOfTheSampleLoadsTheSame) {
    const std::string original = readInputFile(RELAN_SAMPLES_DIR "/mtz82_2018.rel");
    const std::string utf8 = cp1251::toUtf8(original);
    Analysis ref;
    const FailureLoad refLoad = parse(original, ref);
    ASSERT_GT(ref.Vidy_otkazov[1].Dolya, 0);
    const struct {
        std::string bytes;
        const char* what;
    } variants[] = {
        {utf8, "UTF-8"},
        {"\xEF\xBB\xBF" + utf8, "UTF-8 with a byte-order mark"},
        {utf16(utf8, true), "UTF-16 LE"},
        {utf16(utf8, false), "UTF-16 BE"},
        {crOnly(original), "lines ended by CR alone"},
    };
    for (const auto& v : variants) {
        Analysis s;
        const FailureLoad load = parse(v.bytes, s);
        EXPECT_EQ(allRows(s, load), allRows(ref, refLoad)) << v.what;
        EXPECT_EQ(s.Comment, ref.Comment) << v.what;
        for (int k = 0; k <= Mx_prich; ++k) {
            EXPECT_EQ(s.Vidy_otkazov[k].Nazv_Prich, ref.Vidy_otkazov[k].Nazv_Prich) << v.what;
            EXPECT_EQ(s.Vidy_otkazov[k].Dolya, ref.Vidy_otkazov[k].Dolya) << v.what;
        }
        ASSERT_EQ(s.MasProbl.size(), ref.MasProbl.size()) << v.what;
        for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
            EXPECT_EQ(s.MasProbl[i].time, ref.MasProbl[i].time);
            EXPECT_EQ(s.MasProbl[i].chey, ref.MasProbl[i].chey);
            EXPECT_EQ(s.MasProbl[i].komment, ref.MasProbl[i].komment);
        }
        EXPECT_EQ(s.t50zen, ref.t50zen) << v.what;
    }
}

TEST(FailureFile, CausesMatchIgnoringCaseInUtf8) {
    // Letters whose upper and lower forms differ in length or lie outside the
    // Russian alphabet must still match.
    Analysis s;
    const std::string bytes = "Парк\n4380\n900\n100\n10\n3\nЁЛКА\nҐанок\nÉCROU\n"
                              "5\tзамена ёлка\n6\tгаНОК ґанок\n7\técrou *Жзамена\n";
    parse(bytes, s);
    ASSERT_EQ(s.MasProbl.size(), 3u);
    for (int k = 1; k <= 3; ++k)
        EXPECT_EQ(s.Vidy_otkazov[k].Dolya, 1) << k;
    EXPECT_EQ(s.MasProbl[2].komment, "Жзамена"); // a letter right after the "*" is the text's own
}

TEST(FailureFile, RefusedLoadLeavesThePreviousDataUsable) {
    Analysis s;
    parse(cp1251File(with(header("4380", "900", 1200, 150, {"насос"}), {"10\tнасос", "20\tнасос"})), s);
    s.models[ModelId::Spiral].A = 0.5; // a model from an earlier calculation
    const Analysis before = s;
    EXPECT_THROW(
        parse(cp1251File(with(header("1000", "100", 50, 5, {"двигатель"}), {"5\tдвигатель", "x\tа"})), s),
        Error);
    EXPECT_EQ(s.Comment, before.Comment);
    EXPECT_EQ(s.Sred, 4380);
    EXPECT_EQ(s.Kol_izw, 2);
    ASSERT_EQ(s.MasProbl.size(), 2u);
    EXPECT_EQ(s.Vidy_otkazov[1].Nazv_Prich, "насос");
    EXPECT_EQ(s.models[ModelId::Spiral].A, 0.5);
    EXPECT_THROW(loadFailureData("/no/such/file.rel", kComma, s), Error);
    EXPECT_EQ(s.MasProbl.size(), 2u);
    EXPECT_TRUE(s.uk);
}

TEST(FailureFile, ThresholdInterpolation) {
    // 12 failures 100 h apart, censoring far away so the corrected sum is
    // practically the plain count.
    std::vector<std::string> failures;
    for (int i = 1; i <= 12; ++i)
        failures.push_back(std::to_string(i * 100) + "\tа");
    struct Case {
        int fleet;
        double t50;
    } cases[] = {{19, 950}, {20, 1000}};
    for (const auto& c : cases) {
        Analysis s;
        auto load = parse(cp1251File(with(header("1e6", "1", c.fleet, 12, {}), failures)), s);
        EXPECT_DOUBLE_EQ(s.Izd_Prived, c.fleet);
        EXPECT_DOUBLE_EQ(s.T50expl, c.t50) << c.fleet;
        EXPECT_EQ(row(s, load, 9)[2], "Не установл., отказов 50% от парка с учетом цензурирования");
        EXPECT_EQ(s.T20expl, 0);
    }
}

TEST(FailureFile, ThresholdAtTheFirstFailureStartsFromZero) {
    Analysis s;
    // Two products, one failure: 50% at once; Frac(1 - 0.5 * 2) = 0 -> the time itself;
    // 10% and 20%: Frac(1 - 0.2) = 0.8 -> 300 - 300 * 0.8 = 60, from Tprev = 0.
    auto load = parse(cp1251File(with(header("1e6", "1", 2, 1, {}), {"300\tа"})), s);
    EXPECT_DOUBLE_EQ(s.T90expl, 300 - 300 * 0.8);
    EXPECT_DOUBLE_EQ(s.T80expl, 300 - 300 * 0.6);
    EXPECT_DOUBLE_EQ(s.T50expl, 300);
    EXPECT_DOUBLE_EQ(s.t50zen, 300);
    EXPECT_EQ(s.T20expl, 0);
    // Four thresholds are reached at this failure; the last one's remark stays.
    EXPECT_EQ(row(s, load, 0)[2], "Не установл., отказов 50% от парка с учетом цензурирования");
}

TEST(FailureFile, CorrectedCountUsesTheCensoringLaw) {
    Analysis s;
    parse(cp1251File(with(header("1000", "300", 10, 4, {}), {"900\tа", "1000\tб", "1200\tв", "1500\tг"})), s);
    double sum = 0;
    for (double t : {900.0, 1000.0})
        sum += 1 / (1 - CDF_Gauss(1000, 300, t));
    // tGar = 1000: the failure exactly at tGar counts.
    EXPECT_DOUBLE_EQ(s.Otk_Izd, sum / 10);
    EXPECT_DOUBLE_EQ(s.tGar, 1000);

    Analysis early;
    parse(cp1251File(with(header("1000", "300", 10, 4, {}), {"900\tа"})), early);
    EXPECT_EQ(early.Otk_Izd, 0);
}

TEST(FailureFile, GenerationCountFromFailureCount) {
    struct Case {
        int kolOtk;
        std::optional<std::string> field;
    } cases[] = {{1, "1500"},    {500, "1500"},   {501, "2000"},         {999, "2000"},
                 {1000, "4000"}, {99999, "4000"}, {100000, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(generationsForFailureCount(c.kolOtk), c.field) << c.kolOtk;
}

TEST(FailureFile, LoadingTwiceGivesTheSameState) {
    TempDir dir;
    const auto path =
        dir.write("a.rel", cp1251File(with(header("2000", "500", 300, 40, {"насос", "двигатель"}),
                                           {"100\tнасос", "50\tдвигатель * ремонт", "75\tкабина"})));
    Analysis s;
    auto first = loadFailureData(path, kComma, s);
    const Analysis afterFirst = s;
    auto second = loadFailureData(path, kComma, s);
    EXPECT_EQ(allRows(afterFirst, first), allRows(s, second));
    const auto& firstProblems = afterFirst.MasProbl;
    ASSERT_EQ(s.MasProbl.size(), firstProblems.size());
    for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
        EXPECT_EQ(s.MasProbl[i].time, firstProblems[i].time);
        EXPECT_EQ(s.MasProbl[i].chey, firstProblems[i].chey);
    }
    EXPECT_EQ(s.Vidy_otkazov[1].Dolya, 1);
}

TEST(FailureFile, HugeLinesAndBinaryJunkDoNotCrash) {
    std::string junk = cp1251File(header("4380", "900", 100, 10, {"насос"}));
    junk += "5\t" + std::string(2'000'000, 'x') + "\r\n";
    junk += std::string("6\t\0\0\xff\xfe*", 8) + "\r\n";
    Analysis s;
    parse(junk, s);
    EXPECT_EQ(s.Kol_izw, 2);
    EXPECT_EQ(s.MasProbl[0].komment.size(), 0u);
    EXPECT_EQ(s.MasProbl[1].komment, "");
}

TEST(FailureFile, ALongCommentIsCutAtACharacterAndTheLogSaysSo) {
    // Bytes of UTF-8 kept, whatever the file's encoding: "ж" is two bytes
    // decoded, "€" (UTF-8 files only) three.
    struct Case {
        const char* what;
        std::string comment;
        bool utf8File;
        std::size_t kept;
    };
    const std::string ascii(10'000, 'x');
    std::string letters; // 2049 letters of two bytes: byte 4096 starts one
    for (int i = 0; i < 2049; ++i)
        letters += "ж";
    const std::string euros = "ab" + [] {
        std::string e;
        for (int i = 0; i < 2000; ++i)
            e += "€";
        return e;
    }(); // 2 + 3 k bytes: bytes 4094..4096 are one euro sign
    const Case cases[] = {
        {"exactly the limit", std::string(4096, 'x'), false, 4096},
        {"ascii", ascii, false, 4096},
        {"cp1251 letters", letters, false, 4096},
        {"letters split at the limit", "x" + letters, false, 4095},
        {"utf-8 euro signs", euros, true, 4094},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> lines = with(header("4380", "900", 100, 10, {"насос"}), {"5\tнасос"});
        lines[0] = c.comment;
        std::string bytes;
        if (c.utf8File)
            for (const auto& l : lines)
                bytes += l + "\n";
        else
            bytes = cp1251File(lines);
        Analysis s;
        const FailureLoad load = parse(bytes, s);
        ASSERT_EQ(s.Comment.size(), c.kept);
        EXPECT_EQ(s.Comment, c.comment.substr(0, c.kept));
        EXPECT_EQ(load.fields.comment, s.Comment);
        EXPECT_EQ(s.Kol_izw, 1); // the rest of the file is read as before
        if (c.comment.size() == c.kept)
            EXPECT_TRUE(load.warnings.empty());
        else
            EXPECT_EQ(load.warnings, (Warnings{warning::CommentCut{"test.rel", c.comment.size(), c.kept}}));
    }
    // The warranty file's comment, which replaces the data's, alike.
    Analysis s;
    const WarrantyLoadFields f =
        parseWarrantyTerms(cp1251File({letters, "1000", "3000"}), "gar.txt", kComma, s);
    EXPECT_EQ(s.Comment, letters.substr(0, 4096));
    EXPECT_EQ(f.comment, s.Comment);
    EXPECT_EQ(f.warnings, (Warnings{warning::CommentCut{"gar.txt", 4098, 4096}}));
}

TEST(FailureFile, SampleShipsAndLoads) {
    Analysis s;
    auto load = loadFailureData(RELAN_SAMPLES_DIR "/mtz82_2018.rel", kComma, s);
    EXPECT_GE(s.Kol_izw, 150);
    EXPECT_LE(s.Kol_izw, 300);
    ASSERT_EQ(s.MasProbl.size(), static_cast<std::size_t>(s.Kol_izw));
    EXPECT_EQ(row(s, load, s.MasProbl.size() - 1)[0], std::to_string(s.Kol_izw));
    EXPECT_GT(s.T90expl, 0);
    int unknown = 0;
    for (const auto& p : s.MasProbl)
        unknown += p.chey == 0;
    EXPECT_GT(unknown, 0);
}

TEST(WarrantyFile, MeanAndDeviation) {
    Analysis s;
    s.Comment = "старый";
    auto f = parseWarrantyTerms(cp1251File({"Сроки гарантии", "1000", "2000 ч, партия 2", "", "3000"}),
                                "gar1.txt", kComma, s);
    EXPECT_EQ(f.termCountText, "3");
    EXPECT_EQ(f.censoringMeanText, "2000");
    EXPECT_EQ(f.termMeanText, "2000,000");
    EXPECT_EQ(f.censoringSdText, "1000");
    EXPECT_EQ(f.termSdText, "1000,000");
    EXPECT_EQ(f.comment, "Сроки гарантии");
    EXPECT_EQ(s.Sred, 2000);
    EXPECT_EQ(s.SKO, 1000);
    EXPECT_EQ(s.Comment, "Сроки гарантии");
    EXPECT_EQ(s.MasTGarant, (RealArray{1000, 2000, 3000}));
    EXPECT_TRUE(s.uk);
}

TEST(WarrantyFile, TrailingBlankLinesAddNoZeroTerm) {
    Analysis s;
    parseWarrantyTerms(cp1251File({"К", "1000", "3000", "", ""}) + "  \t", "gar.txt", kComma, s);
    EXPECT_EQ(s.MasTGarant.size(), 2u);
    EXPECT_EQ(s.Sred, 2000);
}

TEST(WarrantyFile, Refusals) {
    struct Case {
        std::vector<std::string> lines;
        std::string expected;
    } cases[] = {
        {{"К", "1000", "1500,5"},
         "строке 3 файла gar.txt: гарантийный срок «1500,5» не является числом; десятичный разделитель — "
         "«.», а не «,»"},
        {{"К", "1000", "12abc"}, "«12abc»"},
        {{"К", "1000", "-200", "300"},
         "строке 3 файла gar.txt: гарантийный срок не может быть отрицательным, в файле «-200»"},
        {{"К", "0", "0"}, "все гарантийные сроки равны 0"},
        {{"К", "700", "700"}, "все гарантийные сроки одинаковы (700 ч), СКО равно 0"},
        {{}, "Файл gar.txt пуст"},
        {{"К", "1000"}, "хотя бы два значения"},
        {{"К"}, "хотя бы два значения"},
    };
    for (const auto& c : cases) {
        Analysis s;
        s.Comment = "до";
        s.Sred = 7;
        try {
            parseWarrantyTerms(cp1251File(c.lines), "gar.txt", kComma, s);
            ADD_FAILURE() << c.expected;
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
        EXPECT_EQ(s.Comment, "до");
        EXPECT_EQ(s.Sred, 7);
    }
}

TEST(WarrantyFile, FromDiskShowsTheFullPath) {
    TempDir dir;
    const auto path = dir.write("gar2019.txt", cp1251File({"К", "100", "200"}));
    Analysis s;
    auto f = loadWarrantyTerms(path, kComma, s);
    EXPECT_EQ(f.path, path);
    EXPECT_EQ(f.censoringMeanText, "150");
}
