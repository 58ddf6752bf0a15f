#include "fixtures.hpp"

#include "relan/error.hpp"
#include "relan/file_io.hpp"
#include "relan/text1251.hpp"

#include <gtest/gtest.h>

#include <fstream>

using namespace relan;
using relan::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string fileBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

} // namespace

TEST(LinkFile, RemembersThePathInCp1251) {
    TempDir dir;
    EXPECT_FALSE(readLinkFile(dir.path()));
    writeLinkFile(dir.path(), "/home/инженер/отказы.rel");
    std::ifstream in(dir.path() / kLinkFileName, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes, cp1251::fromUtf8("/home/инженер/отказы.rel") + "\r\n");
    EXPECT_EQ(readLinkFile(dir.path()), "/home/инженер/отказы.rel");
}

TEST(LogFile, Cp1251WithCrLfAfterEveryLineAndReplacesTheFile) {
    TempDir dir;
    const auto p = dir.path() / "журнал";
    writeLogFile(p, {"Ход решения"});
    EXPECT_EQ(fileBytes(p), cp1251::fromUtf8("Ход решения") + "\r\n");
    writeLogFile(p, {"Ход решения", "", " ЦФ=1,5"});
    EXPECT_EQ(fileBytes(p), cp1251::fromUtf8("Ход решения") + "\r\n\r\n" + cp1251::fromUtf8(" ЦФ=1,5") + "\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "журнал.part"));
}

TEST(LogFile, UncreatableFileIsRefusedAndTheOldOneKept) {
    TempDir dir;
    const auto missingFolder = dir.path() / "нет" / "log.txt";
    try {
        writeLogFile(missingFolder, {"x"});
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + missingFolder.string() + "\". ", 0), 0u)
            << e.what();
    }
    // A folder of that name cannot be replaced by a file: the folder stays.
    const auto folder = dir.path() / "log";
    std::filesystem::create_directory(folder);
    EXPECT_THROW(writeLogFile(folder, {"x"}), Error);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
}
