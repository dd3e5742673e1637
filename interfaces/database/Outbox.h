// Runs on their way to the school's server. A run is first kept in this computer's file together with its
// outbox entry (LocalSave.h); the outbox is then sent, oldest first, a few runs to a round trip, through the
// server's one insert function, and each few are forgotten as soon as the server holds them. The function
// tells a run sent twice (a program killed between the server's commit and the forgetting) from another
// run under the same id: that one is sent again under a new id, and both rows are marked.
#pragma once

#include "DbCore.h"

#include <QSet>

namespace halvor::db {

// Sends what waits in the outbox of `localPath` to the server at `uri`; the run ids (as they were saved) of
// the runs that were waiting and still are go into *left. True when nothing is left waiting; else false with
// the problem recorded (a run the server refused stays, and is offered again at every later send).
bool sendOutbox(const QString& uri, const QString& localPath, QSet<QString>* left = nullptr);

} // namespace halvor::db
