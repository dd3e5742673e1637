// The printable report as PDF, A4, drawn with a painter alone so it may be written away from the window's
// thread: the class's table across the page with each learner's summary after it, or one page per learner
// for the family (name, period, what improved, the charts, a word of encouragement). Every page carries its
// number, and the class and period in its footer.
#pragma once

#include "CommandLine.h"

namespace seiseki {

// Writes the whole file or nothing; false with the reason in *why. Needs a QGuiApplication for the fonts.
bool writeReportPdf(const QString& file, const ReportData& data,
                    const std::function<void(int done, int steps)>& progress, QString* why);

} // namespace seiseki
