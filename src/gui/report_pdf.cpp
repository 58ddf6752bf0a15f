#include "report_pdf.hpp"

#include "flow_chart.hpp"
#include "nonparam_window.hpp"
#include "probability_plot_window.hpp"
#include "qt_text.hpp"
#include "results_window.hpp"

#include "relan/error.hpp"
#include "relan/file_io.hpp"
#include "relan/version.hpp"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QPicture>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <QTextTable>

#include <memory>
#include <vector>

namespace relan::gui {
namespace {

constexpr int kResolution = 300; // dots per inch of the page's coordinates
constexpr int kFigureObject = QTextFormat::UserObject + 1;
constexpr int kFigureIndex = QTextFormat::UserProperty + 1;
constexpr int kFigureSize = QTextFormat::UserProperty + 2;

const QString kSans = QStringLiteral("DejaVu Sans");
const QString kMono = QStringLiteral("DejaVu Sans Mono");

QFont font(const QString& family, double pt, bool bold = false, bool italic = false) {
    QFont f(family);
    f.setPointSizeF(pt);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

// A figure as recorded drawing commands: the chart widget with its caption
// underneath. Replayed on the PDF's painter they stay lines and text, and
// the chart and its caption never part at a page break.
struct Figure {
    QPicture picture;
    QSizeF size; // in the widget's pixels
};

// Draws the figures where the document holds their placeholders.
class FigureDrawer : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
  public:
    std::vector<Figure> figures;
    // The part of the document on the page being drawn: a figure of the
    // next page whose block begins on this one is left to that page.
    QRectF page;

    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& f) override {
        return f.property(kFigureSize).toSizeF();
    }
    void drawObject(QPainter* p, const QRectF& rect, QTextDocument*, int, const QTextFormat& f) override {
        const Figure& fig = figures.at(static_cast<std::size_t>(f.property(kFigureIndex).toInt()));
        if (!page.contains(rect.center())) return;
        p->save();
        p->translate(rect.topLeft());
        // The picture scales itself from its own resolution to the page's.
        const double dpi = double(fig.picture.logicalDpiX()) / p->device()->logicalDpiX();
        p->scale(rect.width() / fig.size.width() * dpi, rect.height() / fig.size.height() * dpi);
        p->drawPicture(0, 0, fig.picture);
        p->restore();
    }
};

// A chart widget at the size it is designed for, laid out as if shown.
void settle(QWidget* w, QSize size) {
    w->setAttribute(Qt::WA_DontShowOnScreen);
    w->resize(size);
    w->show();
    QApplication::processEvents();
    w->resize(size);
    QApplication::processEvents();
}

std::unique_ptr<QWidget> figureWidget(const AnalysisReport& r, ReportFigure f) {
    switch (f) {
    case ReportFigure::FlowPerProduct:
    case ReportFigure::AccumulatedFlow:
    case ReportFigure::CausesCorrected: {
        auto c = std::make_unique<FlowChart>("Chart", nullptr);
        if (f == ReportFigure::FlowPerProduct) c->fill(r.charts.chart1, r.charts.labels, ChartLook{});
        if (f == ReportFigure::AccumulatedFlow)
            c->fill(r.charts.chart2, r.charts.labels, accumulatedFlowLook());
        if (f == ReportFigure::CausesCorrected) c->fill(r.charts.chart3, r.charts.labels, ChartLook{});
        settle(c.get(), QSize(900, 520));
        return c;
    }
    case ReportFigure::NonParametric: {
        auto c = std::make_unique<FlowChart>("Chart3", nullptr);
        fillNonParamChart(c.get(), r.nonparam, r.numbers);
        settle(c.get(), QSize(900, 560));
        return c;
    }
    case ReportFigure::ProbabilityPlot:
        break;
    }
    auto view = std::make_unique<QChartView>();
    view->setRenderHint(QPainter::Antialiasing);
    view->setFrameShape(QFrame::NoFrame);
    view->setChart(probabilityChart(*r.probability, r.numbers));
    settle(view.get(), QSize(900, 640));
    return view;
}

class Builder {
  public:
    Builder(QTextDocument& doc, FigureDrawer& figures, const AnalysisReport& r, double width)
        : figures_(figures), report_(r), width_(width), cursor_(&doc) {}

