// The deterministic fits must keep their search path whatever is done to
// make them faster: every comparison of the criterion decides as it did, so
// the printed analysis stays the same to the last byte. The stored outputs
// were written by the direct evaluation of every trial.

#include "fixtures.hpp"

#include "fleet_file.hpp"

#include "relan/file_io.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string runCli(const std::string& args) {
    return relan::test::runCommand(std::string(RELAN_CLI_PATH) + " " + args + " 2>&1").out;
}

// Index of the first differing byte with a little context, for the message.
std::string firstDifference(const std::string& got, const std::string& want) {
    std::size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i])
        ++i;
    const std::size_t from = i > 120 ? i - 120 : 0;
    return "first difference at byte " + std::to_string(i) + "\n--- got:\n" + got.substr(from, 240) +
           "\n--- stored:\n" + want.substr(from, 240);
}

} // namespace

struct PathCase {
    const char* stored;
    const char* file; // in the samples or test data, or generated when `failures` > 0
    const char* options;
    int failures = 0, decimals = 0;
    unsigned seed = 0;
};

class FitPath : public testing::TestWithParam<PathCase> {};

TEST_P(FitPath, AnalysisIsByteForByteAsStored) {
    const PathCase& c = GetParam();
    relan::test::TempDir dir;
    std::string file = c.file;
    if (c.failures > 0) {
        file = (dir.path() / c.file).string();
        relan::writeFileSafely(file, relan::sim::fleetFile({c.failures, c.decimals, c.seed}));
    }
    const std::string want = readAll(std::string(RELAN_TEST_DATA_DIR) + "/fit_path/" + c.stored + ".json");
    ASSERT_FALSE(want.empty()) << c.stored;
    const std::string got =
        runCli("analyze " + file + " --models spiral,newton,smirnov --no-timing " + c.options);
    EXPECT_TRUE(got == want) << firstDifference(got, want);
}

#define SAMPLE RELAN_SAMPLES_DIR "/mtz82_2018.rel"
#define SMALL RELAN_TEST_DATA_DIR "/small.rel"

// Generated fleets: one where almost every operating time is distinct, one
// where times to 0.1 h repeat many times.
INSTANTIATE_TEST_SUITE_P(
    Files, FitPath,
    testing::Values(PathCase{"sample", SAMPLE, ""},
                    PathCase{"sample_warranty", SAMPLE, "--warranty " RELAN_SAMPLES_DIR "/gar2018.txt"},
                    PathCase{"sample_fitted_warranty", SAMPLE, "--fit-mean --fit-sd"},
                    PathCase{"sample_spec2", SAMPLE, "--criterion spec2"},
                    PathCase{"sample_coarse", SAMPLE,
                             "--kdiv-smirnov 1.01 --kdiv-spiral 1.01 --kdiv-newton 1.01"},
                    PathCase{"fleet1500", RELAN_BENCH_DATA_DIR "/fleet1500.rel", ""},
                    PathCase{"small", SMALL, ""},
                    PathCase{"small_typed_warranty", SMALL, "--sred 1400 --sko 300"},
                    PathCase{"distinct3000", "distinct3000.rel", "", 3000, 6, 7},
                    PathCase{"ties5000", "ties5000.rel", "", 5000, 1, 8}),
    [](const testing::TestParamInfo<PathCase>& i) { return std::string(i.param.stored); });
