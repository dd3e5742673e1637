// SQLite behind the drills' record functions. Every call opens its own short-lived connection: the programs
// run one at a time and each holds the file only for one save or one chart fill, so nothing stays locked.
#include "Database.h"
#include "DbCore.h"
#include "Schema.h"
#include "SqlText.h"
#include "SqliteFile.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

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
    t_lastError = message;
    t_lastProblem = problem;
    qCWarning(lcDb).noquote() << message;
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

// Field layout of both tables: column name, where the value and its flag sit in the record.
enum class Kind { Date, Int16, Text, Real };

template <typename Rec> struct Column {
    const char* name;
    Kind kind;
    void* (*value)(Rec&);
    std::int32_t Rec::*flag;
};

#define HALVOR_COLUMN(Rec, col, member, kind)                                                                \
    Column<Rec> {                                                                                            \
        col, kind, [](Rec& r) -> void* { return &r.member; }, &Rec::member##Flag                             \
    }

// The thirteen fields both tables share, in table order; only the drill and run-number names differ.
#define HALVOR_SHARED_COLUMNS(Rec, drillColumn, drillMember, roundColumn)                                    \
    HALVOR_COLUMN(Rec, "Y4mmdd", Y4mmdd, Kind::Date),                                                        \
        HALVOR_COLUMN(Rec, drillColumn, drillMember, Kind::Int16),                                           \
        HALVOR_COLUMN(Rec, roundColumn, Round, Kind::Int16), HALVOR_COLUMN(Rec, "REM", REM, Kind::Text),     \
        HALVOR_COLUMN(Rec, "COND1", COND1, Kind::Text), HALVOR_COLUMN(Rec, "COND2", COND2, Kind::Text),      \
        HALVOR_COLUMN(Rec, "Time", Time, Kind::Real), HALVOR_COLUMN(Rec, "result1", result1, Kind::Real),    \
        HALVOR_COLUMN(Rec, "result2", result2, Kind::Real),                                                  \
        HALVOR_COLUMN(Rec, "result3", result3, Kind::Real),                                                  \
        HALVOR_COLUMN(Rec, "result4", result4, Kind::Real),                                                  \
        HALVOR_COLUMN(Rec, "result5", result5, Kind::Real), HALVOR_COLUMN(Rec, "ERR1", ERR1, Kind::Text)

struct KeyTable {
    using Record = DB_T_KEY;
    static const TableDef& def() { return keyTableDef(); }
    static QString table() { return QStringLiteral("T_Key"); }
    static const std::vector<Column<DB_T_KEY>>& columns() {
        static const std::vector<Column<DB_T_KEY>> all = {
            HALVOR_SHARED_COLUMNS(DB_T_KEY, "Tavrel", Tavrel, "Round"),
            HALVOR_COLUMN(DB_T_KEY, "ERR2", ERR2, Kind::Text),
            HALVOR_COLUMN(DB_T_KEY, "ERR3", ERR3, Kind::Text),
        };
        return all;
    }
};

struct DigitTable {
    using Record = DB_T_DIGIT;
    static const TableDef& def() { return digitTableDef(); }
    static QString table() { return QStringLiteral("T_Digit"); }
    static const std::vector<Column<DB_T_DIGIT>>& columns() {
        static const std::vector<Column<DB_T_DIGIT>> all = {
            HALVOR_SHARED_COLUMNS(DB_T_DIGIT, "Pelvoran", Pelvoran, "round")};
        return all;
    }
};

#undef HALVOR_SHARED_COLUMNS
#undef HALVOR_COLUMN

template <typename Rec> QVariant boundValue(const Column<Rec>& col, const Rec& rec) {
    void* p = col.value(const_cast<Rec&>(rec));
    const bool set = rec.*(col.flag) != 0;
    switch (col.kind) {
    case Kind::Date: {
        const QDate& d = *static_cast<QDate*>(p);
        if (set && d.isValid())
            return d.toString(Qt::ISODate);
        if (set)
            qCWarning(lcDb) << "an invalid date is stored as empty in" << col.name;
        return QVariant(QMetaType::fromType<QString>());
    }
    case Kind::Int16:
        return set ? QVariant(int(*static_cast<std::int16_t*>(p))) : QVariant(QMetaType::fromType<int>());
    case Kind::Real:
        return set ? QVariant(*static_cast<double*>(p)) : QVariant(QMetaType::fromType<double>());
    case Kind::Text: {
        const QString& s = *static_cast<QString*>(p);
        // A set but empty text (no errors made) is stored as '' and stays apart from an unset NULL.
        return set ? QVariant(s.isNull() ? QString(QLatin1String("")) : s)
                   : QVariant(QMetaType::fromType<QString>());
    }
    }
    return {};
}

