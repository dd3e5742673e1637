// The Database library: result rows of the drills in VUR.MDB (SQLite through Qt SQL).
// Callers fill a record's fields and set each filled field's flag to 1; a field whose flag is 0 is stored
// as NULL. One query per table is open at a time, held inside the library. The clauses and statements are
// accepted in the drills' Jet dialect (#yyyy/mm/dd# dates, [bracketed] names) and rewritten in one place.
// No function shows a dialog: failures are returned, and DB_LastError() says why.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>

struct DB_T_DIGIT {
    QDate Y4mmdd;
    std::int32_t Y4mmddFlag = 0;
    std::int16_t Pelvoran = 0; // drill number
    std::int32_t PelvoranFlag = 0;
    std::int16_t Round = 0; // run number of the day
    std::int32_t RoundFlag = 0;
    QString REM;
    std::int32_t REMFlag = 0;
    QString COND1;
    std::int32_t COND1Flag = 0;
    QString COND2;
    std::int32_t COND2Flag = 0;
    double Time = 0;
    std::int32_t TimeFlag = 0;
    double result1 = 0;
    std::int32_t result1Flag = 0;
    double result2 = 0;
    std::int32_t result2Flag = 0;
    double result3 = 0;
    std::int32_t result3Flag = 0;
    double result4 = 0;
    std::int32_t result4Flag = 0;
    double result5 = 0;
    std::int32_t result5Flag = 0;
    QString ERR1;
    std::int32_t ERR1Flag = 0;
};

struct DB_T_KEY {
    QDate Y4mmdd;
    std::int32_t Y4mmddFlag = 0;
    std::int16_t Tavrel = 0; // drill number
    std::int32_t TavrelFlag = 0;
    std::int16_t Round = 0; // run number of the day
    std::int32_t RoundFlag = 0;
    QString REM;
    std::int32_t REMFlag = 0;
    QString COND1;
    std::int32_t COND1Flag = 0;
    QString COND2;
    std::int32_t COND2Flag = 0;
    double Time = 0;
    std::int32_t TimeFlag = 0;
    double result1 = 0;
    std::int32_t result1Flag = 0;
    double result2 = 0;
    std::int32_t result2Flag = 0;
    double result3 = 0;
    std::int32_t result3Flag = 0;
    double result4 = 0;
    std::int32_t result4Flag = 0;
    double result5 = 0;
    std::int32_t result5Flag = 0;
    QString ERR1;
    std::int32_t ERR1Flag = 0;
    QString ERR2;
    std::int32_t ERR2Flag = 0;
    QString ERR3;
    std::int32_t ERR3Flag = 0;
};

// ---- How a finished run is stored
// An insert makes the run safe on this computer before anything else, in one local transaction: the row in
// the results file (this computer's file, DB_LocalPath(), when the results go to a server) with, for a
// server, its outbox entry. It never waits for the network: after a save on the save queue the sender sends
// the outbox through the server's one insert function (halvor_add_run in server-schema.sql), a few runs to a
// round trip, and forgets each few as soon as the server holds them. A file that cannot be written now keeps
// the run beside it (<file>.spool/), written at the next save or start. An insert returns non-zero when the
// run is safe; DB_SaveOutcome() says where it is.
// Rows that belong to a run in another table (one row per kana or key practised) join halvor::db::Run
// (LocalSave.h): written in the run's transaction, sent with it as the insert function's third argument (a
// jsonb object, each child table's name to an array of its rows), stored by the function in the same
// transaction. The schema version that adds such a table adds its lines to halvor_add_run.

// One unit a run practised (a row of T_Unit): a kana or kana pair of the hiragana drill, a key asked by a
// finger drill. The row's run id, learner, day and drill number are the run's. Rows the server would refuse
// are mended or left out as the run is stored (a unit longer than 4 characters or empty, counts outside
// 0..120,000, misses above attempts, more than 400 units), with a warning in the log: the run itself is
// never held up by its units.
struct DB_UNIT {
    QString unit;
    int attempts = 0;
    int misses = 0;
    int meanMs = -1;  // mean time to type it; -1 when it was never timed (stored as NULL)
    QString wrongKey; // the wrong key pressed most often for it; empty when none
};

