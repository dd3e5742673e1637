// Reading for the results viewer: every learner's runs and what they add up to, and the list of registered
// learners. One statement text serves both engines: unquoted names fold to the server's lower-case ones.
#include "Database.h"
#include "DbCore.h"
#include "Records.h"
#include "Schema.h"
#include "Server.h"
#include "SqlText.h"
#include "SqliteFile.h"

#include <QSqlQuery>
#include <QSqlRecord>

#include <cmath>
#include <functional>

using namespace halvor::db;

namespace {

using Work = std::function<bool(QSqlDatabase&, Dialect, bool hasLearnerColumn)>;

bool failFile(const QString& path, const QString& what, const QSqlError& error) {
    return fail(isBusy(error) ? Problem::Busy : Problem::Failed,
                QStringLiteral("%1 in %2 failed: %3").arg(what, path, sqlError(error)));
}

bool onFile(const QString& path, Access access, const Work& work) {
    ResultsFile file = openResultsFile(path, keyTableDef(), access);
    return file && work(file.db(), Dialect::Sqlite, file.current);
}

// The server when the path is its address, else the file. A read falls back on this computer's file while
// the server is away; a change does not, as the change belongs on the server.
bool withResults(const QString& path, Access access, const Work& work) {
    clearFailure();
    noteServerAway(Problem::None);
    if (!DB_IsServerAddress(path))
        return onFile(path, access, work);
    if (withServer(path, [&](QSqlDatabase& db) { return work(db, Dialect::Postgres, true); }))
        return true;
    if (access == Access::Write)
        return false;
    const Problem away = DB_LastProblem();
    const QString why = DB_LastError();
    if (!onFile(DB_LocalPath(), Access::Read, work))
        return false;
    noteServerAway(away);
    clearFailure();
    qCInfo(lcDb).noquote() << "Showing this computer's rows while the server is away:" << why;
    return true;
}

// The learner of a row and the filter, as one dialect writes them, with the values to bind in order.
struct Selection {
    QString learner; // expression for the row's learner
    QString where;   // conditions after WHERE
    QVariantList values;
};

Selection selection(const DB_RUN_FILTER& filter, Dialect dialect, bool hasLearnerColumn) {
    Selection s;
    const QString login = DB_LoginName();
    QStringList conditions{QStringLiteral("1 = 1")};
    if (dialect == Dialect::Postgres) {
        s.learner = QStringLiteral("learner");
        if (!filter.learner.isEmpty()) {
            conditions << QStringLiteral("learner = ?");
            s.values << filter.learner;
        }
    } else {
        const bool ownsUnnamed = filter.learner.compare(login, Qt::CaseInsensitive) == 0;
        if (hasLearnerColumn) {
            s.learner = QStringLiteral("COALESCE(Learner, ?) COLLATE NOCASE");
            s.values << login;
            if (!filter.learner.isEmpty()) {
                conditions << (ownsUnnamed ? QStringLiteral("(Learner = ? OR Learner IS NULL)")
                                           : QStringLiteral("Learner = ?"));
                s.values << filter.learner;
            }
        } else { // an older file that may not be written: every row is the login user's
            s.learner = QStringLiteral("? COLLATE NOCASE");
            s.values << login;
            if (!filter.learner.isEmpty() && !ownsUnnamed)
                conditions << QStringLiteral("0 = 1");
        }
    }
    // The class and the list of learners compare as the learner's own column does (without case).
    const QString learnerIn = dialect == Dialect::Postgres ? QStringLiteral("learner IN (%1)")
                              : hasLearnerColumn
                                  ? QStringLiteral("COALESCE(Learner, ?) COLLATE NOCASE IN (%1)")
                                  : QStringLiteral("? COLLATE NOCASE IN (%1)");
    const auto restrictTo = [&](const QString& set, const QVariantList& values) {
        conditions << learnerIn.arg(set);
        if (dialect == Dialect::Sqlite)
            s.values << login;
        s.values << values;
    };
    if (!filter.className.isEmpty())
        restrictTo(QStringLiteral("SELECT Name FROM Learners WHERE Class = ?"), {filter.className.trimmed()});
    if (!filter.learners.isEmpty()) {
        QStringList marks;
        QVariantList names;
        for (const QString& name : filter.learners) {
            marks << QStringLiteral("?");
            names << name;
        }
        restrictTo(marks.join(QStringLiteral(", ")), names);
    }
    if (filter.from.isValid()) {
        conditions << QStringLiteral("Y4mmdd >= ?");
        s.values << filter.from.toString(Qt::ISODate);
    }
    if (filter.to.isValid()) {
        conditions << QStringLiteral("Y4mmdd <= ?");
        s.values << filter.to.toString(Qt::ISODate);
    }
    s.where = conditions.join(QStringLiteral(" AND "));
    return s;
}

// The same select over both tables, joined: `columns` is filled with the drill-number and run-number
// columns of each table; `tail` follows each part (a GROUP BY). Binds both parts' values.
bool execBoth(QSqlQuery& q, const QString& columns, const QString& tail, const QString& around,
              const Selection& s) {
    const QString part = QStringLiteral("SELECT %1, %2 AS Learner, %3 FROM %4 WHERE %5 %6");
    const QString digit = part.arg(QStringLiteral("1 AS Windmill"), s.learner,
                                   columns.arg(QStringLiteral("Pelvoran"), QStringLiteral("REM")),
                                   QStringLiteral("T_Digit"), s.where, tail);
    const QString key = part.arg(QStringLiteral("0"), s.learner,
                                 columns.arg(QStringLiteral("Tavrel"), QStringLiteral("COND1")),
                                 QStringLiteral("T_Key"), s.where, tail);
    q.setForwardOnly(true);
    if (!q.prepare(around.arg(digit + QStringLiteral(" UNION ALL ") + key)))
        return false;
    for (int part = 0; part < 2; ++part) {
        for (const QVariant& v : s.values)
            q.addBindValue(v);
    }
    return q.exec();
}

bool failQuery(const QString& path, Dialect dialect, const QString& what, const QSqlError& error) {
    return dialect == Dialect::Postgres ? failServerQuery(error, what) : failFile(path, what, error);
}

} // namespace

