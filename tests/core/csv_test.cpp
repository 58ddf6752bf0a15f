#include "relan/csv.hpp"

#include "../csv_reader.hpp"
#include "fixtures.hpp"

#include "relan/input_files.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(Csv, FieldsAreQuotedOnlyWhereASpreadsheetWouldMisreadThem) {
    const struct {
        const char* text;
        const char* field;
    } cases[] = {
        {"0,31", "0,31"},     // the decimal comma is no separator here
        {" 0.984", " 0.984"}, // padding stays as the table has it
        {"", ""},
        {"Тормоз; колодки", "\"Тормоз; колодки\""},
        {"шланг \"ГУР\"", "\"шланг \"\"ГУР\"\"\""},
        {"две\nстроки", "\"две\nстроки\""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"-A1", "'-A1"},
        {"-", "'-"},
        {"+", "'+"},
        {"-1+1", "'-1+1"},
        {"-12,5", "-12,5"}, // a whole number stays a number
        {"-.5", "-.5"},
        {"+7", "+7"},
        {"-1.5e3", "-1.5e3"},
        {"-1e", "'-1e"},
        {"-1.2.3", "'-1.2.3"},
        {"-5 шт", "'-5 шт"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(relan::csvField(c.text), c.field) << c.text;
}

TEST(Csv, RepairTextsThatASpreadsheetWouldComputeReadBackAsText) {
    const struct {
        const char* text;
        const char* cell; // as a spreadsheet gets it
    } cases[] = {
        {"-2+3+cmd|' /C calc'!A0", "'-2+3+cmd|' /C calc'!A0"},
        {"-1+1", "'-1+1"},
        {"-5", "-5"},
        {"-1.5e3", "-1.5e3"},
        {"+7", "+7"},
        {"+7 (495) 000", "'+7 (495) 000"},
        {"@SUM(1)", "'@SUM(1)"},
        {"=1+1", "'=1+1"},
        {"\t=1", "'\t=1"},
        {"\r=1", "'\r=1"},
        {"замена -1+1", "замена -1+1"},
    };
    std::vector<std::string> lines = {"Парк", "1000", "300", "50", "20", "1", "Насос"};
    for (std::size_t i = 0; i < std::size(cases); ++i)
        lines.push_back(std::to_string(10 * (i + 1)) + "\tнасос * " + cases[i].text);
    relan::test::TempDir dir;
    const auto file = dir.write("hostile.rel", relan::test::cp1251File(lines));
    relan::Analysis s;
    const relan::NumberFormat fmt{','};
    const relan::FailureLoad load = relan::loadFailureData(file, fmt, s);
    std::ostringstream out;
    relan::writeFailureListCsv(out, s, load.remarks, fmt);
    const auto rows = relan::test::readCsv(out.str());
    ASSERT_EQ(rows.size(), std::size(cases) + 1);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        ASSERT_EQ(s.MasProbl[i].komment, cases[i].text); // the list itself keeps the file's text
        EXPECT_EQ(rows[i + 1].at(3), cases[i].cell) << cases[i].text;
    }
}

TEST(Csv, ResultTableHasOneRecordPerRowAndOnlyTheShownColumns) {
    relan::ResultTable t{};
    t.dataColumn = 2; // two models shown, the designed six columns
    t.cells[0] = {"Параметры для моделей:", "Модель; 1", "Данные эксплуатации", "", "", "", "скрыто"};
    t.cells[5] = {"Число известных/всех отказов", "215 /260", "215 /260", "", "", "", ""};
    const std::string csv = relan::resultTableCsv(t);
    ASSERT_EQ(csv.rfind("\xEF\xBB\xBF", 0), 0u);
    EXPECT_EQ(csv.find('\n'), csv.find("\r\n") + 1); // records end with CR LF
    const auto rows = relan::test::readCsv(csv);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(relan::kTableRows));
    for (const auto& r : rows)
        EXPECT_EQ(r.size(), static_cast<std::size_t>(relan::kDesignedTableColumns));
    EXPECT_EQ(rows[0][1], "Модель; 1");
    EXPECT_EQ(rows[5][2], "215 /260");

    t.dataColumn = 6; // the likelihood model pushes the data into the seventh
    t.cells[0][6] = "Данные эксплуатации";
    EXPECT_EQ(relan::test::readCsv(relan::resultTableCsv(t))[0].size(), 7u);
}

TEST(Csv, FailureListReadsBackAsTheListShowsIt) {
    relan::test::TempDir dir;
    const auto file = dir.write("list.rel", relan::test::cp1251File({
                                                "Парк; испытания",
                                                "1000",
                                                "300",
                                                "50",
                                                "20",
                                                "2",
                                                "Насос",
                                                "Двигатель",
                                                "100\tнасос * замена \"сальника\"; прокладки",
                                                "200,5\tДвигатель*=1+1",
                                                "50\tкабина",
                                            }));
    for (const char decimal : {'.', ','}) {
        relan::Analysis s;
        const relan::NumberFormat fmt{decimal};
        const relan::FailureLoad load = relan::loadFailureData(file, fmt, s);
        std::ostringstream out;
        relan::writeFailureListCsv(out, s, load.remarks, fmt);
        const auto rows = relan::test::readCsv(out.str());
        ASSERT_EQ(rows.size(), s.MasProbl.size() + 1);
        EXPECT_EQ(rows[0][1], relan::kFailureListHeadings[1]);
        for (std::size_t i = 0; i < s.MasProbl.size(); ++i) {
            const relan::GridRow shown = relan::failureListRow(s, load.remarks, i, fmt);
            std::vector<std::string> expected(shown.begin(), shown.end());
            // A text that a spreadsheet would compute is kept as text.
            if (expected[3].rfind("=", 0) == 0) expected[3] = "'" + expected[3];
            EXPECT_EQ(rows[i + 1], expected) << i;
        }
        EXPECT_EQ(rows[3][1], decimal == ',' ? "200,5" : "200.5");
    }
}

} // namespace
