#include "printing.hpp"

#include "file_dialogs.hpp"
#include "messages.hpp"
#include "qt_text.hpp"

#include "relan/file_io.hpp"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>

#include <algorithm>

namespace relan::gui {

namespace {

bool paintWindow(QWidget* w, QPagedPaintDevice& device, int resolution) {
    const QPixmap image = w->grab();
    QPainter painter;
    if (!painter.begin(&device)) return false;
    const QRectF page = device.pageLayout().paintRectPixels(resolution);
    const QRectF area(0, 0, page.width(), page.height());
    QSizeF size = image.size();
    size.scale(area.size(), Qt::KeepAspectRatio);
    const QRectF target((area.width() - size.width()) / 2, (area.height() - size.height()) / 2, size.width(),
                        size.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, image, QRectF(image.rect()));
    return painter.end();
}

} // namespace

bool printPages(QPrinter& printer, const PagesPainter& paint) {
    const QString file = printer.outputFileName();
    if (printer.outputFormat() != QPrinter::PdfFormat || file.isEmpty())
        return paint(printer, printer.resolution());
    // The printer would open the file itself, truncating whatever the name
    // leads to; the PDF is made in memory and written as every other file.
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setTitle(printer.docName());
        writer.setResolution(printer.resolution());
        writer.setPageLayout(printer.pageLayout());
        if (!paint(writer, printer.resolution())) return false;
    }
    writeFileSafely(ss(file), std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size())));
    return true;
}

bool printWidget(QWidget* w, QPrinter& printer) {
    return printPages(printer, [w](QPagedPaintDevice& device, int resolution) {
        return paintWindow(w, device, resolution);
    });
}

std::vector<TablePage> tablePages(const std::vector<double>& columnWidths, int rowCount, double rowHeight,
                                  const QSizeF& room) {
    std::vector<TablePage> pages;
    const int columnCount = static_cast<int>(columnWidths.size());
    if (columnCount == 0 || rowCount <= 0) return pages;
    // A hair of slack, so that a run that fits exactly is not split by rounding.
    const double width = room.width() * (1 + 1e-9);
    std::vector<std::vector<int>> columnRuns(1);
    double used = columnWidths[0];
    for (int c = 1; c < columnCount; ++c) {
        if (!columnRuns.back().empty() && used + columnWidths[static_cast<std::size_t>(c)] > width) {
            columnRuns.emplace_back();
            used = columnWidths[0];
        }
        columnRuns.back().push_back(c);
        used += columnWidths[static_cast<std::size_t>(c)];
    }
    const int perPage =
        rowHeight > 0 ? std::max(1, static_cast<int>(room.height() * (1 + 1e-9) / rowHeight) - 1) : 1;
    std::vector<std::vector<int>> rowRuns(1);
    for (int r = 1; r < rowCount; ++r) {
        if (static_cast<int>(rowRuns.back().size()) == perPage) rowRuns.emplace_back();
        rowRuns.back().push_back(r);
    }
    // Down the rows of a run of columns, then the next run: the pages of one
    // column run read as one table.
    for (const auto& columns : columnRuns)
        for (const auto& rows : rowRuns) {
            TablePage page;
            page.rows.push_back(0);
            page.rows.insert(page.rows.end(), rows.begin(), rows.end());
            page.columns.push_back(0);
            page.columns.insert(page.columns.end(), columns.begin(), columns.end());
            pages.push_back(std::move(page));
        }
    return pages;
}