namespace {

// The runs as the viewer reads them, in order of learner, day, table, drill number and run number; `row` is
// called with the query on each row and the column numbers of the shape.
struct RunColumns {
    int learner, windmill, day, drill, round, rem, cond1, time, speed, errors, worstKey, runId;
};

// `start` is called before each attempt (a server that went away part way is followed by this computer's
// file).
bool eachRun(const QString& path, const DB_RUN_FILTER& filter, bool ordered,
             const std::function<bool()>& start,
             const std::function<bool(const QSqlQuery&, const RunColumns&)>& row) {
    return withResults(path, Access::Read, [&](QSqlDatabase& db, Dialect dialect, bool hasLearner) {
        if (!start())
            return fail(Problem::Offline, QStringLiteral("The server went away while the runs were read."));
        const Selection s = selection(filter, dialect, hasLearner);
        QSqlQuery q(db);
        // Course comes along as in the overview's select; the runs are read by their own columns. A file
        // read in an older shape has no units to join, so its runs need no id.
        const QString columns = QStringLiteral("Y4mmdd, %1 AS Tavrel, %2 AS Course, Round, REM, COND1, Time, "
                                               "result1, result3, result4, ERR1, ") +
                                (hasLearner ? QStringLiteral("RunId") : QStringLiteral("NULL AS RunId"));
        const QString around = ordered ? QStringLiteral("SELECT * FROM (%1) runs ORDER BY Learner, Y4mmdd, "
                                                        "Windmill, Tavrel, Round")
                                       : QStringLiteral("%1");
        if (!execBoth(q, columns, QString(), around, s))
            return failQuery(path, dialect, QStringLiteral("Reading the runs"), q.lastError());
        const QSqlRecord shape = q.record();
        const auto at = [&](const char* name) { return shape.indexOf(QLatin1String(name)); };
        const RunColumns c{at("Learner"), at("Windmill"), at("Y4mmdd"), at("Tavrel"),
                           at("Round"),   at("REM"),      at("COND1"),  at("Time"),
                           at("result3"), at("result4"),  at("ERR1"),   at("RunId")};
        while (q.next()) {
            if (!row(q, c))
                return fail(Problem::Failed, QStringLiteral("Reading the runs was stopped."));
        }
        return !q.lastError().isValid() ||
               failQuery(path, dialect, QStringLiteral("Reading the runs"), q.lastError());
    });
}

} // namespace

int DB_ReadRuns(const QString& path, const DB_RUN_FILTER& filter, QList<DB_RUN>& runs) {
    runs.clear();
    std::vector<std::pair<int, const Column<DB_T_KEY>*>> map;
    const auto start = [&] {
        runs.clear();
        map.clear();
        return true;
    };
    const bool ok = eachRun(path, filter, true, start, [&](const QSqlQuery& q, const RunColumns& c) {
        if (map.empty()) {
            const QSqlRecord shape = q.record();
            for (const auto& col : KeyTable::columns()) {
                if (const int i = shape.indexOf(QLatin1String(col.name)); i >= 0)
                    map.emplace_back(i, &col);
            }
        }
        DB_RUN run;
        run.learner = q.value(c.learner).toString();
        run.windmill = q.value(c.windmill).toInt() == 1;
        run.runId = q.value(c.runId).toString();
        for (const auto& [i, col] : map)
            readValue(*col, q.value(i), run.fields);
        runs.append(std::move(run));
        return true;
    });
    if (!ok)
        runs.clear();
    return ok ? 1 : 0;
}