// T_Digit: the windmill drill's runs.
int DB_OpenT_Digit(const QString& path, const QString& clause); // clause begins with " where"
int DB_GetRecordT_Digit(DB_T_DIGIT* record);                    // 0 when no row is left
int DB_CloseT_Digit();
void DB_ClearStructT_Digit(DB_T_DIGIT* record);
int DB_InsertT_Digit(const QString& path, const DB_T_DIGIT* record, const QList<DB_UNIT>& units = {});

// T_Key: the block and hiragana drills' runs.
int DB_OpenT_Key(const QString& path, const QString& clause);
int DB_GetRecordT_Key(DB_T_KEY* record);
int DB_CloseT_Key();
void DB_ClearStructT_Key(DB_T_KEY* record);
int DB_InsertT_Key(const QString& path, const DB_T_KEY* record, const QList<DB_UNIT>& units = {});

// A whole select statement over T_Key in the Jet dialect ("select * from [T_Key] where ..."), for the
// hiragana drill. Fills rows and returns non-zero on success.
int DB_SelectT_Key(const QString& path, const QString& statement, QList<DB_T_KEY>& rows);

namespace halvor::db {

// What kind of failure a call met, so a caller can tell the learner what happened and what to do. The
// technical reason goes to the log (category halvor.db) and stays readable through DB_LastError().
enum class Problem {
    None,
    Busy,       // another program holds the file locked
    Damaged,    // not an SQLite file, a damaged one, or one whose table has another shape
    NotAFile,   // a folder, pipe or device lies at the path
    ReadOnly,   // the file may be read but not written
    CannotOpen, // no path, or the file or its folder cannot be read or made
    Full,       // the disk did not take the write (full, or failing)
    Failed,     // anything else the engine refused
    // The school's server; a run meeting one of these is kept on this computer and sent later.
    Offline,        // no answer within a few seconds
    UnknownHost,    // the server's name is not known
    ServerStarting, // the server is starting up or shutting down
    NoFreeSlot,     // the server has no connection left
    LoginRefused,   // wrong password, unknown role or database
    OtherVersion,   // the server's tables are of another schema version or shape
    ServerRefused,  // the tables are missing and may not be made, or the server refused the statement
    BadSettings,    // Database/Url or HALVOR_DATABASE is neither a postgresql:// address nor an absolute path
};

// The outcome of one save, carried from the thread that saved to the window that tells the learner.
struct SaveOutcome {
    bool stored = false;             // safe on this computer: in the results file, or kept beside it
    bool spooled = false;            // kept beside the file, which could not be written now; written later
    bool queued = false;             // the server was not reached: the run waits on this computer (told once
                                     // the first try to send it has ended)
    int round = 0;                   // run number given to the stored run
    Problem problem = Problem::None; // why it was not stored, or kept aside, or why it waits for the server
    QString why;                     // the technical reason, for the log and for tests
    QString runId;                   // the stored run's id
    QString server;                  // the server's address when the run is bound there, else empty
};

} // namespace halvor::db

// Why the last call of this thread failed; empty after a success.
QString DB_LastError();
halvor::db::Problem DB_LastProblem();
// What the learner reads about a problem: what happened and what to do, in Japanese.
QString DB_ProblemText(halvor::db::Problem problem);
// What the learner reads when a run was kept on this computer for the server: the friendly line, after the
// reason when it is one the learner can have looked at (a wrong password, an unknown server, ...).
QString DB_QueuedText(halvor::db::Problem problem);
// What the learner reads after a stored run, beside the drill's own words: that it was kept beside the file
// (and why), that it waits for the server (and why), or that the settings were refused. Empty when there is
// nothing to tell.
QString DB_SavedNote(const halvor::db::SaveOutcome& outcome);
// What the learner reads after a run could be kept nowhere on the disk: it is tried again at the next save.
QString DB_NotSavedNote(const halvor::db::SaveOutcome& outcome);
// The note under a chart drawn from this computer's rows while the server is away.
QString DB_ServerAwayText();
// Why the last read of this thread showed this computer's rows instead of the server's; None when it did not.
halvor::db::Problem DB_ServerProblem();
// A save sequence's outcome from its insert's result and this thread's last failure.
halvor::db::SaveOutcome DB_SaveOutcome(int insertResult, int round);

