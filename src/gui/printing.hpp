#pragma once

// Printing a window's image, landscape and scaled to fit the page.

class QPrinter;
class QWidget;

namespace relan::gui {

// Draws the window's image on the printer's page (already set up), centred
// and scaled to the page keeping its proportions. False when the printer
// could not start. A PDF file is written as every file of the program
// (relan::writeFileSafely): a refused one raises its relan::Error.
bool printWidget(QWidget* w, QPrinter& printer);

// The print buttons: the print dialog with the first printer and landscape
// preselected, or, on a machine with no printer, a PDF file in the home
// folder preselected. Nothing is printed when the dialog is cancelled.
void printWindowInteractively(QWidget* w);

} // namespace relan::gui
