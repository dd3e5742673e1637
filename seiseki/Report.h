// The printable report as PDF: A4, the charts as vector graphics. A learner's report has the name, the date
// range, the summary, the three charts and the table of runs; the class report the overview table and each
// learner's summary.
#pragma once

#include "CommandLine.h"

namespace seiseki {

// Writes the whole file or nothing; false with the reason in *why. Needs a QApplication (the charts are
// widgets), which may run on the offscreen platform.
bool writeReportPdf(const QString& file, const ReportData& data, QString* why);

} // namespace seiseki
