// Seiseki without a window, for administrators and scripts:
//   Seiseki --csv FILE [--learner NAME | --class NAME] [--from YYYY-MM-DD] [--to YYYY-MM-DD]
//   Seiseki --pdf FILE  (the same filters; both may be given at once)
//   Seiseki --csv-units FILE  (the same filters: a line per kana or key each run practised)
//   Seiseki --import-class-list FILE [--class NAME]
//   Seiseki --class NAME  (the window, on that class)
//   Seiseki --watch  (one JSON line for every change of who is practising and every run that lands on the
//                     school's server, until ended; App.cpp)
// Exit status 0 on success, 2 with a one-line reason on bad arguments, an unreachable database, a file that
// cannot be read or written, or a class list with a line that cannot be registered (then nothing is).
#pragma once

#include "Database.h"
#include "Results.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace seiseki {

struct ExportOptions {
    QString csv;          // empty: no CSV
    QString pdf;          // empty: no PDF
    QString csvUnits;     // empty: no CSV of the kana and keys
    QString classList;    // --import-class-list: the file to register
    DB_RUN_FILTER filter; // learner, period and class
};

// True when the arguments (without the program's own name) ask for an export or are meant to, so the window
// does not open and a mistyped option is reported rather than ignored.
bool wantsExport(const QStringList& arguments);
// The options, or nothing with a one-line reason in *error.
std::optional<ExportOptions> parseExportOptions(const QStringList& arguments, QString* error);
// The class the window opens on when the arguments ask only for that ("--class NAME"); empty otherwise.
QString windowClass(const QStringList& arguments);

// What a report shows, as the window's print and the command line give it.
struct ReportData {
    enum class Kind { Class, Learners }; // the class's table, or one page per learner for the families
    Kind kind = Kind::Class;
    DB_RUN_FILTER filter;    // the period (and the class) shown
    QString className;       // the class the rows are of, for the page footer; empty: any
    QList<OverviewRow> rows; // the class's table, as on screen
    QStringList learners;    // whose pages, in order
    QList<DB_LEARNER> known; // classes, numbers and readings
    QList<DB_RUN> runs;      // the runs of those learners in the period
    QDate today;
};
// Draws a report into a file, telling how many of `steps` are done; may run away from the window's thread.
using PdfWriter = std::function<bool(const QString& file, const ReportData& data,
                                     const std::function<void(int done, int steps)>& progress, QString* why)>;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 2;
// Reads the database at `databasePath`, writes or registers what the options ask for and returns the exit
// status; the one-line message (or reason of a failure) goes to *message.
int runExport(const ExportOptions& options, const QString& databasePath, const QDate& today,
              const PdfWriter& writePdf, QString* message);

} // namespace seiseki
