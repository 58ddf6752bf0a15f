#pragma once

// A chart of the results windows: the series the core computed, drawn with
// Qt Charts, and a legend underneath that wraps onto as many rows as its
// entries need (the chart component's own legend cuts long Russian titles).

#include "relan/results.hpp"

#include <QColor>
#include <QLocale>
#include <QStringList>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPixmap;
QT_FORWARD_DECLARE_CLASS(QChart)
QT_FORWARD_DECLARE_CLASS(QChartView)
QT_FORWARD_DECLARE_CLASS(QAbstractSeries)
class QGraphicsSimpleTextItem;

namespace relan::gui {

struct ChartLook {
    bool legend = true;
    int titlePx = 16;
    int axisTitlePx = 13;
    int axisLabelsPx = 10;
    int legendPx = 11;
    QString bottomAxisTitle;
    // Fixed range of the right axis; automatic when empty.
    std::optional<std::pair<double, double>> rightRange;
    // printf-style ("%.0f%%"); the decimal separator is the one of the data.
    QString rightLabelFormat = "%.0f";
};

class FlowChart : public QWidget {
    Q_OBJECT
  public:
    FlowChart(const QString& objectName, QWidget* parent);

    // Replaces everything the chart showed by `data`: one point per label.
    // Value marks that would cover one another or stick out of the plot are
    // hidden, the earlier series and points keeping theirs; which ones is
    // decided again whenever the plot changes size.
    void fill(const ChartData& data, const std::vector<std::string>& labels, const ChartLook& look);

    // What the last filling holds, for tests and scripts: every series of the
    // data (fixed ones included, drawn or not) and the legend's entries.
    int seriesCount() const { return seriesCount_; }
    QStringList seriesTitles() const { return seriesTitles_; }
    QStringList legendTitles() const { return legendTitles_; }
    QChart* chart() const;
    // A line of texts between the plot and the legend, owned by the chart.
    void setFooter(QWidget* footer);
    // The value marks of all series, in series then point order.
    std::vector<QGraphicsSimpleTextItem*> markItems() const;

    // false when the file was refused (see writePngFile).
    bool savePng(const QString& path) const;

    // The smallest plot a chart is read on, in pixels of the screen.
    static constexpr int kMinPlotWidth = 200, kMinPlotHeight = 150;
    // The size a window designed the chart for, kept where the chart's
    // contents need no more.
    void setDesignedMinimumSize(const QSize& size);
    // Room for the smallest plot with every axis label and title whole and
    // the legend and footer under it; never below the designed size.
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override { return minimumSizeHint(); }

  protected:
    void contextMenuEvent(QContextMenuEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    void layoutParts();
    void placeMarks();
    void fitTitles();
    void fitAxisTitles();
    void measureDecorations();

    QChartView* view_ = nullptr;
    QLabel* legend_ = nullptr;
    QWidget* footer_ = nullptr;
    QString title_;
    int titlePx_ = 16;
    int axisTitlePx_ = 13;
    QSize designedMinimum_;
    // What the chart takes around its plot with every part at its designed
    // size, and the plot's own least size for its labels and titles.
    QSize decorations_;
    QSize plotMinimum_{kMinPlotWidth, kMinPlotHeight};
    struct Mark {
        QGraphicsSimpleTextItem* item;
        QPointF value;
        QAbstractSeries* series;
    };
    std::vector<Mark> marks_;
    int seriesCount_ = 0;
    QStringList seriesTitles_;
    QStringList legendTitles_;
};

// What a chart takes around its plot (axes, titles, margins) when every part
// of it has its full room.
QSize chartDecorations(QChart* chart);

// A colour of the computed charts (0xRRGGBB, transparency in per cent).
QColor chartColor(std::uint32_t rgb, int transparency = 0);
// Qt Charts writes axis numbers with a point unless given a locale; this one
// has the user's separator and, as the table, no grouping of thousands.
QLocale chartLocale(const NumberFormat& fmt);

// "Сохранить как PNG…" for any widget: asks for a file and saves its image;
// a name typed without an extension gets ".png".
void saveWidgetPngInteractively(QWidget* w, const QString& suggestedName);

// An image as a PNG file, encoded in memory and written as every file of the
// program is (relan::writeFileSafely): a link is written through, a special
// or read-only file refused. Refusals are relan::Error naming the file.
void writePngFile(const QPixmap& image, const QString& path);

} // namespace relan::gui
