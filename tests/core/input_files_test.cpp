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
    std::vector<std::string> h = {"Тестовый парк", sred, sko, std::to_string(fleet), std::to_string(all),
                                  std::to_string(causes.size())};
    h.insert(h.end(), causes.begin(), causes.end());
    return h;
}

std::vector<std::string> with(std::vector<std::string> head, const std::vector<std::string>& failures) {
    head.insert(head.end(), failures.begin(), failures.end());
    return head;
}

FailureLoad parse(const std::string& bytes, AnalysisState& s, const NumberFormat& fmt = kComma) {
    return parseFailureData(bytes, "test.rel", fmt, s);
}

std::string errorOf(const std::string& bytes) {
    AnalysisState s;
    try {
        parse(bytes, s);
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(FailureFile, WorkedExample) {
    AnalysisState s;
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
    EXPECT_EQ(p.Pri, "Отказ насоса * замена уплотнения");
    EXPECT_EQ(p.komment, "замена уплотнения");
    EXPECT_EQ(s.Vidy_otkazov[p.chey].Nazv_Prich, "Насос");
    EXPECT_EQ(s.Vidy_otkazov[0].Nazv_Prich, "Не установл.");
    EXPECT_DOUBLE_EQ(s.Izd_Prived, 1200.0 / 150);
    EXPECT_EQ(s.tGar, 4380);
    EXPECT_TRUE(s.uk);
    EXPECT_TRUE(s.Perv);
    EXPECT_EQ(load.fields.meSred, "4380");
    EXPECT_EQ(load.fields.LabeledEdit2, "4380");
    EXPECT_EQ(load.fields.meKolAll, "1200");
    EXPECT_EQ(load.fields.Edit1, "1,00025");
    EXPECT_EQ(load.fields.Edit6, "1,00025");
    EXPECT_EQ(load.fields.Edit5, "1,0005");
    EXPECT_EQ(load.fields.Edit2, "0,0000002");
    EXPECT_EQ(load.fields.NPokoleny, "1500");
    ASSERT_EQ(load.grid.size(), 2u);
    EXPECT_EQ(load.grid[0][0], " № отказа");
    EXPECT_EQ(load.grid[1][1], "312,5");
    EXPECT_EQ(load.grid[1][2], "Насос, отказов 10% от парка"); // 1 of 8 reduced products
    EXPECT_EQ(load.grid[1][3], "замена уплотнения");
}

TEST(FailureFile, HeaderNumbersSkipBlankLinesAndTrailingText) {
    AnalysisState s;
    parse(cp1251File({"К", "", "  4380.5 часов", "\t900", "", "1200", "150 всего", "1", "Насос", "10\tнасос"}), s);
    EXPECT_EQ(s.Sred, 4380.5);
    EXPECT_EQ(s.SKO, 900);
    EXPECT_EQ(s.Kol_Izd_All, 1200);
    EXPECT_EQ(s.KolOtk, 150);
    EXPECT_EQ(s.MasProbl.at(0).chey, 1);
}

TEST(FailureFile, TimesAcceptPointAndComma) {
    AnalysisState s;
    parse(cp1251File(with(header("4380", "900", 100, 10, {}), {"123.5\tа", "123,5\tб"})), s);
    EXPECT_EQ(s.MasProbl[0].time, 123.5);
    EXPECT_EQ(s.MasProbl[1].time, 123.5);
}

TEST(FailureFile, CauseMatchingIsCaseInsensitiveForCyrillic) {
    AnalysisState s;
    parse(cp1251File(with(header("4380", "900", 100, 10, {"ЁМКОСТЬ ТОПЛИВНАЯ", "насос"}),
                          {"1\tтечь: ёмкость топливная", "2\tНАСОС гидросистемы", "3\tкабина"})),
          s);
    EXPECT_EQ(s.Vidy_otkazov[s.MasProbl[0].chey].Nazv_Prich, "ЁМКОСТЬ ТОПЛИВНАЯ");
    EXPECT_EQ(s.Vidy_otkazov[s.MasProbl[1].chey].Nazv_Prich, "насос");
    EXPECT_EQ(s.MasProbl[2].chey, 0);
    EXPECT_EQ(s.MasProbl[2].Pri, "");
}

TEST(FailureFile, RankingAndDoubleMatches) {
    AnalysisState s;
    // Ранжирование: Б 3, В 3 (file order kept for the tie), А 1, blank cause last.
    parse(cp1251File(with(header("4380", "900", 100, 10, {"альфа", "", "бета", "гамма"}),
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
    } cases[] = {{"насос * замена", "замена"}, {"насос*замена", "амена"}, {"насос *", ""},
                 {"насос *x", ""},           {"без отметки", ""},       {"a * b * c", "b * c"}};
    for (const auto& c : cases) {
        AnalysisState s;
        parse(cp1251File(with(header("4380", "900", 100, 10, {}), {std::string("5\t") + c.source})), s);
        EXPECT_EQ(s.MasProbl[0].komment, c.komment) << c.source;
    }
}

TEST(FailureFile, SortKeepsFileOrderOfEqualTimes) {
    AnalysisState s;
    parse(cp1251File(with(header("4380", "900", 100, 10, {}),
                          {"30\t* a", "10\t* b", "30\t* c", "20\t* d", "10\t* e"})),
          s);
    std::string order;
    for (const auto& p : s.MasProbl) order += p.komment;
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
        for (std::size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i].komment, b[i].komment) << round;
    }
}

TEST(FailureFile, LineEndingsAndTheLastLine) {
    const auto lines = with(header("4380", "900", 100, 10, {}), {"1\tа", "2\tб"});
    for (const auto& [bytes, what] :
         std::vector<std::pair<std::string, std::string>>{{cp1251File(lines), "CR LF"},
                                                          {cp1251File(lines, "\n"), "LF"},
                                                          {cp1251File(lines) + "\r\n", "one empty line"},
                                                          {cp1251File(lines).substr(0, cp1251File(lines).size() - 2),
                                                           "no final break"}}) {
        AnalysisState s;
        parse(bytes, s);
        EXPECT_EQ(s.Kol_izw, 2) << what;
        EXPECT_EQ(s.MasProbl[1].time, 2) << what;
    }
}

TEST(FailureFile, RefusalsNameFileLineAndText) {
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const auto h = header("4380", "900", 100, 10, {"насос"});
    const std::vector<Case> cases = {
        {cp1251File(with(h, {"1\tа", "1,234.5\tб"})), "строке 9 файла test.rel: '1,234.5' is not a valid"},
        {cp1251File(with(h, {"1\tа", "", "2\tб"})), "строке 9 файла test.rel"},
        {cp1251File(with(h, {"1\tа", "2 без табуляции"})), "строке 9 файла test.rel: нет табуляции"},
        {cp1251File(with(h, {"1\tа"})) + "\r\n\r\n", "строке 9"},
        {cp1251File({"К", "4380", "abc", "1", "1", "0"}), "строке 3 файла test.rel: 'abc': Invalid numeric input"},
        {cp1251File({"К", "4380", "900", "12.5", "1", "0"}), "строке 4"},
        {cp1251File({"К", "4380", "900", "100", "10", "19"}), "число причин отказов 19"},
        {cp1251File({"К", "4380", "900", "100", "10", "-1"}), "число причин отказов -1"},
        {cp1251File({"К", "4380", "900", "100", "0", "0"}), "количество всех отказов"},
        {cp1251File({"К", "4380", "900", "0", "10", "0", "1\tа"}), "количество изделий"},
        {cp1251File({"К", "4380", "0", "100", "10", "0"}), "СКО времени гарантии"},
        {cp1251File({"К", "4380"}), "СКО времени гарантии"}, // missing numbers read as 0
        {cp1251File({"К", "100", "1", "100", "10", "0", "5\tа", "1000\tб"}), "строке 8 файла test.rel: отказ на наработке 1000"},
        {cp1251File({"К", "4380", "900", "100", "10", "0", std::string(400, '9') + "\tа"}), "строке 7"},
        {cp1251File({"К", "4380", "900", "100", "10", "0", "1e999\tа"}), "строке 7"},
        {cp1251File({"К", "4380", "900", "100", "10", "0", std::string("1\0\tа", 4)}), "строке 7"},
    };
    for (const auto& c : cases) {
        const std::string msg = errorOf(c.bytes);
        EXPECT_NE(msg.find(c.expected), std::string::npos) << "got: " << msg << "\nwant: " << c.expected;
    }
}

TEST(FailureFile, RefusedLoadLeavesThePreviousDataUsable) {
    AnalysisState s;
    parse(cp1251File(with(header("4380", "900", 1200, 150, {"насос"}), {"10\tнасос", "20\tнасос"})), s);
    s.MPirsS.A = 0.5; // a model from an earlier calculation
    const AnalysisState before = s;
    EXPECT_THROW(parse(cp1251File(with(header("1000", "100", 50, 5, {"двигатель"}), {"5\tдвигатель", "x\tа"})), s),
                 Error);
    EXPECT_EQ(s.Comment, before.Comment);
    EXPECT_EQ(s.Sred, 4380);
    EXPECT_EQ(s.Kol_izw, 2);
    ASSERT_EQ(s.MasProbl.size(), 2u);
    EXPECT_EQ(s.Vidy_otkazov[1].Nazv_Prich, "насос");
    EXPECT_EQ(s.MPirsS.A, 0.5);
    EXPECT_THROW(loadFailureData("/no/such/file.rel", kComma, s), Error);
    EXPECT_EQ(s.MasProbl.size(), 2u);
    EXPECT_TRUE(s.uk);
}

TEST(FailureFile, ThresholdInterpolation) {
    // 12 failures 100 h apart, censoring far away so the corrected sum is
    // practically the plain count.
    std::vector<std::string> failures;
    for (int i = 1; i <= 12; ++i) failures.push_back(std::to_string(i * 100) + "\tа");
    struct Case {
        int fleet;
        double t50;
    } cases[] = {{19, 950}, {20, 1000}};
    for (const auto& c : cases) {
        AnalysisState s;
        auto load = parse(cp1251File(with(header("1e6", "1", c.fleet, 12, {}), failures)), s);
        EXPECT_DOUBLE_EQ(s.Izd_Prived, c.fleet);
        EXPECT_DOUBLE_EQ(s.T50expl, c.t50) << c.fleet;
        EXPECT_EQ(load.grid[10][2], "Не установл., отказов 50% от парка с учетом цензурирования");
        EXPECT_EQ(s.T20expl, 0);
    }
}

TEST(FailureFile, ThresholdAtTheFirstFailureStartsFromZero) {
    AnalysisState s;
    // Two products, one failure: 50% at once; Frac(1 - 0.5 * 2) = 0 -> the time itself;
    // 10% and 20%: Frac(1 - 0.2) = 0.8 -> 300 - 300 * 0.8 = 60, from Tprev = 0.
    auto load = parse(cp1251File(with(header("1e6", "1", 2, 1, {}), {"300\tа"})), s);
    EXPECT_DOUBLE_EQ(s.T90expl, 300 - 300 * 0.8);
    EXPECT_DOUBLE_EQ(s.T80expl, 300 - 300 * 0.6);
    EXPECT_DOUBLE_EQ(s.T50expl, 300);
    EXPECT_DOUBLE_EQ(s.t50zen, 300);
    EXPECT_EQ(s.T20expl, 0);
    // Four thresholds are reached at this failure; the last one's remark stays.
    EXPECT_EQ(load.grid[1][2], "Не установл., отказов 50% от парка с учетом цензурирования");
}

TEST(FailureFile, CorrectedCountUsesTheCensoringLaw) {
    AnalysisState s;
    parse(cp1251File(with(header("1000", "300", 10, 4, {}), {"900\tа", "1000\tб", "1200\tв", "1500\tг"})), s);
    double sum = 0;
    for (double t : {900.0, 1000.0}) sum += 1 / (1 - CDF_Gauss(1000, 300, t));
    // tGar = 1000: the failure exactly at tGar counts.
    EXPECT_DOUBLE_EQ(s.Otk_Izd, sum / 10);
    EXPECT_DOUBLE_EQ(s.tGar, 1000);

    AnalysisState early;
    parse(cp1251File(with(header("1000", "300", 10, 4, {}), {"900\tа"})), early);
    EXPECT_EQ(early.Otk_Izd, 0);
}

TEST(FailureFile, GenerationCountFromFailureCount) {
    struct Case {
        int kolOtk;
        std::optional<std::string> field;
    } cases[] = {{1, "1500"}, {500, "1500"}, {501, "2000"}, {999, "2000"}, {1000, "4000"}, {99999, "4000"},
                 {100000, std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(generationsForFailureCount(c.kolOtk), c.field) << c.kolOtk;
}

TEST(FailureFile, LoadingTwiceGivesTheSameState) {
    TempDir dir;
    const auto path = dir.write("a.rel", cp1251File(with(header("2000", "500", 300, 40, {"насос", "двигатель"}),
                                                         {"100\tнасос", "50\tдвигатель * ремонт", "75\tкабина"})));
    AnalysisState s;
    auto first = loadFailureData(path, kComma, s);
    const auto firstProblems = s.MasProbl;
    auto second = loadFailureData(path, kComma, s);
    EXPECT_EQ(first.grid, second.grid);
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
    AnalysisState s;
    parse(junk, s);
    EXPECT_EQ(s.Kol_izw, 2);
    EXPECT_EQ(s.MasProbl[0].komment.size(), 0u);
    EXPECT_EQ(s.MasProbl[1].komment, "");
}

TEST(FailureFile, SampleShipsAndLoads) {
    AnalysisState s;
    auto load = loadFailureData(RELAN_SAMPLES_DIR "/mtz82_2018.rel", kComma, s);
    EXPECT_GE(s.Kol_izw, 150);
    EXPECT_LE(s.Kol_izw, 300);
    EXPECT_EQ(load.grid.size(), static_cast<std::size_t>(s.Kol_izw) + 1);
    EXPECT_GT(s.T90expl, 0);
    int unknown = 0;
    for (const auto& p : s.MasProbl) unknown += p.chey == 0;
    EXPECT_GT(unknown, 0);
}

TEST(WarrantyFile, MeanAndDeviation) {
    AnalysisState s;
    s.Comment = "старый";
    auto f = parseWarrantyTerms(cp1251File({"Сроки гарантии", "1000", "2000 ч, партия 2", "", "3000"}), "gar1.txt",
                                kComma, s);
    EXPECT_EQ(f.MaskEdit1, "3");
    EXPECT_EQ(f.meSred, "2E3");
    EXPECT_EQ(f.MaskEditSrednee, "2000,000");
    EXPECT_EQ(f.meSKO, "1E3");
    EXPECT_EQ(f.MaskEditSKO, "1000,000");
    EXPECT_EQ(f.Label15, "Сроки гарантии");
    EXPECT_EQ(s.Sred, 2000);
    EXPECT_EQ(s.SKO, 1000);
    EXPECT_EQ(s.Comment, "Сроки гарантии");
    EXPECT_EQ(s.MasTGarant, (RealArray{1000, 2000, 3000}));
    EXPECT_TRUE(s.uk);
}

TEST(WarrantyFile, TrailingBlankLinesAddNoZeroTerm) {
    AnalysisState s;
    parseWarrantyTerms(cp1251File({"К", "1000", "3000", "", ""}) + "  \t", "gar.txt", kComma, s);
    EXPECT_EQ(s.MasTGarant.size(), 2u);
    EXPECT_EQ(s.Sred, 2000);
}

TEST(WarrantyFile, Refusals) {
    struct Case {
        std::vector<std::string> lines;
        std::string expected;
    } cases[] = {
        {{"К", "1000", "1500,5"}, "строке 3 файла gar.txt: '1500,5': Invalid numeric input"},
        {{"К", "1000", "12abc"}, "'12abc'"},
        {{"К", "1000"}, "хотя бы два значения"},
        {{"К"}, "хотя бы два значения"},
    };
    for (const auto& c : cases) {
        AnalysisState s;
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
    AnalysisState s;
    auto f = loadWarrantyTerms(path, kComma, s);
    EXPECT_EQ(f.Edit4, path);
    EXPECT_EQ(f.meSred, "150,0");
}
