// A finished run made safe on this computer before anything else: written to the results file in one
// transaction with its outbox entry (when it is bound for the school's server), or, when the file cannot be
// written now (another program holds it, the disk is full), kept beside it in a small file of its own and
// written at the next save or start.
#pragma once

#include "DbCore.h"

#include <QVariantList>

namespace halvor::db {

struct TableDef;

// One finished run as the library stores it: its table and the row's values in the table's column order
// (the record's fields, then learner, run id, the moment it finished and the run id it conflicts with).
// Its units (T_Unit) are written in the same transaction and sent with it by sendOutbox().
struct Run {
    const TableDef* def = nullptr;
    QVariantList values;
    QList<DB_UNIT> units;
    QString runId() const;
};

// The units as they may be stored: each mended to the bounds the server checks, or left out (logged).
QList<DB_UNIT> storableUnits(const QList<DB_UNIT>& units);
// T_Unit's values for one unit of `run`, in the table's column order.
QVariantList unitValues(const Run& run, const DB_UNIT& unit);

// Where a run stands once storeRun() has returned.
enum class Kept { InFile, BesideFile, InMemory };

// Stores the run in the file at `localPath`, with its outbox entry when `forServer`. With `renumber` its run
// number becomes the next after the day's runs the file holds (the drill could not look them up). Runs kept
// beside the file earlier are written first, in the same transaction, and numbered after the file's. When
// the file cannot be written, the run is kept beside it (the reason recorded); should even that fail, it is
// held in this program's memory and tried again at the next save. *round: the run number it was stored under.
Kept storeRun(const QString& localPath, const Run& run, bool forServer, bool renumber, int* round);

// Writes the runs kept beside the file at `localPath` (and those held in memory) into it, oldest first.
// True when none is left waiting.
bool drainSpool(const QString& localPath);

// The columns of a table, quoted, as one dialect names them.
QString columnList(const TableDef& def, bool serverNames);
// The results table of that name (any case); null for none.
const TableDef* tableNamed(const QString& name);

} // namespace halvor::db
