#pragma once

// The numbers of the results window: the reliability table per fitted model
// beside the figures of the operating data, and the three failure-flow
// charts. Everything here is computed from the analysis state; the window
// only copies texts into its grid and values into its chart series.

#include "relan/models.hpp"
#include "relan/numtext.hpp"
#include "relan/state.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace relan {

// Failures per product per 100 h after running-in, over 20 %..100 % of the
// mean warranty term, corrected for products leaving warranty. Raises
// relan::Error when a divisor of the figure is 0 (mean warranty term, fleet
// size, documented failures) or the result is not finite.
double Potok08(const Analysis& s);

enum class SeriesKind { Line, Bar, Area };
enum class Axis { Left, Right };
enum class PenStyle { Solid, Dash, DashDot };

// The chart palette the causes are drawn in (colour number i = cause i).
inline constexpr std::array<std::uint32_t, 11> kPalette5 = {
    0x0000FF, 0x00FF00, 0x00FFFF, 0xFF0000, 0xFF00FF, 0xFFFF00,
    0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
};
// Causes above this are left to the expanded chart.
constexpr int kChartedCauses = 10;

struct ChartSeries {
    std::string name;  // design name ("Series1"), empty for a series the pass creates
    std::string title; // legend text
    SeriesKind kind = SeriesKind::Line;
    Axis axis = Axis::Left;
    std::uint32_t color = 0; // 0xRRGGBB
    int penWidth = 1;        // 0 = no lines (the area of cumulative failures)
    int transparency = 0;    // per cent, 0 = opaque
    bool smoothed = false;
    bool stacked = false; // bars of one interval stand on one another
    bool active = true;
    PenStyle pen = PenStyle::Solid;
    bool pointMarkers = false; // a cross at every point
    // Value marks: the text shown at each point (empty = none at that point).
    std::vector<std::string> marks;
    int marksPx = 12;
    bool marksItalic = false;
    bool marksBold = false;
    int cause = -1; // cause of a per-cause bar series, 0 for the unidentified ones, -1 otherwise
    // One value per interval, in interval order; empty for a series not
    // filled in this pass. The corrected-flow cause bars stop at the first
    // interval by which 90 % of the products have left warranty.
    std::vector<double> values;
};

struct ChartData {
    std::string title, leftAxisTitle, rightAxisTitle;
    // The design's fixed series first, in their fixed order, then the
    // per-cause series and the unidentified legend entries.
    std::vector<ChartSeries> series;
    // The format the marks were written in; the axes' numbers follow it, so
    // that one chart never shows two decimal separators.
    NumberFormat numbers;
};

struct FlowCharts {
    std::vector<std::string> labels; // per interval: its upper bound in whole hours
    ChartData chart1;                // flow per 100 h per product
    ChartData chart2;                // accumulated flow per product
    ChartData chart3;                // observed beside censoring-corrected flow per cause
};

// Rebuilds the three charts from the histogram and the executed models.
// Side effects on the state: SumNund, Sum_PrichRow/Sum_PrichCol [0..10],
// F_OutGar, and the running sums Unsens and Kol_Nakopl of the executed
// models. Either all of them are written or, when relan::Error is raised, none.
FlowCharts chartPass(Analysis& s, const NumberFormat& fmt);

constexpr int kTableRows = 12;
// The row titles, the four models of the histogram criteria, the
// likelihood model and the operating data. Without the likelihood model the
// table has its six designed columns (the seventh stays empty).
constexpr int kTableColumns = 7;
constexpr int kDesignedTableColumns = 6;

struct ResultTable {
    // [row][column]; values without the padding that centres them in the
    // grid (the window adds it with its own font).
    std::array<std::array<std::string, kTableColumns>, kTableRows> cells;
    std::array<int, kTableColumns> widths; // pixels set by this filling, -1 = left as it was
    // Value cells, which the window pads to the column's width; titles and
    // the continuation text of row 10 are shown as they are.
    std::array<std::array<bool, kTableColumns>, kTableRows> padded{};
    // The column of the operating data, after the executed models.
    int dataColumn = 1;
    // The designed six, or seven when the likelihood model pushes the
    // operating data into the seventh.
    int shownColumns() const {
        return dataColumn + 1 > kDesignedTableColumns ? dataColumn + 1 : kDesignedTableColumns;
    }
    // Every row cut to the shown columns, as the window, the files and the
    // report give the table.
    std::vector<std::vector<std::string>> shownCells() const {
        std::vector<std::vector<std::string>> rows;
        rows.reserve(cells.size());
        for (const auto& r : cells)
            rows.emplace_back(r.begin(), r.begin() + shownColumns());
        return rows;
    }
    // Per column: why its figures should not be trusted, one line per
    // parameter its fit left on a limit of the search range; empty for most.
    std::array<std::string, kTableColumns> notes;
};

// False for a model whose A and K are no estimates: the likelihood model at
// its power-law limit.
bool modelEstimable(const ModelResults& s, ModelId id);

// An end of an interval the data do not bound.
inline constexpr const char* kOpenEnd = "не ограничен";
struct LikelihoodInterval;
// "(lo…hi)" in the user's format, an open end as kOpenEnd.
std::string intervalText(const LikelihoodInterval& ci, const char* pattern, const NumberFormat& fmt);

struct DiagramsResult {
    std::string comment; // the line above the table
    FlowCharts charts;
    ResultTable table;
};

// One filling of the results window: Potok08, the chart pass, the comment
// line, the table. All or nothing: on relan::Error the state
// is left as it was.
DiagramsResult Diagrams(Analysis& s, const NumberFormat& fmt);

// What a median line says when the failures never reach half the fleet.
inline constexpr const char* kMedianNotEstimable = "- данных недостаточно для оценки";

// The expanded chart: the flow per 100 h per product of the results
// window's first chart for causes 1..18, with the cumulative share of failed
// products, its heading and the two median times.
struct ExpandResult {
    std::vector<std::string> labels; // per interval: its upper bound in whole hours
    ChartData chart;                 // 8 fixed series, then the causes and "Не идент."
    std::string heading;
    std::string medianLine, censoredMedianLine; // censoredMedianLine empty when t50 is 0
    double t50 = 0, tz50 = 0;
};

// Colours of causes 11..18 (index cause - 11) and of "Не идент." in the
// expanded chart: none of them is a palette colour of causes 1..10.
inline constexpr std::array<std::uint32_t, 8> kExtraCauseColors = {
    0xFF8C00, 0x8B4513, 0x2E8B57, 0x4682B4, 0xDA70D6, 0x556B2F, 0xB8860B, 0x708090,
};

// Side effects as the chart pass (causes 0..18 instead of 0..10); all or
// nothing on relan::Error.
ExpandResult ExpandDia_1(Analysis& s, const NumberFormat& fmt);

} // namespace relan