int DB_EachRun(const QString& path, const DB_RUN_FILTER& filter,
               const std::function<bool(const DB_RUN_VALUES&)>& each, bool ordered) {
    DB_RUN_VALUES v;
    bool delivered = false;
    // Rows handed on cannot be taken back: a read that must start again on this computer's file fails.
    const auto start = [&] { return !delivered; };
    return eachRun(path, filter, ordered, start,
                   [&](const QSqlQuery& q, const RunColumns& c) {
                       delivered = true;
                       v.learner = q.value(c.learner).toString();
                       v.windmill = q.value(c.windmill).toInt() == 1;
                       v.day = QDate::fromString(q.value(c.day).toString().left(10), Qt::ISODate);
                       v.drill = q.value(c.drill).toInt();
                       v.round = q.value(c.round);
                       v.rem = q.value(c.rem).toString();
                       v.cond1 = q.value(c.cond1).toString();
                       v.time = q.value(c.time);
                       v.speed = q.value(c.speed);
                       v.errors = q.value(c.errors);
                       v.worstKey = q.value(c.worstKey).toString();
                       return each(v);
                   })
               ? 1
               : 0;
}

int DB_ReadRunGroups(const QString& path, const DB_RUN_FILTER& filter, QList<DB_RUN_GROUP>& groups) {
    groups.clear();
    const bool ok = withResults(path, Access::Read, [&](QSqlDatabase& db, Dialect dialect, bool hasLearner) {
        groups.clear();
        const Selection s = selection(filter, dialect, hasLearner);
        QSqlQuery q(db);
        const QString columns = QStringLiteral("%1 AS Drill, %2 AS Course, COUNT(*), MAX(result3), "
                                               "MIN(Time), MAX(Y4mmdd)");
        if (!execBoth(q, columns, QStringLiteral("GROUP BY 1, 2, 3, 4"), QStringLiteral("%1"), s))
            return failQuery(path, dialect, QStringLiteral("Adding up the runs"), q.lastError());
        while (q.next()) {
            DB_RUN_GROUP g;
            g.windmill = q.value(0).toInt() == 1;
            g.learner = q.value(1).toString();
            g.drill = q.value(2).toInt();
            g.course = q.value(3).toString();
            g.runs = q.value(4).toInt();
            g.hasSpeed = !q.value(5).isNull();
            g.bestSpeed = q.value(5).toDouble();
            g.hasTime = !q.value(6).isNull();
            g.bestTime = q.value(6).toDouble();
            g.lastDay = QDate::fromString(q.value(7).toString().left(10), Qt::ISODate);
            groups.append(g);
        }
        return !q.lastError().isValid() ||
               failQuery(path, dialect, QStringLiteral("Adding up the runs"), q.lastError());
    });
    if (!ok)
        groups.clear();
    return ok ? 1 : 0;
}