// The Jet dialect rewritten for SQLite: #yyyy/mm/dd# becomes 'yyyy-mm-dd'; bracketed names stay.
QString DB_TranslateJet(const QString& jet);

// Where results go, as the drills pass it to the functions above: $HALVOR_DATABASE when set, else the
// setting Database/Url (the user's file, then the system-wide one a school deploys under /etc/xdg), else
// DB_LocalPath(). An absolute path (or ~/...) is an SQLite file; a "postgresql://" URI is a PostgreSQL
// server. Anything else is refused, once in the log, and DB_LocalPath() is used: the next save's outcome
// tells the learner (Problem::BadSettings).
QString DB_DefaultPath();
// Where a save looks up the day's runs to number a new one: the path itself, or for a server this computer's
// file. A save never waits for the network; the server numbers each learner's runs of a drill on one day
// again, 1..n in the order they finished, whichever computer sent them.
QString DB_RunNumberPath(const QString& path);
// The SQLite file on this computer: $VUR_MDB when set, else VUR.MDB in the suite's folder of the user's
// data. It also keeps the runs that wait for the server.
QString DB_LocalPath();
// True for a "postgresql://" (or "postgres://") connection URI.
bool DB_IsServerAddress(const QString& path);

// ---- Learners
// ------------------------------------------------------------------------------------------------ Every row
// carries its learner. The library adds the current learner to every row it inserts and shows every query
// only that learner's rows (on a file, rows without a learner are the login user's), so the drills never see
// learners.

// Who is practising: $HALVOR_LEARNER when it is a valid name, else the login name.
QString DB_Learner();
QString DB_LoginName();
// 1 to 32 characters, no control characters, no spaces at either end.
bool DB_ValidLearnerName(const QString& name);
// The setting Learners/Shared: the computer is shared, so the top menu asks who is practising.
bool DB_SharedComputer();
// A setting of the suite: the user's file (~/.config/Halvor/Halvor.conf), then the system-wide one a school
// deploys (/etc/xdg/Halvor/Halvor.conf). Null when neither sets it.
QVariant DB_Setting(const QString& key);
// Writes a setting into the user's file (the school's stays as it is); false, with the reason recorded, when
// the file cannot be written.
bool DB_SetSetting(const QString& key, const QVariant& value);

struct DB_LEARNER {
    QString name;
    QString className;       // empty when none
    bool registered = false; // in the Learners table; else only seen in results
    int number = 0;          // the roster's attendance number (出席番号); 0 when none
    QString furigana;        // the name's reading; empty when none
};
// The order a class is listed in everywhere: registered learners by class (empty last, "2組" before
// "10組"), then attendance number, then those without a number by reading (the name where there is none);
// then the names only seen in results, by name.
bool DB_LearnerBefore(const DB_LEARNER& a, const DB_LEARNER& b);
// The learners known at `path`, in that order. May wait for a server: call it away from the window's thread.
// Non-zero on success.
int DB_KnownLearners(const QString& path, QList<DB_LEARNER>& learners);
// Writes the runs kept beside this computer's file into it, then sends the runs waiting in its outbox to the
// server that DB_DefaultPath() names, oldest first. Non-zero when nothing is left waiting (also when the
// results go to a file).
int DB_SendOutbox();
// The same away from the caller's thread (the runs beside the file on the save queue's, the sending on the
// sender's), so a program's start never waits. Every program calls it once its first frame is up.
void DB_StartOutboxSend();

