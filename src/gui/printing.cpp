#include "printing.hpp"

#include "messages.hpp"
#include "qt_text.hpp"

#include "relan/file_io.hpp"

#include <QBuffer>
#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>

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

bool printWidget(QWidget* w, QPrinter& printer) {
    const QString file = printer.outputFileName();
    if (printer.outputFormat() != QPrinter::PdfFormat || file.isEmpty())
        return paintWindow(w, printer, printer.resolution());
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
        if (!paintWindow(w, writer, printer.resolution())) return false;
    }
    writeFileSafely(ss(file), std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size())));
    return true;
}

void printWindowInteractively(QWidget* w) {
    QPrinter printer(QPrinter::HighResolution);
    const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
    if (!printers.isEmpty()) {
        printer.setPrinterName(printers.first().printerName());
    } else {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QDir::home().filePath(w->objectName() + ".pdf"));
    }
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, w);
    dialog.setWindowTitle(QString::fromUtf8("Печать"));
    if (dialog.exec() != QDialog::Accepted) return;
    guarded(w, [&] {
        if (!printWidget(w, printer))
            showError(w, {}, QString::fromUtf8("Не удалось напечатать окно: принтер или файл недоступен"));
    });
}

} // namespace relan::gui
