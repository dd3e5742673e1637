#include "SqliteFile.h"

#include "Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include <sys/stat.h>

namespace halvor::db {

Problem fileProblem(const QSqlError& error) {
    if (isBusy(error))
        return Problem::Busy;
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 10: // SQLITE_IOERR: a write the disk did not take (no room left for this user, say)
    case 13: // SQLITE_FULL
        return Problem::Full;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return Problem::Damaged;
    default:
        return Problem::Failed;
    }
}

namespace {

// Short: a lock held longer keeps a run beside the file instead (LocalSave.h), and a program that is ending
// waits for no lock.
constexpr int kBusyTimeoutMs = 500;

QString sqliteType(Type type) {
    switch (type) {
    case Type::Date:
        return QStringLiteral("TEXT");
    case Type::SmallInt:
    case Type::Integer:
        return QStringLiteral("INTEGER");
    case Type::Text:
        // The drills' queries were written for an engine that compares text without regard to case
        // ([COND1] = 'ga' finds "GA"), so every text column compares that way here too.
        return QStringLiteral("TEXT COLLATE NOCASE");
    case Type::Real:
        return QStringLiteral("REAL");
    case Type::Uuid:
    case Type::Timestamp:
    case Type::PlainText:
        return QStringLiteral("TEXT");
    }
    return {};
}

// A file marked read-only is respected even by a user whom the system would let write (such as root).
bool writable(const QString& path) {
    constexpr auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    return QFileInfo(path).isWritable() && (QFile::permissions(path) & anyWrite);
}

// What lies at the path decides what may be done to it: only a missing, empty or SQLite file is ever written.
enum class FileKind { Missing, Empty, Sqlite, Foreign, Unreadable, Folder, NotRegular };

// The files this process has open through SQLite, by device and inode. Closing any descriptor of a file drops
// every lock the process holds on it, SQLite's too: a file open here is never opened again to read its
// header, or a connection kept by another thread loses its hold on it, and another program closing the file
// then takes its log, with the runs not yet copied into the file, away. The header is read, and a connection
// opened, under one lock, so neither comes between the other's steps.
std::mutex g_openFilesMutex;
std::multimap<std::pair<dev_t, ino_t>, std::weak_ptr<Connection>> g_openFiles;

bool openHere(const std::pair<dev_t, ino_t>& id) {
    const auto [from, to] = g_openFiles.equal_range(id);
    bool open = false;
    for (auto it = from; it != to;) {
        if (it->second.expired()) {
            it = g_openFiles.erase(it);
        } else {
            open = true;
            ++it;
        }
    }
    return open;
}

FileKind inspect(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return FileKind::Missing;
    if (S_ISDIR(st.st_mode))
        return FileKind::Folder;
    // A pipe or a device would block the first read for ever, or feed it endless bytes.
    if (!S_ISREG(st.st_mode))
        return FileKind::NotRegular;
    std::lock_guard lock(g_openFilesMutex);
    if (openHere({st.st_dev, st.st_ino}))
        return FileKind::Sqlite;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return FileKind::Unreadable;
    const QByteArray head = file.read(16);
    if (head.isEmpty() && file.size() == 0)
        return FileKind::Empty;
    return head == QByteArray("SQLite format 3\0", 16) ? FileKind::Sqlite : FileKind::Foreign;
}

std::unique_ptr<Connection> sqliteConnection(const QString& path, bool readOnly) {
    auto c = std::make_unique<Connection>(QStringLiteral("QSQLITE"), path);
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs);
    if (readOnly)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    c->db().setConnectOptions(options);
    return c;
}

// A failed read of the file, told by its cause: locked by another program, not a database, or else.
bool failRead(const QString& path, const QSqlError& error) {
    const QString why = sqlError(error);
    switch (fileProblem(error)) {
    case Problem::Busy:
        return fail(
            Problem::Busy,
            QStringLiteral("The results database %1 is being used by another program: %2").arg(path, why));
    case Problem::Damaged:
        return fail(Problem::Damaged,
                    QStringLiteral("%1 is not a readable SQLite database: %2").arg(path, why));
    default:
        return fail(fileProblem(error),
                    QStringLiteral("Cannot read the results database %1: %2").arg(path, why));
    }
}

// The tables beside the results: runs waiting for the server, oldest first, the registered learners, and
// the units each run practised; with the columns later versions added to them.
struct AuxColumn {
    const char* name;
    const char* type;
};
struct AuxTable {
    QString name;
    QStringList create; // the table, then its indexes
    std::vector<AuxColumn> added;
};

