#include "../csv_reader.hpp"
#include "fixtures.hpp"
#include "fleet_sim.hpp"

#include "relan/version.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <sstream>

namespace {

struct Run {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// `cwd`: the folder the program starts in; empty = this process's own.
Run runCli(const std::string& args, const std::string& cwd = {}) {
    relan::test::TempDir dir;
    const auto errPath = (dir.path() / "stderr.txt").string();
    const std::string cmd = (cwd.empty() ? "" : "cd '" + cwd + "' && ") + std::string(RELAN_CLI_PATH) + " " +
                            args + " 2>" + errPath;
    Run r;
    relan::test::CommandRun c = relan::test::runCommand(cmd);
    r.exitCode = c.exitCode;
    r.out = std::move(c.out);
    std::ifstream e(errPath);
    std::stringstream ss;
    ss << e.rdbuf();
    r.err = ss.str();
    return r;
}

const std::string kSample = RELAN_SAMPLES_DIR "/mtz82_2018.rel";
const std::string kWarranty = RELAN_SAMPLES_DIR "/gar2018.txt";

} // namespace

TEST(CliLoad, PrintsInputAndGrid) {
    auto r = runCli("load " + kSample);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    const auto& in = j.at("input");
    for (const char* key : {"Comment", "Sred", "SKO", "tGar", "Kol_Izd_All", "KolOtk", "Kol_izw",
                            "Izd_Prived", "Popravka_Unknow", "causes", "T90expl", "T80expl", "T50expl",
                            "t50zen", "T20expl", "T10expl", "Otk_Izd"})
        EXPECT_TRUE(in.contains(key)) << key;
    EXPECT_EQ(in.at("causes").size(), 5u);
    EXPECT_EQ(in.at("causes")[0].at("Nazv_Prich"), "Двигатель");
    const int n = in.at("Kol_izw");
    ASSERT_EQ(j.at("grid").size(), static_cast<std::size_t>(n) + 1);
    EXPECT_EQ(j.at("grid")[0][1], "Наработка, час");
    EXPECT_DOUBLE_EQ(in.at("Izd_Prived").get<double>(), 850.0 * n / 260);
}

TEST(CliLoad, WarrantyFileAndSeparator) {
    auto r = runCli("load " + kSample + " --warranty " + kWarranty + " --decimal-separator ,");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["input"]["Comment"].get<std::string>().rfind("Гарантийные сроки", 0), 0u);
    EXPECT_NE(j["input"]["Sred"].get<double>(), 1800.0);
    bool comma = false;
    for (const auto& row : j["grid"])
        comma |= row[1].get<std::string>().find(',') != std::string::npos;
    EXPECT_TRUE(comma);
}

TEST(CliLoad, TheDocumentReadsBackAsItWasWritten) {
    // The documents are written piece by piece; what they say must still be
    // the JSON of their values to the byte, escapes and indents included.
    relan::test::TempDir dir;
    const std::string comment = "Парк \"в кавычках\" \\ с\tтабуляцией \x01\x7f";
    const auto file =
        dir.write("escapes.rel", relan::test::cp1251File({
                                     comment,
                                     "1000",
                                     "300",
                                     "50",
                                     "20",
                                     "2",
                                     "Насос",
                                     "Двигатель",
                                     "100\tнасос \"течь\" * замена \\ \x02 прокладки\x1f и\tшланга",
                                     "200,5\tДвигатель*Xремонт\b\fузла",
                                     "50\tкабина",
                                 }));
    for (const std::string& args : {"load " + file, "analyze " + file + " --no-timing"}) {
        auto r = runCli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto j = nlohmann::ordered_json::parse(r.out);
        EXPECT_EQ(j.dump(2) + "\n", r.out) << args;
        ASSERT_EQ(j.at("grid").size(), 4u) << args;
        EXPECT_EQ(j["grid"][2][3], "замена \\ \x02 прокладки\x1f и\tшланга") << args;
        EXPECT_EQ(j["grid"][3][3], "Xремонт\b\fузла") << args;
        EXPECT_EQ(j["input"]["Comment"], comment) << args;
    }
}

