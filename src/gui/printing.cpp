#include "printing.hpp"

#include "file_dialogs.hpp"
#include "messages.hpp"
#include "qt_text.hpp"

#include "relan/file_io.hpp"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
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
    while (out.startsWith(QChar('.')) || out.startsWith(QChar(' ')) || out.startsWith(QChar('-'))) out.remove(0, 1);
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
        if (!printWidget(w, printer))
            showError(w, {}, QString::fromUtf8("Не удалось напечатать окно: принтер или файл недоступен"));
    });
}

} // namespace relan::gui
