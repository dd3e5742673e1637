#include "Outbox.h"

#include "LocalSave.h"
#include "Schema.h"
#include "Server.h"
#include "SqliteFile.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>
#include <QUuid>

#include <deque>

namespace halvor::db {

namespace {

// Runs to a round trip: few, so a sender killed half-way sends at most these again.
constexpr int kBatch = 8;

struct Waiting {
    qlonglong seq;
    QString runId;
    const TableDef* def;
    QString savedAs; // the run id it was saved under, before a conflict gave it a new one
};

// The run as the server's insert function takes it: its columns by their names on the server. The rows a
// run owns in other tables go beside it as "children" (one array per child table), which the function
// stores in the same transaction.
std::optional<QJsonObject> payload(QSqlDatabase& db, const Waiting& w) {
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT %1 FROM %2 WHERE RunId = ?")
                  .arg(columnList(*w.def, false), QLatin1String(w.def->name)));
    q.addBindValue(w.runId);
    if (!q.exec() || !q.next())
        return std::nullopt;
    QJsonObject run;
    for (int i = 0; i < int(w.def->columns.size()); ++i) {
        if (!q.value(i).isNull())
            run.insert(QString::fromLatin1(w.def->columns[std::size_t(i)].name).toLower(),
                       QJsonValue::fromVariant(q.value(i)));
    }
    // A unit's run id, learner, day and drill are the run's: the server takes them from the run.
    QJsonArray units;
    q.prepare(QStringLiteral(
        "SELECT Unit, Attempts, Misses, MeanMs, WrongKey FROM T_Unit WHERE RunId = ? ORDER BY rowid"));
    q.addBindValue(w.runId);
    if (!q.exec())
        qCWarning(lcDb).noquote() << "The units of the run" << w.runId
                                  << "cannot be read; it is sent without them:" << sqlError(q.lastError());
    while (q.isActive() && q.next()) {
        QJsonObject unit{{QStringLiteral("unit"), q.value(0).toString()},
                         {QStringLiteral("attempts"), q.value(1).toInt()},
                         {QStringLiteral("misses"), q.value(2).toInt()}};
        if (!q.value(3).isNull())
            unit.insert(QStringLiteral("meanms"), q.value(3).toInt());
        if (!q.value(4).isNull())
            unit.insert(QStringLiteral("wrongkey"), q.value(4).toString());
        units.append(unit);
    }
    QJsonObject entry{{QStringLiteral("table"), QString::fromLatin1(w.def->name).toLower()},
                      {QStringLiteral("run"), run}};
    // Only a run with units names them, so a run without any is still taken by a server of version 4.
    if (!units.isEmpty())
        entry.insert(QStringLiteral("children"), QJsonObject{{QStringLiteral("t_unit"), units}});
    return entry;
}

// Removes the entries of runs the server now holds, in one transaction. Should this fail, or the program be
// killed before it, the runs are sent again later and the server answers that it has them.
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

// Another run holds this run's id on the server: the run takes a new id here, naming the old one as its
// conflict, and is sent again under it. One transaction, so a killed program resumes with either id.
bool giveNewId(QSqlDatabase& db, Waiting& w) {
    const QString fresh = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QSqlQuery q(db);
    bool ok =
        db.transaction() && q.prepare(QStringLiteral("UPDATE %1 SET RunId = ?, Conflict = ? WHERE RunId = ?")
                                          .arg(QLatin1String(w.def->name)));
    q.addBindValue(fresh);
    q.addBindValue(w.runId);
    q.addBindValue(w.runId);
    ok = ok && q.exec() && q.prepare(QStringLiteral("UPDATE T_Unit SET RunId = ? WHERE RunId = ?"));
    q.addBindValue(fresh);
    q.addBindValue(w.runId);
    ok = ok && q.exec() && q.prepare(QStringLiteral("UPDATE Outbox SET RunId = ? WHERE Seq = ?"));
    q.addBindValue(fresh);
    q.addBindValue(w.seq);
    ok = ok && q.exec() && db.commit();
    if (!ok) {
        qCWarning(lcDb).noquote() << "The run" << w.runId
                                  << "keeps its id for now:" << sqlError(q.lastError());
        db.rollback();
        return false;
    }
    qCWarning(lcDb).noquote() << "Another run holds the id" << w.runId
                              << "on the server; this run is sent again as" << fresh;
    w.runId = fresh;
    return true;
}

std::optional<QList<Waiting>> readOutbox(QSqlDatabase& db, const QString& localPath) {
    QList<Waiting> waiting;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT Seq, RunId, TableName FROM Outbox ORDER BY Seq"))) {
        fail(Problem::Failed,
             QStringLiteral("The outbox of %1 cannot be read: %2").arg(localPath, sqlError(q.lastError())));
        return std::nullopt;
    }
    while (q.next()) {
        if (const TableDef* def = tableNamed(q.value(2).toString()))
            waiting.append({q.value(0).toLongLong(), q.value(1).toString(), def, q.value(1).toString()});
    }
    return waiting;
}

} // namespace