template <typename Rec> void readValue(const Column<Rec>& col, const QVariant& v, Rec& rec) {
    if (v.isNull())
        return;
    void* p = col.value(rec);
    switch (col.kind) {
    case Kind::Date: {
        // Only the day counts; tolerate a time of day written by hand after it.
        const QDate d = QDate::fromString(v.toString().left(10), Qt::ISODate);
        if (!d.isValid())
            return;
        *static_cast<QDate*>(p) = d;
        break;
    }
    case Kind::Int16: {
        bool ok = false;
        const qlonglong n = v.toLongLong(&ok);
        if (!ok)
            return;
        *static_cast<std::int16_t*>(p) =
            static_cast<std::int16_t>(std::clamp<qlonglong>(n, INT16_MIN, INT16_MAX));
        break;
    }
    case Kind::Real: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            return;
        *static_cast<double*>(p) = d;
        break;
    }
    case Kind::Text:
        *static_cast<QString*>(p) = v.toString();
        break;
    }
    rec.*(col.flag) = 1;
}

template <typename Rec> void clearRecord(Rec* rec) {
    if (rec)
        *rec = Rec{};
}

// Runs one validated select and turns every row into a record. Column names are matched without regard to
// case, so "[tavrel]" and "Round" or "round" all find their field; columns the select left out stay unset.
template <typename Table>
bool runSelect(const QString& path, const QString& sql, std::vector<typename Table::Record>& out) {
    using Rec = typename Table::Record;
    out.clear();
    const auto c = openResultsFile(path, Table::def(), Access::Read);
    if (!c)
        return false;
    QSqlQuery q(c->db());
    q.setForwardOnly(true);
    const auto failQuery = [&](const QString& what) {
        if (isBusy(q.lastError()))
            return fail(Problem::Busy,
                        QStringLiteral("The results database %1 is being used by another program: %2")
                            .arg(path, sqlError(q.lastError())));
        return fail(Problem::Failed, what.arg(Table::table(), sqlError(q.lastError()), sql));
    };
    if (!q.exec(sql))
        return failQuery(QStringLiteral("The query of %1 failed: %2 (%3)"));
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
        return failQuery(QStringLiteral("Reading %1 failed: %2 (%3)"));
    return true;
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
    QString why;
    const std::optional<QString> sql = halvor::db::selectWithClause(Table::table(), clause, &why);
    if (!sql) {
        fail(Problem::Failed, why);
        return 0;
    }
    if (!runSelect<Table>(path, *sql, held.rows)) {
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

template <typename Table> int insertRecord(const QString& path, const typename Table::Record* record) {
    clearFailure();
    if (!record)
        return fail(Problem::Failed,
                    QStringLiteral("No record was given to store in %1.").arg(Table::table()));

    QStringList names;
    QStringList marks;
    for (const auto& col : Table::columns()) {
        names << QLatin1Char('"') + QLatin1String(col.name) + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(Table::table(), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));

    const auto c = openResultsFile(path, Table::def(), Access::Write);
    if (!c)
        return 0;
    QSqlDatabase& db = c->db();
    bool ok = db.transaction();
    QSqlError error = db.lastError();
    if (ok) {
        QSqlQuery q(db);
        ok = q.prepare(sql);
        for (const auto& col : Table::columns())
            q.addBindValue(boundValue(col, *record));
        ok = ok && q.exec();
        error = q.lastError();
    }
    if (ok && !db.commit()) {
        ok = false;
        error = db.lastError();
    }
    if (ok)
        return 1;
    db.rollback();
    return fail(isBusy(error) ? Problem::Busy : Problem::Failed,
                QStringLiteral("The result was not stored in %1 of %2: %3%4")
                    .arg(Table::table(), path, sqlError(error),
                         isBusy(error) ? QStringLiteral(" (another program is using the file)") : QString()));
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
int DB_InsertT_Digit(const QString& path, const DB_T_DIGIT* record) {
    return insertRecord<DigitTable>(path, record);
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
int DB_InsertT_Key(const QString& path, const DB_T_KEY* record) {
    return insertRecord<KeyTable>(path, record);
}

int DB_SelectT_Key(const QString& path, const QString& statement, QList<DB_T_KEY>& rows) {
    clearFailure();
    rows.clear();
    QString why;
    const std::optional<QString> sql = halvor::db::selectStatement(KeyTable::table(), statement, &why);
    if (!sql) {
        fail(Problem::Failed, why);
        return 0;
    }
    std::vector<DB_T_KEY> found;
    if (!runSelect<KeyTable>(path, *sql, found))
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
    outcome.round = outcome.stored ? round : 0;
    if (!outcome.stored) {
        outcome.problem = t_lastProblem == Problem::None ? Problem::Failed : t_lastProblem;
        outcome.why = t_lastError;
    }
    return outcome;
}

QString DB_WaitingText() {
    return QStringLiteral(
        "ほかの プログラムが きろくの ファイルを つかっています。 あいたら すぐに ほぞんします。 "
        "この まま つづけて ください。");
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
    case Problem::Failed:
        break;
    }
    return QStringLiteral(
        "ファイルが こわれているか、 ほかの プログラムが つかっています。 もう いちど ためして "
        "ください。");
}

QString DB_TranslateJet(const QString& jet) {
    return halvor::db::translateJet(jet);
}

QString DB_DefaultPath() {
    const QString env = qEnvironmentVariable("VUR_MDB");
    if (!env.isEmpty())
        return env;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return DB_JoinPath(DB_JoinPath(data, QStringLiteral("Halvor")), QStringLiteral("VUR.MDB"));
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
