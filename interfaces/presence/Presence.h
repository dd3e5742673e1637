// Presence: what a program on a classroom computer says about the learner at it while a drill or lesson is
// open, and what a viewer hears of it and of each run that lands on the school's server. Presence is
// ephemeral: one row per computer on the server, replaced at each report, never kept for later. Plain Qt
// Core: the programs, the Database library and the results viewer share these records.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace halvor::presence {

enum class Event {
    Open,     // a program came up
    Start,    // a run of a drill began
    Progress, // the run's figures so far, or a sign of life
    Finish,   // a run ended, with its figures
    Close,    // the program ended
    Run,      // a finished run landed on the server
    Stale,    // nothing heard of a computer for a while: a viewer's own conclusion, never sent
};
QString eventName(Event event); // "open", "start", ...
std::optional<Event> eventFromName(const QString& name);

// What a program knows of a run: so far while it goes on, or when it ended. Unset where the program has no
// such figure (the hiragana drill has no keystroke speed, the mouse lesson no keystrokes).
struct Figures {
    std::optional<double> speed;    // per minute: keystrokes in the finger drills, kana in the hiragana drill
    std::optional<double> accuracy; // percent of keystrokes (answers, clicks) that were right
    std::optional<int> keystrokes;
    std::optional<int> errors;
    std::optional<double> seconds; // how long the run has gone, or took
    std::optional<int> done;       // lines, answers or targets done ...
    std::optional<int> total;      // ... of so many
    QString weakest;               // the key or kana missed most; empty when none

    bool empty() const;
    bool operator==(const Figures&) const = default;
};
// Percent right of `keystrokes` with `errors` among them; unset before the first keystroke.
std::optional<double> accuracyOf(int keystrokes, int errors);

// What a program sends. Its durations are measured on its own monotonic clock, so the server stamps the
// times in one clock for every computer, whatever each computer's clock says.
struct Report {
    Event event = Event::Open;
    QString learner;
    QString computer;
    QString program;         // the executable's name, "Pelvoran12"
    QString course;          // the course as its runs store it: "LEVEL3", "4", "GA"; a lesson's page "P5"
    qint64 sinceStartMs = 0; // since the program came up
    std::optional<qint64> sinceInputMs; // since the last keystroke or click; unset before the first
    bool running = false;               // a run of a drill is going on
    Figures figures;

    QJsonObject toJson() const;
    bool operator==(const Report&) const = default;
};

// What a viewer hears: a presence change or a run that landed, its times in the server's clock.
struct Record {
    Event event = Event::Progress;
    QDateTime time; // when the server had it
    QString learner;
    QString login;    // the server's login it came through: what a classroom login cannot pretend
    QString computer; // the computer's own name (presence), or where a run came from
    QString program;
    QString course;      // as in Report
    QDateTime started;   // presence: when the program came up
    QDateTime lastInput; // presence: the last keystroke or click; invalid before the first
    bool running = false;
    Figures figures;
    // A run that landed: its drill number, the day and its number of the day on the server, its id.
    int drill = 0;
    QDate day;
    int round = 0;
    QString runId;

    // One JSON object, as `Seiseki --watch` prints it (and as the server announces it): every key present,
    // null where there is no value. Course names are spelt out beside the codes.
    QJsonObject toJson() const;
    QByteArray toJsonLine() const; // compact, without a line break
    // Reads what toJson writes. Text from the wire is checked: a field of the wrong type, a number that is
    // not finite or out of range, or a text too long or with control characters counts as absent; a record
    // without a known event or a computer is refused, with the reason in *why.
    static std::optional<Record> fromJson(const QByteArray& json, QString* why);
    static std::optional<Record> fromJson(const QJsonObject& object, QString* why);
    bool operator==(const Record&) const = default;
};

// ---- Names as the learner and the teacher read them
// The program's name in the suite: "風車" for "Pelvoran12"; the name as given for one it does not know.
QString programTitle(const QString& program);
// The course spelt out: "レベル3", "4文字", "濁音", "5ページ"; the code as given when it is not known.
QString courseName(const QString& program, const QString& course);
// True where a shorter time is the better result (the hiragana drill); else a higher speed is.
bool shorterIsBetter(const QString& program);
// Which program stores its runs under this table and drill number ("t_key", 23 → "Tavrel23"); empty when
// none.
QString programOfRun(const QString& table, int drill);

} // namespace halvor::presence
