// What the library asks of libpq itself, beside Qt's driver: why a connection is refused (the server's
// SQLSTATE, which libpq's translated messages hide), the keywords it knows, the socket of a connection and
// the announcements that came on it.
#pragma once

#include <QList>
#include <QPair>
#include <QSqlDatabase>
#include <QStringList>

namespace halvor::db {

struct Attempt {
    bool connected = false;     // the server took this login
    bool answered = false;      // and then answered a statement
    bool needsPassword = false; // the server asked for a password that was not given
    QString sqlState;           // the server's code for refusing, when it sent one
    QString message;            // libpq's message, for the log
};
// Logs in with these libpq keywords and asks one statement, all within `timeoutMs` (every wait of it is
// bounded, unlike a connection Qt's driver makes), and closes the connection again. It gives up at once when
// `cutFd` becomes readable.
Attempt attemptConnection(const QList<QPair<QString, QString>>& keywords, int timeoutMs, int cutFd = -1);

// Every connection keyword this libpq knows.
const QStringList& libpqKeywords();

// The socket of an open QPSQL connection; -1 when there is none.
int serverSocket(const QSqlDatabase& db);
// Reads what has arrived on the connection and takes the announcements (NOTIFY) among it, as their payloads;
// false when the connection is lost.
bool takeNotifications(const QSqlDatabase& db, QList<QByteArray>* payloads);

} // namespace halvor::db