// ---- Reading for the results viewer
//
// The viewer sees every learner's rows: the drills' restriction to the current learner does not apply here.
// On a file, rows without a learner are the login user's. With a server address, a server that cannot be
// reached gives this computer's rows and DB_ServerProblem() says why. All of these may wait for a server:
// call them away from the window's thread. Non-zero on success.

// Which runs: one learner's (empty: everyone's) between two days, both included (an invalid day: no limit);
// only those of the learners registered in a class, and only those of the learners listed, when given.
struct DB_RUN_FILTER {
    QString learner;
    QDate from;
    QDate to;
    QString className;    // empty: any
    QStringList learners; // empty: any
};

// One run of either table. T_Digit's thirteen fields fill the same places of `fields` (its drill number in
// Tavrel); only the columns the viewer shows are read (no COND2, result2, result5, ERR2, ERR3).
struct DB_RUN {
    QString learner;
    bool windmill = false; // a T_Digit row; else a T_Key row
    DB_T_KEY fields;
    QString runId; // as its unit rows carry it (DB_UNIT_ROW); empty in a file older than this version
};
// In order of learner, day, table (T_Key first), drill number and run number.
int DB_ReadRuns(const QString& path, const DB_RUN_FILTER& filter, QList<DB_RUN>& runs);

// The same runs one at a time, straight from the query, as the values the viewer shows (no record is made);
// `each` returns false to stop early, which counts as a failure. Unordered, the runs come as the database
// finds them, without the cost of sorting them all.
struct DB_RUN_VALUES {
    QString learner;
    bool windmill = false;
    QDate day;
    int drill = 0;
    QVariant round, time, speed, errors; // null where the run has none
    QString rem, cond1, worstKey;
};
int DB_EachRun(const QString& path, const DB_RUN_FILTER& filter,
               const std::function<bool(const DB_RUN_VALUES&)>& each, bool ordered = true);

// What the runs of one learner, drill and course add up to, counted by the database. The course is REM for
// the windmill ("LEVEL3") and COND1 for T_Key ("2", "4"; "AI", "GA", "NN" or empty for the hiragana drill).
struct DB_RUN_GROUP {
    QString learner;
    bool windmill = false;
    int drill = 0;
    QString course;
    int runs = 0;
    bool hasSpeed = false; // some run has a best speed (result3)
    double bestSpeed = 0;  // the highest
    bool hasTime = false;  // some run has a time
    double bestTime = 0;   // the shortest, in seconds
    QDate lastDay;
};
int DB_ReadRunGroups(const QString& path, const DB_RUN_FILTER& filter, QList<DB_RUN_GROUP>& groups);

// The unit rows of the runs the filter selects, of one drill (0: any), in order of learner, day,
// RunId, Unit. A file without T_Unit yet (written by an older version) has none.
struct DB_UNIT_ROW {
    QString learner;
    QString runId;
    QDate day;
    int drill = 0;
    DB_UNIT unit;
};
int DB_ReadUnits(const QString& path, const DB_RUN_FILTER& filter, int drill, QList<DB_UNIT_ROW>& rows);
// The same rows added up by the database per learner, drill and unit (a class's many runs are not carried
// over the network one by one), in that order.
struct DB_UNIT_SUM {
    QString learner;
    int drill = 0;
    QString unit;
    int runs = 0;
    qint64 attempts = 0;
    qint64 misses = 0;
    int meanMs = -1; // over the timed rows, weighted by attempts; -1 when none was timed
};
int DB_SumUnits(const QString& path, const DB_RUN_FILTER& filter, QList<DB_UNIT_SUM>& sums);

// Registers learners (a name already registered, in any case, gets the class, number and reading given) and
// takes others off the list, in one transaction, or does nothing. Each name registered must pass
// DB_ValidLearnerName. A learner taken off keeps the results.
int DB_ChangeLearners(const QString& path, const QList<DB_LEARNER>& add, const QStringList& remove);
int DB_RegisterLearners(const QString& path, const QList<DB_LEARNER>& learners);
int DB_UnregisterLearner(const QString& path, const QString& name);

// Joins a folder and a file name with exactly one separator.
QString DB_JoinPath(const QString& folder, const QString& file);
