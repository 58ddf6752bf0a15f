#include "printing.hpp"

#include "messages.hpp"

#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QWidget>

namespace relan::gui {

bool printWidget(QWidget* w, QPrinter& printer) {
    const QPixmap image = w->grab();
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRectF area(0, 0, page.width(), page.height());
    QSizeF size = image.size();
    size.scale(area.size(), Qt::KeepAspectRatio);
    const QRectF target((area.width() - size.width()) / 2, (area.height() - size.height()) / 2, size.width(),
                        size.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, image, QRectF(image.rect()));
    return painter.end();
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
    if (!printWidget(w, printer))
        showError(w, {}, QString::fromUtf8("Не удалось напечатать окно: принтер или файл недоступен"));
}

} // namespace relan::gui
