#include "flow_chart.hpp"

#include "file_dialogs.hpp"
#include "messages.hpp"
#include "qt_text.hpp"
#include "widgets.hpp"

#include "relan/error.hpp"
#include "relan/file_io.hpp"

#include <QAreaSeries>
#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSet>
#include <QSplineSeries>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace relan::gui {
namespace {

// The designed pixel sizes, grown with the user's font.
QFont pixelFont(int px, bool bold) {
    return scaledPixelFont({}, px, bold);
}

// The least designed size an axis title is shrunk to where the plot is short.
int leastAxisTitlePx(int designedPx) {
    return std::min(designedPx, 10);
}

// Category labels must differ for the axis to keep one slot per interval;
// two bounds that round to the same hour are told apart invisibly.
QStringList uniqueLabels(const std::vector<std::string>& labels) {
    QStringList out;
    QSet<QString> seen;
    for (const auto& l : labels) {
        QString q = QString::fromStdString(l);
        while (seen.contains(q))
            q += QChar(0x200B);
        seen.insert(q);
        out << q;
    }
    return out;
}

QString legendEntry(const ChartSeries& s) {
    const QColor c = chartColor(s.color, 0);
    const QString symbol = s.kind == SeriesKind::Line ? QString::fromUtf8("━━") : QString::fromUtf8("■");
    QString title = QString::fromStdString(s.title).toHtmlEscaped();
    title.replace(' ', "&nbsp;");
    return QString("<span style=\"color:%1\">%2</span>&nbsp;%3").arg(c.name(), symbol, title);
}

// A diagonal cross, the point marker of the cumulative share.
QImage crossMarker(const QColor& c) {
    QImage img(11, 11, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(c, 2));
    p.drawLine(1, 1, 9, 9);
    p.drawLine(9, 1, 1, 9);
    return img;
}

struct Range {
    double max = 0;
    bool any = false;
    void take(double v) {
        max = any ? std::max(max, v) : v;
        any = true;
    }
};

// With localized numbers Qt Charts copies the text after the conversion as it
// stands, so the printf-style "%%" of a label format would show doubled.
QString localizedLabelFormat(QString printfFormat) {
    return printfFormat.replace(QLatin1String("%%"), QLatin1String("%"));
}

void setNiceRange(QValueAxis* axis, const Range& r) {
    const double top = r.any && r.max > 0 ? r.max : 1.0;
    axis->setRange(0, top);
    axis->applyNiceNumbers();
}

} // namespace

