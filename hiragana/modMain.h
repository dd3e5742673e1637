// Where the drill keeps its runs and how they are stored and read back for the progress chart.
#pragma once

#include "Database.h"
#include "ProgressRows.h"

#include <QDate>
#include <QList>
#include <QString>
#include <array>

namespace hiragana {

constexpr int kDrillNumber = 23;

// The path of VUR.MDB, shared by every drill of the suite.
QString GetDatabasePath();

// The statement that finds today's runs of a kind, in the database's Jet dialect.
QString RoundQuery(const QDate& day, const QString& code);

using SaveOutcome = halvor::db::SaveOutcome;
// Stores a finished run of a kind (0..2) with its whole seconds as a new T_Key row, numbered after the
// runs of the same day and kind this computer knows.
SaveOutcome SaveRun(const QString& databasePath, const QDate& day, int kind, int seconds);

// What the drill starts when it closes: the text of its command line after its own program token (the
// quoted path of the menu that started it, and that menu's arguments). Empty when there is none.
QString ReturnCommandOf(const QString& commandLine);

// The statement that reads every run of this drill in date and run order.
QString GraphQuery();

// The chart's rows are the suite's shared ones, so the results viewer draws the same chart.
using halvor::BuildGraphRows;
using halvor::GraphLabel;
using halvor::GraphRow;
using halvor::GraphSeries;

} // namespace hiragana
