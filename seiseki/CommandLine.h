// The exports for administrators and scripts:
//   Seiseki --csv FILE [--learner NAME] [--from YYYY-MM-DD] [--to YYYY-MM-DD]
//   Seiseki --pdf FILE  (the same filters; both may be given at once)
// Exit status 0 on success, 2 with a one-line reason on bad arguments, an unreachable database or a file
// that cannot be written.
#pragma once

#include "Database.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace seiseki {

struct ExportOptions {
    QString csv; // empty: no CSV
    QString pdf; // empty: no PDF
    DB_RUN_FILTER filter;
};

// True when the arguments (without the program's own name) ask for an export or are meant to, so the window
// does not open and a mistyped option is reported rather than ignored.
bool wantsExport(const QStringList& arguments);
// The options, or nothing with a one-line reason in *error.
std::optional<ExportOptions> parseExportOptions(const QStringList& arguments, QString* error);

// What a report shows, as the window's print and the command line give it.
struct ReportData {
    QString learner; // empty: the class
    DB_RUN_FILTER filter;
    QList<DB_RUN> runs;
    QList<DB_RUN_GROUP> groups; // the class report's figures
    QList<DB_LEARNER> learners;
    QDate today;
};
using PdfWriter = std::function<bool(const QString& file, const ReportData& data, QString* why)>;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 2;
// Reads the database at `databasePath`, writes what the options ask for and returns the exit status; the
// one-line reason of a failure goes to *message.
int runExport(const ExportOptions& options, const QString& databasePath, const QDate& today,
              const PdfWriter& writePdf, QString* message);

} // namespace seiseki
