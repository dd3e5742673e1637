// Results leaving the program: CSV of runs for a spreadsheet, written as the screen shows them, and CSV
// read back.
#pragma once

#include "Database.h"
#include "Results.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace seiseki {

// A run as the learner's table, the CSV and the report show it, without the learner: date, drill, course,
// run number of the day, time, speed, errors, worst key; the date in the form given.
QStringList runHeaders();
QStringList runFields(const DB_RUN_VALUES& run, DateForm form);
DB_RUN_VALUES valuesOf(const DB_RUN& run);

// One CSV record: fields quoted per RFC 4180 where they need it; a text that a spreadsheet would take for a
// formula (starting with =, +, -, @, a tab or a carriage return) gets a leading apostrophe. CRLF at the end.
void appendCsvRecord(QByteArray& out, const QStringList& fields);
// The header and one line per run (learner first), UTF-8 with a byte-order mark, in the order given.
QByteArray runsCsv(const QList<DB_RUN>& runs);

// The header and one line per kana or key a run practised (learner, day, drill number, the kana or key,
// attempts, misses, mean time in ms, the wrong key pressed most), as the runs' CSV is written.
QByteArray unitsCsv(const QList<DB_UNIT_ROW>& rows);

// Writes the CSV of the runs the filter selects, straight from the database: the learners in the order
// given (those not named follow, in the database's order), each learner's runs by day, or newest first.
// `progress` is told how many runs are written so far and may stop the export by returning false. The file
// is written whole or not at all. False with the reason in *why (in Japanese).
struct CsvExport {
    QString database;
    DB_RUN_FILTER filter;
    QStringList learnerOrder;
    bool newestFirst = false;
};
bool writeRunsCsv(const QString& file, const CsvExport& what, const std::function<bool(qsizetype)>& progress,
                  qsizetype* written, QString* why);

// Writes the bytes whole or not at all; false with the reason in *why.
bool writeWhole(const QString& path, const QByteArray& bytes, QString* why);

// RFC 4180 records separated by `separator`; a byte-order mark, CRLF or LF line ends and a last line without
// an end are accepted. A quote opens a quoted field only at the field's start. The apostrophe that protects
// a formula-like text is taken off again.
QList<QStringList> parseCsv(const QString& text, QChar separator = QLatin1Char(','));

} // namespace seiseki