TEST(CliCsv, TablesReadBackWithTheCellsOfTheJson) {
    // The spreadsheet's table and the JSON come from one calculation; every
    // cell must arrive as the window shows it, in either decimal format.
    for (const std::string sep : {".", ","}) {
        const std::string common = kSample + " --decimal-separator " + sep;
        const auto json = runCli("analyze " + common + " --models spiral,smirnov,ml --no-timing");
        const auto csv = runCli("analyze " + common + " --models spiral,smirnov,ml --no-timing --format csv");
        ASSERT_EQ(json.exitCode, 0) << json.err;
        ASSERT_EQ(csv.exitCode, 0) << csv.err;
        EXPECT_EQ(csv.out.rfind("\xEF\xBB\xBF", 0), 0u);
        const auto table = nlohmann::json::parse(json.out).at("table");
        EXPECT_EQ(relan::test::readCsv(csv.out), table.get<std::vector<std::vector<std::string>>>()) << sep;
        EXPECT_NE(table[0].dump().find("Макс. правдоподобия"),
                  std::string::npos); // the likelihood model's column too

        const auto list = runCli("load " + common + " --format csv");
        ASSERT_EQ(list.exitCode, 0) << list.err;
        const auto grid = nlohmann::json::parse(runCli("load " + common).out).at("grid");
        EXPECT_EQ(relan::test::readCsv(list.out), grid.get<std::vector<std::vector<std::string>>>()) << sep;
    }
}

TEST(CliLoad, ErrorsAreOneLineOnStderrWithExitTwo) {
    relan::test::TempDir dir;
    const auto bad =
        dir.write("bad.rel", relan::test::cp1251File({"К", "4380", "900", "100", "10", "0", "1;5\tа"}));
    for (const std::string& args :
         std::vector<std::string>{"load /no/such.rel", "load " + bad, "load", "frobnicate"}) {
        auto r = runCli(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_TRUE(r.out.empty()) << args;
        ASSERT_FALSE(r.err.empty()) << args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << args;
    }
    auto r = runCli("load " + bad);
    EXPECT_NE(r.err.find("строке 7"), std::string::npos) << r.err;
}

TEST(CliVersion, PrintsTheProjectVersionAndExitsZero) {
    // The version wins over whatever else the line holds, even a command
    // that would fail.
    for (const std::string& args : std::vector<std::string>{"--version", "--version load /no/such.rel"}) {
        auto r = runCli(args);
        EXPECT_EQ(r.exitCode, 0) << args;
        EXPECT_EQ(r.out, std::string("relan-cli ") + relan::kVersion + "\n") << args;
        EXPECT_EQ(r.err, "") << args;
    }
    // Only the exact flag: a misspelling is still an error.
    auto r = runCli("--versoin");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.empty());
}

TEST(CliAnalyze, BadSettingsAreRefusedPromptlyWithTheReason) {
    struct Case {
        std::string args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"load " + kSample + " --decimal-separator 5",
         "--decimal-separator: допустим только «.» или «,», задано «5»"},
        {"analyze " + kSample + " --decimal-separator ';'", "допустим только «.» или «,»"},
        {"nonparam " + kSample + " --decimal-separator ''", "допустим только «.» или «,»"},
        {"analyze " + kSample + " --decimal-separator \"$(printf '\\320')\"", "допустим только «.» или «,»"},
        {"analyze " + kSample + " --sred -1800 --sko 100",
         "Поле «Среднее время гарантии»: среднее время окончания гарантии должно быть больше 0 ч"},
        {"analyze " + kSample + " --tgar -5", "Поле «Период учета отказов на 1 изделие, ч»"},
        // Nothing under warranty over the histogram: the default fit used to
        // search its flat criterion for ever.
        {"analyze " + kSample + " --sred 1 --sko 1",
         "Модель 1.1 (по Пирсону, метод спирального спуска) не может быть подобрана"},
        {"analyze " + kSample + " --models spiral,bogus", "--models: неизвестная модель «bogus»"},
        {"frobnicate", "не указана команда"},
        {"analyze " + kSample + " --crossover 200",
         "--crossover: допустимо целое число от 0 до 100, задано «200»"},
        {"analyze " + kSample + " --format xml",
         "--format: допустимо одно из значений json, text, csv, задано «xml»"},
        {"load " + kSample + " --bogus", "лишние аргументы: --bogus"},
    };
    for (const Case& c : cases) {
        // A refusal takes milliseconds; the search it used to start never
        // ended. A minute is room for any loaded machine and still tells the
        // two apart (the fits' own test counts that no pass is made).
        const auto t0 = std::chrono::steady_clock::now();
        auto r = runCli(c.args);
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(60)) << c.args;
        EXPECT_EQ(r.exitCode, 2) << c.args;
        EXPECT_TRUE(r.out.empty()) << c.args;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