QStringList unitTableStatements() {
    const TableDef& def = unitTableDef();
    QStringList columns;
    for (const ColumnDef& col : def.columns)
        columns << QLatin1String(col.name) + QLatin1Char(' ') + sqliteType(col.type);
    // A unit is a run's once: a run written again (its spool file outlived the commit) adds none twice.
    return {
        QStringLiteral("CREATE TABLE T_Unit (%1)").arg(columns.join(QStringLiteral(", "))),
        QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS IX_T_Unit_Run ON T_Unit (RunId, Unit)"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS IX_T_Unit_Learner ON T_Unit (Learner, Drill, Y4mmdd)")};
}

const std::vector<AuxTable>& auxTables() {
    static const std::vector<AuxTable> all = {
        {QStringLiteral("Outbox"),
         {QStringLiteral("CREATE TABLE Outbox (Seq INTEGER PRIMARY KEY AUTOINCREMENT, RunId TEXT NOT NULL "
                         "UNIQUE, TableName TEXT NOT NULL, Queued TEXT)")},
         {}},
        {QStringLiteral("Learners"),
         {QStringLiteral(
             "CREATE TABLE Learners (Name TEXT COLLATE NOCASE PRIMARY KEY, Class TEXT COLLATE NOCASE)")},
         {{"Number", "INTEGER"}, {"Furigana", "TEXT COLLATE NOCASE"}}}, // version 3
        {QStringLiteral("T_Unit"), unitTableStatements(), {}},          // version 6
    };
    return all;
}

enum class Shape { Missing, Older, Current, Foreign };

struct TableState {
    Shape shape = Shape::Missing;
    QStringList lacking; // columns of the current schema the file's table has not
};

// How each results table of the file compares with the current schema. A table that lacks a column of the
// first version is someone else's table under our name.
struct Shapes {
    std::map<const TableDef*, TableState> tables;
    QStringList missingAux;    // whole tables to make
    bool unitsMissing = false; // T_Unit among them: a file that may not be written is read without it
    QStringList auxColumns;    // columns to add to tables that are there
    bool learnersCurrent = false;
};

std::optional<Shapes> readShapes(Connection& c, const QString& path) {
    Shapes out;
    QSqlQuery q(c.db());
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"))) {
        failRead(path, q.lastError());
        return std::nullopt;
    }
    QStringList present;
    while (q.next())
        present << q.value(0).toString().toLower();
    const auto columnsOf = [&](const QString& table) -> std::optional<QStringList> {
        if (!q.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(table))) {
            failRead(path, q.lastError());
            return std::nullopt;
        }
        QStringList have;
        while (q.next())
            have << q.value(1).toString().toLower();
        return have;
    };
    for (const AuxTable& aux : auxTables()) {
        const QString& name = aux.name;
        if (!present.contains(name.toLower())) {
            // Made whole, with the columns added since its first version.
            out.missingAux << aux.create;
            out.unitsMissing = out.unitsMissing || name == QLatin1String("T_Unit");
            for (const AuxColumn& col : aux.added)
                out.missingAux << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                      .arg(name, QLatin1String(col.name), QLatin1String(col.type));
            continue;
        }
        const auto have = columnsOf(name);
        if (!have)
            return std::nullopt;
        for (const AuxColumn& col : aux.added) {
            if (!have->contains(QString::fromLatin1(col.name).toLower()))
                out.auxColumns << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                      .arg(name, QLatin1String(col.name), QLatin1String(col.type));
        }
    }
    out.learnersCurrent = present.contains(QStringLiteral("learners")) && out.auxColumns.isEmpty();
    for (const TableDef* def : resultTables()) {
        const auto columns = columnsOf(QLatin1String(def->name));
        if (!columns)
            return std::nullopt;
        const QStringList& have = *columns;
        TableState state;
        if (!have.isEmpty()) {
            bool foreign = false;
            for (const ColumnDef& col : def->columns) {
                if (have.contains(QString::fromLatin1(col.name).toLower()))
                    continue;
                state.lacking << QLatin1String(col.name);
                foreign = foreign || col.since == 1;
            }
            state.shape = foreign ? Shape::Foreign : state.lacking.isEmpty() ? Shape::Current : Shape::Older;
        }
        out.tables[def] = state;
    }
    return out;
}

