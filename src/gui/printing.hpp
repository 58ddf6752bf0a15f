#pragma once

// Printing: a window's image, landscape and scaled to fit the page, or a
// table whole on as many pages as it takes together with its charts.

#include <QFont>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace relan::gui {

// Paints a whole printout on a device whose first page is begun, starting
// each further page itself; `resolution` is the device's dots per inch.
// False when the device could not start.
using PagesPainter = std::function<bool(QPagedPaintDevice& device, int resolution)>;

// Runs `paint` on the printer (already set up). A PDF file is written as
// every file of the program (relan::writeFileSafely): a refused one raises
// its relan::Error.
bool printPages(QPrinter& printer, const PagesPainter& paint);

// Draws the window's image on the printer's page (already set up), centred
// and scaled to the page keeping its proportions. False when the printer
// could not start. A PDF file is written as every file of the program
// (relan::writeFileSafely): a refused one raises its relan::Error.
bool printWidget(QWidget* w, QPrinter& printer);

// The name a printout goes by: the data's heading, or the window's caption
// when there is none, followed by what the window shows.
QString printName(const QString& heading, const QString& what);

// A file name made of a printout's name: characters that no file name may
// hold, or that would mislead a shell, become "_", the length is bounded.
QString pdfFileName(const QString& name);
// The same for a table saved for a spreadsheet: "<heading> - <what>.csv".
QString csvFileName(const QString& heading, const QString& what);

// The print buttons: the print dialog with the first printer and landscape
// preselected, or, on a machine with no printer, a PDF file named after the
// printout in the folder of the last one. Nothing is printed when the dialog
// is cancelled.
void printWindowInteractively(QWidget* w, const QString& name);
// The same with a printout of its own: `parent` owns the dialog and its
// messages.
void printInteractively(QWidget* parent, const QString& name, const PagesPainter& paint);

// A table on paper, every row and column of it: row 0 holds the headings
// and column 0 the row titles, repeated on every page the table takes.
struct PrintedTable {
    std::vector<QStringList> rows;
    // Lines under the table (what a mark in a heading means).
    QStringList notes;
};

// One page of a printed table: the rows and the columns it shows, the
// heading row and the title column first.
struct TablePage {
    std::vector<int> rows, columns;
};

// Splits a table into pages of `room` (in the units of the widths): the
// columns after the titles into runs that fit beside them, the rows after
// the headings into runs that fit under them. Every cell is on exactly one
// page, the headings and titles on each; a column or row too large for a
// page alone has a page of its own.
std::vector<TablePage> tablePages(const std::vector<double>& columnWidths, int rowCount, double rowHeight,
                                  const QSizeF& room);

// A printout of `table` in `font` (its point size is kept on paper) under
// `heading`, then `figures` (widgets drawn as they are on the screen, scaled)
// two by two on pages of their own. The device's first page is begun.
bool paintTableAndFigures(QPagedPaintDevice& device, int resolution, const QString& heading,
                          const PrintedTable& table, const QFont& font, const std::vector<QWidget*>& figures);

} // namespace relan::gui
