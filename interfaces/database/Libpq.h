// What the library asks of libpq itself, beside Qt's driver: why a connection is refused (the server's
// SQLSTATE, which libpq's translated messages hide), the keywords it knows, and the socket of a connection.
#pragma once

#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QStringList>

namespace halvor::db {

struct Attempt {
    bool connected = false;     // the server took this login (what failed before was passing)
    bool needsPassword = false; // the server asked for a password that was not given
    QString sqlState;           // the server's code for refusing, when it sent one
    QString message;            // libpq's message, for the log
};
// Tries a connection with these libpq keywords for at most `timeoutMs`, and closes it again.
Attempt attemptConnection(const QList<QPair<QString, QString>>& keywords, int timeoutMs);

// Every connection keyword this libpq knows.
const QStringList& libpqKeywords();

// The socket of an open QPSQL connection; -1 when there is none.
int serverSocket(const QSqlDatabase& db);

} // namespace halvor::db
