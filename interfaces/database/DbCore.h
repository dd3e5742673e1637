// What the library's parts share inside: the failure record of the calling thread and one connection.
#pragma once

#include "Database.h"

#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <optional>

namespace halvor::db {

Q_DECLARE_LOGGING_CATEGORY(lcDb)

// Records why the current call failed (DB_LastError, DB_LastProblem) and logs it, passwords hidden; returns
// false.
bool fail(Problem problem, const QString& message);
// `text` with every password in it hidden: in a URI's user information, in any password=value (a URI's
// query or libpq's keyword form), whatever the case of the letters.
QString maskPasswords(const QString& text);
void clearFailure();

QString sqlError(const QSqlError& error);
// Records that the last read showed this computer's rows because the server was away (DB_ServerProblem).
void noteServerAway(Problem problem);
// True once, the first time it is asked after DB_DefaultPath() refused the settings: the learner is told
// once per program.
bool settingsRefusedNews();
// SQLite's "database is locked" or "table is locked": another program holds the file.
bool isBusy(const QSqlError& error);

// One QSqlDatabase under a name of its own, removed again when this goes out of scope. The handle lives in an
// optional so it is gone before removeDatabase() runs (no Qt warning).
class Connection {
public:
    Connection(const QString& driver, const QString& database);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QSqlDatabase& db() { return *m_db; }
    bool open() { return m_db->isValid() && m_db->open(); }

private:
    QString m_name;
    std::optional<QSqlDatabase> m_db;
};

} // namespace halvor::db