// Each kind of error the parser finds, told from the kind and the command's
// options rather than from the parser's English.
TEST(CliParse, EachParserErrorIsOneRussianLineNamingWhatWasWrong) {
    struct Case {
        std::string args;
        std::string says; // the whole line after "relan-cli: "
    };
    std::vector<Case> cases = {
        // No command, or one that does not exist.
        {"", "не указана команда (load, analyze, report, nonparam, chart) или она неизвестна"},
        {"frobnicate", "не указана команда (load, analyze, report, nonparam, chart) или она неизвестна"},
        // A required argument missing.
        {"load", "не указан обязательный параметр file"},
        // What no option takes, last first.
        {"load " + kSample + " --bogus", "лишние аргументы: --bogus"},
        {"load " + kSample + " a b", "лишние аргументы: b a"},
        // A value the command line's own checks refuse.
        {"analyze " + kSample + " --criterion spec3",
         "--criterion: допустимо одно из значений standard, spec1, spec2, задано «spec3»"},
        // A value missing, or more values than the option takes.
        {"analyze " + kSample + " --sred", "--sred: не указано значение или их слишком много"},
        {"analyze " + kSample + " --threads=", "--threads: не указано значение или их слишком много"},
        {"analyze " + kSample + " --models spiral --models ml",
         "--models: не указано значение или их слишком много"},
        // Both at once: the value missing at the end is found first; a last
        // word taken as a value is no option left without one.
        {"analyze " + kSample + " --models spiral --models ml --sred",
         "--sred: не указано значение или их слишком много"},
        {"analyze " + kSample + " --models spiral --models ml --warranty --sred",
         "--models: не указано значение или их слишком много"},
        // A value that is not of the option's kind.
        {"analyze " + kSample + " --threads many", "--threads: «many» не является допустимым числом"},
        {"analyze " + kSample + " --fit-mean=abc", "--fit-mean: «abc» не является допустимым числом"},
    };
#ifdef RELAN_CLI_CHARTS
    cases.push_back({"report " + kSample, "не указан обязательный параметр --out"});
#endif
    for (const Case& c : cases) {
        auto r = runCli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args;
        EXPECT_TRUE(r.out.empty()) << c.args;
        EXPECT_EQ(r.err, "relan-cli: " + c.says + "\n") << c.args;
    }
}

TEST(CliAnalyze, ALikelihoodAtThePowerLawLimitGivesNoKAOrEta) {
    // Early failures whose likelihood is largest as K grows without end.
    const relan::sim::Scenario sc{500, 0.4, std::pow(5000.0, -0.6), 0.6, 1500, 400, 1.0};
    std::mt19937_64 rng(5003);
    const relan::Analysis s = relan::sim::simulateFleet(sc, rng);
    std::vector<std::string> lines{
        "Ранние отказы", "1500", "400", "500", std::to_string(s.MasProbl.size()), "1", "Насос"};
    for (const auto& p : s.MasProbl)
        lines.push_back(std::to_string(p.time) + "\tнасос");
    relan::test::TempDir dir;
    const auto file = dir.write("early.rel", relan::test::cp1251File(lines));
    const auto json = runCli("analyze " + file + " --models ml --no-timing");
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const auto ml = nlohmann::json::parse(json.out).at("models").at(0);
    EXPECT_EQ(ml.at("name"), "ml");
    EXPECT_FALSE(ml.at("estimable").get<bool>());
    EXPECT_TRUE(ml.at("A").is_null());
    EXPECT_TRUE(ml.at("K_powtor").is_null());
    EXPECT_TRUE(ml.at("B").is_number());
    EXPECT_TRUE(ml.at("intervals").at("K_powtor").at(1).is_null()); // open upwards
    EXPECT_TRUE(ml.at("mcf").at(0).at("hi").is_number());
    const auto text = runCli("analyze " + file + " --models ml --no-timing --format text");
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("  A не определяется, B = "), std::string::npos);
    EXPECT_NE(text.out.find(
                  "Внимание: Коэффициент повторности K, параметр A и характерное время eta не определяются"),
              std::string::npos);
}

