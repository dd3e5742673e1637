// Results leaving the program: CSV of runs for a spreadsheet, and class lists coming in.
#pragma once

#include "Database.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace seiseki {

// One line per run after a header (learner, date, drill, course, run number, time, speed, errors, worst
// key): UTF-8 with a byte-order mark and CRLF line ends, so a spreadsheet opens the Japanese text as it
// is; fields quoted per RFC 4180 where they need it.
QByteArray runsCsv(const QList<DB_RUN>& runs);
// A run as the learner's table, the CSV and the report show it, without the learner: date, drill, course,
// run number, time, speed, errors, worst key.
QStringList runHeaders();
QStringList runFields(const DB_RUN& run);
// Writes the bytes whole or not at all; false with the reason in *why.
bool writeWhole(const QString& path, const QByteArray& bytes, QString* why);

// RFC 4180 records; a byte-order mark, CRLF or LF line ends and a last line without an end are accepted.
QList<QStringList> parseCsv(const QString& text);

// A class list: one learner a line, the name and an optional class after a tab or a comma (text or CSV).
// A header line ("名前", "なまえ", "name") is skipped; unusable names are reported by line.
struct ClassList {
    QList<DB_LEARNER> learners;
    QStringList rejected; // "3行目: …"
};
ClassList parseClassList(const QByteArray& bytes);

} // namespace seiseki
