// Runs on their way to the school's server. A run is first kept in this computer's file together with its
// outbox entry; the outbox is then sent, oldest first, and an entry is removed only once the server holds the
// run. The server ignores a run id it already has, so a run sent twice (a program killed between the server's
// commit and the removal) is still stored once.
#pragma once

#include "DbCore.h"
#include "SqlText.h"

#include <QSet>
#include <QVariantList>

namespace halvor::db {

struct TableDef;

// Inserts one row: `values` in the table's column order (the record's, then learner and run id). With
// `ignoreKnownRunId` a row whose run id the table already holds is skipped without error. False with the
// statement's error in *error.
bool insertRow(QSqlDatabase& db, Dialect dialect, const TableDef& def, const QVariantList& values,
               bool ignoreKnownRunId, QSqlError* error);

// Keeps the row in the file at `localPath` with its outbox entry, in one transaction.
bool keepForServer(const QString& localPath, const TableDef& def, const QVariantList& values);

// Sends what waits in the outbox of `localPath` to the server at `uri`, oldest first; the run ids now on
// the server go into *sent. True when nothing is left waiting; else false with the problem recorded.
bool sendOutbox(const QString& uri, const QString& localPath, QSet<QString>* sent = nullptr);

} // namespace halvor::db