TEST(CliAnalyze, TheSampleInUtf8GivesTheSameAnalysis) {
    relan::test::TempDir dir;
    std::ifstream in(kSample, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto utf8 = dir.write("utf8.rel", "\xEF\xBB\xBF" + relan::cp1251::toUtf8(bytes));
    const std::string opts = " --models spiral,smirnov --no-timing";
    auto a = runCli("analyze " + kSample + opts);
    auto b = runCli("analyze " + utf8 + opts);
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(a.out, b.out);
    EXPECT_EQ(nlohmann::json::parse(b.out)["input"]["causes"][0]["Dolya"], 77);
}

TEST(CliGenetic, SeededRunIsReproducibleAndFillsItsColumn) {
    const std::string args = "analyze " + kSample + " --models genetic --seed 1 --generations 20 --no-timing";
    auto r = runCli(args + " --threads 2");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err; // no progress bar when stderr is not a terminal
    auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j["models"].size(), 1u);
    const auto& m = j["models"][0];
    EXPECT_EQ(m["name"], "genetic");
    EXPECT_EQ(m["passes"], 20);
    EXPECT_EQ(m["seed"], 1);
    EXPECT_FALSE(m["interrupted"].get<bool>());
    EXPECT_GT(m["A"].get<double>(), 0);
    EXPECT_EQ(j["table"][0][1], "Генетическая");
    EXPECT_EQ(j["table"][0][2], "Данные эксплуатации");
    const auto& log = j["log"];
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].get<std::string>().rfind(" ЦФ=", 0), 0u);
    EXPECT_EQ(log.back().get<std::string>().rfind("Доверительный 95% интервал модели ", 0), 0u);
    int copies = 0;
    for (const auto& l : log)
        copies += l == "Копирование лучших";
    EXPECT_EQ(copies, 3); // at the starts of generations 5, 13 and 17

    auto again = runCli(args + " --threads 1");
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, r.out);
}

TEST(CliGenetic, FollowsTheOtherFitsInTheTable) {
    auto r = runCli(
        "analyze " + kSample +
        " --models genetic,spiral --kdiv-spiral 1.01 --seed 2 --generations 5 --population 200 --no-timing"
        " --format text");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Генетический алгоритм"), std::string::npos);
    EXPECT_NE(r.out.find("Поколений 5"), std::string::npos);
    const auto spiral = r.out.find("Пирсона/спир.спуск");
    const auto genetic = r.out.find("Генетическая");
    ASSERT_NE(spiral, std::string::npos);
    ASSERT_NE(genetic, std::string::npos);
    EXPECT_LT(spiral, genetic);
}

TEST(CliGenetic, BadSettingsAreRefusedBeforeAnyFit) {
    struct Case {
        const char* options;
        const char* names;
    };
    for (const Case c : {Case{"--population 0", "Поле «Размер популяции»"},
                         {"--population 12.5", "«12.5» не является целым числом"},
                         {"--generations 0", "Поле «Число поколений»"},
                         {"--precision 0", "Поле «Точность подбора»"},
                         {"--copy-best x", "Поле «шт.»: «x» не является целым числом"},
                         {"--seed -1", "--seed: «-1» не является целым числом от 0 до 18446744073709551615"},
                         {"--seed 18446744073709551616", "--seed: «18446744073709551616» не является целым"},
                         {"--seed 1.5", "--seed: «1.5»"}}) {
        auto r = runCli("analyze " + kSample + " --models spiral,genetic --no-timing " + c.options);
        EXPECT_EQ(r.exitCode, 2) << c.options;
        EXPECT_TRUE(r.out.empty()) << c.options;
        EXPECT_NE(r.err.find(c.names), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
}

#ifdef RELAN_CLI_CHARTS
TEST(CliChart, LeavesTheCallersFolderAlone) {
    // The desktop program remembers its last file in the current folder; a
    // command-line run must not leave that file behind.
    relan::test::TempDir dir;
    const auto out = dir.path() / "chart.png";
    auto r = runCli("chart " + std::string(RELAN_TEST_DATA_DIR "/small.rel") + " --window nonparam --out " +
                        out.string(),
                    dir.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_GT(std::filesystem::file_size(out), 1000u);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"chart.png"});
}

TEST(CliChart, DecimalSeparatorReachesTheWindow) {
    // The non-parametric chart's marks and axes are the numbers drawn; with
    // a comma they are other pictures than with a point.
    relan::test::TempDir dir;
    auto draw = [&](const std::string& decimal) {
        const auto out = dir.path() / ("chart" + decimal + ".png");
        auto r = runCli("chart " + std::string(RELAN_TEST_DATA_DIR "/small.rel") +
                        " --window nonparam --decimal-separator " + decimal + " --out " + out.string());
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::ifstream f(out, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), {});
    };
    const std::string point = draw("."), comma = draw(",");
    ASSERT_GT(point.size(), 1000u);
    ASSERT_GT(comma.size(), 1000u);
    EXPECT_NE(point, comma);
    // The same separator draws the same picture, so the difference is the separator's.
    EXPECT_EQ(draw("."), point);
}

