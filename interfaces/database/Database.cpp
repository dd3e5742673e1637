// SQLite behind the drills' record functions. Every call opens its own short-lived connection: the programs
// run one at a time and each holds the file only for one save or one chart fill, so nothing stays locked.
#include "Database.h"
#include "SqlText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

Q_LOGGING_CATEGORY(lcDb, "halvor.db")

namespace {

thread_local QString t_lastError;

bool fail(const QString& message) {
    t_lastError = message;
    qCWarning(lcDb).noquote() << message;
    return false;
}

// The drills' queries were written for an engine that compares text without regard to case
// ([COND1] = 'ga' finds "GA"), so every text column compares that way here too.
QString tableSql(const QString& table, const QString& drill, const QString& round, bool threeErrors) {
    const QString text = QStringLiteral(" TEXT COLLATE NOCASE");
    QString sql =
        QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (Y4mmdd TEXT, %2 INTEGER, %3 INTEGER, REM%4, COND1%4,"
                       " COND2%4, Time REAL, result1 REAL, result2 REAL, result3 REAL, result4 REAL,"
                       " result5 REAL, ERR1%4")
            .arg(table, drill, round, text);
    if (threeErrors)
        sql += QStringLiteral(", ERR2%1, ERR3%1").arg(text);
    return sql + QLatin1Char(')');
}

// Schema versions: index i holds the statements that lift a file from version i to i + 1. A later change
// appends a step here; files of every older version are brought up to date on their next open.
const std::vector<std::vector<QString>>& migrations() {
    static const std::vector<std::vector<QString>> steps = {
        {
            tableSql(QStringLiteral("T_Key"), QStringLiteral("Tavrel"), QStringLiteral("Round"), true),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_Key_Drill ON T_Key (Tavrel, Y4mmdd, Round)"),
            tableSql(QStringLiteral("T_Digit"), QStringLiteral("Pelvoran"), QStringLiteral("round"), false),
            QStringLiteral(
                "CREATE INDEX IF NOT EXISTS IX_T_Digit_Drill ON T_Digit (Pelvoran, Y4mmdd, round)"),
        },
    };
    return steps;
}

// A file marked read-only is respected even by a user whom the system would let write (such as root).
bool writable(const QString& path) {
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return QFileInfo(path).isWritable() && (QFile::permissions(path) & anyWrite);
}

int schemaVersion() {
    return static_cast<int>(migrations().size());
}

// One QSqlDatabase connection under a name of its own, removed again when this goes out of scope. The
// QSqlDatabase handle lives in an optional so it is gone before removeDatabase() runs (no Qt warning).
class Connection {
public:
    Connection(const QString& path, bool readOnly) {
        static std::atomic<unsigned> counter{0};
        m_name = QStringLiteral("halvor.db.%1").arg(counter.fetch_add(1));
        m_db.emplace(QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name));
        m_db->setDatabaseName(path);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=3000");
        if (readOnly)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        m_db->setConnectOptions(options);
    }
    ~Connection() {
        if (m_db) {
            m_db->close();
            m_db.reset();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QSqlDatabase& db() { return *m_db; }
    bool open() { return m_db->isValid() && m_db->open(); }

private:
    QString m_name;
    std::optional<QSqlDatabase> m_db;
};

QString sqlError(const QSqlError& error) {
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.trimmed();
}

// What lies at the path decides what may be done to it: only a missing, empty or SQLite file is ever written.
enum class FileKind { Missing, Empty, Sqlite, Foreign, Unreadable, Folder };

FileKind inspect(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return FileKind::Missing;
    if (info.isDir())
        return FileKind::Folder;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileKind::Unreadable;
    const QByteArray head = file.read(16);
    if (head.isEmpty() && file.size() == 0)
        return FileKind::Empty;
    return head == QByteArray("SQLite format 3\0", 16) ? FileKind::Sqlite : FileKind::Foreign;
}

bool applyMigrations(Connection& c, int from, const QString& path) {
    QSqlDatabase& db = c.db();
    if (!db.transaction())
        return fail(
            QStringLiteral("Cannot write the results database %1: %2").arg(path, sqlError(db.lastError())));
    QSqlQuery q(db);
    for (int v = from; v < schemaVersion(); ++v) {
        for (const QString& sql : migrations()[static_cast<std::size_t>(v)]) {
            if (!q.exec(sql)) {
                const QString why = sqlError(q.lastError());
                q.finish();
                db.rollback();
                return fail(QStringLiteral("Cannot set up the tables in %1: %2").arg(path, why));
            }
        }
    }
    // PRAGMA takes no bound values; the number is ours, not input.
    if (!q.exec(QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion()))) {
        const QString why = sqlError(q.lastError());
        q.finish();
        db.rollback();
        return fail(QStringLiteral("Cannot set up the tables in %1: %2").arg(path, why));
    }
    q.finish();
    if (!db.commit()) {
        const QString why = sqlError(db.lastError());
        db.rollback();
        return fail(QStringLiteral("Cannot set up the tables in %1: %2").arg(path, why));
    }
    return true;
}

std::optional<int> userVersion(Connection& c) {
    QSqlQuery q(c.db());
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return std::nullopt;
    return q.value(0).toInt();
}

// Makes sure the file exists and carries the current schema, creating the folder and the file when missing.
// Returns false (with the reason in DB_LastError) for anything that is not ours to write.
bool prepareFile(const QString& path) {
    if (path.trimmed().isEmpty())
        return fail(QStringLiteral("No path was given for the results database."));
    switch (inspect(path)) {
    case FileKind::Folder:
        return fail(QStringLiteral("The results database path %1 is a folder, not a file.").arg(path));
    case FileKind::Unreadable:
        return fail(QStringLiteral("The results database %1 cannot be read.").arg(path));
    case FileKind::Foreign:
        return fail(
            QStringLiteral("%1 is not an SQLite database (an old file of another format?); it was left "
                           "unchanged.")
                .arg(path));
    case FileKind::Missing: {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder))
            return fail(QStringLiteral("Cannot create the folder %1 for the results database.").arg(folder));
        bool ok = false;
        {
            Connection c(path, false);
            if (!c.open())
                fail(QStringLiteral("Cannot create the results database %1: %2")
                         .arg(path, sqlError(c.db().lastError())));
            else
                ok = applyMigrations(c, 0, path);
        }
        // Leave no half-made file behind; the next save tries again from scratch.
        if (!ok && inspect(path) != FileKind::Foreign)
            QFile::remove(path);
        return ok;
    }
    case FileKind::Empty:
    case FileKind::Sqlite:
        break;
    }

    int version = 0;
    {
        Connection c(path, true);
        if (!c.open())
            return fail(QStringLiteral("Cannot open the results database %1: %2")
                            .arg(path, sqlError(c.db().lastError())));
        const auto v = userVersion(c);
        if (!v)
            return fail(QStringLiteral("%1 is not a readable SQLite database: %2")
                            .arg(path, sqlError(c.db().lastError())));
        version = *v;
    }
    if (version >= schemaVersion())
        return true;
    if (!writable(path))
        return fail(QStringLiteral("The results database %1 is read-only and lacks its tables.").arg(path));
    Connection c(path, false);
    if (!c.open())
        return fail(QStringLiteral("Cannot open the results database %1: %2")
                        .arg(path, sqlError(c.db().lastError())));
    return applyMigrations(c, version, path);
}

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
    if (!prepareFile(path))
        return false;
    Connection c(path, true);
    if (!c.open())
        return fail(QStringLiteral("Cannot open the results database %1: %2")
                        .arg(path, sqlError(c.db().lastError())));
    QSqlQuery q(c.db());
    q.setForwardOnly(true);
    if (!q.exec(sql))
        return fail(QStringLiteral("The query of %1 failed: %2 (%3)")
                        .arg(Table::table(), sqlError(q.lastError()), sql));
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
        return fail(QStringLiteral("Reading %1 failed: %2").arg(Table::table(), sqlError(q.lastError())));
    return true;
}

