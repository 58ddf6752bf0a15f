#pragma once

#include "relan/text1251.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace relan::test {

// Joins UTF-8 lines into the bytes of a cp1251 file with CR LF after each.
inline std::string cp1251File(const std::vector<std::string>& lines, const std::string& eol = "\r\n") {
    std::string out;
    for (const auto& l : lines) out += cp1251::fromUtf8(l) + eol;
    return out;
}

// A temporary folder removed with the object.
class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("relan-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                 std::to_string(counter()++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string write(const std::string& name, const std::string& bytes) const {
        auto p = path_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

private:
    static int& counter() {
        static int c = 0;
        return c;
    }
    std::filesystem::path path_;
};

} // namespace relan::test
