// relan-cli: the analysis without the window, for batch runs and scripts.
// Results go to stdout as JSON; any refusal is one line on stderr, exit 2.

#include "report_json.hpp"

#include "relan/error.hpp"
#include "relan/input_files.hpp"

#include <CLI/CLI.hpp>

#include <iostream>
#include <string>

namespace {

constexpr int kExitError = 2;

std::string oneLine(std::string s) {
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

struct LoadOptions {
    std::string file;
    std::string warranty;
    char decimal = '.';
};

void addLoadOptions(CLI::App& cmd, LoadOptions& o) {
    cmd.add_option("file", o.file, "failure-data file (.rel, Windows-1251)")->required();
    cmd.add_option("--warranty", o.warranty, "warranty-term file (gar*.txt) loaded after the failure data");
    cmd.add_option("--decimal-separator", o.decimal, "decimal separator of numbers in texts (default '.')");
}

struct Loaded {
    relan::AnalysisState state;
    relan::FailureLoad failure;
};

Loaded loadInputs(const LoadOptions& o) {
    Loaded l;
    const relan::NumberFormat fmt{o.decimal};
    l.failure = relan::loadFailureData(o.file, fmt, l.state);
    if (!o.warranty.empty()) relan::loadWarrantyTerms(o.warranty, fmt, l.state);
    return l;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"relan-cli: анализ надежности в эксплуатации без окна"};
    app.require_subcommand(1);

    LoadOptions loadOpts;
    auto* load = app.add_subcommand("load", "read the input files and print what was loaded as JSON");
    addLoadOptions(*load, loadOpts);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "relan-cli: " << oneLine(e.what()) << '\n';
        return kExitError;
    }

    try {
        if (*load) {
            Loaded l = loadInputs(loadOpts);
            nlohmann::ordered_json out{{"input", relan::cli::inputJson(l.state)},
                               {"grid", relan::cli::gridJson(l.failure.grid)}};
            std::cout << out.dump(2) << '\n';
        }
    } catch (const std::exception& e) {
        std::cerr << "relan-cli: " << oneLine(e.what()) << '\n';
        return kExitError;
    }
    return 0;
}
