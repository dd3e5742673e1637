// Where results go and who is practising: the environment, then the settings a family or a school deploys.
#include "Database.h"
#include "DbCore.h"
#include "Records.h"
#include "Server.h"
#include "SqlText.h"
#include "SqliteFile.h"

#include <QCollator>
#include <QDir>
#include <QSet>
#include <QSettings>
#include <QSqlQuery>
#include <QStandardPaths>

#include <atomic>
#include <mutex>

#include <pwd.h>
#include <unistd.h>

using namespace halvor::db;

namespace {

QString expandHome(const QString& path) {
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

// Registered learners from the Learners table, then the other names seen in results. The query is the
// same in both dialects; on the file a row without a learner is the login user's. A file that may not be
// brought up to date has no number or reading yet.
QString knownLearnersSql(Dialect dialect, bool withRoster) {
    const bool pg = dialect == Dialect::Postgres;
    const QString learner = pg ? QStringLiteral("learner") : QStringLiteral("COALESCE(Learner, ?)");
    const QString roster = withRoster ? QStringLiteral("number, furigana") : QStringLiteral("NULL, NULL");
    return QStringLiteral("SELECT name, class, 1, %2 FROM learners UNION "
                          "SELECT %1, NULL, 0, NULL, NULL FROM t_key UNION "
                          "SELECT %1, NULL, 0, NULL, NULL FROM t_digit")
        .arg(learner, roster);
}

bool readLearners(QSqlDatabase& db, Dialect dialect, bool withRoster, QList<DB_LEARNER>& learners,
                  const std::function<bool(const QSqlError&)>& failed) {
    QSqlQuery q(db);
    bool ok = q.prepare(knownLearnersSql(dialect, withRoster));
    if (dialect == Dialect::Sqlite) {
        q.addBindValue(DB_LoginName());
        q.addBindValue(DB_LoginName());
    }
    if (!ok || !q.exec())
        return failed(q.lastError());
    while (q.next()) {
        const QString name = q.value(0).toString();
        if (!name.isEmpty())
            learners.append({name, q.value(1).toString(), q.value(2).toInt() == 1, q.value(3).toInt(),
                             q.value(4).toString()});
    }
    std::stable_sort(learners.begin(), learners.end(),
                     [](const DB_LEARNER& a, const DB_LEARNER& b) { return a.registered && !b.registered; });
    // Names compare without regard to case, as the columns do; the registered spelling wins.
    QSet<QString> seen;
    learners.removeIf([&](const DB_LEARNER& l) {
        const QString key = l.name.toCaseFolded();
        if (seen.contains(key))
            return true;
        seen.insert(key);
        return false;
    });
    std::sort(learners.begin(), learners.end(), DB_LearnerBefore);
    return true;
}

} // namespace

QVariant DB_Setting(const QString& key) {
    const QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvor"),
                             QStringLiteral("Halvor"));
    return settings.value(key);
}

bool DB_SetSetting(const QString& key, const QVariant& value) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Halvor"),
                       QStringLiteral("Halvor"));
    settings.setFallbacksEnabled(false);
    const QVariant before = settings.value(key);
    settings.setValue(key, value);
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    // Qt keeps what was set for the rest of the process; this program must see what the file holds.
    if (before.isValid())
        settings.setValue(key, before);
    else
        settings.remove(key);
    return fail(Problem::CannotOpen,
                QStringLiteral("The setting %1 could not be written to %2.").arg(key, settings.fileName()));
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
        value = DB_Setting(source).toString().trimmed();
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
    return DB_Setting(QStringLiteral("Learners/Shared")).toBool();
}

bool DB_LearnerBefore(const DB_LEARNER& a, const DB_LEARNER& b) {
    if (a.registered != b.registered)
        return a.registered;
    thread_local const QCollator collator = [] {
        QCollator c(QLocale(QLocale::Japanese, QLocale::Japan));
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    const auto compare = [](const QString& x, const QString& y) { return collator.compare(x, y); };
    if (a.registered) {
        const QString classA = a.className.trimmed();
        const QString classB = b.className.trimmed();
        if (classA.isEmpty() != classB.isEmpty())
            return classB.isEmpty();
        if (const int c = compare(classA, classB))
            return c < 0;
        if ((a.number > 0) != (b.number > 0))
            return a.number > 0;
        if (a.number != b.number)
            return a.number < b.number;
        const QString readingA = a.furigana.isEmpty() ? a.name : a.furigana;
        const QString readingB = b.furigana.isEmpty() ? b.name : b.furigana;
        if (const int c = compare(readingA, readingB))
            return c < 0;
    }
    return compare(a.name, b.name) < 0;
}

int DB_KnownLearners(const QString& path, QList<DB_LEARNER>& learners) {
    clearFailure();
    noteServerAway(Problem::None);
    learners.clear();
    if (DB_IsServerAddress(path)) {
        const bool ok = withServer(path, [&](QSqlDatabase& db) {
            learners.clear();
            return readLearners(db, Dialect::Postgres, true, learners, [](const QSqlError& error) {
                return failServerQuery(error, QStringLiteral("The learners cannot be read"));
            });
        });
        if (ok)
            return 1;
        qCInfo(lcDb) << "Showing the learners this computer knows while the server is away";
        const Problem away = DB_LastProblem();
        const int local = DB_KnownLearners(DB_LocalPath(), learners);
        noteServerAway(local ? away : Problem::None);
        return local;
    }
    ResultsFile file = openResultsFile(path, keyTableDef(), Access::Read);
    if (!file)
        return 0;
    return readLearners(
        file.db(), Dialect::Sqlite, file.learnersCurrent, learners, [&](const QSqlError& error) {
            return fail(isBusy(error) ? Problem::Busy : Problem::Failed,
                        QStringLiteral("The learners in %1 cannot be read: %2").arg(path, sqlError(error)));
        });
}