template <typename Table> struct OpenQuery {
    std::vector<typename Table::Record> rows;
    std::size_t next = 0;
    bool open = false;
};

// One query per table, as the callers expect; the rows are read at open so no connection stays behind.
template <typename Table> OpenQuery<Table>& heldQuery() {
    static OpenQuery<Table> q;
    return q;
}

template <typename Table> int openTable(const QString& path, const QString& clause) {
    t_lastError.clear();
    auto& held = heldQuery<Table>();
    held = {};
    QString why;
    const std::optional<QString> sql = halvor::db::selectWithClause(Table::table(), clause, &why);
    if (!sql) {
        fail(why);
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
    t_lastError.clear();
    auto& held = heldQuery<Table>();
    if (!held.open) {
        // The save sequence reads on after a failed open by design; no warning for that.
        t_lastError = QStringLiteral("No query of %1 is open.").arg(Table::table());
        return 0;
    }
    if (held.next >= held.rows.size())
        return 0;
    if (!record) {
        fail(QStringLiteral("No record was given to fill from %1.").arg(Table::table()));
        return 0;
    }
    *record = held.rows[held.next++];
    return 1;
}

template <typename Table> int closeTable() {
    t_lastError.clear();
    heldQuery<Table>() = {};
    return 1;
}

template <typename Table> int insertRecord(const QString& path, const typename Table::Record* record) {
    t_lastError.clear();
    if (!record)
        return fail(QStringLiteral("No record was given to store in %1.").arg(Table::table()));
    if (!prepareFile(path))
        return 0;
    if (!writable(path))
        return fail(
            QStringLiteral("The results database %1 is read-only; the result was not stored.").arg(path));

    QStringList names;
    QStringList marks;
    for (const auto& col : Table::columns()) {
        names << QLatin1Char('"') + QLatin1String(col.name) + QLatin1Char('"');
        marks << QStringLiteral("?");
    }
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(Table::table(), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));

    Connection c(path, false);
    QSqlDatabase& db = c.db();
    if (!c.open())
        return fail(
            QStringLiteral("Cannot open the results database %1: %2").arg(path, sqlError(db.lastError())));
    if (!db.transaction())
        return fail(
            QStringLiteral("Cannot write the results database %1: %2").arg(path, sqlError(db.lastError())));
    bool ok = false;
    QString why;
    {
        QSqlQuery q(db);
        if (q.prepare(sql)) {
            for (const auto& col : Table::columns())
                q.addBindValue(boundValue(col, *record));
            ok = q.exec();
        }
        if (!ok)
            why = sqlError(q.lastError());
    }
    if (ok && !db.commit()) {
        ok = false;
        why = sqlError(db.lastError());
    }
    if (!ok) {
        db.rollback();
        return fail(
            QStringLiteral("The result was not stored in %1 of %2: %3").arg(Table::table(), path, why));
    }
    return 1;
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
    t_lastError.clear();
    rows.clear();
    QString why;
    const std::optional<QString> sql = halvor::db::selectStatement(KeyTable::table(), statement, &why);
    if (!sql) {
        fail(why);
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