namespace {

// The user's font at the same size on paper: a font given in pixels would
// come out a few dots high at a printer's resolution.
QFont onPaper(QFont f) {
    if (f.pointSizeF() <= 0) f.setPointSizeF(f.pixelSize() * 72.0 / 96.0);
    return f;
}

// A widget as it is on the screen, scaled into `cell` keeping its proportions.
void drawWidget(QPainter& p, QWidget* w, const QRectF& cell) {
    const QSizeF size = w->size();
    if (size.isEmpty()) return;
    const double scale = std::min(cell.width() / size.width(), cell.height() / size.height());
    p.save();
    p.translate(cell.center() - QPointF(size.width() * scale / 2, size.height() * scale / 2));
    p.scale(scale, scale);
    w->render(&p, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    p.restore();
}

} // namespace

bool paintTableAndFigures(QPagedPaintDevice& device, int resolution, const QString& heading,
                          const PrintedTable& table, const QFont& font,
                          const std::vector<QWidget*>& figures) {
    QPainter p;
    if (!p.begin(&device)) return false;
    const QRectF paint = device.pageLayout().paintRectPixels(resolution);
    const QRectF area(0, 0, paint.width(), paint.height());
    const QFont body = onPaper(font);
    QFont bold = body;
    bold.setBold(true);
    QFont title = bold;
    title.setPointSizeF(body.pointSizeF() * 1.3);
    const QFontMetricsF fm(body, &device), fmBold(bold, &device), fmTitle(title, &device);
    const double pad = fm.averageCharWidth();
    const double headingHeight = fmTitle.height() * 1.8;
    const double rowHeight = fm.height() * 1.5;

    const int columnCount = table.rows.empty() ? 0 : static_cast<int>(table.rows.front().size());
    std::vector<double> widths(static_cast<std::size_t>(columnCount), 0.0);
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (int c = 0; c < columnCount && c < table.rows[r].size(); ++c) {
            const QFontMetricsF& m = r == 0 ? fmBold : fm;
            widths[static_cast<std::size_t>(c)] = std::max(widths[static_cast<std::size_t>(c)],
                                                           m.horizontalAdvance(table.rows[r][c]) + 2 * pad);
        }
    // A page too narrow for the titles beside the widest column takes the
    // table smaller rather than cutting its cells.
    double widest = 0;
    for (std::size_t c = 1; c < widths.size(); ++c)
        widest = std::max(widest, widths[c]);
    const double needed = widths.empty() ? 0 : widths[0] + widest;
    const double scale = needed > area.width() ? area.width() / needed : 1.0;
    const QSizeF room(area.width() / scale, (area.height() - headingHeight) / scale);
    const std::vector<TablePage> pages =
        tablePages(widths, static_cast<int>(table.rows.size()), rowHeight, room);

    // The notes go under the last page of the table, or on a page of their own.
    const QString notes = table.notes.join(QLatin1Char('\n'));
    const double notesHeight =
        notes.isEmpty()
            ? 0
            : fm.boundingRect(QRectF(0, 0, area.width(), area.height()), Qt::TextWordWrap, notes).height() +
                  rowHeight / 2;
    const double lastTableHeight = pages.empty() ? 0 : pages.back().rows.size() * rowHeight * scale;
    const bool notesApart = notesHeight > 0 && headingHeight + lastTableHeight + notesHeight > area.height();
    const int figurePages = static_cast<int>((figures.size() + 3) / 4);
    const int total = static_cast<int>(pages.size()) + (notesApart ? 1 : 0) + figurePages;
    int number = 0;

    const QPen grid(Qt::black, resolution / 200.0);
    auto startPage = [&] {
        if (number > 0) device.newPage();
        ++number;
        const QString count = QString::fromUtf8("стр. %1 из %2").arg(number).arg(total);
        p.setFont(body);
        p.setPen(Qt::black);
        const double countWidth = fm.horizontalAdvance(count) + 2 * pad;
        p.drawText(QRectF(area.width() - countWidth, 0, countWidth, fmTitle.height()),
                   Qt::AlignRight | Qt::AlignVCenter, count);
        p.setFont(title);
        p.drawText(QRectF(0, 0, area.width() - countWidth, fmTitle.height()),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   fmTitle.elidedText(heading.simplified(), Qt::ElideRight, area.width() - countWidth));
    };
    for (const TablePage& page : pages) {
        startPage();
        p.save();
        p.translate(0, headingHeight);
        p.scale(scale, scale);
        double y = 0;
        for (int r : page.rows) {
            double x = 0;
            for (int c : page.columns) {
                const QRectF cell(x, y, widths[static_cast<std::size_t>(c)], rowHeight);
                if (r == 0 || c == 0) p.fillRect(cell, QColor(235, 235, 235));
                p.setPen(grid);
                p.drawRect(cell);
                p.setPen(Qt::black);
                p.setFont(r == 0 ? bold : body);
                const QStringList& row = table.rows[static_cast<std::size_t>(r)];
                if (c < row.size())
                    p.drawText(cell.adjusted(pad, 0, -pad, 0), Qt::AlignLeft | Qt::AlignVCenter, row[c]);
                x += cell.width();
            }
            y += rowHeight;
        }
        p.restore();
    }
    if (!notes.isEmpty()) {
        double top = headingHeight + lastTableHeight + rowHeight / 2;
        if (notesApart || pages.empty()) {
            startPage();
            top = headingHeight;
        }
        p.setFont(body);
        p.setPen(Qt::black);
        p.drawText(QRectF(0, top, area.width(), area.height() - top), Qt::TextWordWrap, notes);
    }
    // The charts two by two, each as large as a quarter of the page allows.
    const double gap = pad * 2;
    const double cellWidth = (area.width() - gap) / 2;
    const double cellHeight = (area.height() - headingHeight - gap) / 2;
    for (std::size_t i = 0; i < figures.size(); ++i) {
        if (i % 4 == 0) startPage();
        const int at = static_cast<int>(i % 4);
        const QRectF cell((at % 2) * (cellWidth + gap), headingHeight + (at / 2) * (cellHeight + gap),
                          cellWidth, cellHeight);
        drawWidget(p, figures[i], cell);
    }
    return p.end();
}

QString printName(const QString& heading, const QString& what) {
    const QString h = heading.simplified();
    return (h.isEmpty() ? what : h + QStringLiteral(" - ") + what);
}

QString pdfFileName(const QString& name) {
    QString out;
    for (const QChar c : name.simplified()) {
        const bool bad = c.unicode() < 0x20 || c == QChar(0x7F) || QStringLiteral("/\\:*?\"<>|").contains(c);
        out += bad ? QChar('_') : c;
    }
    // Not a hidden file, nor a name a command would take for an option.
    while (out.startsWith(QChar('.')) || out.startsWith(QChar(' ')) || out.startsWith(QChar('-')))
        out.remove(0, 1);
    out.truncate(120);
    out = out.trimmed();
    if (out.isEmpty()) out = QStringLiteral("relan");
    return out + QStringLiteral(".pdf");
}

QString csvFileName(const QString& heading, const QString& what) {
    QString name = pdfFileName(printName(heading, what));
    name.chop(4);
    return name + QStringLiteral(".csv");
}

void printWindowInteractively(QWidget* w, const QString& name) {
    printInteractively(w, name, [w](QPagedPaintDevice& device, int resolution) {
        return paintWindow(w, device, resolution);
    });
}

void printInteractively(QWidget* parent, const QString& name, const PagesPainter& paint) {
    QWidget* w = parent;
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(name);
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    if (!printers.isEmpty()) {
        printer.setPrinterName(printers.first().printerName());
    } else {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QDir(lastFolderOf("pdf")).filePath(pdfFileName(name)));
    }
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, w);
    dialog.setWindowTitle(QString::fromUtf8("Печать"));
    if (dialog.exec() != QDialog::Accepted) return;
    guarded(w, [&] {
        if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
            rememberFolderOf("pdf", printer.outputFileName());
        if (!printPages(printer, paint))
            showError(w, {}, QString::fromUtf8("Не удалось напечатать окно: принтер или файл недоступен"));
    });
}

} // namespace relan::gui
