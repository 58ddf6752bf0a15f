#pragma once

// Printing a window's image, landscape and scaled to fit the page.

#include <QString>

class QPrinter;
class QWidget;

namespace relan::gui {

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

} // namespace relan::gui
