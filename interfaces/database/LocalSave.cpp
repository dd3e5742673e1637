#include "LocalSave.h"

#include "Schema.h"
#include "SqliteFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSqlQuery>

#include <QSet>

#include <algorithm>
#include <mutex>

namespace halvor::db {

namespace {

struct Pending {
    Run run;
    bool forServer = false;
    bool renumber = false;
    QString spoolFile; // where it was kept beside the results file; empty when it was not
};

// Runs that could be kept neither in the file nor beside it, by the file they belong to.
std::mutex g_heldMutex;
QList<QPair<QString, Pending>> g_held;

int columnIndex(const TableDef& def, const char* name) {
    for (int i = 0; i < int(def.columns.size()); ++i) {
        if (qstricmp(def.columns[std::size_t(i)].name, name) == 0)
            return i;
    }
    return -1;
}

QString spoolFolder(const QString& localPath) {
    return localPath + QStringLiteral(".spool");
}

QVariant fromJson(Type type, const QJsonValue& v) {
    if (v.isNull() || v.isUndefined())
        return {};
    switch (type) {
    case Type::SmallInt:
    case Type::Integer:
        return v.toInt();
    case Type::Real:
        return v.toDouble();
    default:
        return v.toString();
    }
}

bool keepBeside(const QString& localPath, const Pending& p) {
    QJsonObject row;
    for (int i = 0; i < int(p.run.def->columns.size()); ++i) {
        // A typed empty value would become "" or 0: an unset field stays unset.
        const QVariant v = p.run.values.value(i);
        row.insert(QLatin1String(p.run.def->columns[std::size_t(i)].name),
                   v.isNull() ? QJsonValue(QJsonValue::Null) : QJsonValue::fromVariant(v));
    }
    QJsonArray units;
    for (const DB_UNIT& u : p.run.units)
        units.append(QJsonArray{u.unit, u.attempts, u.misses, u.meanMs, u.wrongKey});
    const QJsonObject entry{{QStringLiteral("table"), QLatin1String(p.run.def->name)},
                            {QStringLiteral("forServer"), p.forServer},
                            {QStringLiteral("row"), row},
                            {QStringLiteral("units"), units}};
    const QString folder = spoolFolder(localPath);
    // Named by the moment it was kept, so the names sort in the order the runs finished.
    const QString name = QStringLiteral("%1-%2.run")
                             .arg(QDateTime::currentMSecsSinceEpoch(), 16, 10, QLatin1Char('0'))
                             .arg(p.run.runId());
    QSaveFile file(QDir(folder).filePath(name));
    const QByteArray bytes = QJsonDocument(entry).toJson(QJsonDocument::Compact);
    // Checked on the disk: a write the disk cut short can still be reported as whole.
    const bool ok = !localPath.trimmed().isEmpty() && QDir().mkpath(folder) &&
                    file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit() &&
                    (QFileInfo(file.fileName()).size() == bytes.size() || !QFile::remove(file.fileName()));
    if (!ok)
        qCWarning(lcDb).noquote() << "The run" << p.run.runId() << "cannot be kept in" << folder
                                  << "either:" << file.errorString();
    return ok;
}

QList<Pending> keptBeside(const QString& localPath) {
    QList<Pending> out;
    const QDir folder(spoolFolder(localPath));
    for (const QString& name : folder.entryList({QStringLiteral("*.run")}, QDir::Files, QDir::Name)) {
        QFile file(folder.filePath(name));
        const QJsonObject entry =
            file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
        Pending p;
        p.run.def = tableNamed(entry.value(QStringLiteral("table")).toString());
        if (!p.run.def) {
            qCWarning(lcDb).noquote()
                << "A run kept beside the results cannot be read and stays in" << file.fileName();
            continue;
        }
        const QJsonObject row = entry.value(QStringLiteral("row")).toObject();
        for (const ColumnDef& col : p.run.def->columns)
            p.run.values << fromJson(col.type, row.value(QLatin1String(col.name)));
        for (const QJsonValue& v : entry.value(QStringLiteral("units")).toArray()) {
            const QJsonArray u = v.toArray();
            p.run.units << DB_UNIT{u.at(0).toString(), u.at(1).toInt(), u.at(2).toInt(), u.at(3).toInt(-1),
                                   u.at(4).toString()};
        }
        p.run.units = storableUnits(p.run.units);
        p.forServer = entry.value(QStringLiteral("forServer")).toBool();
        p.renumber = true;
        p.spoolFile = file.fileName();
        out << p;
    }
    return out;
}

QList<Pending> waitingFor(const QString& localPath) {
    QList<Pending> out = keptBeside(localPath);
    std::lock_guard lock(g_heldMutex);
    for (const auto& [path, p] : std::as_const(g_held)) {
        if (path == localPath)
            out << p;
    }
    return out;
}

void forgetWaiting(const QString& localPath, const QList<Pending>& written) {
    QStringList ids;
    for (const Pending& p : written) {
        ids << p.run.runId();
        if (!p.spoolFile.isEmpty())
            QFile::remove(p.spoolFile);
    }
    std::lock_guard lock(g_heldMutex);
    g_held.removeIf([&](const QPair<QString, Pending>& h) {
        return h.first == localPath && ids.contains(h.second.run.runId());
    });
}

// The next run number after the day's runs of the same learner, drill (and course) that the file holds.
bool numberAfterFile(QSqlDatabase& db, Run& run, QSqlError* error) {
    const TableDef& def = *run.def;
    const QVariant learner = run.values.value(columnIndex(def, kLearnerColumn));
    QString sql = QStringLiteral("SELECT COALESCE(MAX(%1), 0) FROM %2 WHERE Y4mmdd IS ? AND %3 IS ? AND "
                                 "(Learner = ? OR (Learner IS NULL AND ?))")
                      .arg(QLatin1String(def.round), QLatin1String(def.name), QLatin1String(def.drill));
    if (def.course)
        sql += QStringLiteral(" AND %1 IS ?").arg(QLatin1String(def.course));
    QSqlQuery q(db);
    q.prepare(sql);
    q.addBindValue(run.values.value(columnIndex(def, "Y4mmdd")));
    q.addBindValue(run.values.value(columnIndex(def, def.drill)));
    q.addBindValue(learner);
    q.addBindValue(learner.toString().compare(DB_LoginName(), Qt::CaseInsensitive) == 0);
    if (def.course)
        q.addBindValue(run.values.value(columnIndex(def, def.course)));
    if (!q.exec() || !q.next()) {
        *error = q.lastError();
        return false;
    }
    run.values[columnIndex(def, def.round)] = std::min(q.value(0).toInt() + 1, 32767);
    return true;
}

bool insertRun(QSqlDatabase& db, const Pending& p, QSqlError* error) {
    const TableDef& def = *p.run.def;
    QStringList marks;
    for (std::size_t i = 0; i < def.columns.size(); ++i)
        marks << QStringLiteral("?");
    QSqlQuery q(db);
    // A run written before (its spool file outlived the commit) is there once.
    bool ok =
        q.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (RunId) DO NOTHING")
                      .arg(QLatin1String(def.name), columnList(def, false), marks.join(QLatin1Char(','))));
    for (const QVariant& v : p.run.values)
        q.addBindValue(v);
    ok = ok && q.exec();
    if (ok && !p.run.units.isEmpty()) {
        const TableDef& unit = unitTableDef();
        QStringList unitMarks;
        for (std::size_t i = 0; i < unit.columns.size(); ++i)
            unitMarks << QStringLiteral("?");
        ok = q.prepare(QStringLiteral("INSERT INTO T_Unit (%1) VALUES (%2) ON CONFLICT DO NOTHING")
                           .arg(columnList(unit, false), unitMarks.join(QLatin1Char(','))));
        for (const DB_UNIT& u : p.run.units) {
            for (const QVariant& v : unitValues(p.run, u))
                q.addBindValue(v);
            ok = ok && q.exec();
        }
    }
    if (ok && p.forServer) {
        ok = q.prepare(QStringLiteral("INSERT INTO Outbox (RunId, TableName, Queued) VALUES (?, ?, ?) "
                                      "ON CONFLICT (RunId) DO NOTHING"));
        q.addBindValue(p.run.runId());
        q.addBindValue(QLatin1String(def.name));
        q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
        ok = ok && q.exec();
    }
    if (!ok)
        *error = q.lastError();
    return ok;
}

// Every run in one transaction, or none of them; the failure recorded by its cause.
bool writeRuns(const QString& path, QList<Pending>& runs) {
    ResultsFile file = openResultsFile(path, *runs.front().run.def, Access::Write);
    if (!file)
        return false;
    QSqlDatabase& db = file.db();
    QSqlQuery q(db);
    // The write lock is taken first, so a file held by another program is found before anything is done.
    bool ok = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
    QSqlError error = q.lastError();
    for (Pending& p : runs) {
        if (!ok)
            break;
        ok = (!p.renumber || numberAfterFile(db, p.run, &error)) && insertRun(db, p, &error);
    }
    if (ok && !q.exec(QStringLiteral("COMMIT"))) {
        ok = false;
        error = q.lastError();
    }
    if (ok)
        return true;
    QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    const Problem problem = fileProblem(error);
    return fail(problem,
                QStringLiteral("The run was not stored in %1: %2%3")
                    .arg(path, sqlError(error),
                         problem == Problem::Busy ? QStringLiteral(" (another program is using the file)")
                                                  : QString()));
}

bool hasControl(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

} // namespace

QList<DB_UNIT> storableUnits(const QList<DB_UNIT>& units) {
    QList<DB_UNIT> out;
    QSet<QString> seen;
    int dropped = 0;
    for (DB_UNIT u : units) {
        if (u.unit.isEmpty() || u.unit.size() > kMaxUnitLength || hasControl(u.unit) ||
            seen.contains(u.unit) || out.size() >= kMaxUnitsPerRun) {
            ++dropped;
            continue;
        }
        seen.insert(u.unit);
        u.attempts = std::clamp(u.attempts, 0, kMaxUnitCount);
        u.misses = std::clamp(u.misses, 0, u.attempts);
        if (u.meanMs < 0 || u.meanMs > kMaxUnitMeanMs)
            u.meanMs = -1;
        if (u.wrongKey.size() > kMaxUnitLength || hasControl(u.wrongKey))
            u.wrongKey.clear();
        out << u;
    }
    if (dropped > 0)
        qCWarning(lcDb).noquote() << dropped
                                  << "unit rows of a run were left out (empty, too long, twice or "
                                     "too many)";
    return out;
}

QVariantList unitValues(const Run& run, const DB_UNIT& unit) {
    const TableDef& def = *run.def;
    const QVariant none(QMetaType::fromType<QString>());
    return {run.runId(),
            run.values.value(columnIndex(def, kLearnerColumn)),
            run.values.value(columnIndex(def, "Y4mmdd")),
            run.values.value(columnIndex(def, def.drill)),
            unit.unit,
            unit.attempts,
            unit.misses,
            unit.meanMs < 0 ? QVariant(QMetaType::fromType<int>()) : QVariant(unit.meanMs),
            unit.wrongKey.isEmpty() ? none : QVariant(unit.wrongKey)};
}

QString Run::runId() const {
    return def ? values.value(columnIndex(*def, kRunIdColumn)).toString() : QString();
}

QString columnList(const TableDef& def, bool serverNames) {
    QStringList names;
    for (const ColumnDef& col : def.columns) {
        const QString name = QString::fromLatin1(col.name);
        names << QLatin1Char('"') + (serverNames ? name.toLower() : name) + QLatin1Char('"');
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

Kept storeRun(const QString& localPath, const Run& run, bool forServer, bool renumber, int* round) {
    QList<Pending> waiting = waitingFor(localPath);
    const Pending now{run, forServer, renumber || !waiting.isEmpty(), {}};
    QList<Pending> all = waiting;
    all << now;
    const int roundColumn = columnIndex(*run.def, run.def->round);
    if (writeRuns(localPath, all)) {
        forgetWaiting(localPath, waiting);
        *round = all.last().run.values.value(roundColumn).toInt();
        return Kept::InFile;
    }
    // A run kept aside that the file still refuses (its table of another shape, say) holds up no other.
    QList<Pending> alone{now};
    if (!waiting.isEmpty() && writeRuns(localPath, alone)) {
        *round = alone.last().run.values.value(roundColumn).toInt();
        return Kept::InFile;
    }
    // The file's reason stays recorded for the learner; what follows only keeps the run.
    if (keepBeside(localPath, now))
        return Kept::BesideFile;
    std::lock_guard lock(g_heldMutex);
    g_held.append({localPath, now});
    return Kept::InMemory;
}

bool drainSpool(const QString& localPath) {
    QList<Pending> waiting = waitingFor(localPath);
    if (waiting.isEmpty())
        return true;
    if (!writeRuns(localPath, waiting))
        return false;
    forgetWaiting(localPath, waiting);
    qCInfo(lcDb).noquote() << waiting.size() << "runs kept beside" << localPath << "are now in it";
    return true;
}

} // namespace halvor::db
