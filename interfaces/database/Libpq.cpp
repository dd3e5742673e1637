#include "Libpq.h"

#include <QElapsedTimer>
#include <QLibrary>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <poll.h>

#include <optional>
#include <type_traits>
#include <vector>

namespace halvor::db {

namespace {

Q_LOGGING_CATEGORY(lcLibpq, "halvor.database")

// The functions used, named once for the table and its loading.
// clang-format off
#define HALVOR_PQ_FUNCTIONS(X) \
    X(PQconnectStartParams) \
    X(PQsetErrorVerbosity) \
    X(PQsocket) \
    X(PQstatus) \
    X(PQconnectPoll) \
    X(PQsetnonblocking) \
    X(PQsendQuery) \
    X(PQflush) \
    X(PQisBusy) \
    X(PQconsumeInput) \
    X(PQgetResult) \
    X(PQresultStatus) \
    X(PQclear) \
    X(PQconnectionNeedsPassword) \
    X(PQerrorMessage) \
    X(PQfinish) \
    X(PQconndefaults) \
    X(PQconninfoFree) \
    X(PQnotifies) \
    X(PQfreemem)
// clang-format on

// libpq and the libraries it brings (TLS, Kerberos, LDAP) are loaded when the school's server is first
// used, not at every program's start: they cost tens of milliseconds before a window's first frame.
struct Pq {
#define HALVOR_PQ(name) decltype(&::name) name = nullptr;
    HALVOR_PQ_FUNCTIONS(HALVOR_PQ)
#undef HALVOR_PQ
};

// Null when libpq cannot be loaded; the reason goes to the log once.
const Pq* pq() {
    static const std::optional<Pq> loaded = []() -> std::optional<Pq> {
        QLibrary library(QStringLiteral("pq"), 5);
        Pq f;
        bool all = library.load();
        const auto resolve = [&](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(library.resolve(name));
            all = all && function;
        };
#define HALVOR_PQ(name) resolve(f.name, #name);
        HALVOR_PQ_FUNCTIONS(HALVOR_PQ)
#undef HALVOR_PQ
        if (!all) {
            qCWarning(lcLibpq) << "libpq cannot be loaded:" << library.errorString();
            return std::nullopt;
        }
        return f; // the library stays loaded
    }();
    return loaded ? &*loaded : nullptr;
}

} // namespace

Attempt attemptConnection(const QList<QPair<QString, QString>>& keywords, int timeoutMs, int cutFd) {
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
    const Pq* f = pq();
    if (!f) {
        out.message = QStringLiteral("libpq cannot be loaded");
        return out;
    }
    PGconn* conn = f->PQconnectStartParams(keys.data(), values.data(), 0);
    if (!conn)
        return out;
    // The verbose form puts the server's SQLSTATE before its message, in any language.
    f->PQsetErrorVerbosity(conn, PQERRORS_VERBOSE);
    QElapsedTimer timer;
    timer.start();
    const auto waitFor = [&](short events) {
        const qint64 left = timeoutMs - timer.elapsed();
        pollfd p[2] = {{f->PQsocket(conn), events, 0}, {cutFd, POLLIN, 0}};
        return left > 0 && p[0].fd >= 0 && ::poll(p, cutFd >= 0 ? 2 : 1, int(left)) > 0 && p[1].revents == 0;
    };
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (f->PQstatus(conn) != CONNECTION_BAD && state != PGRES_POLLING_OK &&
           state != PGRES_POLLING_FAILED && waitFor(state == PGRES_POLLING_READING ? POLLIN : POLLOUT))
        state = f->PQconnectPoll(conn);
    out.connected = f->PQstatus(conn) == CONNECTION_OK;
    // A network that stops passing a connection's packets once it has logged in is found here, in time.
    if (out.connected && f->PQsetnonblocking(conn, 1) == 0 && f->PQsendQuery(conn, "SELECT 1")) {
        while (f->PQflush(conn) == 1 && waitFor(POLLOUT)) {
        }
        while (f->PQisBusy(conn) && waitFor(POLLIN) && f->PQconsumeInput(conn)) {
        }
        if (!f->PQisBusy(conn)) {
            while (PGresult* result = f->PQgetResult(conn)) {
                out.answered = out.answered || f->PQresultStatus(result) == PGRES_TUPLES_OK;
                f->PQclear(result);
            }
        }
    }
    out.needsPassword = f->PQconnectionNeedsPassword(conn) != 0;
    out.message = QString::fromUtf8(f->PQerrorMessage(conn)).trimmed();
    static const QRegularExpression code(QStringLiteral("(?:^|\\s)([0-9][0-9A-Z]{4}):\\s"));
    out.sqlState = code.match(out.message).captured(1);
    f->PQfinish(conn);
    return out;
}

const QStringList& libpqKeywords() {
    static const QStringList all = [] {
        QStringList out;
        const Pq* f = pq();
        if (!f)
            return out;
        if (PQconninfoOption* options = f->PQconndefaults()) {
            for (PQconninfoOption* o = options; o->keyword; ++o)
                out << QString::fromLatin1(o->keyword);
            f->PQconninfoFree(options);
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
    const Pq* f = pq();
    return conn && f ? f->PQsocket(conn) : -1;
}

bool takeNotifications(const QSqlDatabase& db, QList<QByteArray>* payloads) {
    PGconn* conn = connectionOf(db);
    const Pq* f = pq();
    if (!conn || !f || !f->PQconsumeInput(conn) || f->PQstatus(conn) != CONNECTION_OK)
        return false;
    while (PGnotify* n = f->PQnotifies(conn)) {
        payloads->append(QByteArray(n->extra));
        f->PQfreemem(n);
    }
    return true;
}

} // namespace halvor::db
