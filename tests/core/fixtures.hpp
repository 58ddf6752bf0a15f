#pragma once

#include "relan/state.hpp"
#include "relan/text1251.hpp"
#include "relan/warning_text.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace relan {

// A warning in a failed expectation reads as the user reads it.
inline void PrintTo(const Warning& w, std::ostream* os) {
    *os << warningText(w, {});
}
inline void PrintTo(const LimitHit& hit, std::ostream* os) {
    *os << warningText(hit, {});
}

} // namespace relan

namespace relan::test {

// Joins UTF-8 lines into the bytes of a cp1251 file with CR LF after each.
inline std::string cp1251File(const std::vector<std::string>& lines, const std::string& eol = "\r\n") {
    std::string out;
    for (const auto& l : lines)
        out += cp1251::fromUtf8(l) + eol;
    return out;
}

// A temporary folder removed with the object.
class TempDir {
  public:
    TempDir() {
        // Test programs run side by side (ctest -j) start within the same
        // millisecond, so their random seeds may match; the process id keeps
        // them apart, and a folder is only ever taken when this made it.
        do {
            path_ = std::filesystem::temp_directory_path() /
                    ("relan-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter()++));
        } while (!std::filesystem::create_directory(path_));
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

// A character device to aim a write at that must be refused. A faulty write
// run as root would replace the system's /dev/null, so root gets a node of
// the same device in `folder`; anyone else cannot harm /dev/null and gets
// it. Empty when root may not make device nodes here.
inline std::filesystem::path characterDevice(const std::filesystem::path& folder) {
    if (::geteuid() != 0) return "/dev/null";
    struct stat null {};
    const auto node = folder / "null";
    if (::stat("/dev/null", &null) != 0 || ::mknod(node.c_str(), S_IFCHR | 0666, null.st_rdev) != 0)
        return {};
    return node;
}

// A loaded state with the given failure times (ascending), every failure of
// cause 1 unless `causes` says otherwise, all failures documented.
inline Analysis makeState(const std::vector<double>& times, double fleet, double sred, double sko,
                          const std::vector<int>& causes = {}) {
    Analysis s;
    for (std::size_t i = 0; i < times.size(); ++i) {
        Problems p;
        p.time = times[i];
        p.chey = causes.empty() ? 1 : causes[i];
        s.MasProbl.push_back(p);
    }
    s.Kol_izw = static_cast<int>(times.size());
    s.KolOtk = s.Kol_izw;
    s.Kol_Izd_All = static_cast<int>(fleet);
    s.Popravka_Unknow = 1;
    s.Izd_Prived = fleet;
    s.Sred = sred;
    s.SKO = sko;
    s.tGar = sred;
    s.NPrich = 1;
    s.Vidy_otkazov[0].Nazv_Prich = "Не установл.";
    s.Vidy_otkazov[1].Nazv_Prich = "Насос";
    s.Vidy_otkazov[1].Dolya = static_cast<double>(times.size());
    s.uk = true;
    return s;
}

// Failure times drawn from F(t) = 1 - exp(-A t^B), thinned by a normal
// warranty-end law, sorted; deterministic for a seed.
std::vector<double> weibullTimes(int n, double A, double B, double sred, double sko, unsigned seed);

// What a shell command writes to its standard output, and its exit code
// (-1 when it did not exit normally).
struct CommandRun {
    int exitCode = -1;
    std::string out;
};
inline CommandRun runCommand(const std::string& command) {
    CommandRun r;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    std::array<char, 65536> buf;
    std::size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace relan::test

#include <algorithm>
#include <cmath>
#include <random>

inline std::vector<double> relan::test::weibullTimes(int n, double A, double B, double sred, double sko,
                                                     unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::normal_distribution<double> warranty(sred, sko);
    std::vector<double> t;
    while (static_cast<int>(t.size()) < n) {
        const double x = std::pow(-std::log(1 - u(rng)) / A, 1 / B);
        if (x < warranty(rng)) t.push_back(std::round(x * 10) / 10);
    }
    std::sort(t.begin(), t.end());
    return t;
}
