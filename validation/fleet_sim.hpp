#pragma once

// Fleets drawn from the likelihood model itself, for the tests, the
// benchmark and the validation program: each product leaves warranty at
// W ~ Normal(Sred, SKO), fails a Poisson(K) number of times at times drawn
// from F(t) = 1 - exp(-A t^B); a failure is observed before W, and an
// observed failure is documented with probability `documented`. The state
// is filled as the loads fill it from such a file.

#include "relan/state.hpp"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace relan::sim {

struct Scenario {
    int N = 0;
    double K = 1, A = 1e-3, B = 1, Sred = 1000, SKO = 200;
    double documented = 1;
};

inline Analysis simulateFleet(const Scenario& sc, std::mt19937_64& rng) {
    std::normal_distribution<double> warranty(sc.Sred, sc.SKO);
    std::poisson_distribution<int> failures(sc.K);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<double> documented;
    int observed = 0;
    for (int i = 0; i < sc.N; ++i) {
        const double w = warranty(rng);
        const int k = failures(rng);
        for (int j = 0; j < k; ++j) {
            const double t = std::pow(-std::log1p(-u(rng)) / sc.A, 1 / sc.B);
            const bool seen = w > 0 && t < w;
            const bool recorded = u(rng) < sc.documented;
            if (!seen) continue;
            ++observed;
            if (recorded) documented.push_back(t);
        }
    }
    std::sort(documented.begin(), documented.end());
    Analysis s;
    for (double t : documented) {
        Problems p;
        p.time = t;
        p.chey = 1;
        s.MasProbl.push_back(p);
    }
    s.Kol_Izd_All = sc.N;
    s.KolOtk = observed;
    s.Kol_izw = static_cast<int>(documented.size());
    s.Popravka_Unknow = observed > 0 ? static_cast<double>(s.Kol_izw) / observed : 1;
    s.Izd_Prived = s.Kol_Izd_All * s.Popravka_Unknow;
    s.Sred = sc.Sred;
    s.SKO = sc.SKO;
    s.tGar = sc.Sred;
    return s;
}

} // namespace relan::sim