QStringList indexStatements(const TableDef& def) {
    const QLatin1String name(def.name);
    return {QStringLiteral("CREATE INDEX IF NOT EXISTS IX_%1_Drill ON %1 (%2, Y4mmdd, %3)")
                .arg(name, QLatin1String(def.drill), QLatin1String(def.round)),
            QStringLiteral("CREATE INDEX IF NOT EXISTS IX_%1_Learner ON %1 (Learner, %2, Y4mmdd)")
                .arg(name, QLatin1String(def.drill)),
            QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS IX_%1_RunId ON %1 (RunId)").arg(name)};
}

QStringList changesFor(const TableDef& def, const TableState& state) {
    QStringList sql;
    if (state.shape == Shape::Missing) {
        QStringList columns;
        for (const ColumnDef& col : def.columns)
            columns << QLatin1String(col.name) + QLatin1Char(' ') + sqliteType(col.type);
        sql << QStringLiteral("CREATE TABLE %1 (%2)")
                   .arg(QLatin1String(def.name), columns.join(QStringLiteral(", ")));
    } else if (state.shape == Shape::Older) {
        for (const ColumnDef& col : def.columns) {
            if (state.lacking.contains(QLatin1String(col.name)))
                sql << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                           .arg(QLatin1String(def.name), QLatin1String(col.name), sqliteType(col.type));
        }
    } else {
        return sql;
    }
    return sql + indexStatements(def);
}

QStringList plan(const Shapes& shapes) {
    QStringList sql;
    for (const auto& [def, state] : shapes.tables)
        sql << changesFor(*def, state);
    return sql + shapes.missingAux + shapes.auxColumns;
}

const TableDef* foreignTable(const Shapes& shapes) {
    for (const auto& [def, state] : shapes.tables) {
        if (state.shape == Shape::Foreign)
            return def;
    }
    return nullptr;
}

bool failForeign(const QString& path, const TableDef& def, const TableState& state) {
    return fail(Problem::Damaged,
                QStringLiteral("The table %1 in %2 has another shape (no column %3); the file was "
                               "left unchanged.")
                    .arg(QLatin1String(def.name), path, state.lacking.join(QStringLiteral(", "))));
}

bool execAll(Connection& c, const QString& path, const QStringList& statements) {
    QSqlQuery q(c.db());
    for (const QString& sql : statements) {
        if (!q.exec(sql)) {
            if (isBusy(q.lastError()))
                return failRead(path, q.lastError());
            return fail(
                Problem::Failed,
                QStringLiteral("Cannot set up the tables in %1: %2").arg(path, sqlError(q.lastError())));
        }
    }
    return true;
}

// A finished run is committed in the write-ahead log without waiting for the disk: it is safe from the
// program being killed and from the computer being shut down at once, and a commit costs no disk flush (a
// power cut may take the last few back, never leave the file damaged). Readers then never wait for a writer
// either. The mode stays with the file; where the folder refuses its two companion files, the file keeps its
// journal.
void useWriteAheadLog(Connection& c) {
    QSqlQuery q(c.db());
    q.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    q.exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
}

// Creates missing tables and adds missing columns, in one transaction that holds the file against other
// programs doing the same at the same moment. Nothing is written while any results table is foreign. A file
// that may not be written is still read as it is, when the table is there.
bool bringUpToDate(Connection& c, const QString& path, const TableDef& table, bool canWrite,
                   ResultsFile& file) {
    auto shapes = readShapes(c, path);
    if (!shapes)
        return false;
    const TableState& state = shapes->tables[&table];
    file.current = state.shape == Shape::Current;
    file.learnersCurrent = shapes->learnersCurrent;
    if (state.shape == Shape::Foreign)
        return failForeign(path, table, state);
    if (plan(*shapes).isEmpty())
        return true;
    if (const TableDef* other = foreignTable(*shapes))
        return failForeign(path, *other, shapes->tables[other]);
    // A file that may not be written is read as it is while its tables are all there, older or not.
    const bool auxComplete =
        shapes->missingAux.isEmpty() ||
        (shapes->unitsMissing && shapes->missingAux.size() == unitTableStatements().size());
    if (!canWrite && (state.shape == Shape::Older || (state.shape == Shape::Current && auxComplete)))
        return true;
    if (!canWrite)
        return fail(Problem::ReadOnly,
                    QStringLiteral("The results database %1 is read-only and lacks its tables.").arg(path));

    if (!execAll(c, path, {QStringLiteral("BEGIN IMMEDIATE")}))
        return false;
    shapes = readShapes(c, path);
    bool ok = shapes && !foreignTable(*shapes);
    if (shapes && !ok)
        failForeign(path, *foreignTable(*shapes), shapes->tables[foreignTable(*shapes)]);
    // PRAGMA takes no bound values; the number is ours, not input.
    ok = ok && execAll(c, path,
                       plan(*shapes) << QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)
                                     << QStringLiteral("COMMIT"));
    if (!ok)
        QSqlQuery(c.db()).exec(QStringLiteral("ROLLBACK"));
    file.current = file.learnersCurrent = ok;
    return ok;
}

