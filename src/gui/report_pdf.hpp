#pragma once

// The engineer's report as an A4 PDF: text a reader can select and search,
// with its fonts embedded, and the charts as vector drawings; the date, the
// data file's name and the program's version head every page.

#include "relan/analysis_report.hpp"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace relan::gui {

struct ReportPages {
    QString fileName; // the data file's name, without its folder
    QDate date;
    QString version; // "relan 4.1"
};

// The headers of a report of the data file `dataFile`, made today by this
// program.
ReportPages reportPages(const QString& dataFile);

// Needs a QApplication, since the charts are drawn by the windows' own chart
// widgets; a display is not needed (the offscreen platform does).
QByteArray reportPdf(const AnalysisReport& r, const ReportPages& pages);

// Written as every file of the program (relan::writeFileSafely): a refused
// write raises relan::Error naming the file and leaves nothing behind.
void writeReportPdf(const AnalysisReport& r, const ReportPages& pages, const QString& path);

} // namespace relan::gui