TEST(CliChart, UnwritableOutputIsOneRussianLineAndExitTwo) {
    relan::test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder");
    const std::string d = dir.path().string();
    const auto device = relan::test::characterDevice(dir.path());
    const struct {
        std::string out;
        std::string reason;
    } cases[] = {
        {d + "/missing/chart.png", "папка не существует"},
        {d + "/folder", "это папка, а не файл"},
        {device.string(), "это не обычный файл (устройство, канал или сокет)"},
    };
    for (const auto& c : cases) {
        if (c.out.empty()) continue; // root without the right to make device nodes
        auto r = runCli("chart " + std::string(RELAN_TEST_DATA_DIR "/small.rel") +
                        " --window nonparam --out " + c.out);
        EXPECT_EQ(r.exitCode, 2) << c.out;
        EXPECT_EQ(r.err, "relan-cli: Не удалось записать файл «" + c.out + "»: " + c.reason + "\n");
    }
    if (!device.empty()) EXPECT_TRUE(std::filesystem::is_character_file(device));
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "folder"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "folder"));
}
namespace {

std::string withoutSpaces(const std::string& s) {
    std::string out;
    for (unsigned char c : s)
        if (!std::isspace(c)) out += static_cast<char>(c);
    return out;
}

} // namespace

TEST(CliReport, TheSampleReportHasItsSectionsTheTableAndAHeaderOnEveryPage) {
    relan::test::TempDir dir;
    const auto pdf = (dir.path() / "отчёт.pdf").string();
    const std::string options = " --models spiral,smirnov,ml --decimal-separator , --no-timing";
    auto r = runCli("report " + kSample + options + " --out '" + pdf + "'", dir.path().string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    // The window's link file is not the command line's business.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    const std::string text = relan::test::runCommand("pdftotext -raw '" + pdf + "' -").out;
    ASSERT_FALSE(text.empty()) << "pdftotext gave nothing";
    // Sections in their order.
    std::size_t at = 0;
    for (const char* heading :
         {"Отчёт об анализе надежности в эксплуатации", "1. Исходные данные", "Двигатель",
          "2. Гистограмма отказов", "3. Результаты расчета", "4. Модель максимального правдоподобия",
          "95% интервал", "5. Графики", "Рисунок 1.", "Рисунок 4. Модель МП на вероятностной бумаге",
          "6. Непараметрическая оценка", "7. Ход решения", "Модель МП: время расчета"}) {
        const std::size_t found = text.find(heading, at);
        ASSERT_NE(found, std::string::npos) << heading;
        at = found;
    }
    // Every cell of the results table, as the JSON gives it, in the user's format.
    const auto json = runCli("analyze " + kSample + options);
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const std::string flat = withoutSpaces(text);
    const std::size_t results = flat.find(withoutSpaces("3. Результаты расчета"));
    for (const auto& row : nlohmann::json::parse(json.out).at("table"))
        for (const auto& cell : row) {
            const std::string c = withoutSpaces(cell.get<std::string>());
            if (!c.empty()) EXPECT_NE(flat.find(c, results), std::string::npos) << cell;
        }
    EXPECT_NE(text.find("0,364 (0,309…0,451)"), std::string::npos); // an interval with the decimal comma
    // The date, the file and the version head every page.
    std::stringstream pages(text);
    int count = 0;
    for (std::string page; std::getline(pages, page, '\f');) {
        if (withoutSpaces(page).empty()) continue;
        ++count;
        EXPECT_NE(page.find("mtz82_2018.rel"), std::string::npos) << count;
        EXPECT_NE(page.find("relan 4.1"), std::string::npos) << count;
        EXPECT_NE(page.find("Страница " + std::to_string(count) + " из "), std::string::npos) << count;
    }
    EXPECT_GE(count, 4);
    // Text in embedded fonts and drawings as vectors: no pictures of text.
    const std::string fonts = relan::test::runCommand("pdffonts '" + pdf + "'").out;
    EXPECT_NE(fonts.find("DejaVuSans"), std::string::npos) << fonts;
    std::stringstream fontLines(fonts);
    int listed = 0;
    for (std::string line; std::getline(fontLines, line);) {
        if (line.rfind("name", 0) == 0 || line.rfind("---", 0) == 0) continue;
        std::vector<std::string> cols;
        std::stringstream words(line);
        for (std::string w; words >> w;)
            cols.push_back(w);
        ASSERT_GE(cols.size(), 5u) << line;
        EXPECT_EQ(cols[cols.size() - 5], "yes") << line; // "emb": the font travels with the file
        ++listed;
    }
    EXPECT_GE(listed, 2);
    const std::string images = relan::test::runCommand("pdfimages -list '" + pdf + "'").out;
    EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images; // the heading lines only
}

TEST(CliNonParam, AHalfFleetTimeNeverReachedIsSaidSoInEveryOutput) {
    // 18 documented failures of 200 products never reach half the fleet.
    relan::test::TempDir dir;
    std::string small;
    {
        std::ifstream in(RELAN_TEST_DATA_DIR "/small.rel", std::ios::binary);
        small.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string fleet = "\r\n60\r\n";
    ASSERT_NE(small.find(fleet), std::string::npos);
    small.replace(small.find(fleet), fleet.size(), "\r\n200\r\n");
    const std::string file = dir.write("few.rel", small);
    const std::string said = "- данных недостаточно для оценки";

    auto np = runCli("nonparam " + file + " --decimal-separator ,");
    ASSERT_EQ(np.exitCode, 0) << np.err;
    const auto json = nlohmann::json::parse(np.out);
    EXPECT_TRUE(json.at("t50").is_null());
    EXPECT_TRUE(json.at("tz50").is_null());
    EXPECT_EQ(json.at("labels").at("Label2"), said);
    EXPECT_EQ(json.at("labels").at("Label3"), "");

    auto text = runCli("analyze " + file + " --format text --decimal-separator ,");
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("Непараметрическая оценка\n  " + said + "\n\n"), std::string::npos) << text.out;
    const std::regex zeroHours("цензурирования: *0,00? ч");
    EXPECT_FALSE(std::regex_search(text.out, zeroHours)) << text.out;

    const auto pdf = (dir.path() / "few.pdf").string();
    auto report = runCli("report " + file + " --decimal-separator , --out " + pdf);
    ASSERT_EQ(report.exitCode, 0) << report.err;
    const std::string pdfText = relan::test::runCommand("pdftotext -raw '" + pdf + "' -").out;
    EXPECT_NE(pdfText.find(said), std::string::npos);
    EXPECT_FALSE(std::regex_search(pdfText, zeroHours)) << pdfText;
}

TEST(CliReport, AThousandTimesOfTheMeanCumulativeFailuresAreATableOverPages) {
    // Each row of a long table used to lay the whole document out again.
    relan::test::TempDir dir;
    std::string times;
    for (int i = 0; i < 1000; ++i)
        times += (i ? "," : "") + std::to_string(10 + 2 * i) + ".5";
    const auto pdf = (dir.path() / "mcf.pdf").string();
    auto r = runCli("report " + kSample + " --models ml --no-timing --mcf-times " + times + " --out " + pdf);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string info = relan::test::runCommand("pdfinfo '" + pdf + "'").out;
    const auto at = info.find("Pages:");
    ASSERT_NE(at, std::string::npos) << info;
    const int pages = std::stoi(info.substr(at + 6));
    EXPECT_GE(pages, 15) << info; // some 40 rows a page
    EXPECT_LE(pages, 60) << info;
    const std::string text = withoutSpaces(relan::test::runCommand("pdftotext -raw '" + pdf + "' -").out);
    for (const char* t : {"K·F(10.5ч)", "K·F(1008.5ч)", "K·F(2008.5ч)"})
        EXPECT_NE(text.find(t), std::string::npos) << t;
}

TEST(CliReport, RefusalsAreOneLineAndLeaveNoFile) {
    relan::test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder");
    const std::string d = dir.path().string();
    const auto device = relan::test::characterDevice(dir.path());
    const std::string kept = dir.write("kept.pdf", "the user's own file");
    const struct {
        std::string args;
        std::string error;
    } cases[] = {
        {"--out " + d + "/missing/r.pdf",
         "Не удалось записать файл «" + d + "/missing/r.pdf»: папка не существует"},
        {"--out " + d + "/folder", "Не удалось записать файл «" + d + "/folder»: это папка, а не файл"},
        {"--out " + device.string(), "это не обычный файл"},
        // A calculation that fails leaves the file named as it was.
        {"--out " + kept + " --sred '12;5'", "«12;5» не является числом"},
        {"--out " + kept + " --models frob", "неизвестная модель «frob»"},
        {"--out " + d + "/new.pdf --kdiv-spiral 1", "Коэф-т уменьшения шага модели 1.1"},
    };
    for (const auto& c : cases) {
        if (c.args == "--out ") continue; // root without the right to make device nodes
        auto r = runCli("report " + kSample + " " + c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    std::vector<std::string> expected{"folder", "kept.pdf"};
    if (!device.empty() && device.parent_path() == dir.path()) expected.insert(expected.begin() + 1, "null");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path() / "folder"));
    std::ifstream in(kept);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the user's own file");
}
#endif

namespace {

std::vector<std::string> namesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string bytesOf(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(CliAnalyze, McfTimesAreSeparatedAsTheDecimalSeparatorAllows) {
    const std::string run = "analyze " RELAN_TEST_DATA_DIR "/small.rel --models ml --no-timing";
    const struct {
        std::string options;
        std::vector<double> times; // besides the counting period first
        std::string error;
    } cases[] = {
        {"--mcf-times 500,1000.5", {500, 1000.5}, ""},
        {"--mcf-times '500;1000.5'", {500, 1000.5}, ""},
        {"--decimal-separator , --mcf-times '500;1000,5'", {500, 1000.5}, ""},
        {"--decimal-separator , --mcf-times '1000,5;'", {1000.5}, ""},
        {"--decimal-separator , --mcf-times 1000,5", {}, "--mcf-times: «1000,5» можно прочесть по-разному"},
        {"--mcf-times '500;1000,5'", {}, "--mcf-times: «500;1000,5»: времена разделяются либо запятыми"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        const auto r = runCli(run + " " + c.options);
        if (!c.error.empty()) {
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_EQ(r.err.rfind("relan-cli: " + c.error, 0), 0u) << r.err;
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
            continue;
        }
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto models = nlohmann::json::parse(r.out).at("models");
        const auto ml =
            std::find_if(models.begin(), models.end(), [](const auto& m) { return m.contains("mcf"); });
        ASSERT_NE(ml, models.end());
        std::vector<double> times;
        for (const auto& p : ml->at("mcf"))
            times.push_back(p.at("time"));
        ASSERT_EQ(times.size(), c.times.size() + 1);
        EXPECT_EQ(std::vector<double>(times.begin() + 1, times.end()), c.times);
    }
    // A time far below an hour is named with its digits, not rounded to 0.
    const auto tiny = runCli(run + " --mcf-times 0.0004 --format text");
    ASSERT_EQ(tiny.exitCode, 0) << tiny.err;
    EXPECT_NE(tiny.out.find("K·F(t) при t = 0.0004 ч"), std::string::npos) << tiny.out;
    EXPECT_EQ(tiny.out.find("t = 0 ч"), std::string::npos);
}

#ifdef RELAN_CLI_CHARTS
TEST(CliReport, AnInputOfTheRunIsNeverItsOutput) {
    relan::test::TempDir dir;
    namespace fs = std::filesystem;
    const fs::path data = dir.path() / "d.rel", terms = dir.path() / "gar.txt";
    fs::copy_file(RELAN_TEST_DATA_DIR "/small.rel", data);
    fs::copy_file(kWarranty, terms);
    fs::create_hard_link(data, dir.path() / "hard.pdf");
    fs::create_symlink("gar.txt", dir.path() / "link.png");
    const std::string d = dir.path().string();
    const struct {
        std::string args;
        std::string out;
        const char* kind;
    } cases[] = {
        {"report " + data.string(), data.string(), "файл данных по отказам"},
        {"report " + data.string(), d + "/hard.pdf", "файл данных по отказам"},
        {"report " + data.string() + " --warranty " + terms.string(), terms.string(),
         "файл гарантийных сроков"},
        {"report " + data.string() + " --warranty " + terms.string(), d + "/link.png",
         "файл гарантийных сроков"},
        {"chart " + data.string(), data.string(), "файл данных по отказам"},
        {"chart " + data.string() + " --warranty " + terms.string(), d + "/link.png",
         "файл гарантийных сроков"},
    };
    const std::string dataBefore = bytesOf(data), termsBefore = bytesOf(terms);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args + " --out " + c.out);
        const auto r = runCli(c.args + " --out " + c.out);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(
            r.err.rfind("relan-cli: Не удалось записать файл «" + c.out + "»: это загруженный " + c.kind, 0),
            0u)
            << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    EXPECT_EQ(bytesOf(data), dataBefore);
    EXPECT_EQ(bytesOf(terms), termsBefore);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"d.rel", "gar.txt", "hard.pdf", "link.png"}));
}

