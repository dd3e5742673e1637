#include "Outbox.h"

#include "Schema.h"
#include "Server.h"
#include "SqliteFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlQuery>

namespace halvor::db {

namespace {

QString columnList(const TableDef& def, Dialect dialect) {
    QStringList names;
    for (const ColumnDef& col : def.columns) {
        const QString name = QString::fromLatin1(col.name);
        names << QLatin1Char('"') + (dialect == Dialect::Postgres ? name.toLower() : name) + QLatin1Char('"');
    }
    return names.join(QLatin1Char(','));
}

const TableDef* tableNamed(const QString& name) {
    for (const TableDef* def : resultTables()) {
        if (name.compare(QLatin1String(def->name), Qt::CaseInsensitive) == 0)
            return def;
    }
    return nullptr;
}

struct Waiting {
    qlonglong seq;
    QString runId;
    const TableDef* def;
};

// The row of a waiting run as the file holds it, in column order; empty when the row is gone.
QVariantList storedRow(QSqlDatabase& db, const Waiting& w) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE RunId = ?")
                  .arg(columnList(*w.def, Dialect::Sqlite), QLatin1String(w.def->name)));
    q.addBindValue(w.runId);
    QVariantList values;
    if (q.exec() && q.next()) {
        for (int i = 0; i < int(w.def->columns.size()); ++i)
            values << q.value(i);
    }
    return values;
}

// Removes the entries of runs the server now holds, in one transaction. Should this fail, or the program be
// killed before it, the runs are sent again later and the server ignores them then.
void forget(QSqlDatabase& db, QList<qlonglong>& seqs) {
    if (seqs.isEmpty())
        return;
    QSqlQuery q(db);
    bool ok = db.transaction() && q.prepare(QStringLiteral("DELETE FROM Outbox WHERE Seq = ?"));
    for (const qlonglong seq : std::as_const(seqs)) {
        q.addBindValue(seq);
        ok = ok && q.exec();
    }
    ok = ok && db.commit();
    if (!ok) {
        qCWarning(lcDb).noquote() << "Sent runs stay in the outbox for now:" << sqlError(q.lastError());
        db.rollback();
    }
    seqs.clear();
}

} // namespace

bool insertRow(QSqlDatabase& db, Dialect dialect, const TableDef& def, const QVariantList& values,
               bool ignoreKnownRunId, QSqlError* error) {
    QStringList marks;
    for (std::size_t i = 0; i < def.columns.size(); ++i)
        marks << QStringLiteral("?");
    QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(tableName(QLatin1String(def.name), dialect), columnList(def, dialect),
                           marks.join(QLatin1Char(',')));
    if (ignoreKnownRunId)
        sql += dialect == Dialect::Postgres ? QStringLiteral(" ON CONFLICT (runid) DO NOTHING")
                                            : QStringLiteral(" ON CONFLICT (RunId) DO NOTHING");
    QSqlQuery q(db);
    bool ok = q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    ok = ok && q.exec();
    if (!ok && error)
        *error = q.lastError();
    return ok;
}

bool keepForServer(const QString& localPath, const TableDef& def, const QVariantList& values) {
    ResultsFile file = openResultsFile(localPath, def, Access::Write);
    if (!file)
        return false;
    QSqlDatabase& db = file.db();
    QSqlError error;
    bool ok = db.transaction() && insertRow(db, Dialect::Sqlite, def, values, false, &error);
    if (ok) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO Outbox (RunId, TableName, Queued) VALUES (?, ?, ?)"));
        q.addBindValue(values.last());
        q.addBindValue(QLatin1String(def.name));
        q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        ok = q.exec();
        error = q.lastError();
    }
    if (ok && db.commit())
        return true;
    if (!error.isValid())
        error = db.lastError();
    db.rollback();
    return fail(
        isBusy(error) ? Problem::Busy : Problem::Failed,
        QStringLiteral("The run could not be kept in %1 for the server: %2").arg(localPath, sqlError(error)));
}

bool sendOutbox(const QString& uri, const QString& localPath, QSet<QString>* sent) {
    // A computer that never kept a run has nothing to send; the file is not made for that.
    if (!QFileInfo(localPath).isFile())
        return true;
    ResultsFile file = openResultsFile(localPath, keyTableDef(), Access::Write);
    if (!file)
        return false;
    QList<Waiting> waiting;
    {
        QSqlQuery q(file.db());
        if (!q.exec(QStringLiteral("SELECT Seq, RunId, TableName FROM Outbox ORDER BY Seq")))
            return fail(Problem::Failed, QStringLiteral("The outbox of %1 cannot be read: %2")
                                             .arg(localPath, sqlError(q.lastError())));
        while (q.next()) {
            const TableDef* def = tableNamed(q.value(2).toString());
            if (def)
                waiting.append({q.value(0).toLongLong(), q.value(1).toString(), def});
        }
    }
    if (waiting.isEmpty())
        return true;

    int left = 0;
    QSet<QString> done;
    QList<qlonglong> toForget;
    const bool reached = withServer(uri, [&](QSqlDatabase& server) {
        left = 0;
        for (const Waiting& w : waiting) {
            if (done.contains(w.runId))
                continue;
            const QVariantList values = storedRow(file.db(), w);
            if (values.isEmpty()) {
                qCWarning(lcDb).noquote()
                    << "The run" << w.runId << "waiting in the outbox is gone from" << localPath;
                toForget << w.seq;
                continue;
            }
            QSqlError error;
            if (!insertRow(server, Dialect::Postgres, *w.def, values, true, &error)) {
                failServerQuery(error, QStringLiteral("The server did not take the run %1").arg(w.runId));
                if (DB_LastProblem() == Problem::Offline) {
                    forget(file.db(), toForget);
                    return false;
                }
                ++left; // refused: it stays for later, and the others go on
                continue;
            }
            done.insert(w.runId);
            toForget << w.seq;
            if (toForget.size() >= 100)
                forget(file.db(), toForget);
        }
        forget(file.db(), toForget);
        return true;
    });
    if (sent)
        *sent += done;
    if (!reached)
        return false;
    if (left > 0)
        return fail(Problem::ServerRefused,
                    QStringLiteral("%1 runs in the outbox of %2 were refused by the server")
                        .arg(left)
                        .arg(localPath));
    return true;
}

} // namespace halvor::db
