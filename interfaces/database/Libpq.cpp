#include "Libpq.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <poll.h>

#include <vector>

namespace halvor::db {

Attempt attemptConnection(const QList<QPair<QString, QString>>& keywords, int timeoutMs) {
    QList<QByteArray> storage;
    for (const auto& [key, value] : keywords)
        storage << key.toUtf8() << value.toUtf8();
    std::vector<const char*> keys;
    std::vector<const char*> values;
    for (qsizetype i = 0; i < storage.size(); i += 2) {
        keys.push_back(storage[i].constData());
        values.push_back(storage[i + 1].constData());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);

    Attempt out;
    PGconn* conn = PQconnectStartParams(keys.data(), values.data(), 0);
    if (!conn)
        return out;
    // The verbose form puts the server's SQLSTATE before its message, in any language.
    PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    QElapsedTimer timer;
    timer.start();
    const auto waitFor = [&](short events) {
        const qint64 left = timeoutMs - timer.elapsed();
        pollfd p{PQsocket(conn), events, 0};
        return left > 0 && p.fd >= 0 && ::poll(&p, 1, int(left)) > 0;
    };
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (PQstatus(conn) != CONNECTION_BAD && state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED &&
           waitFor(state == PGRES_POLLING_READING ? POLLIN : POLLOUT))
        state = PQconnectPoll(conn);
    out.connected = PQstatus(conn) == CONNECTION_OK;
    // A network that stops passing a connection's packets once it has logged in is found here, in time.
    if (out.connected && PQsetnonblocking(conn, 1) == 0 && PQsendQuery(conn, "SELECT 1")) {
        while (PQflush(conn) == 1 && waitFor(POLLOUT)) {
        }
        while (PQisBusy(conn) && waitFor(POLLIN) && PQconsumeInput(conn)) {
        }
        if (!PQisBusy(conn)) {
            while (PGresult* result = PQgetResult(conn)) {
                out.answered = out.answered || PQresultStatus(result) == PGRES_TUPLES_OK;
                PQclear(result);
            }
        }
    }
    out.needsPassword = PQconnectionNeedsPassword(conn) != 0;
    out.message = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    static const QRegularExpression code(QStringLiteral("(?:^|\\s)([0-9][0-9A-Z]{4}):\\s"));
    out.sqlState = code.match(out.message).captured(1);
    PQfinish(conn);
    return out;
}

const QStringList& libpqKeywords() {
    static const QStringList all = [] {
        QStringList out;
        if (PQconninfoOption* options = PQconndefaults()) {
            for (PQconninfoOption* o = options; o->keyword; ++o)
                out << QString::fromLatin1(o->keyword);
            PQconninfoFree(options);
        }
        return out;
    }();
    return all;
}

namespace {

PGconn* connectionOf(const QSqlDatabase& db) {
    if (!db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    // Qt names the type by its struct: "pg_conn*" (Qt 6.4), "PGconn*" in other versions.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn* const*>(handle.constData());
}

} // namespace

int serverSocket(const QSqlDatabase& db) {
    PGconn* conn = connectionOf(db);
    return conn ? PQsocket(conn) : -1;
}

bool takeNotifications(const QSqlDatabase& db, QList<QByteArray>* payloads) {
    PGconn* conn = connectionOf(db);
    if (!conn || !PQconsumeInput(conn) || PQstatus(conn) != CONNECTION_OK)
        return false;
    while (PGnotify* n = PQnotifies(conn)) {
        payloads->append(QByteArray(n->extra));
        PQfreemem(n);
    }
    return true;
}

} // namespace halvor::db
