// The school's PostgreSQL server: its address, a checked connection to it, and its schema.
#pragma once

#include "DbCore.h"

#include <QStringList>
#include <functional>
#include <memory>

namespace halvor::db {

// A libpq connection URI taken apart:
// postgresql://[user[:password]@][host][:port][,...][/dbname][?key=value&...]
struct ServerAddress {
    QList<QPair<QString, QString>> keywords; // libpq keywords and their values, in the order given
    QString value(const QString& keyword) const;
    QString display; // the URI without its password, for the log
};
// Nothing, with the reason in *why, for text that is not such a URI.
std::optional<ServerAddress> parseServerAddress(const QString& uri, QString* why);

// A connection to the server whose schema has been checked (and created when missing and allowed). Within a
// ServerSession the connection is kept for the thread's later calls.
class ServerLink {
public:
    ServerLink() = default;
    explicit operator bool() const { return connection_ != nullptr; }
    QSqlDatabase& db() { return connection_->db(); }
    bool reused() const { return reused_; }
    // After a failure: the kept connection is closed, so the next call connects afresh.
    void drop();

private:
    friend ServerLink connectServer(const QString& uri);
    Connection* connection_ = nullptr;
    std::shared_ptr<Connection> owned_;
    QString uri_;
    bool reused_ = false;
};

// Connects within about three seconds or fails with the problem recorded: Offline (no answer), UnknownHost,
// LoginRefused (password, role or database refused), OtherVersion (the server's schema is another version)
// or ServerRefused (the tables are missing and may not be made here).
ServerLink connectServer(const QString& uri);

// Runs `work` on a connection; when it fails on a connection kept from earlier (the server may have been
// restarted since), it runs once more on a fresh one. False with the failure recorded.
bool withServer(const QString& uri, const std::function<bool(QSqlDatabase&)>& work);

// The problem a failed statement on the server stands for: a lost connection is Offline, anything else the
// server refused is ServerRefused. Records it and returns false.
bool failServerQuery(const QSqlError& error, const QString& what);

// Keeps the server connections made on this thread until it ends; without one every call connects afresh.
class ServerSession {
public:
    ServerSession();
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;
};

// The statements that make the server's tables, as tools/classroom-setup makes them too.
QStringList serverSchemaStatements();

} // namespace halvor::db
