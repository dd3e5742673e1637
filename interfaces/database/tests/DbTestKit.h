// What the database tests share: scratch folders beside the test's own file, and plain SQL beside the
// library.
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

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

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace dbtest

using namespace dbtest;
