// What the database tests share: scratch folders beside the test's own file, and plain SQL beside the
// library.
#pragma once

#include "Database.h"
#include "Outbox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <QUrlQuery>
#include <QUuid>

#include <optional>

namespace dbtest {

// Per-test files lie beside the VUR_MDB that CTest sets, so a failed run leaves them to look at.
inline QString scratchBase() {
    const QString mdb = qEnvironmentVariable("VUR_MDB");
    if (mdb.isEmpty())
        return QDir::tempPath();
    const QString dir = QFileInfo(mdb).dir().absolutePath();
    QDir().mkpath(dir);
    return dir;
}

// Plain SQL on its own connection, to see what the library really wrote.
class Peek {
public:
    explicit Peek(const QString& path) {
        static int counter = 0;
        m_name = QStringLiteral("peek%1").arg(++counter);
        m_db.emplace(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name));
        m_db->setDatabaseName(path);
        m_db->open();
    }
    ~Peek() {
        m_db->close();
        m_db.reset();
        QSqlDatabase::removeDatabase(m_name);
    }
    QList<QVariantList> rows(const QString& sql) {
        QList<QVariantList> out;
        QSqlQuery q(*m_db);
        if (!q.exec(sql))
            return out;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row << q.value(i);
            out << row;
        }
        return out;
    }
    bool exec(const QString& sql) { return QSqlQuery(*m_db).exec(sql); }

private:
    QString m_name;
    std::optional<QSqlDatabase> m_db;
};

// The tables as a version-1 file holds them, written beside the library.
inline const QString kShared =
    QStringLiteral("Y4mmdd TEXT, %1 INTEGER, %2 INTEGER, REM TEXT, COND1 TEXT, COND2 TEXT, Time REAL,"
                   " result1 REAL, result2 REAL, result3 REAL, result4 REAL, result5 REAL, ERR1 TEXT");
inline const QString kKeyV1 =
    QStringLiteral("CREATE TABLE T_Key (") + kShared.arg("Tavrel", "Round") + ", ERR2 TEXT, ERR3 TEXT)";
inline const QString kKeyWithoutErr23 =
    QStringLiteral("CREATE TABLE T_Key (") + kShared.arg("Tavrel", "Round") + ")";
inline const QString kDigitV1 =
    QStringLiteral("CREATE TABLE T_Digit (") + kShared.arg("Pelvoran", "round") + ")";
inline const QString kLearnersV2 =
    QStringLiteral("CREATE TABLE Learners (Name TEXT COLLATE NOCASE PRIMARY KEY, Class TEXT COLLATE NOCASE)");

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Plain SQL on the test server, as its superuser: databases made and dropped, rows looked at.
class PgAdmin {
public:
    // `uri`: postgresql://postgres@/<db>?host=<socket folder>
    explicit PgAdmin(const QString& uri, const QString& database = QStringLiteral("postgres"),
                     const QString& user = QStringLiteral("postgres")) {
        static int counter = 0;
        m_name = QStringLiteral("pgadmin%1").arg(++counter);
        m_db.emplace(QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name));
        m_db->setConnectOptions(
            QStringLiteral("host=%1;user=%3;dbname=%2")
                .arg(QUrlQuery(QUrl(uri).query()).queryItemValue("host"), database, user));
        m_db->open();
    }
    ~PgAdmin() {
        m_db->close();
        m_db.reset();
        QSqlDatabase::removeDatabase(m_name);
    }
    bool exec(const QString& sql) { return QSqlQuery(*m_db).exec(sql); }
    QVariant value(const QString& sql) {
        QSqlQuery q(*m_db);
        return q.exec(sql) && q.next() ? q.value(0) : QVariant();
    }
    bool isOpen() const { return m_db->isOpen(); }

private:
    QString m_name;
    std::optional<QSqlDatabase> m_db;
};

// A database of its own on the server for one test; its URI.
inline QString freshServerDatabase(const QString& adminUri) {
    const QString name = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128).left(16);
    PgAdmin admin(adminUri);
    admin.exec(QStringLiteral("CREATE DATABASE %1").arg(name));
    return QString(adminUri).replace(QStringLiteral("@/postgres?"), QStringLiteral("@/%1?").arg(name));
}

// Runs stored for a server wait in this computer's outbox; a test that reads the server sends them first, as
// the sender would after a save.
inline bool sendWaitingRuns(const QString& target) {
    return !DB_IsServerAddress(target) || halvor::db::sendOutbox(target, DB_LocalPath());
}

inline QString databaseOf(const QString& uri) {
    return QUrl(uri).path().mid(1);
}

} // namespace dbtest

using namespace dbtest;
