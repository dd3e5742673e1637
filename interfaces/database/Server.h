// The school's PostgreSQL server: its address, a checked connection to it with every wait bounded, and its
// schema.
#pragma once

#include "DbCore.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace halvor::db {

// How long one round trip to the server may take before it is cut off (the server's own statement timeout
// is a little shorter), and how long a connection may take to be made.
constexpr int kStatementBoundMs = 6000;
constexpr int kConnectTimeoutSeconds = 2; // libpq's least
// The sender waits for nobody (the run is safe on the computer, and the program's end cuts it off), so a
// server busy logging in a whole school at once gets longer before the runs are kept for later.
constexpr int kSenderConnectTimeoutSeconds = 10;

// A libpq connection URI taken apart:
// postgresql://[user[:password]@][host][:port][,...][/dbname][?key=value&...]
struct ServerAddress {
    QList<QPair<QString, QString>> keywords; // libpq keywords and their values, in the order given
    QString value(const QString& keyword) const;
    QString display; // the URI without its password, for the log
};
// Nothing, with the reason in *why, for text that is not such a URI or whose values libpq would refuse (an
// unknown keyword, a port that is no number).
std::optional<ServerAddress> parseServerAddress(const QString& uri, QString* why);

// Lets another thread cut off at once what a worker thread does on the server: a connection being made, and
// the round trips of the connection made with it. A program that ends waits for no server this way.
class ServerCut {
public:
    ServerCut();
    ~ServerCut();
    ServerCut(const ServerCut&) = delete;
    ServerCut& operator=(const ServerCut&) = delete;

    // Any thread: what runs now gives up, and everything later fails at once.
    void cut();
    bool isCut() const { return cut_; }
    // Readable once cut, for a worker waiting in poll().
    int fd() const { return fd_; }
    // The worker's connection whose socket a cut shuts (-1: none, before the connection is closed).
    void watch(int socket);

private:
    int fd_ = -1;
    std::atomic<bool> cut_{false};
    std::mutex mutex_;
    int socket_ = -1;
};

// A connection to the server whose schema has been checked (and created or brought up to date when missing
// or older, if the login may). Within a ServerSession the connection is kept for the thread's later calls.
class ServerLink {
public:
    ServerLink() = default;
    explicit operator bool() const { return connection_ != nullptr; }
    QSqlDatabase& db() { return connection_->db(); }
    bool reused() const { return reused_; }
    // After a failure: the kept connection is closed, so the next call connects afresh.
    void drop();

private:
    friend ServerLink connectServer(const QString& uri, ServerCut* cut);
    Connection* connection_ = nullptr;
    std::shared_ptr<Connection> owned_;
    QString uri_;
    bool reused_ = false;
};

// Connects within a few seconds or fails with the problem recorded: Offline (no answer), UnknownHost,
// ServerStarting (starting up or shutting down), NoFreeSlot (no connection left), LoginRefused (password,
// role or database refused), OtherVersion (the server's tables are of another version or shape) or
// ServerRefused (the tables are missing and may not be made here). With `cut`, a cut gives the attempt up
// at once (Offline, and not taken for the server being away) and then shuts the connection's socket.
ServerLink connectServer(const QString& uri, ServerCut* cut = nullptr);

// Runs `work` on a connection, cut off after `boundMs` (0: the work bounds its own round trips with a
// StatementBound); when it fails on a connection kept from earlier (the server may have been restarted
// since), it runs once more on a fresh one. False with the failure recorded.
bool withServer(const QString& uri, const std::function<bool(QSqlDatabase&)>& work,
                int boundMs = kStatementBoundMs);

// The problem a failed statement on the server stands for: a lost or cut-off connection, a lock or a
// statement that timed out, or a server going down is Offline; anything else the server refused is
// ServerRefused. Records it and returns false.
bool failServerQuery(const QSqlError& error, const QString& what);

// While it lives, the connection's round trips are cut off (its socket shut) once `boundMs` have passed, so
// a server or a network that stops answering never holds a thread for longer.
class StatementBound {
public:
    StatementBound(const QSqlDatabase& db, int boundMs);
    ~StatementBound();
    StatementBound(const StatementBound&) = delete;
    StatementBound& operator=(const StatementBound&) = delete;

private:
    int id_ = 0;
};
// Cuts off every round trip now running, so a program that is ending waits for no server.
void cutOffServerCalls();

// Keeps the server connections made on this thread until it ends; without one every call connects afresh.
class ServerSession {
public:
    // `connectSeconds`: how long this thread's connections may take to be made.
    explicit ServerSession(int connectSeconds = kConnectTimeoutSeconds);
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;
};

// The statements that make the server's tables and its insert function, or bring older ones up to date
// (server-schema.sql, which tools/classroom-setup runs too). Run in one transaction.
QString serverSchemaScript();

} // namespace halvor::db
