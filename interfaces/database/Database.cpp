// SQLite behind the drills' record functions. Every call opens its own short-lived connection: the programs
// run one at a time and each holds the file only for one save or one chart fill, so nothing stays locked.
#include "Database.h"
#include "DbCore.h"
#include "LocalSave.h"
#include "Outbox.h"
#include "Records.h"
#include "SaveQueue.h"
#include "Schema.h"
#include "Server.h"
#include "SqlText.h"
#include "SqliteFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QUuid>

#include <functional>

#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

namespace halvor::db {

Q_LOGGING_CATEGORY(lcDb, "halvor.db")

namespace {
thread_local QString t_lastError;
thread_local Problem t_lastProblem = Problem::None;
} // namespace

bool fail(Problem problem, const QString& message) {
    t_lastError = maskPasswords(message);
    t_lastProblem = problem;
    qCWarning(lcDb).noquote() << t_lastError;
    return false;
}

void clearFailure() {
    t_lastError.clear();
    t_lastProblem = Problem::None;
}

QString sqlError(const QSqlError& error) {
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.trimmed();
}

bool isBusy(const QSqlError& error) {
    const int code = error.nativeErrorCode().toInt() & 0xff;
    return code == 5 || code == 6; // SQLITE_BUSY, SQLITE_LOCKED
}

Connection::Connection(const QString& driver, const QString& database) {
    static std::atomic<unsigned> counter{0};
    m_name = QStringLiteral("halvor.db.%1").arg(counter.fetch_add(1));
    m_db.emplace(QSqlDatabase::addDatabase(driver, m_name));
    m_db->setDatabaseName(database);
}

Connection::~Connection() {
    if (m_db) {
        m_db->close();
        m_db.reset();
    }
    QSqlDatabase::removeDatabase(m_name);
}

} // namespace halvor::db

using namespace halvor::db;

namespace {

template <typename Rec> void clearRecord(Rec* rec) {
    if (rec)
        *rec = Rec{};
}

// A select in the given dialect, with `source` in the place of the table; nothing when the drill's text is
// refused (reason in *why).
using SelectBuilder = std::function<std::optional<QString>(Dialect, const QString& source, QString* why)>;

// The table as the current learner sees it: only the learner's rows, under the table's own name, so the
// drill's clause reads it unchanged. On the file, rows without a learner are the login user's.
struct Restriction {
    QString source;
    QVariantList values;
};

Restriction learnerRestriction(const TableDef& def, Dialect dialect, bool hasLearnerColumn) {
    const QString learner = DB_Learner();
    const QString name = tableName(QLatin1String(def.name), dialect);
    const QString pattern = QStringLiteral("(SELECT * FROM %1 WHERE %2) %1");
    if (dialect == Dialect::Postgres)
        return {pattern.arg(name, QStringLiteral("learner = ?")), {learner}};
    const bool ownsUnnamed = learner.compare(DB_LoginName(), Qt::CaseInsensitive) == 0;
    if (!hasLearnerColumn) // an older file that may not be written: every row is the login user's
        return {pattern.arg(name, ownsUnnamed ? QStringLiteral("1 = 1") : QStringLiteral("0 = 1")), {}};
    return {pattern.arg(name, ownsUnnamed ? QStringLiteral("(Learner = ? OR Learner IS NULL)")
                                          : QStringLiteral("Learner = ?")),
            {learner}};
}

// Runs one select and turns every row into a record. Column names are matched without regard to case, so
// "[tavrel]" and "Round" or "round" all find their field; columns the select left out stay unset.
template <typename Table>
bool readRows(QSqlDatabase& db, const QString& sql, const QVariantList& values,
              std::vector<typename Table::Record>& out, const std::function<bool(const QSqlError&)>& failed) {
    using Rec = typename Table::Record;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    bool ok = q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!ok || !q.exec())
        return failed(q.lastError());
    const QSqlRecord shape = q.record();
    std::vector<std::pair<int, const Column<Rec>*>> map;
    for (const auto& col : Table::columns()) {
        const int i = shape.indexOf(QLatin1String(col.name));
        if (i >= 0)
            map.emplace_back(i, &col);
    }
    while (q.next()) {
        Rec rec;
        for (const auto& [i, col] : map)
            readValue(*col, q.value(i), rec);
        out.push_back(std::move(rec));
    }
    if (q.lastError().isValid())
        return failed(q.lastError());
    return true;
}

