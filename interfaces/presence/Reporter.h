// The program's side of presence: the state the window's thread changes as the learner works, and a thread
// of its own that sends the latest state to the school's server when it is due. The window's thread only
// takes a lock held for a copy; it never waits for the network, and nothing piles up while the server is
// away (the state then is what goes at the next try).
#pragma once

#include "Clock.h"
#include "Presence.h"

#include <memory>

namespace halvor::presence {

// A change in kind (a program opened or closed, a run started, finished or dropped, a learner back at the
// keys after a pause) goes at once; the figures of a run wait for the interval, which sets the server's load.
struct Timing {
    qint64 minIntervalMs = 20000; // between two reports of a run's figures
    qint64 heartbeatMs = 20000;   // a sign of life when nothing changed
    qint64 retryMs = 30000;       // after a report the server did not take
    qint64 pauseMs = 30000;       // an input after this long without one: the learner is back
};
// A viewer takes a computer not heard of for this long as gone away (killed, or cut off): three
// heartbeats missed.
constexpr qint64 kStaleMs = 60000;
// How long a program's end waits for its close to reach the server ...
constexpr int kCloseWaitMs = 300;
// ... and then for a send it cut off to return; one that still does not is left to end by itself.
constexpr int kEndWaitMs = 1500;

// When the next report is due, on one monotonic clock's milliseconds. Plain arithmetic.
class Schedule {
public:
    explicit Schedule(Timing timing = {}) : timing_(timing) {}
    // There is something new to tell; `urgent` (a finished run, the program's end) goes at once. True when
    // that makes a report due sooner than planned.
    bool changed(bool urgent);
    // Milliseconds from `now` until a report is due: 0 at once.
    qint64 dueIn(qint64 now) const;
    // A report was taken to be sent at `now` (what changes after it is new again) ...
    void taken(qint64 now);
    // ... and the server took it, or not.
    void answered(bool ok) { away_ = !ok; }
    // The last report did not reach the server.
    bool away() const { return away_; }

private:
    Timing timing_;
    bool begun_ = false;
    bool dirty_ = false;
    bool urgent_ = false;
    bool away_ = false;
    qint64 last_ = 0;
};

// How reports reach the server. send() runs on the reporter's thread only, interrupt() on another.
class Transport {
public:
    virtual ~Transport() = default;
    // Sends one report; false when the server did not take it. Every wait inside is bounded.
    virtual bool send(const Report& report) = 0;
    // Makes a send under way give up at once, and every later one: the program is ending.
    virtual void interrupt() = 0;
    // The reporter's thread ends: what send() made on it goes with it.
    virtual void threadEnding() {}
};

class Reporter {
public:
    Reporter(const Clock& clock, std::unique_ptr<Transport> transport, Timing timing = {});
    // As close(kCloseWaitMs).
    ~Reporter();
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    // The window's thread. The program came up, for this learner on this computer: reported at once.
    void open(const QString& learner, const QString& computer, const QString& program, const QString& course);
    // The course or lesson page now on show.
    void setCourse(const QString& course);
    void runStarted();
    // A keystroke or a click.
    void input();
    // The run's figures so far.
    void progress(const Figures& figures);
    // A run ended with these figures: reported at once, even when a new run starts before the thread is
    // free (the finished run is then reported first).
    void runFinished(const Figures& figures);
    // A run ended without a result (stopped, or the window closed during it).
    void runStopped();
    // The program ends: the close is sent and waited for at most `waitMs` (not at all when the server was
    // away at the last report); a send still under way is then interrupted and the thread ends, or is left
    // to end by itself after kEndWaitMs.
    void close(int waitMs);

    // How many reports the server took, and how many it did not (tests, the benchmark).
    int sent() const;
    int failed() const;

private:
    struct Private;
    std::shared_ptr<Private> d; // shared with the thread, which may outlive the reporter
};

// The program's one reporter, installed by the start-up on a computer that reports to a server; each
// function does nothing while none is installed (a computer without a server, a test), except that the
// course is kept for a reporter installed later.
void install(Reporter* reporter);
Reporter* installed();
void setCourse(const QString& course);
QString course();
void runStarted();
void input();
void progress(const Figures& figures);
void runFinished(const Figures& figures);
void runStopped();

} // namespace halvor::presence