QColor chartColor(std::uint32_t c, int transparency) {
    QColor q((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
    q.setAlpha(static_cast<int>(std::lround(255.0 * (100 - std::clamp(transparency, 0, 100)) / 100)));
    return q;
}

QLocale chartLocale(const NumberFormat& fmt) {
    QLocale l = fmt.decimal == ',' ? QLocale(QLocale::Russian, QLocale::Russia) : QLocale::c();
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}

FlowChart::FlowChart(const QString& objectName, QWidget* parent) : QWidget(parent) {
    setObjectName(objectName);
    view_ = new QChartView(this);
    view_->setRenderHint(QPainter::Antialiasing);
    view_->setChart(new QChart);
    legend_ = new QLabel(this);
    legend_->setObjectName(objectName + "Legend");
    legend_->setWordWrap(true);
    legend_->setTextFormat(Qt::RichText);
    legend_->setFont(pixelFont(11, false));
    legend_->setContentsMargins(8, 0, 8, 2);
    legend_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
}

QChart* FlowChart::chart() const {
    return view_->chart();
}

void FlowChart::fill(const ChartData& data, const std::vector<std::string>& labels, const ChartLook& look) {
    // A new chart each time: nothing of the previous filling can survive.
    auto* chart = new QChart;
    title_ = QString::fromStdString(data.title);
    titlePx_ = look.titlePx;
    axisTitlePx_ = look.axisTitlePx;
    chart->setTitle(title_.toHtmlEscaped());
    chart->setTitleBrush(Qt::black);
    chart->legend()->hide();
    chart->setLocale(chartLocale(data.numbers));
    chart->setLocalizeNumbers(true);
    chart->setMargins(QMargins(4, 4, 4, 4));

    auto* x = new QBarCategoryAxis;
    x->append(uniqueLabels(labels));
    x->setLabelsFont(pixelFont(look.axisLabelsPx, false));
    if (!look.bottomAxisTitle.isEmpty()) {
        x->setTitleText(look.bottomAxisTitle);
        x->setTitleFont(pixelFont(look.axisTitlePx, true));
    }
    if (labels.size() > 14) x->setLabelsAngle(-90);
    // The chart's least size leaves the labels their room; Qt Charts still
    // cut upright ones to "..." at some font resolutions by a pixel's rounding.
    x->setTruncateLabels(false);
    chart->addAxis(x, Qt::AlignBottom);

    auto* left = new QValueAxis;
    left->setTitleText(QString::fromStdString(data.leftAxisTitle));
    left->setTitleFont(pixelFont(look.axisTitlePx, true));
    left->setLabelsFont(pixelFont(look.axisLabelsPx, false));
    chart->addAxis(left, Qt::AlignLeft);
    QValueAxis* right = nullptr;
    if (!data.rightAxisTitle.empty()) {
        right = new QValueAxis;
        right->setTitleText(QString::fromStdString(data.rightAxisTitle));
        right->setTitleFont(pixelFont(look.axisTitlePx, true));
        right->setLabelsFont(pixelFont(look.axisLabelsPx, false));
        right->setLabelFormat(localizedLabelFormat(look.rightLabelFormat));
        chart->addAxis(right, Qt::AlignRight);
    }

    std::vector<Mark> marks;
    seriesCount_ = static_cast<int>(data.series.size());
    seriesTitles_.clear();
    legendTitles_.clear();
    QStringList legendHtml;
    Range leftRange, rightRange;

    // The first bar series, drawn or not, decides whether the bars of one
    // interval stand on one another or side by side.
    bool stacked = false;
    for (const auto& s : data.series)
        if (s.kind == SeriesKind::Bar) {
            stacked = s.stacked;
            break;
        }
    QAbstractBarSeries* bars = nullptr;
    std::vector<double> stackTops(labels.size(), 0.0);

    for (const auto& s : data.series) {
        seriesTitles_ << QString::fromStdString(s.title);
        if (!s.active) continue;
        const QString title = QString::fromStdString(s.title);
        Range& range = s.axis == Axis::Right && right ? rightRange : leftRange;
        QValueAxis* yAxis = s.axis == Axis::Right && right ? right : left;
        switch (s.kind) {
        case SeriesKind::Bar: {
            if (!bars) {
                bars = stacked ? static_cast<QAbstractBarSeries*>(new QStackedBarSeries)
                               : static_cast<QAbstractBarSeries*>(new QBarSeries);
                bars->setBarWidth(stacked ? 0.7 : 0.85);
            }
            auto* set = new QBarSet(title);
            const QColor c = chartColor(s.color, s.transparency);
            set->setColor(c);
            set->setBorderColor(c.darker(130));
            for (std::size_t i = 0; i < s.values.size(); ++i) {
                set->append(s.values[i]);
                if (stacked && i < stackTops.size())
                    stackTops[i] += s.values[i];
                else
                    range.take(s.values[i]);
            }
            bars->append(set);
            break;
        }
        case SeriesKind::Line: {
            if (s.values.empty()) continue; // a model not computed: no curve, no legend entry
            QLineSeries* line = s.smoothed ? new QSplineSeries : new QLineSeries;
            line->setName(title);
            QPen pen(chartColor(s.color, s.transparency));
            pen.setWidth(std::max(1, s.penWidth));
            if (s.pen == PenStyle::Dash) pen.setStyle(Qt::DashLine);
            if (s.pen == PenStyle::DashDot) pen.setStyle(Qt::DashDotLine);
            line->setPen(pen);
            if (s.pointMarkers) line->setLightMarker(crossMarker(chartColor(s.color, 0)));
            for (std::size_t i = 0; i < s.values.size(); ++i) {
                line->append(static_cast<double>(i), s.values[i]);
                range.take(s.values[i]);
            }
            chart->addSeries(line);
            line->attachAxis(x);
            line->attachAxis(yAxis);
            QFont markFont = pixelFont(s.marksPx, s.marksBold);
            markFont.setItalic(s.marksItalic);
            for (std::size_t i = 0; i < s.marks.size() && i < s.values.size(); ++i) {
                if (s.marks[i].empty()) continue;
                auto* item = new QGraphicsSimpleTextItem(QString::fromStdString(s.marks[i]), chart);
                item->setFont(markFont);
                item->setBrush(chartColor(s.color, 0));
                item->setZValue(10);
                marks.push_back({item, QPointF(static_cast<double>(i), s.values[i]), line});
            }
            break;
        }
        case SeriesKind::Area: {
            if (s.values.empty()) continue;
            auto* upper = new QLineSeries;
            for (std::size_t i = 0; i < s.values.size(); ++i) {
                upper->append(static_cast<double>(i), s.values[i]);
                range.take(s.values[i]);
            }
            auto* area = new QAreaSeries(upper);
            area->setName(title);
            area->setPen(Qt::NoPen);
            area->setBrush(chartColor(s.color, s.transparency));
            chart->addSeries(area);
            area->attachAxis(x);
            area->attachAxis(yAxis);
            break;
        }
        }
        if (!s.title.empty()) {
            legendTitles_ << title;
            legendHtml << legendEntry(s);
        }
    }
    if (bars) {
        // Bars go under the curves.
        chart->addSeries(bars);
        bars->attachAxis(x);
        bars->attachAxis(left);
        for (double t : stackTops)
            leftRange.take(t);
    }
    setNiceRange(left, leftRange);
    if (right) {
        if (look.rightRange)
            right->setRange(look.rightRange->first, look.rightRange->second);
        else
            setNiceRange(right, rightRange);
    }

    QChart* old = view_->chart();
    view_->setChart(chart);
    delete old;
    marks_ = std::move(marks);
    // Value marks follow their points whenever the plot moves or resizes,
    // and the titles along it take the room it has.
    connect(chart, &QChart::plotAreaChanged, this, [this] {
        placeMarks();
        fitAxisTitles();
    });
    x->setTitleVisible(!look.bottomAxisTitle.isEmpty());
    legend_->setVisible(look.legend && !legendHtml.isEmpty());
    legend_->setFont(pixelFont(look.legendPx, false));
    legend_->setText(legendHtml.join(QStringLiteral(" &nbsp;&nbsp; ")));

    // The plot a reader needs: the titles along it at least at a readable
    // size, and upright category labels each within its slot.
    const QFontMetrics labelMetrics(pixelFont(look.axisLabelsPx, false));
    const QFontMetrics leastTitle(pixelFont(leastAxisTitlePx(look.axisTitlePx), true));
    int plotWidth = kMinPlotWidth, plotHeight = kMinPlotHeight;
    if (x->labelsAngle() == 0) {
        int widest = 0;
        for (const QString& l : x->categories())
            widest = std::max(widest, labelMetrics.horizontalAdvance(l));
        plotWidth = std::max(plotWidth, static_cast<int>(x->count()) * (widest + 6));
    }
    if (!look.bottomAxisTitle.isEmpty())
        plotWidth =
            std::max(plotWidth, QFontMetrics(x->titleFont()).horizontalAdvance(look.bottomAxisTitle) + 8);
    for (QAbstractAxis* a : chart->axes(Qt::Vertical))
        plotHeight = std::max(plotHeight, leastTitle.horizontalAdvance(a->titleText()) + 8);
    plotMinimum_ = QSize(plotWidth, plotHeight);
    chart->setTitleFont(pixelFont(titlePx_, true));
    measureDecorations();
    updateGeometry();
    layoutParts();
}

QSize chartDecorations(QChart* c) {
    // Qt Charts gives each axis its labels' and title's full room when it
    // has it, and cuts them ("...") when it does not: what it takes around
    // the plot on a page far larger than needed is what it needs.
    const QSizeF was = c->size();
    const QSizeF probe(4000, 3000);
    c->resize(probe);
    const QRectF plot = c->plotArea();
    const QSize out(static_cast<int>(std::ceil(probe.width() - plot.width())),
                    static_cast<int>(std::ceil(probe.height() - plot.height())));
    c->resize(was);
    return out;
}

void FlowChart::measureDecorations() {
    decorations_ = chartDecorations(view_->chart());
}

void FlowChart::setDesignedMinimumSize(const QSize& size) {
    designedMinimum_ = size;
    updateGeometry();
}

QSize FlowChart::minimumSizeHint() const {
    const int width = decorations_.width() + plotMinimum_.width();
    int height = decorations_.height() + plotMinimum_.height();
    // The legend and the footer are tallest at the least width.
    if (legend_->isVisibleTo(this)) height += legend_->heightForWidth(width) + 4;
    if (footer_)
        height +=
            footer_->hasHeightForWidth() ? footer_->heightForWidth(width) : footer_->sizeHint().height();
    return QSize(width, height).expandedTo(designedMinimum_);
}

std::vector<QGraphicsSimpleTextItem*> FlowChart::markItems() const {
    std::vector<QGraphicsSimpleTextItem*> items;
    items.reserve(marks_.size());
    for (const Mark& m : marks_)
        items.push_back(m.item);
    return items;
}

void FlowChart::placeMarks() {
    QChart* chart = view_->chart();
    const QRectF plot = chart->plotArea();
    // With many intervals the marks of neighbouring points, and of the two
    // curves, would print over one another into an unreadable smear: a mark
    // is shown only where it fits, above its point or else below it.
    std::vector<QRectF> taken;
    for (const Mark& m : marks_) {
        const QPointF at = chart->mapToPosition(m.value, m.series);
        const QRectF box = m.item->boundingRect();
        const QPointF places[] = {{at.x() - box.width() / 2, at.y() - box.height() - 3},
                                  {at.x() - box.width() / 2, at.y() + 3}};
        bool shown = false;
        for (const QPointF& p : places) {
            const QRectF r = box.translated(p);
            // A pixel of air between neighbours.
            const QRectF spaced = r.adjusted(-1, -1, 1, 1);
            const auto covers = [&](const QRectF& t) { return t.intersects(spaced); };
            if (!plot.contains(r) || std::any_of(taken.begin(), taken.end(), covers)) continue;
            m.item->setPos(p);
            taken.push_back(r);
            shown = true;
            break;
        }
        if (!shown) m.item->setPos(places[0]);
        m.item->setVisible(shown);
    }
}

void FlowChart::fitTitles() {
    // The designed sizes, or smaller where a title would otherwise be cut.
    auto fitted = [](const QString& text, int px, int room) {
        QFont f = pixelFont(px, true);
        while (f.pixelSize() > 8 && QFontMetrics(f).horizontalAdvance(text) > room)
            f.setPixelSize(f.pixelSize() - 1);
        return f;
    };
    QChart* c = view_->chart();
    const int room = std::max(1, view_->width() - 24);
    c->setTitleFont(fitted(title_, titlePx_, room));
    // The chart wraps its title; one longer than two widths even at the
    // smallest size is cut with "…", and is whole in the tooltip.
    const QString shown = QFontMetrics(c->titleFont()).elidedText(title_, Qt::ElideRight, 2 * room);
    c->setTitle(shown.toHtmlEscaped());
    view_->setToolTip(shown == title_ ? QString() : title_);
    fitAxisTitles();
}

void FlowChart::fitAxisTitles() {
    // A title along the plot gets the designed size, or a smaller one as long
    // as it stays readable; the chart's least size leaves it that room.
    QChart* c = view_->chart();
    const double room = c->plotArea().height() - 8;
    if (room <= 0) return;
    const int least = scaledPx(leastAxisTitlePx(axisTitlePx_));
    for (QAbstractAxis* a : c->axes(Qt::Vertical)) {
        QFont f = pixelFont(axisTitlePx_, true);
        while (f.pixelSize() > least && QFontMetrics(f).horizontalAdvance(a->titleText()) > room)
            f.setPixelSize(f.pixelSize() - 1);
        // Setting it again would lay the chart out again, and call back here.
        if (f != a->titleFont()) a->setTitleFont(f);
    }
}

void FlowChart::setFooter(QWidget* footer) {
    footer_ = footer;
    footer_->setParent(this);
    updateGeometry();
    layoutParts();
}

void FlowChart::layoutParts() {
    int legendHeight = 0;
    if (legend_->isVisibleTo(this)) legendHeight = legend_->heightForWidth(width()) + 4;
    legend_->setGeometry(0, height() - legendHeight, width(), legendHeight);
    int footerHeight = 0;
    if (footer_) {
        footerHeight =
            footer_->hasHeightForWidth() ? footer_->heightForWidth(width()) : footer_->sizeHint().height();
        footer_->setGeometry(0, height() - legendHeight - footerHeight, width(), footerHeight);
    }
    view_->setGeometry(0, 0, width(), height() - legendHeight - footerHeight);
    fitTitles();
}

void FlowChart::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layoutParts();
}

bool FlowChart::savePng(const QString& path) const {
    try {
        writePngFile(const_cast<FlowChart*>(this)->grab(), path);
        return true;
    } catch (const Error&) {
        return false;
    }
}

void FlowChart::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    QAction* save = menu.addAction(QString::fromUtf8("Сохранить как PNG…"));
    if (menu.exec(e->globalPos()) == save) saveWidgetPngInteractively(this, objectName() + ".png");
}

void saveWidgetPngInteractively(QWidget* w, const QString& suggestedName) {
    saveAsInteractively(
        w, QString::fromUtf8("Сохранить график"), suggestedName, QString::fromUtf8("Рисунок PNG (*.png)"),
        "png", [w](const QString& path) { return guarded(w, [&] { writePngFile(w->grab(), path); }); });
}

void writePngFile(const QPixmap& image, const QString& path) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw Error(writeFailureMessage(ss(path), "рисунок не удалось закодировать в PNG"));
    writeFileSafely(ss(path), std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
}

} // namespace relan::gui