TEST(CliFiles, NamesThatAreNotUtf8AreUsedByteForByte) {
    relan::test::TempDir dir;
    namespace fs = std::filesystem;
    const std::string d = dir.path().string();
    const std::string data = d + "/caf\xE9.rel", terms = d + "/g\xE9.txt";
    fs::copy_file(RELAN_TEST_DATA_DIR "/small.rel", data);
    fs::copy_file(kWarranty, terms);
    // Inputs: the file named is the file read.
    const auto plain =
        runCli("analyze " RELAN_TEST_DATA_DIR "/small.rel --warranty " + kWarranty + " --no-timing");
    const auto named = runCli("analyze '" + data + "' --warranty '" + terms + "' --no-timing");
    ASSERT_EQ(named.exitCode, 0) << named.err;
    EXPECT_EQ(named.out, plain.out);
    // A refusal shows the byte it cannot print as text.
    const auto missing = runCli("load '" + d + "/nope\xE9.rel'");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("nope\\xE9.rel"), std::string::npos) << missing.err;
    // Outputs: the file written has the name given.
    const auto report = runCli("report " RELAN_TEST_DATA_DIR "/small.rel --out '" + d + "/r\xE9.pdf'");
    ASSERT_EQ(report.exitCode, 0) << report.err;
    EXPECT_EQ(bytesOf(d + "/r\xE9.pdf").rfind("%PDF", 0), 0u);
    const auto chart =
        runCli("chart " RELAN_TEST_DATA_DIR "/small.rel --window nonparam --out '" + d + "/c\xE9.png'");
    ASSERT_EQ(chart.exitCode, 0) << chart.err;
    EXPECT_EQ(bytesOf(d + "/c\xE9.png").substr(1, 3), "PNG");
    // The window opens files by text, so its charts refuse such a name.
    const auto window = runCli("chart '" + data + "' --out " + d + "/w.png");
    EXPECT_EQ(window.exitCode, 2);
    EXPECT_NE(window.err.find("caf\\xE9.rel»: имя файла не в кодировке UTF-8"), std::string::npos)
        << window.err;
    EXPECT_EQ(namesIn(dir.path()),
              (std::vector<std::string>{"caf\xE9.rel", "c\xE9.png", "g\xE9.txt", "r\xE9.pdf"}));
}

TEST(CliReport, ASignalEndsTheRunWithThatSignalAndLeavesNoFile) {
    for (const int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        relan::test::TempDir dir;
        const std::string out = (dir.path() / "r.pdf").string();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // As a program started from a terminal: neither signal ignored.
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            // Seconds of spiral descent: the signal comes during the run.
            ::execl(RELAN_CLI_PATH, "relan-cli", "report", RELAN_TEST_DATA_DIR "/small.rel", "--kdiv-spiral",
                    "1.000001", "--out", out.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::usleep(300 * 1000);
        ::kill(child, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status)) << status;
        EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : 0, sig);
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
}
#endif