// The files kept open on this thread, by path, with the file they were opened on.
struct KeptFile {
    std::shared_ptr<Connection> connection;
    dev_t device;
    ino_t inode;
};
thread_local std::map<QString, KeptFile>* t_files = nullptr;

std::optional<std::pair<dev_t, ino_t>> identity(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    return std::pair{st.st_dev, st.st_ino};
}

} // namespace

FileSession::FileSession() {
    if (!t_files)
        t_files = new std::map<QString, KeptFile>();
}

FileSession::~FileSession() {
    delete t_files;
    t_files = nullptr;
}

ResultsFile openResultsFile(const QString& path, const TableDef& table, Access access) {
    if (path.trimmed().isEmpty()) {
        fail(Problem::CannotOpen, QStringLiteral("No path was given for the results database."));
        return {};
    }
    if (t_files) {
        if (const auto it = t_files->find(path); it != t_files->end()) {
            const auto id = identity(path);
            if (id && *id == std::pair{it->second.device, it->second.inode} && writable(path))
                return {it->second.connection, true, true};
            t_files->erase(it); // removed, replaced or made read-only since
        }
    }
    const FileKind kind = inspect(path);
    switch (kind) {
    case FileKind::Folder:
        fail(Problem::NotAFile,
             QStringLiteral("The results database path %1 is a folder, not a file.").arg(path));
        return {};
    case FileKind::NotRegular:
        fail(
            Problem::NotAFile,
            QStringLiteral("The results database path %1 is not a regular file (a pipe or a device?); it was "
                           "left alone.")
                .arg(path));
        return {};
    case FileKind::Unreadable:
        fail(Problem::CannotOpen, QStringLiteral("The results database %1 cannot be read.").arg(path));
        return {};
    case FileKind::Foreign:
        fail(Problem::Damaged,
             QStringLiteral(
                 "%1 is not an SQLite database (an old file of another format?); it was left unchanged.")
                 .arg(path));
        return {};
    case FileKind::Missing: {
        const QString folder = QFileInfo(path).absolutePath();
        if (!QDir().mkpath(folder)) {
            fail(Problem::CannotOpen,
                 QStringLiteral("Cannot create the folder %1 for the results database.").arg(folder));
            return {};
        }
        break;
    }
    case FileKind::Empty:
    case FileKind::Sqlite:
        break;
    }

    const bool created = kind == FileKind::Missing;
    // Read-write whenever the file allows it: only such a connection can roll back the journal that an
    // interrupted save left behind, and until it is rolled back nobody can read the file.
    const bool canWrite = created || writable(path);
    ResultsFile file;
    file.connection = sqliteConnection(path, !canWrite);
    bool ok = false;
    {
        std::lock_guard lock(g_openFilesMutex);
        ok = file.connection->open();
        struct stat st {};
        if (ok && ::stat(QFile::encodeName(path).constData(), &st) == 0)
            g_openFiles.insert({{st.st_dev, st.st_ino}, file.connection});
    }
    if (!ok)
        fail(isBusy(file.db().lastError()) ? Problem::Busy : Problem::CannotOpen,
             QStringLiteral("Cannot open the results database %1: %2")
                 .arg(path, sqlError(file.db().lastError())));
    ok = ok && bringUpToDate(*file.connection, path, table, canWrite, file);
    if (ok && canWrite && file.current) {
        useWriteAheadLog(*file.connection);
        if (const auto id = identity(path); t_files && id)
            (*t_files)[path] = {file.connection, id->first, id->second};
    }
    if (ok && access == Access::Write && !canWrite)
        ok = fail(
            Problem::ReadOnly,
            QStringLiteral("The results database %1 is read-only; the result was not stored.").arg(path));
    if (ok)
        return file;
    file.connection.reset();
    // Leave no half-made file behind; the next save tries again from scratch.
    if (created && inspect(path) != FileKind::Foreign)
        QFile::remove(path);
    return {};
}

} // namespace halvor::db
