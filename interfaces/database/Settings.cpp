// Where results go and who is practising: the environment, then the settings a family or a school deploys.
#include "Database.h"
#include "DbCore.h"
#include "Records.h"
#include "Server.h"
#include "SqlText.h"
#include "SqliteFile.h"

#include <QDir>
#include <QSettings>
#include <QSqlQuery>
#include <QStandardPaths>

#include <pwd.h>
#include <unistd.h>

using namespace halvor::db;

namespace {

QString expandHome(const QString& path) {
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

// Registered learners from the Learners table, then the other names seen in the results. The query is the
// same in both dialects; on the file a row without a learner is the login user's.
QString knownLearnersSql(Dialect dialect) {
    const bool pg = dialect == Dialect::Postgres;
    const QString learner = pg ? QStringLiteral("learner") : QStringLiteral("COALESCE(Learner, ?)");
    return QStringLiteral("SELECT name, class, 1 FROM learners UNION "
                          "SELECT %1, NULL, 0 FROM t_key UNION SELECT %1, NULL, 0 FROM t_digit "
                          "ORDER BY 3 DESC, 2, 1")
        .arg(learner);
}

bool readLearners(QSqlDatabase& db, Dialect dialect, QList<DB_LEARNER>& learners,
                  const std::function<bool(const QSqlError&)>& failed) {
    QSqlQuery q(db);
    bool ok = q.prepare(knownLearnersSql(dialect));
    if (dialect == Dialect::Sqlite) {
        q.addBindValue(DB_LoginName());
        q.addBindValue(DB_LoginName());
    }
    if (!ok || !q.exec())
        return failed(q.lastError());
    QStringList seen;
    while (q.next()) {
        const QString name = q.value(0).toString();
        // Names compare without regard to case, as the columns do; the registered spelling wins.
        if (name.isEmpty() || seen.contains(name, Qt::CaseInsensitive))
            continue;
        seen << name;
        learners.append({name, q.value(1).toString(), q.value(2).toInt() == 1});
    }
    return true;
}

} // namespace

QVariant DB_Setting(const QString& key) {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvor"),
                             QStringLiteral("Halvor"));
    return settings.value(key);
}

bool DB_IsServerAddress(const QString& path) {
    return path.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           path.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}

QString DB_LocalPath() {
    const QString env = qEnvironmentVariable("VUR_MDB");
    if (!env.isEmpty())
        return env;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return DB_JoinPath(DB_JoinPath(data, QStringLiteral("Halvor")), QStringLiteral("VUR.MDB"));
}

QString DB_DefaultPath() {
    const QString env = qEnvironmentVariable("HALVOR_DATABASE").trimmed();
    if (!env.isEmpty())
        return expandHome(env);
    const QString configured = DB_Setting(QStringLiteral("Database/Url")).toString().trimmed();
    if (!configured.isEmpty())
        return expandHome(configured);
    return DB_LocalPath();
}

QString DB_LoginName() {
    for (const char* variable : {"USER", "LOGNAME"}) {
        const QString name = qEnvironmentVariable(variable).trimmed();
        if (!name.isEmpty())
            return name;
    }
    if (const passwd* pw = ::getpwuid(::geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QStringLiteral("learner");
}

bool DB_ValidLearnerName(const QString& name) {
    if (name.isEmpty() || name != name.trimmed() || name.toUcs4().size() > 32)
        return false;
    for (const char32_t c : name.toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph || category == QChar::Other_Surrogate)
            return false;
    }
    return true;
}

QString DB_Learner() {
    const QString chosen = qEnvironmentVariable("HALVOR_LEARNER").trimmed();
    if (!chosen.isEmpty()) {
        if (DB_ValidLearnerName(chosen))
            return chosen;
        qCWarning(lcDb).noquote() << "HALVOR_LEARNER is not a usable name; the login name is used instead";
    }
    return DB_LoginName();
}

bool DB_SharedComputer() {
    return DB_Setting(QStringLiteral("Learners/Shared")).toBool();
}

int DB_KnownLearners(const QString& path, QList<DB_LEARNER>& learners) {
    clearFailure();
    learners.clear();
    if (DB_IsServerAddress(path)) {
        const bool ok = withServer(path, [&](QSqlDatabase& db) {
            learners.clear();
            return readLearners(db, Dialect::Postgres, learners, [](const QSqlError& error) {
                return failServerQuery(error, QStringLiteral("The learners cannot be read"));
            });
        });
        if (ok)
            return 1;
        qCInfo(lcDb) << "Showing the learners this computer knows while the server is away";
        return DB_KnownLearners(DB_LocalPath(), learners);
    }
    ResultsFile file = openResultsFile(path, keyTableDef(), Access::Read);
    if (!file)
        return 0;
    return readLearners(file.db(), Dialect::Sqlite, learners, [&](const QSqlError& error) {
        return fail(isBusy(error) ? Problem::Busy : Problem::Failed,
                    QStringLiteral("The learners in %1 cannot be read: %2").arg(path, sqlError(error)));
    });
}
