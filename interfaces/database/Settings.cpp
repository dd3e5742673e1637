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
#include <atomic>
#include <mutex>

#include <pwd.h>
#include <unistd.h>

using namespace halvor::db;

namespace {

// The user's file (~/.config/Halvor/Halvor.conf), then the system-wide one a school puts under /etc/xdg.
QVariant setting(const QString& key) {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvor"),
                             QStringLiteral("Halvor"));
    return settings.value(key);
}

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

namespace halvor::db {

namespace {
std::atomic<bool> g_refusedNews{false};
std::atomic<bool> g_refusalTold{false}; // a save's outcome has carried the news
} // namespace

bool settingsRefusedNews() {
    if (!g_refusedNews.exchange(false))
        return false;
    g_refusalTold = true;
    return true;
}

} // namespace halvor::db

namespace {

// A setting that is neither a server's address nor an absolute path is refused, not guessed at: said once
// in the log and once to the learner, while the results go to this computer's file.
QString refuseSetting(const QString& source, const QString& value, const QString& why) {
    static std::mutex mutex;
    static QStringList logged;
    const QString local = DB_LocalPath();
    {
        std::lock_guard lock(mutex);
        if (!logged.contains(value)) {
            logged << value;
            qCWarning(lcDb).noquote()
                << QStringLiteral("The setting %1 (\"%2\") is refused: %3. The results go to %4.")
                       .arg(source, maskPasswords(value), why, local);
        }
    }
    if (!g_refusalTold)
        g_refusedNews = true;
    return local;
}

} // namespace

QString DB_DefaultPath() {
    QString source = QStringLiteral("HALVOR_DATABASE");
    QString value = qEnvironmentVariable("HALVOR_DATABASE").trimmed();
    if (value.isEmpty()) {
        source = QStringLiteral("Database/Url");
        value = setting(source).toString().trimmed();
    }
    if (value.isEmpty())
        return DB_LocalPath();
    value = expandHome(value);
    QString why;
    if (DB_IsServerAddress(value)) {
        if (parseServerAddress(value, &why))
            return value;
    } else if (value.startsWith(QLatin1Char('/'))) {
        return value;
    } else {
        why = QStringLiteral("it is neither a postgresql:// address nor an absolute file path");
    }
    return refuseSetting(source, value, why);
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
    return setting(QStringLiteral("Learners/Shared")).toBool();
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
