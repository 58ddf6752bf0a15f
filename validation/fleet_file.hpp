#pragma once

// Failure-data files of any size, drawn like the bundled sample: a tractor
// fleet whose warranty ends after N(1800 h, 450 h), five causes and a repair
// text per line. For the benchmarks, the large-fleet tests and the measuring
// of whole runs; the same seed gives the same bytes.

#include "relan/text1251.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

namespace relan::sim {

struct FleetFileOptions {
    int failures = 1500;
    // Decimals of the operating times: 1 gives times to 0.1 h, many of them
    // shared in a large file; 6 makes almost every time distinct.
    int decimals = 2;
    unsigned seed = 20181;
};

// The file's bytes, in the Windows Cyrillic code page with CR LF line ends.
// Every second time is written with a decimal comma, as in the sample.
inline std::string fleetFile(const FleetFileOptions& o) {
    static constexpr std::array<const char*, 5> causes{"Двигатель", "Коробка передач", "Гидросистема",
                                                       "Электрооборудование", "Тормоз"};
    static constexpr std::array<const char*, 7> sources{"двигатель не запускается * замена ТНВД",
                                                        "коробка передач: шум * замена подшипника",
                                                        "гидросистема - течь * замена шланга",
                                                        "Электрооборудование: обрыв жгута * ремонт",
                                                        "тормоз не держит * регулировка",
                                                        "ДВИГАТЕЛЬ: течь масла * замена прокладки",
                                                        "течь масла"};
    constexpr double Sred = 1800, SKO = 450, A = 2e-4, B = 1.1;
    std::mt19937_64 rng(o.seed);
    std::normal_distribution<double> warranty(Sred, SKO);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::uniform_int_distribution<std::size_t> pick(0, sources.size() - 1);
    const double scale = std::pow(10.0, o.decimals);
    const double smallest = 1 / scale;

    std::string text = "Синтетический парк тракторов, " + std::to_string(o.failures) + " отказов\r\n";
    text += std::to_string(Sred) + "\r\n" + std::to_string(SKO) + "\r\n";
    text += std::to_string(3 * o.failures) + "\r\n" + std::to_string(o.failures + o.failures / 10) + "\r\n";
    text += std::to_string(causes.size()) + "\r\n";
    for (const char* c : causes)
        text += std::string(c) + "\r\n";
    char buf[64];
    for (int k = 0; k < o.failures;) {
        const double w = warranty(rng);
        const double t = std::round(std::pow(-std::log1p(-u(rng)) / A, 1 / B) * scale) / scale;
        if (!(t >= smallest && t < w)) continue;
        std::snprintf(buf, sizeof buf, "%.*f", o.decimals, t);
        std::string time = buf;
        if (k % 2 == 1)
            for (char& ch : time)
                if (ch == '.') ch = ',';
        text += time + "\t" + sources[pick(rng)] + "\r\n";
        ++k;
    }
    return cp1251::fromUtf8(text);
}

} // namespace relan::sim