bool sendOutbox(const QString& uri, const QString& localPath, QSet<QString>* left) {
    // A computer that never kept a run has nothing to send; the file is not made for that.
    if (!QFileInfo(localPath).isFile())
        return true;
    ResultsFile file = openResultsFile(localPath, keyTableDef(), Access::Write);
    if (!file)
        return false;
    const auto waiting = readOutbox(file.db(), localPath);
    if (!waiting)
        return false;
    if (waiting->isEmpty())
        return true;

    int refused = 0;
    QSet<QString> done;
    bool first = true;
    const bool reached = withServer(
        uri,
        [&](QSqlDatabase& server) {
            refused = 0;
            // A second try (on a fresh connection) starts from the outbox as the first one left it.
            const auto again = first ? waiting : readOutbox(file.db(), localPath);
            first = false;
            if (!again)
                return false;
            std::deque<Waiting> queue(again->begin(), again->end());
            QSqlQuery q(server);
            q.prepare(QStringLiteral(
                "SELECT halvor_add_run(e->>'table', e->'run', COALESCE(e->'children', '{}'::jsonb)) "
                "FROM jsonb_array_elements(?::jsonb) WITH ORDINALITY AS b(e, i) ORDER BY i"));
            while (!queue.empty()) {
                QList<Waiting> batch;
                QJsonArray runs;
                QList<qlonglong> toForget;
                while (!queue.empty() && batch.size() < kBatch) {
                    Waiting w = queue.front();
                    queue.pop_front();
                    if (done.contains(w.savedAs))
                        continue;
                    if (const auto run = payload(file.db(), w)) {
                        runs.append(*run);
                        batch << w;
                    } else {
                        qCWarning(lcDb).noquote()
                            << "The run" << w.runId << "waiting in the outbox is gone from" << localPath;
                        toForget << w.seq;
                    }
                }
                if (!batch.isEmpty()) {
                    StatementBound bound(server, kStatementBoundMs);
                    q.addBindValue(QString::fromUtf8(QJsonDocument(runs).toJson(QJsonDocument::Compact)));
                    if (!q.exec()) {
                        forget(file.db(), toForget);
                        return failServerQuery(q.lastError(),
                                               QStringLiteral("The server did not take the runs"));
                    }
                }
                for (Waiting& w : batch) {
                    const QString answer = q.next() ? q.value(0).toString() : QString();
                    if (answer == QLatin1String("new") || answer == QLatin1String("same")) {
                        done.insert(w.savedAs);
                        toForget << w.seq;
                    } else if (answer == QLatin1String("different") && giveNewId(file.db(), w)) {
                        queue.push_back(w);
                    } else {
                        // Refused (or the new id could not be given): it stays for the next send.
                        qCWarning(lcDb).noquote()
                            << "The server did not take the run" << w.runId << ":" << answer;
                        ++refused;
                    }
                }
                forget(file.db(), toForget);
            }
            return true;
        },
        0);
    if (left) {
        for (const Waiting& w : *waiting) {
            if (!done.contains(w.savedAs))
                left->insert(w.savedAs);
        }
    }
    if (!reached)
        return false;
    if (refused > 0)
        return fail(Problem::ServerRefused,
                    QStringLiteral("%1 runs in the outbox of %2 were refused by the server")
                        .arg(refused)
                        .arg(localPath));
    return true;
}

} // namespace halvor::db