    void build() {
        // One edit: the document is laid out once, when it is whole, rather
        // than again after every cell (which made the cost grow with the
        // square of a table's rows).
        cursor_.beginEditBlock();
        QTextBlockFormat title;
        title.setAlignment(Qt::AlignHCenter);
        title.setBottomMargin(pt(4));
        cursor_.setBlockFormat(title);
        cursor_.insertText(qs(report_.title), charFormat(font(kSans, 16, true)));
        if (!report_.comment.empty()) {
            QTextBlockFormat c = title;
            c.setBottomMargin(pt(10));
            cursor_.insertBlock(c);
            cursor_.insertText(qs(report_.comment), charFormat(font(kSans, 11)));
        }
        for (const ReportSection& s : report_.sections)
            section(s);
        cursor_.endEditBlock();
    }

  private:
    // The layout takes margins, borders and paddings in pixels of a 96-dpi
    // screen and scales them to the page itself.
    static double pt(double points) { return points * 96.0 / 72.0; }

    static QTextCharFormat charFormat(const QFont& f) {
        QTextCharFormat c;
        c.setFont(f);
        return c;
    }

    void section(const ReportSection& s) {
        QTextBlockFormat h;
        h.setTopMargin(pt(12));
        h.setBottomMargin(pt(5));
        // The drawings start on a page of their own.
        if (s.heading == kReportSectionCharts) h.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        cursor_.insertBlock(h);
        cursor_.insertText(qs(s.heading), charFormat(font(kSans, 13, true)));
        for (const ReportBlock& b : s.blocks)
            block(b);
    }

    void block(const ReportBlock& b) {
        switch (b.kind) {
        case ReportBlock::Kind::Paragraph: {
            QTextBlockFormat p;
            p.setBottomMargin(pt(4));
            cursor_.insertBlock(p);
            cursor_.insertText(qs(b.text), charFormat(font(kSans, 9)));
            break;
        }
        case ReportBlock::Kind::Lines:
            for (const std::string& l : b.lines) {
                cursor_.insertBlock(QTextBlockFormat());
                cursor_.insertText(qs(l), charFormat(font(kMono, 7.5)));
            }
            break;
        case ReportBlock::Kind::Table:
            table(b.table);
            break;
        case ReportBlock::Kind::Figure:
            figure(b);
            break;
        }
    }

    void table(const ReportTable& t) {
        if (t.rows.empty()) return;
        const int columns = static_cast<int>(t.rows[0].size());
        QTextTableFormat f;
        f.setBorder(pt(0.5));
        f.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        f.setBorderBrush(QColor(120, 120, 120));
        f.setBorderCollapse(true);
        f.setCellSpacing(0);
        f.setCellPadding(pt(2.5));
        f.setHeaderRowCount(t.headerRows);
        f.setTopMargin(pt(3));
        f.setBottomMargin(pt(6));
        // Wide tables use the whole width; a narrow one fits its texts.
        if (columns >= 4) f.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        QTextTable* table = cursor_.insertTable(static_cast<int>(t.rows.size()), columns, f);
        for (int r = 0; r < static_cast<int>(t.rows.size()); ++r) {
            const bool header = r < t.headerRows;
            for (int c = 0; c < columns; ++c) {
                QTextTableCell cell = table->cellAt(r, c);
                // With collapsed borders the cells draw the grid.
                QTextTableCellFormat cf = cell.format().toTableCellFormat();
                cf.setBorder(pt(0.5));
                cf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
                cf.setBorderBrush(QColor(150, 150, 150));
                if (header) cf.setBackground(QColor(232, 232, 232));
                cell.setFormat(cf);
                QTextCursor in = cell.firstCursorPosition();
                QTextBlockFormat bf;
                const bool right = !header && c < static_cast<int>(t.numeric.size()) &&
                                   t.numeric[static_cast<std::size_t>(c)];
                bf.setAlignment(right ? Qt::AlignRight : Qt::AlignLeft);
                in.setBlockFormat(bf);
                const auto& row = t.rows[static_cast<std::size_t>(r)];
                const QString text = c < static_cast<int>(row.size())
                                         ? qs(row[static_cast<std::size_t>(c)]).trimmed()
                                         : QString();
                in.insertText(text, charFormat(font(kSans, 8, header)));
            }
        }
        cursor_.movePosition(QTextCursor::End);
    }

