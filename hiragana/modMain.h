// Where the drill keeps its runs and how they are stored and read back for the progress chart.
#pragma once

#include "Database.h"
#include "ProgressRows.h"
#include "UnitTally.h"
#include "modConvert.h"

#include <QDate>
#include <QList>
#include <QString>
#include <array>

namespace hiragana {

constexpr int kDrillNumber = 23;

// The path of VUR.MDB, shared by every drill of the suite.
QString GetDatabasePath();

// The setting Romaji/Spellings (the user's file, then the school's): which romaji the drill accepts.
Spellings RomajiSpellingsSetting();

// The statement that finds today's runs of a kind, in the database's Jet dialect.
QString RoundQuery(const QDate& day, const QString& code);

using SaveOutcome = halvor::db::SaveOutcome;
// Stores a finished run of a kind (0..2) with its whole seconds as a new T_Key row, numbered after the
// runs of the same day and kind this computer knows, with the units the run practised (T_Unit).
SaveOutcome SaveRun(const QString& databasePath, const QDate& day, int kind, int seconds,
                    const QList<halvor::UnitRow>& units = {});

// What the drill starts when it closes: the text of its command line after its own program token (the
// quoted path of the menu that started it, and that menu's arguments). Empty when there is none.
QString ReturnCommandOf(const QString& commandLine);

// The statement that reads every run of this drill in date and run order.
QString GraphQuery();

using halvor::GraphRow;
// "yyyy/MM/dd_<round>" (round 0 when missing).
QString GraphLabel(const DB_T_KEY& record);
// Series 1 ("AI" or missing), 2 ("GA") or 3 (anything else), whatever the case of the code.
int GraphSeries(const DB_T_KEY& record);
// The chart rows of the stored runs, read in date and run order (a missing time counts as 0).
QList<GraphRow> BuildGraphRows(const QList<DB_T_KEY>& records);

} // namespace hiragana
