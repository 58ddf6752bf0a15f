// Writes a synthetic failure-data file, for measuring whole runs on fleets
// of any size: relan-fleet-file FAILURES DECIMALS OUT.rel [SEED]
#include "fleet_file.hpp"

#include "relan/error.hpp"
#include "relan/file_io.hpp"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "relan-fleet-file ЧИСЛО_ОТКАЗОВ ЗНАКОВ_ПОСЛЕ_ЗАПЯТОЙ ФАЙЛ.rel [ЗЕРНО]\n");
        return 2;
    }
    try {
        relan::sim::FleetFileOptions o;
        o.failures = std::stoi(argv[1]);
        o.decimals = std::stoi(argv[2]);
        if (argc == 5) o.seed = static_cast<unsigned>(std::stoul(argv[4]));
        if (o.failures < 1 || o.decimals < 0 || o.decimals > 9) throw std::invalid_argument("range");
        relan::writeFileSafely(argv[3], relan::sim::fleetFile(o));
    } catch (const relan::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    } catch (const std::exception&) {
        std::fprintf(stderr, "Неверные аргументы: число отказов от 1, знаков после запятой от 0 до 9\n");
        return 2;
    }
    return 0;
}