    void figure(const ReportBlock& b) {
        const std::unique_ptr<QWidget> w = figureWidget(report_, b.figure);
        ++figureNumber_;
        const QString caption = QString::fromUtf8("Рисунок %1. ").arg(figureNumber_) + qs(b.text);
        QFont captionFont(kSans);
        captionFont.setPixelSize(15);
        captionFont.setItalic(true);
        const double captionHeight = QFontMetricsF(captionFont).height() * 2.2;
        Figure fig;
        fig.size = QSizeF(w->width(), w->height() + captionHeight);
        {
            QPainter p(&fig.picture);
            w->render(&p, QPoint(), QRegion(), QWidget::DrawChildren);
            p.setFont(captionFont);
            p.setPen(Qt::black);
            p.drawText(QRectF(0, w->height(), w->width(), captionHeight), Qt::AlignCenter | Qt::TextWordWrap,
                       caption);
        }
        const double width = width_ * 0.98;
        const QSizeF size(width, width * fig.size.height() / fig.size.width());
        figures_.figures.push_back(std::move(fig));

        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        centred.setTopMargin(pt(6));
        centred.setBottomMargin(pt(6));
        cursor_.insertBlock(centred);
        QTextCharFormat object;
        object.setObjectType(kFigureObject);
        object.setProperty(kFigureIndex, static_cast<int>(figures_.figures.size() - 1));
        object.setProperty(kFigureSize, size);
        cursor_.insertText(QString(QChar::ObjectReplacementCharacter), object);
    }

    FigureDrawer& figures_;
    const AnalysisReport& report_;
    double width_;
    QTextCursor cursor_;
    int figureNumber_ = 0;
};

} // namespace

QByteArray reportPdf(const AnalysisReport& r, const ReportPages& pages) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(kResolution);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(18, 12, 12, 12), QPageLayout::Millimeter);
    writer.setTitle(qs(r.title) + (r.comment.empty() ? QString() : QStringLiteral(": ") + qs(r.comment)));
    writer.setCreator(pages.version);

    const QRectF area = writer.pageLayout().paintRectPixels(kResolution);
    const double lineGap = 10.0 * kResolution / 72.0;
    const QFont marginFont = font(kSans, 7.5);
    const double band =
        QFontMetricsF(marginFont, &writer).height() + lineGap; // header or footer with its gap
    const QSizeF body(area.width(), area.height() - 2 * band);

    QTextDocument doc;
    doc.setUndoRedoEnabled(false);
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setDefaultFont(font(kSans, 9));
    doc.setDocumentMargin(0);
    doc.setPageSize(body);
    // A comment or a name without spaces wraps rather than run off the page.
    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc.setDefaultTextOption(wrap);
    FigureDrawer figures;
    doc.documentLayout()->registerHandler(kFigureObject, &figures);
    Builder(doc, figures, r, body.width()).build();

    const int count = doc.pageCount();
    const QString date = pages.date.toString(QStringLiteral("dd.MM.yyyy"));
    QPainter painter;
    if (!painter.begin(&writer)) throw Error("Не удалось составить отчёт: PDF не создается");
    for (int i = 0; i < count; ++i) {
        if (i > 0) writer.newPage();
        painter.setFont(marginFont);
        painter.setPen(QColor(90, 90, 90));
        const QRectF head(0, 0, area.width(), band - lineGap);
        painter.drawText(head, Qt::AlignLeft | Qt::AlignVCenter, date);
        painter.drawText(head, Qt::AlignHCenter | Qt::AlignVCenter, pages.fileName);
        painter.drawText(head, Qt::AlignRight | Qt::AlignVCenter, pages.version);
        painter.drawLine(QPointF(0, band - lineGap / 2), QPointF(area.width(), band - lineGap / 2));
        const QRectF foot(0, area.height() - band + lineGap, area.width(), band - lineGap);
        painter.drawLine(QPointF(0, foot.top() - lineGap / 2),
                         QPointF(area.width(), foot.top() - lineGap / 2));
        painter.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter, qs(r.title));
        painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromUtf8("Страница %1 из %2").arg(i + 1).arg(count));

        painter.save();
        painter.translate(0, band - i * body.height());
        QAbstractTextDocumentLayout::PaintContext ctx;
        ctx.clip = QRectF(0, i * body.height(), body.width(), body.height());
        painter.setClipRect(ctx.clip);
        figures.page = ctx.clip;
        doc.documentLayout()->draw(&painter, ctx);
        painter.restore();
    }
    painter.end();
    return bytes;
}

ReportPages reportPages(const QString& dataFile) {
    ReportPages p;
    p.fileName = QFileInfo(dataFile).fileName();
    p.date = QDate::currentDate();
    p.version = QStringLiteral("relan ") + QString::fromLatin1(kVersion);
    return p;
}

void writeReportPdf(const AnalysisReport& r, const ReportPages& pages, const QString& path) {
    const QByteArray pdf = reportPdf(r, pages);
    writeFileSafely(ss(path), std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size())));
}

} // namespace relan::gui

#include "report_pdf.moc"