namespace {

// A select over T_Unit with the filter's conditions; `shape` holds %1 for the learner's expression and %2
// for the conditions. A file that may not be written keeps the shape of the version that wrote it, maybe
// without units: it has none.
bool eachUnitRow(const QString& path, const DB_RUN_FILTER& filter, int drill, const QString& shape,
                 const std::function<void()>& start, const std::function<void(const QSqlQuery&)>& row) {
    return withResults(path, Access::Read, [&](QSqlDatabase& db, Dialect dialect, bool) {
        start();
        QSqlQuery q(db);
        if (dialect == Dialect::Sqlite &&
            (!q.exec(
                 QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'T_Unit'")) ||
             !q.next()))
            return !q.lastError().isValid() ||
                   failQuery(path, dialect, QStringLiteral("Reading the units"), q.lastError());
        // Every unit row carries its learner, so the file's rows are read as the server's are.
        Selection s = selection(filter, dialect, true);
        if (drill > 0) {
            s.where += QStringLiteral(" AND Drill = ?");
            s.values << drill;
        }
        q.setForwardOnly(true);
        q.prepare(shape.arg(s.learner, s.where));
        for (const QVariant& v : std::as_const(s.values))
            q.addBindValue(v);
        if (!q.exec())
            return failQuery(path, dialect, QStringLiteral("Reading the units"), q.lastError());
        while (q.next())
            row(q);
        return !q.lastError().isValid() ||
               failQuery(path, dialect, QStringLiteral("Reading the units"), q.lastError());
    });
}

} // namespace

int DB_ReadUnits(const QString& path, const DB_RUN_FILTER& filter, int drill, QList<DB_UNIT_ROW>& rows) {
    rows.clear();
    const bool ok = eachUnitRow(
        path, filter, drill,
        QStringLiteral("SELECT %1 AS Learner, RunId, Y4mmdd, Drill, Unit, Attempts, Misses, MeanMs, WrongKey "
                       "FROM T_Unit WHERE %2 ORDER BY 1, Y4mmdd, RunId, Unit"),
        [&] { rows.clear(); },
        [&](const QSqlQuery& q) {
            DB_UNIT_ROW r;
            r.learner = q.value(0).toString();
            r.runId = q.value(1).toString();
            r.day = QDate::fromString(q.value(2).toString().left(10), Qt::ISODate);
            r.drill = q.value(3).toInt();
            r.unit = {q.value(4).toString(), q.value(5).toInt(), q.value(6).toInt(),
                      q.value(7).isNull() ? -1 : q.value(7).toInt(), q.value(8).toString()};
            rows.append(r);
        });
    if (!ok)
        rows.clear();
    return ok ? 1 : 0;
}

int DB_SumUnits(const QString& path, const DB_RUN_FILTER& filter, QList<DB_UNIT_SUM>& sums) {
    sums.clear();
    const bool ok = eachUnitRow(
        path, filter, 0,
        QStringLiteral("SELECT %1 AS Learner, Drill, Unit, COUNT(*), SUM(Attempts), SUM(Misses), "
                       "SUM(MeanMs * Attempts), SUM(CASE WHEN MeanMs IS NULL THEN 0 ELSE Attempts END) "
                       "FROM T_Unit WHERE %2 GROUP BY 1, Drill, Unit ORDER BY 1, Drill, Unit"),
        [&] { sums.clear(); },
        [&](const QSqlQuery& q) {
            DB_UNIT_SUM s;
            s.learner = q.value(0).toString();
            s.drill = q.value(1).toInt();
            s.unit = q.value(2).toString();
            s.runs = q.value(3).toInt();
            s.attempts = q.value(4).toLongLong();
            s.misses = q.value(5).toLongLong();
            const qint64 timed = q.value(7).toLongLong();
            if (timed > 0)
                s.meanMs = int(std::llround(q.value(6).toDouble() / double(timed)));
            sums.append(s);
        });
    if (!ok)
        sums.clear();
    return ok ? 1 : 0;
}

int DB_ChangeLearners(const QString& path, const QList<DB_LEARNER>& add, const QStringList& remove) {
    for (const DB_LEARNER& l : add) {
        if (!DB_ValidLearnerName(l.name))
            return fail(Problem::Failed, QStringLiteral("\"%1\" is not a usable learner name.").arg(l.name));
    }
    const auto valueOrNull = [](const QVariant& v, bool none) { return none ? QVariant(v.metaType()) : v; };
    return withResults(path, Access::Write,
                       [&](QSqlDatabase& db, Dialect dialect, bool) {
                           QSqlQuery upsert(db);
                           QSqlQuery drop(db);
                           bool ok =
                               db.transaction() &&
                               upsert.prepare(QStringLiteral(
                                   "INSERT INTO Learners (Name, Class, Number, Furigana) VALUES (?, ?, ?, ?) "
                                   "ON CONFLICT (Name) DO UPDATE SET Class = excluded.Class, "
                                   "Number = excluded.Number, Furigana = excluded.Furigana")) &&
                               drop.prepare(QStringLiteral("DELETE FROM Learners WHERE Name = ?"));
                           for (const QString& name : remove) {
                               if (!ok)
                                   break;
                               drop.addBindValue(name);
                               ok = drop.exec();
                           }
                           for (const DB_LEARNER& l : add) {
                               if (!ok)
                                   break;
                               const QString className = l.className.trimmed();
                               const QString furigana = l.furigana.trimmed();
                               upsert.addBindValue(l.name);
                               upsert.addBindValue(valueOrNull(className, className.isEmpty()));
                               upsert.addBindValue(valueOrNull(l.number, l.number <= 0));
                               upsert.addBindValue(valueOrNull(furigana, furigana.isEmpty()));
                               ok = upsert.exec();
                           }
                           if (ok && db.commit())
                               return true;
                           const QSqlError error = upsert.lastError().isValid() ? upsert.lastError()
                                                   : drop.lastError().isValid() ? drop.lastError()
                                                                                : db.lastError();
                           db.rollback();
                           return failQuery(path, dialect, QStringLiteral("Changing the learners"), error);
                       })
               ? 1
               : 0;
}

int DB_RegisterLearners(const QString& path, const QList<DB_LEARNER>& learners) {
    return DB_ChangeLearners(path, learners, {});
}

int DB_UnregisterLearner(const QString& path, const QString& name) {
    return DB_ChangeLearners(path, {}, {name});
}
