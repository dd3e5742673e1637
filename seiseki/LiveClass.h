// The live page "いまの ようす": one tile per computer from what the classroom's programs report and the
// runs that land on the server, and the lesson's summary. No widgets and no clock of its own: the caller
// passes each record and the time, in the server's clock, and the page draws what the views say.
#pragma once

#include "Presence.h"
#include "Reporter.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace seiseki {

struct LiveBounds {
    qint64 idleMs = 30000;   // no keystroke this long during a run: "てが とまっている"
    double lowAccuracy = 80; // percent; below it during a run: "まちがいが おおい" ...
    int minKeystrokes = 10;  // ... once the run has this many keystrokes, so one slip at the start is not
    qint64 staleMs = halvor::presence::kStaleMs; // nothing heard this long: "れんらくが ありません"
    qint64 goneMs = 300000;                      // nothing heard this long: the tile goes
    qint64 endedGoneMs = 60000;                  // this long after the program's end: the tile goes
};

enum class TileState {
    Ready,      // a program is open, no run going
    Practising, // a run is going, keystrokes coming
    Idle,       // a run is going, no keystroke for a while
    Ended,      // the program ended
    Stale,      // nothing heard for a while (killed, cut off)
};

struct Tile {
    QString login; // the server's login, so a computer's name given by another login is another tile
    QString computer;
    QString learner;
    QString program;
    QString course;
    QDateTime started;   // the program came up
    QDateTime runSince;  // the run began; invalid for a run first heard of midway
    QDateTime lastInput; // the last keystroke or click
    QDateTime heard;     // the last report
    QDateTime ended;     // the program's end; invalid while open
    bool running = false;
    bool staleTold = false;            // tick() has told that it went stale
    halvor::presence::Figures figures; // the run's so far
    struct Result {
        QString program;
        QString course;
        halvor::presence::Figures figures;
    };
    std::optional<Result> last; // the last finished run
};

// What a tile shows, as text; equal views draw alike, so the page repaints a tile only when its view changed.
struct TileView {
    QString name;     // the learner, or in projector mode the roster number
    QString activity; // "風車 レベル3"
    QString time;     // time on task: "12分"
    QString status;   // "れんしゅう中", "てが とまっている", ...
    QString figures;  // the run so far: "120回／分  95%"
    QString last;     // the last result: "さいご 135回／分  ミス 2"
    TileState state = TileState::Ready;
    bool manyMistakes = false;
    bool operator==(const TileView&) const = default;
};

struct RosterEntry {
    QString name;
    std::optional<int> number; // 出席番号
};

// One learner's line of the lesson's summary.
struct SummaryLine {
    QString learner;
    std::optional<int> number;
    QStringList practised; // "風車 レベル3", in the order first seen
    qint64 seconds = 0;    // time on task in the lesson (two computers at once count once)
    int runs = 0;          // runs that landed today
    QStringList best;      // today's best per program and course: "風車 レベル3 142回／分"
};

class LiveClass {
public:
    explicit LiveClass(LiveBounds bounds = {}) : bounds_(bounds) {}

    // The class list in its order: tiles and summary lines follow it, and projector mode shows its numbers.
    void setRoster(const QList<RosterEntry>& roster);
    // A record heard at `now`; the key of the tile it concerns, empty when none (a stale mark, a run of a
    // learner on no tile, a run or a report already heard).
    QString apply(const halvor::presence::Record& record, const QDateTime& now);
    // Time has passed: the tiles that went, and those that went stale since the last tick.
    struct Passed {
        QStringList gone;
        QStringList stale;
    };
    Passed tick(const QDateTime& now);

    const Tile* tile(const QString& key) const;
    // The tiles' keys in the page's order: roster order, then other learners by name, then by computer.
    QStringList order() const;
    TileView view(const Tile& tile, const QDateTime& now, bool projector) const;
    TileState state(const Tile& tile, const QDateTime& now) const;
    bool manyMistakes(const Tile& tile) const;

    // The lesson so far: every learner of the roster (in its order, also those who did not practise), then
    // every other learner heard of. The lesson began with the first program heard of, or when the viewer
    // started; runs that landed today before it count only for the day's best results.
    QList<SummaryLine> summary(const QDateTime& now) const;

private:
    struct Session {
        QString learner;
        QDateTime from;
        QDateTime heard;
        QDateTime ended;
        QStringList practised;
    };
    struct Run {
        QString learner;
        QString activity;
        QString program;
        halvor::presence::Figures figures;
        QDateTime at; // it landed
    };
    std::optional<int> rosterIndex(const QString& learner) const;
    void noteSession(const Tile& tile);

    LiveBounds bounds_;
    QList<RosterEntry> roster_;
    QHash<QString, int> rosterIndex_; // case-folded name → position
    QHash<QString, Tile> tiles_;
    QHash<QString, Session> sessions_; // computer + start → the session
    QList<Run> runs_;
    QSet<QString> runIds_;
    QDateTime opened_; // the first record was heard
};

// What `Seiseki --watch` prints: one JSON object a line for every record heard, and a "stale" line when a
// computer has not been heard of within the bound (killed, or cut off), once until it is heard again.
class WatchLines {
public:
    explicit WatchLines(LiveBounds bounds = {}) : live_(bounds) {}
    QByteArray heard(const halvor::presence::Record& record, const QDateTime& now);
    QList<QByteArray> tick(const QDateTime& now);

private:
    LiveClass live_;
};

// Texts shared by the tiles and the summary.
QString activityText(const QString& program, const QString& course);
QString durationText(qint64 seconds); // "1分 みまん", "12分", "1時間 5分"
// A finished run's result as the teacher reads it: "142回／分  ミス 2", "85.5秒"; the figures so far with
// `running`: "120回／分  95%".
QString resultText(const QString& program, const halvor::presence::Figures& figures, bool running);

} // namespace seiseki