template <typename Table>
bool selectFromFile(const QString& path, const SelectBuilder& build,
                    std::vector<typename Table::Record>& out) {
    ResultsFile file = openResultsFile(path, Table::def(), Access::Read);
    if (!file)
        return false;
    const Restriction r = learnerRestriction(Table::def(), Dialect::Sqlite, file.current);
    QString why;
    const std::optional<QString> sql = build(Dialect::Sqlite, r.source, &why);
    if (!sql)
        return fail(Problem::Failed, why);
    return readRows<Table>(file.db(), *sql, r.values, out, [&](const QSqlError& error) {
        if (isBusy(error))
            return fail(Problem::Busy,
                        QStringLiteral("The results database %1 is being used by another program: %2")
                            .arg(path, sqlError(error)));
        return fail(
            Problem::Failed,
            QStringLiteral("The query of %1 failed: %2 (%3)").arg(Table::table(), sqlError(error), *sql));
    });
}

template <typename Table>
bool selectFromServer(const QString& uri, const SelectBuilder& build,
                      std::vector<typename Table::Record>& out) {
    const Restriction r = learnerRestriction(Table::def(), Dialect::Postgres, true);
    QString why;
    const std::optional<QString> sql = build(Dialect::Postgres, r.source, &why);
    if (!sql)
        return fail(Problem::Failed, why);
    return withServer(uri, [&](QSqlDatabase& db) {
        out.clear();
        return readRows<Table>(db, *sql, r.values, out, [&](const QSqlError& error) {
            return failServerQuery(error,
                                   QStringLiteral("The query of %1 failed (%2)").arg(Table::table(), *sql));
        });
    });
}

thread_local Problem t_serverAway = Problem::None;
// The last look-up of the day's runs on this thread failed: the save numbers its run itself.
thread_local bool t_lookupFailed = false;

// Where the last insert of this thread left its run.
struct LastSave {
    bool spooled = false;
    int round = 0; // the run number it was stored under, when the library numbered it
    QString runId;
    QString server; // set when the run waits in the outbox for that server
};
thread_local LastSave t_save;

// The learner's rows: from the server when the path is its address, and from this computer's file while the
// server cannot be reached (DB_ServerProblem() says why).
template <typename Table>
bool selectRows(const QString& path, const SelectBuilder& build, std::vector<typename Table::Record>& out) {
    out.clear();
    t_serverAway = Problem::None;
    QString why;
    // The drill's text is checked before anything is opened or made.
    if (!build(Dialect::Sqlite, {}, &why))
        return fail(Problem::Failed, why);
    if (!DB_IsServerAddress(path))
        return selectFromFile<Table>(path, build, out);
    if (selectFromServer<Table>(path, build, out))
        return true;
    t_serverAway = DB_LastProblem();
    out.clear();
    const QString local = DB_LocalPath();
    qCInfo(lcDb).noquote() << "Showing the rows kept in" << local << "while the server is away";
    return selectFromFile<Table>(local, build, out);
}

template <typename Table> struct OpenQuery {
    std::vector<typename Table::Record> rows;
    std::size_t next = 0;
    bool open = false;
};

// One query per table and thread, as the callers expect (a save may run beside the window's chart); the
// rows are read at open so no connection stays behind.
template <typename Table> OpenQuery<Table>& heldQuery() {
    thread_local OpenQuery<Table> q;
    return q;
}

template <typename Table> int openTable(const QString& path, const QString& clause) {
    clearFailure();
    auto& held = heldQuery<Table>();
    held = {};
    const SelectBuilder build = [&](Dialect dialect, const QString& source, QString* why) {
        return selectWithClause(Table::table(), clause, why, dialect, source);
    };
    t_lookupFailed = !selectRows<Table>(path, build, held.rows);
    if (t_lookupFailed) {
        held.rows.clear();
        return 0;
    }
    held.open = true;
    return 1;
}

template <typename Table> int getRecord(typename Table::Record* record) {
    auto& held = heldQuery<Table>();
    if (!held.open) {
        // The save sequence reads on after a failed open by design: no warning, and the open's reason stays.
        return 0;
    }
    clearFailure();
    if (held.next >= held.rows.size())
        return 0;
    if (!record) {
        fail(Problem::Failed, QStringLiteral("No record was given to fill from %1.").arg(Table::table()));
        return 0;
    }
    *record = held.rows[held.next++];
    return 1;
}

template <typename Table> int closeTable() {
    heldQuery<Table>() = {};
    return 1;
}

// The row as stored: the record's fields in column order, then the learner, a new run id, the moment it
// finished and no conflict.
template <typename Table> QVariantList rowValues(const typename Table::Record& record) {
    QVariantList values;
    for (const auto& col : Table::columns())
        values << boundValue(col, record);
    values << DB_Learner() << QUuid::createUuid().toString(QUuid::WithoutBraces)
           << QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)
           << QVariant(QMetaType::fromType<QString>());
    return values;
}

