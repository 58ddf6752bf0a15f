#pragma once

// relan-cli chart: the results of a window of the desktop program, computed
// by the core and drawn offscreen by that window's widgets into a PNG file,
// for reports produced without a display. The main window is not involved.

#include "relan/analysis_report.hpp"

#include <string>

struct ChartCommand {
    std::string file;
    std::string warranty;
    std::string window = "results"; // results | expanded | nonparam
    std::string out;
    std::string models = "spiral"; // the fits ticked before the calculation
    char decimal = '.';
};

// Exit code: 0 written, 2 refused (the reason on stderr).
int runChartCommand(const ChartCommand& c);

// relan-cli report: the report drawn offscreen and written as a PDF file;
// `dataFile` names the data in every page's header. Exit code as above.
int writeReportCommand(const relan::AnalysisReport& report, const std::string& dataFile,
                       const std::string& out);