// The run is made safe on this computer first, in its file or beside it; a run for a server waits in the
// outbox there, and the save queue hands it to the sender.
template <typename Table>
int insertRecord(const QString& path, const typename Table::Record* record, const QList<DB_UNIT>& units) {
    clearFailure();
    t_save = {};
    const bool renumber = std::exchange(t_lookupFailed, false);
    if (!record)
        return fail(Problem::Failed,
                    QStringLiteral("No record was given to store in %1.").arg(Table::table()));
    const Run run{&Table::def(), rowValues<Table>(*record), storableUnits(units)};
    const bool server = DB_IsServerAddress(path);
    const QString local = server ? DB_LocalPath() : path;
    t_save.runId = run.runId();
    int round = 0;
    switch (storeRun(local, run, server, renumber, &round)) {
    case Kept::InFile:
        if (server)
            t_save.server = path;
        t_save.round = round;
        return 1;
    case Kept::BesideFile:
        t_save.spooled = true;
        return 1;
    case Kept::InMemory:
        break;
    }
    return 0;
}

} // namespace

int DB_OpenT_Digit(const QString& path, const QString& clause) {
    return openTable<DigitTable>(path, clause);
}
int DB_GetRecordT_Digit(DB_T_DIGIT* record) {
    return getRecord<DigitTable>(record);
}
int DB_CloseT_Digit() {
    return closeTable<DigitTable>();
}
void DB_ClearStructT_Digit(DB_T_DIGIT* record) {
    clearRecord(record);
}
int DB_InsertT_Digit(const QString& path, const DB_T_DIGIT* record, const QList<DB_UNIT>& units) {
    return insertRecord<DigitTable>(path, record, units);
}

int DB_OpenT_Key(const QString& path, const QString& clause) {
    return openTable<KeyTable>(path, clause);
}
int DB_GetRecordT_Key(DB_T_KEY* record) {
    return getRecord<KeyTable>(record);
}
int DB_CloseT_Key() {
    return closeTable<KeyTable>();
}
void DB_ClearStructT_Key(DB_T_KEY* record) {
    clearRecord(record);
}
int DB_InsertT_Key(const QString& path, const DB_T_KEY* record, const QList<DB_UNIT>& units) {
    return insertRecord<KeyTable>(path, record, units);
}

int DB_SelectT_Key(const QString& path, const QString& statement, QList<DB_T_KEY>& rows) {
    clearFailure();
    rows.clear();
    const SelectBuilder build = [&](Dialect dialect, const QString& source, QString* why) {
        return selectStatement(KeyTable::table(), statement, why, dialect, source);
    };
    std::vector<DB_T_KEY> found;
    t_lookupFailed = !selectRows<KeyTable>(path, build, found);
    if (t_lookupFailed)
        return 0;
    rows.reserve(static_cast<qsizetype>(found.size()));
    for (auto& r : found)
        rows.append(std::move(r));
    return 1;
}

QString DB_LastError() {
    return t_lastError;
}

Problem DB_LastProblem() {
    return t_lastProblem;
}

SaveOutcome DB_SaveOutcome(int insertResult, int round) {
    SaveOutcome outcome;
    outcome.stored = insertResult != 0;
    outcome.spooled = outcome.stored && t_save.spooled;
    outcome.round = !outcome.stored ? 0 : t_save.round > 0 ? t_save.round : round;
    outcome.runId = t_save.runId;
    outcome.server = outcome.stored ? t_save.server : QString();
    if (!outcome.stored || outcome.spooled) {
        outcome.problem = t_lastProblem == Problem::None ? Problem::Failed : t_lastProblem;
        outcome.why = t_lastError;
    } else if (settingsRefusedNews()) {
        outcome.problem = Problem::BadSettings;
        outcome.why = QStringLiteral("The results went to this computer's file: the setting was refused.");
    }
    return outcome;
}

namespace halvor::db {
void noteServerAway(Problem problem) {
    t_serverAway = problem;
}
} // namespace halvor::db

Problem DB_ServerProblem() {
    return t_serverAway;
}

QString DB_QueuedText(Problem problem) {
    const QString kept =
        QStringLiteral("サーバーに つながらないので、この パソコンに ほぞんしました。 あとで おくります。");
    switch (problem) {
    case Problem::UnknownHost:
    case Problem::ServerStarting:
    case Problem::NoFreeSlot:
    case Problem::LoginRefused:
    case Problem::OtherVersion:
    case Problem::ServerRefused:
    case Problem::BadSettings:
        return DB_ProblemText(problem) + QLatin1Char('\n') + kept;
    default:
        return kept;
    }
}

QString DB_SavedNote(const SaveOutcome& outcome) {
    if (!outcome.stored)
        return {};
    if (outcome.spooled)
        return DB_ProblemText(outcome.problem) + QLatin1Char('\n') +
               QStringLiteral(
                   "けっかは べつの ばしょに とって おきました。 つぎに ほぞんする ときに きろくに "
                   "いれます。");
    if (outcome.queued)
        return DB_QueuedText(outcome.problem);
    if (outcome.problem == Problem::BadSettings)
        return DB_ProblemText(outcome.problem) + QLatin1Char('\n') +
               QStringLiteral("けっかは この パソコンに ほぞんしました。");
    return {};
}

QString DB_NotSavedNote(const SaveOutcome& outcome) {
    return DB_ProblemText(outcome.problem) + QLatin1Char('\n') +
           QStringLiteral(
               "プログラムを とじないで おけば、 つぎに ほぞんする ときに もう いちど ためします。");
}

QString DB_ServerAwayText() {
    return QStringLiteral("サーバーに つながらないので、この パソコンの きろくだけを みせています。");
}

QString DB_ProblemText(Problem problem) {
    switch (problem) {
    case Problem::None:
        return {};
    case Problem::Busy:
        return QStringLiteral(
            "ほかの プログラムが きろくの ファイルを つかっています。 その プログラムを とじてから、 "
            "もう いちど ためして ください。");
    case Problem::Damaged:
    case Problem::NotAFile:
        return QStringLiteral(
            "きろくの ファイルが こわれているか、 ちがう しゅるいの ファイルです。 おうちの ひとか "
            "せんせいに みて もらって ください。");
    case Problem::ReadOnly:
        return QStringLiteral(
            "きろくの ファイルに かきこむ ことが できません。 おうちの ひとか せんせいに みて "
            "もらって ください。");
    case Problem::CannotOpen:
        return QStringLiteral(
            "きろくの ファイルを ひらく ことが できません。 おうちの ひとか せんせいに みて "
            "もらって ください。");
    case Problem::Full:
        return QStringLiteral("ディスクが いっぱいか こわれていて、 きろくを かきこめません。 おうちの "
                              "ひとか せんせいに しらせて "
                              "ください。");
    case Problem::Offline:
        return QStringLiteral("サーバーに つながりません。");
    case Problem::UnknownHost:
        return QStringLiteral(
            "サーバーの なまえが みつかりません。 せっていを せんせいに みて もらって ください。");
    case Problem::ServerStarting:
        return QStringLiteral("サーバーが いま はじまる ところか、 とまる ところです。");
    case Problem::NoFreeSlot:
        return QStringLiteral("サーバーが こみあっていて、 いまは つなげません。");
    case Problem::BadSettings:
        return QStringLiteral(
            "きろくの ほぞん先の せっていが まちがっています。 せんせいに しらせて ください。");
    case Problem::LoginRefused:
        return QStringLiteral(
            "サーバーが ログインを ことわりました。 パスワードと せっていを せんせいに みて "
            "もらって ください。");
    case Problem::OtherVersion:
        return QStringLiteral(
            "サーバーの きろくの かたちが この プログラムと ちがいます。 せんせいに しらせて "
            "ください。");
    case Problem::ServerRefused:
        return QStringLiteral("サーバーが きろくを うけとりませんでした。 せんせいに しらせて ください。");
    case Problem::Failed:
        break;
    }
    return QStringLiteral(
        "ファイルが こわれているか、 ほかの プログラムが つかっています。 もう いちど ためして "
        "ください。");
}

int DB_SendOutbox() {
    clearFailure();
    const QString target = DB_DefaultPath();
    const bool server = DB_IsServerAddress(target);
    const QString local = server ? DB_LocalPath() : target;
    if (!drainSpool(local))
        return 0;
    return !server || sendOutbox(target, local) ? 1 : 0;
}

void DB_StartOutboxSend() {
    const QString target = DB_DefaultPath();
    const bool server = DB_IsServerAddress(target);
    const QString local = server ? DB_LocalPath() : target;
    SaveQueue::instance().submit(
        [target, local, server] {
            // The save thread keeps the file open from now on: the first run's save is as quick as the rest.
            if (QFileInfo::exists(local))
                openResultsFile(local, keyTableDef(), Access::Write);
            drainSpool(local);
            if (server)
                sendLater(target, local);
            return SaveOutcome{};
        },
        nullptr, {});
}

QString DB_RunNumberPath(const QString& path) {
    return DB_IsServerAddress(path) ? DB_LocalPath() : path;
}

QString DB_TranslateJet(const QString& jet) {
    return halvor::db::translateJet(jet);
}

QString DB_JoinPath(const QString& folder, const QString& file) {
    if (folder.isEmpty())
        return file;
    if (file.isEmpty())
        return folder;
    const auto isSep = [](QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('\\'); };
    // Keep the folder's own separator when it has one ("C:\\", "/"), else add '/'.
    qsizetype end = folder.size();
    while (end > 0 && isSep(folder[end - 1]))
        --end;
    const QString head = end < folder.size() ? folder.left(end + 1) : folder + QLatin1Char('/');
    qsizetype start = 0;
    while (start < file.size() && isSep(file[start]))
        ++start;
    return head + file.mid(start);
}
